#include "ui/FaceSlot.h"

#include "image/Palette.h"
#include "ui/DialogTemplate.h"

#include <QCoreApplication>
#include <QPainter>

#include <algorithm>

namespace quorvel {

namespace {

constexpr QSize kSmallFrameSize(26, 26);
constexpr QSize kLargeFrameSize(66, 66);

QColor PaletteColour(const CRgbTriple &colour)
{
    const CRgbTriple &entry = PaletteEntry(NearestPaletteIndex(colour));
    return QColor(entry.red, entry.green, entry.blue);
}

// Bottom-left to top-right and bottom-right to top-left, corner to corner, each line's last
// point left out as the window system draws lines. Frames are square, so each line is a
// diagonal and its last point but one lies a step in from the far corner.
void DrawCross(QPainter &painter, const QRect &rect)
{
    painter.setPen(QPen(Qt::black, 1));
    painter.drawLine(rect.bottomLeft(), rect.topRight() + QPoint(-1, 1));
    painter.drawLine(rect.bottomRight(), rect.topLeft() + QPoint(1, 1));
}

} // namespace

void DrawBorder(QPainter &painter, const QRect &rect, const QColor &colour)
{
    painter.fillRect(rect.left(), rect.top(), rect.width(), 1, colour);
    painter.fillRect(rect.left(), rect.bottom(), rect.width(), 1, colour);
    painter.fillRect(rect.left(), rect.top(), 1, rect.height(), colour);
    painter.fillRect(rect.right(), rect.top(), 1, rect.height(), colour);
}

void DrawFacePicture(QPainter &painter, QImage image, const QRect &inside)
{
    if (image.isNull())
        return;
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const int step = std::max(1, int(ratio));
    if (step > 1)
        image = image.scaled(image.size() * step, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    image.setDevicePixelRatio(ratio);
    const QSizeF shown = image.deviceIndependentSize();
    painter.drawImage(QPointF(inside.x() + (inside.width() - shown.width()) / 2,
                              inside.y() + (inside.height() - shown.height()) / 2),
                      image);
}

QString CapitalisedExpression(const char *expressionName)
{
    QString name = QString::fromLatin1(expressionName);
    if (!name.isEmpty())
        name[0] = name[0].toUpper();
    return name;
}

CFaceSlot::CFaceSlot(const char *expressionName, std::uint32_t expressionBit, int smallFrameId,
                     int largeFrameId)
    : m_smallFrameId(smallFrameId)
    , m_largeFrameId(largeFrameId)
    , m_expressionName(expressionName)
    , m_expressionBit(expressionBit)
{
}

CFaceSlot::CFaceSlot(const CFaceSlot &other, int smallFrameId, int largeFrameId)
    : CFaceSlot(other.m_expressionName, other.m_expressionBit, smallFrameId, largeFrameId)
{
    if (other.HasFaces()) {
        m_smallFace = std::make_unique<CPaletteImage>(*other.m_smallFace);
        m_largeFace = std::make_unique<CPaletteImage>(*other.m_largeFace);
    }
}

QColor CFaceSlot::FrameColour()
{
    static const QColor colour = PaletteColour(CRgbTriple(0, 0, 0));
    return colour;
}

QColor CFaceSlot::EmptyColour()
{
    static const QColor colour = PaletteColour(CRgbTriple(128, 32, 32));
    return colour;
}

void CFaceSlot::Attach(QWidget *owner)
{
    m_owner = owner;
    m_smallFrame = FindControl(owner, m_smallFrameId);
    m_largeFrame = FindControl(owner, m_largeFrameId);
    if (m_smallFrame) {
        m_smallFrame->setGeometry(QRect(m_smallFrame->pos(), kSmallFrameSize));
        m_smallFrame->show();
    }
    if (m_largeFrame) {
        m_largeFrame->setGeometry(QRect(m_largeFrame->pos(), kLargeFrameSize));
        m_largeFrame->show();
    }
    DescribeFrames();
    InvalidateFrames(true);
}

void CFaceSlot::SetPictures(std::unique_ptr<CPaletteImage> smallFace,
                            std::unique_ptr<CPaletteImage> largeFace)
{
    // The old faces go only after the new ones are in place.
    m_smallFace.swap(smallFace);
    m_largeFace.swap(largeFace);
    DescribeFrames();
    InvalidateFrames(true);
}

void CFaceSlot::SetPictures(const CPaletteImage *smallFace, const CPaletteImage *largeFace)
{
    if (smallFace && largeFace) {
        SetPictures(std::make_unique<CPaletteImage>(*smallFace),
                    std::make_unique<CPaletteImage>(*largeFace));
    } else {
        SetPictures(std::unique_ptr<CPaletteImage>(), std::unique_ptr<CPaletteImage>());
    }
}

QRect CFaceSlot::FrameRect(const QWidget *frame) const
{
    if (!frame || !m_owner)
        return {};
    return QRect(frame->mapTo(m_owner, QPoint(0, 0)), frame->size());
}

void CFaceSlot::InvalidateFrames(bool updateNow) const
{
    if (!m_owner)
        return;
    const QRegion frames = QRegion(FrameRect(m_smallFrame)) + FrameRect(m_largeFrame);
    if (updateNow)
        m_owner->repaint(frames);
    else
        m_owner->update(frames);
}

bool CFaceSlot::HitTest(const QPoint &point) const
{
    return FrameRect(m_smallFrame).contains(point) || FrameRect(m_largeFrame).contains(point);
}

void CFaceSlot::PaintFaces(QPainter &painter) const
{
    if (!m_smallFrame || !m_largeFrame)
        return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    const std::pair<QRect, const CPaletteImage *> frames[] = {
        {FrameRect(m_smallFrame), m_smallFace.get()},
        {FrameRect(m_largeFrame), m_largeFace.get()},
    };
    for (const auto &[rect, face] : frames) {
        if (HasFaces()) {
            DrawBorder(painter, rect, FrameColour());
            DrawFacePicture(painter, face->AsQImage(), rect.adjusted(1, 1, -1, -1));
        } else {
            painter.fillRect(rect, EmptyColour());
            DrawCross(painter, rect);
        }
    }
    painter.restore();
}

void CFaceSlot::DescribeFrames() const
{
    // What the empty marking shows, for those who cannot see it.
    const QString description =
        HasFaces() ? QString() : QCoreApplication::translate("CFaceSlot", "No face");
    for (QWidget *frame : {m_smallFrame.data(), m_largeFrame.data()}) {
        if (frame)
            frame->setAccessibleDescription(description);
    }
}

} // namespace quorvel
