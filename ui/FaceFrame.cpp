#include "ui/FaceFrame.h"

#include "ui/DialogTemplate.h"

#include <QKeyEvent>
#include <QPainter>

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

void CFaceFrame::keyPressEvent(QKeyEvent *event)
{
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
