#pragma once
// The face grab dialog: the user opens a picture, drags out a region of it and gets that
// region as one expression's two faces, 64x64 and 24x24, reduced to the game palette. The
// picture is shown 1:1 in a scrollable picture area; while dragging, the previews show the
// region stretched from the true-colour picture, and on release the faces are made from it.
// The dialog works on a copy of the form's face slot; on accept the form takes its faces.

#include "image/RgbImage.h"
#include "ui/FaceSlot.h"
#include "ui/GrabSelection.h"

#include <QDialog>
#include <QTimer>

#include <memory>
#include <optional>
#include <vector>

class QCheckBox;
class QLabel;
class QPushButton;
class QScrollBar;

namespace quorvel {

class CGrabFaceDialog final : public QDialog
{
    Q_OBJECT

public:
    // Template 131's controls.
    enum ControlId : int {
        kPictureArea = 1017,
        kVerticalOffset = 1020,
        kHorizontalOffset = 1021,
        kPreviewCaption = 1012,
        kSmallPreview = 1022,
        kLargePreview = 1023,
        kSquare = 1024,
        kDontStretch = 1025,
        kOpenImage = 1013,
        kGrab = 1016,
        kTurnOff = 1036,
        kCancel = 2,
    };

    // Works on a copy of the slot. The first picture is the slot's large face in its colours,
    // or the no-picture image when the slot has no faces; its faces are made at once.
    explicit CGrabFaceDialog(const CFaceSlot &slot, QWidget *parent = nullptr);
    ~CGrabFaceDialog() override;

    // The faces made so far: from the last selection, from a whole new picture, or none.
    const CFaceSlot &Result() const { return m_slot; }

    // Loads a picture file as "Open image.." does. A file no loader reads whole leaves what
    // the loaders left (at worst one black pixel), and the status line says so.
    void LoadPictureFile(const QString &path);
    // Takes a picture already decoded (pasted); origin names it in the status line.
    void LoadPicture(const QImage &picture, const QString &origin);

    const CRgbImage &Picture() const { return *m_picture; }
    QWidget *PictureArea() const;
    // The picture pixel at the picture area's top-left corner.
    QPoint ScrollOffset() const { return m_scroll; }
    QPoint MaxScrollOffset() const { return m_maxScroll; }
    bool IsDragging() const { return m_dragging; }
    // The region a drag selects, moved by the offset; see ComputeSelection.
    std::optional<CGrabRect> Selection(QPoint offset = QPoint()) const;
    // What the picture is and whether it was read whole, as the status line tells it.
    QString LoadStatus() const { return m_status; }

    // The 20 ms timer that scrolls the picture while the pointer is held off-centre during a
    // drag, and one of its ticks at once (tests stop the timer and tick by hand).
    QTimer &ScrollTimer() { return m_scrollTimer; }
    void RunScrollTick();

protected:
    void showEvent(QShowEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    class CPictureArea;

    void CreateControls();
    void ResetView();
    void MakeFaces(bool wholePicture);
    // The picture point under a point of the dialog, if it lies on the picture.
    std::optional<QPoint> PointerToPicture(QPoint point) const;
    void Redraw();
    void ReplacePicture(std::unique_ptr<CRgbImage> picture, const QString &origin, bool loaded);
    void ShowStatus(const QString &origin, bool loaded);
    // What the faces were made from: that rectangle, the whole picture, or nothing.
    void DescribeResult(const std::optional<CGrabRect> &cut, bool wholePicture);

    // Handlers; points in the dialog's coordinates.
    void OnLButtonDown(QPoint point);
    void OnMouseMove(QPoint point);
    void OnLButtonUp(QPoint point);
    void OnOpenImage();
    void OnSquareClicked();
    void OnDontStretchClicked();
    void OnGrab();
    void OnTurnOff();
    void OnPaste();
    void OnWheel(QWheelEvent *event, bool sideways);

    void PaintPictureArea(QPainter &painter) const;
    void PaintPreviews(QPainter &painter, const CGrabRect &selection);

    std::unique_ptr<CRgbImage> m_picture;
    CFaceSlot m_slot;
    QPoint m_scroll;
    QPoint m_maxScroll;
    QPoint m_lastPointer;
    QTimer m_scrollTimer;
    QPoint m_anchor;
    QPoint m_current;
    bool m_dragging = false;

    CPictureArea *m_area = nullptr;
    QScrollBar *m_horizontalBar = nullptr;
    QScrollBar *m_verticalBar = nullptr;
    QCheckBox *m_square = nullptr;
    QCheckBox *m_dontStretch = nullptr;
    QLabel *m_statusLine = nullptr;
    QString m_status;

    // The live previews of the last selection painted, kept while it stands.
    std::optional<CGrabRect> m_previewSelection;
    std::vector<std::unique_ptr<CRgbImage>> m_previews;
};

} // namespace quorvel
