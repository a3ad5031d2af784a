#include "ui/GrabPictureView.h"

#include "image/RgbImage.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace quorvel {

namespace {

constexpr int kScrollInterval = 20; // milliseconds
constexpr int kHandleSide = 7;   // at 96 dots an inch
// What the box keeps from the view's edge when it is scrolled into sight.
constexpr int kSightMargin = 16;

// The block of an RGB888 picture from (x, y), without a copy.
QImage Block(const QImage &picture, int x, int y, int width, int height)
{
    return QImage(picture.constBits() + qsizetype(y) * picture.bytesPerLine() + qsizetype(x) * 3,
                  width, height, picture.bytesPerLine(), QImage::Format_RGB888);
}

} // namespace

CGrabPictureView::CGrabPictureView(QWidget *parent) : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setCursor(Qt::CrossCursor);
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_scrollTimer.setInterval(kScrollInterval);
    connect(&m_scrollTimer, &QTimer::timeout, this, &CGrabPictureView::RunScrollTick);
}

CGrabPictureView::~CGrabPictureView() = default;

void CGrabPictureView::SetPicture(const CRgbImage *picture)
{
    m_drag = EDrag::None;
    m_keyChanging = false;
    m_scrollTimer.stop();
    m_picture = picture;
    ++m_generation;
    m_pyramid = picture ? CPicturePyramid(*picture) : CPicturePyramid();
    m_box.reset();
    const QSize size = PictureSize();
    m_fit = size.width() > width() || size.height() > height();
    m_transform.scale = m_fit ? FitScale(size, this->size()) : CViewScale{1, 1};
    m_transform.offset = QPoint(0, 0);
    SetOffset(m_transform.offset);
    update();
    Report(EChange::View | EChange::Box);
}

QSize CGrabPictureView::PictureSize() const
{
    return m_picture ? QSize(m_picture->Width(), m_picture->Height()) : QSize();
}

void CGrabPictureView::SetModes(bool square, bool dontStretch)
{
    m_square = square;
    m_dontStretch = dontStretch;
    update();
}

void CGrabPictureView::SetBox(const std::optional<CGrabRect> &box)
{
    FinishChange();
    std::optional<CGrabRect> kept = box;
    if (kept) {
        // Ordered, then moved and cut onto the picture as a dragged box would be.
        const QSize size = PictureSize();
        CGrabRect r{std::min(box->left, box->right), std::min(box->top, box->bottom),
                    std::max(box->left, box->right), std::max(box->top, box->bottom)};
        r.right = std::min(r.right, r.left + std::max(0, size.width() - 1));
        r.bottom = std::min(r.bottom, r.top + std::max(0, size.height() - 1));
        kept = MoveBox(r, QPoint(), size);
    }
    ChangeBox(kept, EChange::Box | EChange::BoxDone);
}

void CGrabPictureView::ChangeBox(const std::optional<CGrabRect> &box, EChanges what)
{
    const bool moved = box != m_box;
    m_box = box;
    if (moved)
        update();
    if (moved || what.testFlag(EChange::BoxDone))
        Report(what);
}

void CGrabPictureView::FinishChange()
{
    if (m_drag != EDrag::None) {
        EndDrag();
    } else if (m_keyChanging) {
        m_keyChanging = false;
        Report(EChange::Box | EChange::BoxDone);
    }
}

void CGrabPictureView::BringBoxIntoSight()
{
    if (!m_box)
        return;
    const QSize room = size() - QSize(2 * kSightMargin, 2 * kSightMargin);
    CViewScale scale = m_transform.scale;
    const auto fits = [&](CViewScale s) {
        const CViewTransform at{s, QPoint()};
        const QRect shown = at.ScreenRect(*m_box);
        return shown.width() <= room.width() && shown.height() <= room.height();
    };
    if (!fits(scale)) {
        while (!fits(scale) && ZoomSteps().front() < scale)
            scale = NextZoomStep(scale, -1);
        const CViewScale fit = FitScale(PictureSize(), size());
        if (!fits(scale) || scale < fit) {
            ZoomToFit();
        } else {
            // The box's middle in the view's middle.
            m_fit = false;
            m_transform.scale = scale;
            const CViewTransform at{scale, QPoint()};
            const QRect shown = at.ScreenRect(*m_box);
            SetOffset(shown.center() - rect().center());
            Report(EChange::View);
        }
        return;
    }
    ScrollBoxIntoView();
}

void CGrabPictureView::ScrollBoxIntoView()
{
    if (!m_box)
        return;
    const QRect shown = m_transform.ScreenRect(*m_box);
    const auto axis = [](int low, int high, int extent) {
        const int margin = std::min(kSightMargin, std::max(0, (extent - (high - low)) / 2));
        if (high - low > extent || low < margin)
            return low - margin;
        return high > extent - margin ? high - (extent - margin) : 0;
    };
    const QPoint by(axis(shown.left(), shown.left() + shown.width(), width()),
                    axis(shown.top(), shown.top() + shown.height(), height()));
    if (!by.isNull()) {
        SetOffset(m_transform.offset + by);
        Report(EChange::View);
    }
}

QRect CGrabPictureView::OffsetRange() const
{
    return quorvel::OffsetRange(m_transform.ScaledSize(PictureSize()), size());
}

void CGrabPictureView::SetOffset(QPoint offset)
{
    const QRect range = OffsetRange();
    const QPoint kept(std::clamp(offset.x(), range.left(), range.right()),
                      std::clamp(offset.y(), range.top(), range.bottom()));
    if (kept != m_transform.offset) {
        m_transform.offset = kept;
        update();
    }
}

QPoint CGrabPictureView::Scroll() const
{
    return m_transform.offset - OffsetRange().topLeft();
}

QPoint CGrabPictureView::MaxScroll() const
{
    const QRect range = OffsetRange();
    return range.bottomRight() - range.topLeft();
}

void CGrabPictureView::SetScroll(QPoint scroll)
{
    const QPoint before = m_transform.offset;
    SetOffset(OffsetRange().topLeft() + scroll);
    if (m_transform.offset != before)
        Report(EChange::View);
}

void CGrabPictureView::ZoomTo(CViewScale scale, QPoint about)
{
    const QPoint offset = m_transform.OffsetKeeping(about, scale);
    m_fit = false;
    m_transform.scale = scale;
    m_transform.offset = offset;
    SetOffset(offset);
    update();
    Report(EChange::View);
}

QPoint CGrabPictureView::ZoomCentre() const
{
    if (m_box) {
        const QRect shown = m_transform.ScreenRect(*m_box);
        if (shown.intersects(rect()))
            return QPoint(std::clamp(shown.center().x(), 0, width() - 1),
                          std::clamp(shown.center().y(), 0, height() - 1));
    }
    return rect().center();
}

void CGrabPictureView::ZoomToFit()
{
    m_fit = true;
    m_transform.scale = FitScale(PictureSize(), size());
    SetOffset(m_transform.offset);
    update();
    Report(EChange::View);
}

int CGrabPictureView::HandleSide() const
{
    // Odd, so that a handle has a middle pixel on the box's corner.
    return std::max(kHandleSide, int(std::lround(kHandleSide * logicalDpiY() / 96.0))) | 1;
}

void CGrabPictureView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (m_fit)
        m_transform.scale = FitScale(PictureSize(), size());
    SetOffset(m_transform.offset);
    Report(EChange::View);
}

void CGrabPictureView::Report(EChanges what)
{
    emit changed(what);
}

void CGrabPictureView::PaintPicture(QPainter &painter)
{
    painter.fillRect(rect(), palette().color(QPalette::Mid));
    if (!m_picture || m_picture->Width() <= 0 || m_picture->Height() <= 0)
        return;
    const QSize size = PictureSize();
    // The picture pixels the view shows, from its first pixel's to its last one's.
    const QPoint first = m_transform.PixelUnder(QPoint(0, 0));
    const QPoint last = m_transform.PixelUnder(QPoint(width() - 1, height() - 1));
    const int x0 = std::clamp(first.x(), 0, size.width());
    const int y0 = std::clamp(first.y(), 0, size.height());
    const int x1 = std::clamp(last.x() + 1, 0, size.width());
    const int y1 = std::clamp(last.y() + 1, 0, size.height());
    if (x1 <= x0 || y1 <= y0)
        return;
    const CViewScale scale = m_transform.scale;
    const QPoint at = m_transform.ScreenAt(QPoint(x0, y0));
    if (scale == CViewScale{1, 1}) {
        DrawImageBlock(painter, m_picture->AsQImage(), at.x(), at.y(), x0, y0, x1 - x0, y1 - y0);
        return;
    }
    const QRectF target(at, m_transform.ScreenAt(QPoint(x1, y1)));
    if (CViewScale{1, 1} < scale) {
        // Each picture pixel a crisp square: the few pixels shown, enlarged without smoothing.
        const QImage block
            = Block(m_picture->AsQImage(), x0, y0, x1 - x0, y1 - y0).convertToFormat(
                QImage::Format_RGB32);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
        painter.drawImage(target, block);
        return;
    }
    // Below 1:1, from the nearest halving at least as fine as the screen, which is then
    // shrunk by less than half.
    int level = m_pyramid.LevelFor(scale.Value());
    if (level == 1)
        m_pyramid.MakeFirstLevel(*m_picture); // only once shown: most photos open coarser
    if (level > 0 && m_pyramid.Level(level).isNull())
        level = 0; // level 1 could not be had for memory: the picture itself, shrunk further
    const QImage source = level == 0 ? m_picture->AsQImage() : m_pyramid.Level(level);
    const int unit = 1 << level;
    const int lx0 = x0 / unit, ly0 = y0 / unit;
    const int lx1 = std::min(source.width(), (x1 + unit - 1) / unit);
    const int ly1 = std::min(source.height(), (y1 + unit - 1) / unit);
    const QImage block = Block(source, lx0, ly0, lx1 - lx0, ly1 - ly0);
    // The last level pixel may stand for fewer picture pixels than the others.
    const int right = std::min(lx1 * unit, size.width());
    const int bottom = std::min(ly1 * unit, size.height());
    const QRectF from(0, 0, double(right - lx0 * unit) / unit, double(bottom - ly0 * unit) / unit);
    const QRectF to(m_transform.ScreenAt(QPoint(lx0 * unit, ly0 * unit)),
                    m_transform.ScreenAt(QPoint(right, bottom)));
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.translate(to.topLeft());
    painter.scale(to.width() / from.width(), to.height() / from.height());
    // In the screen's own format first, which Qt shrinks several times faster, a band of rows
    // at a time, so that the whole block is never copied: a fit 18-megapixel photo's would be
    // 4.5 MB. Each band brings kBandMargin rows more on either side and is clipped to its own
    // rows, so the smoothing across its edges is what one block would give.
    constexpr int kBandRows = 64, kBandMargin = 2;
    for (int top = 0; top < block.height(); top += kBandRows) {
        const int end = std::min(block.height(), top + kBandRows);
        const int first = std::max(0, top - kBandMargin);
        const int last = std::min(block.height(), end + kBandMargin);
        const QImage band = Block(block, 0, first, block.width(), last - first)
                                .convertToFormat(QImage::Format_RGB32);
        painter.setClipRect(QRectF(0, top, from.width(), std::min<double>(end, from.height()) - top));
        painter.drawImage(QPointF(0, first), band);
    }
    painter.restore();
}

void CGrabPictureView::paintEvent(QPaintEvent *)
{
    const qreal ratio = devicePixelRatioF();
    if (m_frame.isNull() || m_frame.deviceIndependentSize() != QSizeF(size())
        || !(m_frameTransform == m_transform) || m_frameGeneration != m_generation) {
        m_frame = QImage(size() * ratio, QImage::Format_RGB32);
        m_frame.setDevicePixelRatio(ratio);
        QPainter frame(&m_frame);
        PaintPicture(frame);
        m_frameTransform = m_transform;
        m_frameGeneration = m_generation;
    }
    QPainter painter(this);
    painter.drawImage(0, 0, m_frame);
    PaintBox(painter);
    if (hasFocus()) {
        // The focus mark: a frame in the selection colour inside the view's edge.
        QPen pen(palette().color(QPalette::Highlight), 2);
        pen.setJoinStyle(Qt::MiterJoin);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRectF(rect()).adjusted(1, 1, -1, -1));
    }
}

void CGrabPictureView::PaintBox(QPainter &painter) const
{
    if (!m_box)
        return;
    const QRect shown = m_transform.ScreenRect(*m_box);
    // The outline on the box's edge pixels, white under black dashes, so it shows on any photo.
    const QRect edge(shown.topLeft(), QSize(std::max(1, shown.width()) - 1,
                                            std::max(1, shown.height()) - 1));
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Qt::white, 1));
    painter.drawRect(edge);
    QPen dashes(Qt::black, 1);
    dashes.setDashPattern({3, 3});
    painter.setPen(dashes);
    painter.drawRect(edge);
    if (m_dontStretch)
        return; // it can only move: no handles
    const int side = HandleSide();
    const int left = shown.left(), top = shown.top();
    const int right = left + shown.width(), bottom = top + shown.height();
    const int midX = left + shown.width() / 2, midY = top + shown.height() / 2;
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(Qt::white);
    for (const QPoint centre : {QPoint(left, top), QPoint(midX, top), QPoint(right, top),
                                QPoint(right, midY), QPoint(right, bottom), QPoint(midX, bottom),
                                QPoint(left, bottom), QPoint(left, midY)})
        painter.drawRect(QRect(centre - QPoint(side / 2, side / 2), QSize(side - 1, side - 1)));
}

} // namespace quorvel
