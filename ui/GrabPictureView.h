#pragma once
// The face grab dialog's picture area: the picture at any scale from 1/32 to 16 or fitted
// whole, and the box the faces are cut from. The view owns its view (scale and scroll, one
// CViewTransform) and its selection (the box, and the drag or keys changing it), and paints
// itself from a backing frame; the dialog wires its controls to it and hears every change
// through one signal, changed().

#include "image/PicturePyramid.h"
#include "ui/GrabSelection.h"
#include "ui/ViewTransform.h"

#include <QImage>
#include <QTimer>
#include <QWidget>

#include <optional>

class QWheelEvent;

namespace quorvel {

class CRgbImage;

class CGrabPictureView final : public QWidget
{
    Q_OBJECT

public:
    enum class EChange {
        View = 0x1,    // the scale, the scroll or the view's size
        Box = 0x2,     // the box, while it changes or for good
        BoxDone = 0x4, // a change of the box has ended: the faces are to be made from it
    };
    Q_DECLARE_FLAGS(EChanges, EChange)

    explicit CGrabPictureView(QWidget *parent = nullptr);
    ~CGrabPictureView() override;

    // Shows a picture (not owned: it must outlive its showing), without a box: fitted when it
    // is larger than the view, else at 1:1. Its halvings are made here.
    void SetPicture(const CRgbImage *picture);
    QSize PictureSize() const;
    // The picture's halvings, made by SetPicture, the finest one when it is first painted.
    const CPicturePyramid &Pyramid() const { return m_pyramid; }
    // "Square" and "Don't stretch": the rules new boxes, handles and keys follow.
    void SetModes(bool square, bool dontStretch);

    const std::optional<CGrabRect> &Box() const { return m_box; }
    // The box set from outside, in picture pixels, kept on the picture (none: no box). A
    // change under way ends first; the change is reported done.
    void SetBox(const std::optional<CGrabRect> &box);
    // Scrolls until the box is in sight, zooming out first when it is larger than the view.
    void BringBoxIntoSight();
    // True while a drag or a held key changes the box, or the mouse pans the view.
    bool IsChanging() const { return m_drag != EDrag::None || m_keyChanging; }
    bool IsDragging() const { return m_drag != EDrag::None && m_drag != EDrag::Pan; }
    // Ends a change under way as the release of its button or key would.
    void FinishChange();

    const CViewTransform &Transform() const { return m_transform; }
    CViewScale Scale() const { return m_transform.scale; }
    bool IsFit() const { return m_fit; }
    // Zooms so the picture point under the view point stays there.
    void ZoomTo(CViewScale scale, QPoint about);
    // Zooms about the box's centre (the view's without a box in sight): to a scale, one step
    // in or out, or to 1:1.
    void ZoomTo(CViewScale scale) { ZoomTo(scale, ZoomCentre()); }
    void ZoomIn() { ZoomTo(NextZoomStep(Scale(), 1)); }
    void ZoomOut() { ZoomTo(NextZoomStep(Scale(), -1)); }
    void ZoomToActualSize() { ZoomTo(CViewScale{1, 1}); }
    void ZoomToFit();
    // The scroll position in screen pixels, 0 ... MaxScroll() on each axis.
    QPoint Scroll() const;
    QPoint MaxScroll() const;
    void SetScroll(QPoint scroll);
    // The wheel, or sideways with Shift, scrolls in screen pixels; with Ctrl it zooms about
    // the pointer (a point of the view).
    void Wheel(const QWheelEvent *event, bool sideways, QPoint pointer);

    // The 20 ms ticks that scroll while a drag is held at the view's edge, and one tick at
    // once (tests tick by hand).
    QTimer &ScrollTimer() { return m_scrollTimer; }
    void RunScrollTick();

    // The side of a handle of the box, in screen pixels.
    int HandleSide() const;
    // Paints the picture as the view shows it, without the box; the backing frame is made so.
    void PaintPicture(QPainter &painter);

signals:
    void changed(quorvel::CGrabPictureView::EChanges what);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    enum class EDrag { None, NewBox, Resize, Move, Pan };

    // The offsets the view can take, and the offset brought into them.
    QRect OffsetRange() const;
    void SetOffset(QPoint offset);
    QPoint ZoomCentre() const;
    // The picture point nearest a view point, kept where a drag's points may lie.
    QPoint DragPoint(QPoint point) const;
    void UpdateDrag();
    void EndDrag();
    void ChangeBox(const std::optional<CGrabRect> &box, EChanges what);
    void ScrollBoxIntoView();
    void MoveOrGrowByKey(int key, Qt::KeyboardModifiers modifiers);
    void UpdateCursor(QPoint point);
    void PaintBox(QPainter &painter) const;
    void Report(EChanges what);

    const CRgbImage *m_picture = nullptr;
    CPicturePyramid m_pyramid;
    CViewTransform m_transform;
    bool m_fit = false;
    bool m_square = true;
    bool m_dontStretch = true;

    std::optional<CGrabRect> m_box;
    EDrag m_drag = EDrag::None;
    EBoxPart m_part = EBoxPart::None;   // the handle a resize holds
    QPoint m_anchor;                    // a new box's first point, in picture pixels
    QPoint m_pressPicture;              // where a move took hold, in picture pixels
    std::optional<CGrabRect> m_boxAtPress;
    QPoint m_pressPoint;                // where a pan took hold, in the view
    QPoint m_offsetAtPress;
    QPoint m_lastPointer;               // the drag's last pointer position, in the view
    bool m_keyChanging = false;
    bool m_spaceHeld = false;
    int m_wheelZoom = 0;                // wheel turn not yet zoomed, in eighths of a degree
    QTimer m_scrollTimer;

    // The backing frame: the picture as last painted, and what it was painted for.
    mutable QImage m_frame;
    mutable CViewTransform m_frameTransform;
    mutable int m_frameGeneration = -1;
    int m_generation = 0; // counts the pictures shown
};

Q_DECLARE_OPERATORS_FOR_FLAGS(CGrabPictureView::EChanges)

} // namespace quorvel
