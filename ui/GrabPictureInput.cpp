// The picture area's mouse, wheel and keyboard: drags that make, move and resize the box or
// pan the view, the edge scrolling that goes with them, and the keys that move the box.

#include "ui/GrabPictureView.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

#include <algorithm>

namespace quorvel {

namespace {

// One notch of the mouse wheel moves the picture by this many pixels a wheel line.
constexpr int kWheelLinePixels = 16;
constexpr int kWheelNotch = 120; // eighths of a degree

bool IsArrow(int key)
{
    return key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Up
        || key == Qt::Key_Down;
}

QPoint ArrowDelta(int key)
{
    switch (key) {
    case Qt::Key_Left: return QPoint(-1, 0);
    case Qt::Key_Right: return QPoint(1, 0);
    case Qt::Key_Up: return QPoint(0, -1);
    case Qt::Key_Down: return QPoint(0, 1);
    default: return QPoint();
    }
}

Qt::CursorShape CursorFor(EBoxPart part)
{
    switch (part) {
    case EBoxPart::TopLeft:
    case EBoxPart::BottomRight: return Qt::SizeFDiagCursor;
    case EBoxPart::TopRight:
    case EBoxPart::BottomLeft: return Qt::SizeBDiagCursor;
    case EBoxPart::Left:
    case EBoxPart::Right: return Qt::SizeHorCursor;
    case EBoxPart::Top:
    case EBoxPart::Bottom: return Qt::SizeVerCursor;
    case EBoxPart::Inside: return Qt::SizeAllCursor;
    case EBoxPart::None: break;
    }
    return Qt::CrossCursor;
}

} // namespace

void CGrabPictureView::Wheel(const QWheelEvent *event, bool sideways, QPoint pointer)
{
    if (event->modifiers() & Qt::ControlModifier) {
        m_wheelZoom += event->angleDelta().y() != 0 ? event->angleDelta().y()
                                                    : event->angleDelta().x();
        while (std::abs(m_wheelZoom) >= kWheelNotch) {
            const int direction = m_wheelZoom > 0 ? 1 : -1;
            m_wheelZoom -= direction * kWheelNotch;
            ZoomTo(NextZoomStep(m_transform.scale, direction), pointer);
        }
        return;
    }
    QPoint pixels = event->pixelDelta();
    if (pixels.isNull())
        pixels = event->angleDelta() * (QApplication::wheelScrollLines() * kWheelLinePixels)
            / kWheelNotch;
    // Shift turns the wheel sideways; some systems already deliver it so.
    if (event->modifiers() & Qt::ShiftModifier || (pixels.y() == 0 && pixels.x() != 0))
        sideways = true;
    const int delta = pixels.y() != 0 ? pixels.y() : pixels.x();
    SetScroll(Scroll() - (sideways ? QPoint(delta, 0) : QPoint(0, delta)));
}

QPoint CGrabPictureView::DragPoint(QPoint point) const
{
    const QSize size = PictureSize();
    const QPoint at = m_transform.PictureAt(point);
    return QPoint(std::clamp(at.x(), 0, std::max(0, size.width() - 1)),
                  std::clamp(at.y(), 0, std::max(0, size.height() - 1)));
}

void CGrabPictureView::mousePressEvent(QMouseEvent *event)
{
    event->accept();
    if (!m_picture || m_drag != EDrag::None)
        return;
    const QPoint point = event->position().toPoint();
    m_lastPointer = point;
    if (event->button() == Qt::MiddleButton
        || (event->button() == Qt::LeftButton && m_spaceHeld)) {
        m_drag = EDrag::Pan;
        m_pressPoint = point;
        m_offsetAtPress = m_transform.offset;
        setCursor(Qt::ClosedHandCursor);
        return;
    }
    if (event->button() != Qt::LeftButton)
        return;
    FinishChange(); // a key still held
    const EBoxPart part = m_box ? HitBoxPart(m_transform.ScreenRect(*m_box), point, HandleSide(),
                                             !m_dontStretch)
                                : EBoxPart::None;
    m_boxAtPress = m_box;
    if (part == EBoxPart::Inside) {
        m_drag = EDrag::Move;
        m_pressPicture = m_transform.PictureAt(point);
    } else if (part != EBoxPart::None) {
        m_drag = EDrag::Resize;
        m_part = part;
    } else {
        // Beside the picture there is nothing to start a box from.
        const QPoint under = m_transform.PixelUnder(point);
        if (!QRect(QPoint(), PictureSize()).contains(under))
            return;
        m_drag = EDrag::NewBox;
        m_anchor = DragPoint(point);
    }
    m_scrollTimer.start();
    UpdateDrag();
    Report(EChange::Box); // the drag has begun, whether or not the box moved yet
}

void CGrabPictureView::mouseMoveEvent(QMouseEvent *event)
{
    event->accept();
    const QPoint point = event->position().toPoint();
    if (m_drag == EDrag::None) {
        UpdateCursor(point);
        return;
    }
    m_lastPointer = point;
    UpdateDrag();
}

void CGrabPictureView::mouseReleaseEvent(QMouseEvent *event)
{
    event->accept();
    if (m_drag == EDrag::None)
        return;
    const bool ends = m_drag == EDrag::Pan
        ? (event->button() == Qt::MiddleButton || event->button() == Qt::LeftButton)
        : event->button() == Qt::LeftButton;
    if (!ends)
        return;
    m_lastPointer = event->position().toPoint();
    UpdateDrag();
    EndDrag();
    UpdateCursor(m_lastPointer);
}

void CGrabPictureView::UpdateDrag()
{
    const QSize size = PictureSize();
    switch (m_drag) {
    case EDrag::None:
        return;
    case EDrag::Pan: {
        const QPoint before = m_transform.offset;
        SetOffset(m_offsetAtPress - (m_lastPointer - m_pressPoint));
        if (before != m_transform.offset)
            Report(EChange::View);
        return;
    }
    case EDrag::NewBox: {
        const CGrabSelection selection{m_anchor, DragPoint(m_lastPointer), true, false, m_square,
                                       m_dontStretch};
        ChangeBox(ComputeSelection(selection, size), EChange::Box);
        return;
    }
    case EDrag::Move:
        if (m_boxAtPress)
            ChangeBox(MoveBox(*m_boxAtPress, m_transform.PictureAt(m_lastPointer) - m_pressPicture,
                              size),
                      EChange::Box);
        return;
    case EDrag::Resize:
        if (m_boxAtPress)
            ChangeBox(ResizeBox(*m_boxAtPress, m_part, m_transform.PictureAt(m_lastPointer),
                                m_square, m_dontStretch, size),
                      EChange::Box);
        return;
    }
}

void CGrabPictureView::EndDrag()
{
    const EDrag drag = m_drag;
    m_drag = EDrag::None;
    m_scrollTimer.stop();
    if (drag != EDrag::Pan)
        Report(EChange::Box | EChange::BoxDone);
}

void CGrabPictureView::RunScrollTick()
{
    if (m_drag == EDrag::None || m_drag == EDrag::Pan)
        return;
    const QPoint step = EdgeScrollStep(size(), m_lastPointer, Scroll(), MaxScroll());
    if (!step.isNull())
        SetScroll(Scroll() + step);
    UpdateDrag();
}

void CGrabPictureView::UpdateCursor(QPoint point)
{
    if (m_spaceHeld) {
        setCursor(Qt::OpenHandCursor);
        return;
    }
    const EBoxPart part = m_box ? HitBoxPart(m_transform.ScreenRect(*m_box), point, HandleSide(),
                                             !m_dontStretch)
                                : EBoxPart::None;
    setCursor(CursorFor(part));
}

void CGrabPictureView::wheelEvent(QWheelEvent *event)
{
    event->accept();
    Wheel(event, false, event->position().toPoint());
}

void CGrabPictureView::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Space) {
        if (!event->isAutoRepeat()) {
            m_spaceHeld = true;
            UpdateCursor(mapFromGlobal(QCursor::pos()));
        }
        event->accept();
        return;
    }
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (!IsArrow(event->key()) || !m_picture || (modifiers & Qt::ControlModifier)
        || m_drag != EDrag::None) {
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
    MoveOrGrowByKey(event->key(), modifiers);
}

void CGrabPictureView::MoveOrGrowByKey(int key, Qt::KeyboardModifiers modifiers)
{
    const QSize size = PictureSize();
    if (!m_box) {
        // The first arrow makes a box to work on.
        const std::optional<CGrabRect> made = DefaultBox(m_dontStretch, size);
        if (!made) {
            QApplication::beep();
            return;
        }
        ChangeBox(made, EChange::Box | EChange::BoxDone);
        BringBoxIntoSight();
        return;
    }
    const QPoint delta = ArrowDelta(key) * ((modifiers & Qt::ShiftModifier) ? 10 : 1);
    const CGrabRect changed = (modifiers & Qt::AltModifier)
        ? GrowBox(*m_box, delta.x(), delta.y(), m_square, m_dontStretch, size)
        : MoveBox(*m_box, delta, size);
    m_keyChanging = true;
    ChangeBox(changed, EChange::Box);
    ScrollBoxIntoView();
}

void CGrabPictureView::keyReleaseEvent(QKeyEvent *event)
{
    if (event->isAutoRepeat()) {
        QWidget::keyReleaseEvent(event);
        return;
    }
    if (event->key() == Qt::Key_Space) {
        m_spaceHeld = false;
        UpdateCursor(mapFromGlobal(QCursor::pos()));
    } else if (IsArrow(event->key()) && m_keyChanging) {
        m_keyChanging = false;
        Report(EChange::Box | EChange::BoxDone);
    }
    QWidget::keyReleaseEvent(event);
}

void CGrabPictureView::focusInEvent(QFocusEvent *event)
{
    QWidget::focusInEvent(event);
    update();
}

void CGrabPictureView::focusOutEvent(QFocusEvent *event)
{
    m_spaceHeld = false;
    if (m_keyChanging)
        FinishChange();
    QWidget::focusOutEvent(event);
    update();
}

} // namespace quorvel
