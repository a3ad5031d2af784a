#pragma once
// A frame that shows one face picture. The window that owns it paints the face (through its
// CFaceSlot) and decides what a press means, so the frame lets presses through to it; the frame
// itself only draws its focus mark and, when it takes focus, turns Enter and Space into clicked()
// and the editing keys (Ctrl+C, Ctrl+X, Ctrl+V and their alternatives) into requests.

#include <QAbstractButton>

namespace quorvel {

class CFaceFrame final : public QAbstractButton
{
    Q_OBJECT

public:
    // Named for its template id (see DialogTemplate.h). Takes no focus until given a policy.
    CFaceFrame(int controlId, QWidget *parent);

public slots:
    // As a text box's: what the Edit menu calls on the control that has the focus.
    void copy() { emit copyRequested(); }
    void cut() { emit cutRequested(); }
    void paste() { emit pasteRequested(); }

signals:
    void copyRequested();
    void cutRequested();
    void pasteRequested();

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
};

} // namespace quorvel
