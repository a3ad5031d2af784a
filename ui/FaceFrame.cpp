#include "ui/FaceFrame.h"

#include "ui/DialogTemplate.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QMetaMethod>
#include <QPainter>

#include <optional>

namespace quorvel {

CFaceFrame::CFaceFrame(int controlId, QWidget *parent)
    : QAbstractButton(parent)
{
    setObjectName(ControlName(controlId));
    setFocusPolicy(Qt::NoFocus);
}

// The focus mark takes the place of the border, so the face itself stays as it is.
void CFaceFrame::paintEvent(QPaintEvent *)
{
    if (!hasFocus())
        return;
    QPainter painter(this);
    painter.setPen(QPen(palette().color(QPalette::Highlight), 1));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

namespace {

// The editing key the event is, as the platform binds them, or none.
std::optional<QKeySequence::StandardKey> EditingKey(const QKeyEvent *event)
{
    for (QKeySequence::StandardKey key : {QKeySequence::Copy, QKeySequence::Cut, QKeySequence::Paste}) {
        if (event->matches(key))
            return key;
    }
    return std::nullopt;
}

} // namespace

bool CFaceFrame::event(QEvent *event)
{
    // A frame that serves the editing keys takes them before any shortcut of the window does,
    // as a text box takes its own.
    if (event->type() == QEvent::ShortcutOverride
        && isSignalConnected(QMetaMethod::fromSignal(&CFaceFrame::copyRequested))
        && EditingKey(static_cast<QKeyEvent *>(event))) {
        event->accept();
        return true;
    }
    return QAbstractButton::event(event);
}

void CFaceFrame::keyPressEvent(QKeyEvent *event)
{
    if (const auto key = EditingKey(event);
        key && isSignalConnected(QMetaMethod::fromSignal(&CFaceFrame::copyRequested))) {
        if (*key == QKeySequence::Copy)
            copy();
        else if (*key == QKeySequence::Cut)
            cut();
        else
            paste();
        event->accept();
        return;
    }
    // Shift+F10 opens the context menu as the Menu key does, where people look for it.
    if (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier
        && contextMenuPolicy() != Qt::DefaultContextMenu) {
        const QPoint centre = rect().center();
        QContextMenuEvent menu(QContextMenuEvent::Keyboard, centre, mapToGlobal(centre));
        QCoreApplication::sendEvent(this, &menu);
        event->accept();
        return;
    }
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        if (!event->isAutoRepeat())
            click();
        event->accept();
        return;
    }
    QAbstractButton::keyPressEvent(event);
}

// Ignored presses travel on to the owner, which finds the frame under the point itself.
void CFaceFrame::mousePressEvent(QMouseEvent *event)
{
    event->ignore();
}

void CFaceFrame::mouseReleaseEvent(QMouseEvent *event)
{
    event->ignore();
}

void CFaceFrame::mouseMoveEvent(QMouseEvent *event)
{
    event->ignore();
}

} // namespace quorvel
