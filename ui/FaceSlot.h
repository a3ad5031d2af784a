#pragma once
// One expression's pair of faces, 24x24 and 64x64, bound to two frame controls of a window:
// the company form's frames, or the previews of a dialog that works on a copy of the slot.

#include "image/PaletteImage.h"

#include <QPointer>
#include <QRect>
#include <QWidget>

#include <cstdint>
#include <memory>

class QPainter;

namespace quorvel {

class CFaceSlot
{
public:
    CFaceSlot(const char *expressionName, std::uint32_t expressionBit, int smallFrameId,
              int largeFrameId);
    // The copy for a dialog: the same expression and copies of the faces, shown in the
    // dialog's own frames once it attaches the copy.
    CFaceSlot(const CFaceSlot &other, int smallFrameId, int largeFrameId);

    CFaceSlot(CFaceSlot &&) = default;
    CFaceSlot(const CFaceSlot &) = delete;
    CFaceSlot &operator=(const CFaceSlot &) = delete;
    CFaceSlot &operator=(CFaceSlot &&) = delete;

    // Binds the slot to the owner's two frames (found by their ids), makes them 26x26 and
    // 66x66 so each leaves a one-pixel border around its face, and repaints them. A frame the
    // owner lacks is skipped.
    void Attach(QWidget *owner);

    // Takes these faces. Both or neither: a single face counts as none.
    void SetPictures(std::unique_ptr<CPaletteImage> smallFace,
                     std::unique_ptr<CPaletteImage> largeFace);
    // Takes copies of these faces, or none when either is missing.
    void SetPictures(const CPaletteImage *smallFace, const CPaletteImage *largeFace);
    void ClearPictures() { SetPictures(nullptr, nullptr); }

    // Asks the owner to repaint both frames; with updateNow it repaints them at once.
    void InvalidateFrames(bool updateNow) const;
    // True when the point, in the owner's coordinates, lies in either frame (left and top
    // edges inside, right and bottom edges outside).
    bool HitTest(const QPoint &point) const;
    // Paints both frames into the owner's painter: the faces 1:1 inside a one-pixel border, or,
    // without faces, the empty marking (dark red with a black cross).
    void PaintFaces(QPainter &painter) const;

    bool HasFaces() const { return m_smallFace && m_largeFace; }
    const CPaletteImage *SmallFace() const { return HasFaces() ? m_smallFace.get() : nullptr; }
    const CPaletteImage *LargeFace() const { return HasFaces() ? m_largeFace.get() : nullptr; }
    const char *ExpressionName() const { return m_expressionName; }
    std::uint32_t ExpressionBit() const { return m_expressionBit; }
    int SmallFrameId() const { return m_smallFrameId; }
    int LargeFrameId() const { return m_largeFrameId; }
    QWidget *Owner() const { return m_owner; }
    QWidget *SmallFrame() const { return m_smallFrame; }
    QWidget *LargeFrame() const { return m_largeFrame; }

    // The frame colours: the palette's nearest to black, and to (128, 32, 32) for no face.
    static QColor FrameColour();
    static QColor EmptyColour();

private:
    QRect FrameRect(const QWidget *frame) const;
    void DescribeFrames() const;

    QPointer<QWidget> m_owner;
    QPointer<QWidget> m_smallFrame;
    QPointer<QWidget> m_largeFrame;
    int m_smallFrameId;
    int m_largeFrameId;
    const char *m_expressionName;
    std::unique_ptr<CPaletteImage> m_smallFace;
    std::unique_ptr<CPaletteImage> m_largeFace;
    std::uint32_t m_expressionBit;
};

// A one-pixel border just inside the rectangle.
void DrawBorder(QPainter &painter, const QRect &rect, const QColor &colour);
// A face picture with each of its pixels on whole screen pixels, centred in the rectangle: 1:1
// on an ordinary screen, and on a high-density one enlarged by the largest whole factor that
// fits, without smoothing.
void DrawFacePicture(QPainter &painter, QImage image, const QRect &inside);

// "Default", "Happy", ...: an expression name as the start of a caption.
QString CapitalisedExpression(const char *expressionName);

} // namespace quorvel
