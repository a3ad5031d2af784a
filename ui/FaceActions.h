#pragma once
// What the company form does with whole expressions: copy, cut and paste on a focused face
// frame, a frame dragged onto another (copy, or with Shift a swap), the frames' context menu
// and saving an expression's faces as pictures. A press and release on one frame is a click,
// which opens the grab dialog; a press that moves far enough starts a drag instead. Every
// change goes into the document through its face operations, one step for each command.

#include <QByteArray>
#include <QObject>
#include <QPoint>
#include <QString>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <utility>

class QMenu;
class QMimeData;

namespace quorvel {

class CFaceFrame;
class CFaceSlot;
class CQuorvelView;
struct CFacePair;

class CFaceActions final : public QObject
{
    Q_OBJECT

public:
    // Serves the view's face slots; the view owns it.
    explicit CFaceActions(CQuorvelView *view);

    // Gives a form frame its keys (Ctrl+C, Ctrl+X, Ctrl+V and their alternatives) and its
    // context menu, for the slot with that index.
    void ConnectFrame(CFaceFrame *frame, std::size_t slotIndex);

    // The form's mouse, in form coordinates.
    void Press(const QPoint &point);
    void Move(const QPoint &point);
    void Release(const QPoint &point);

    // A drop on a frame: faces (copied, or with swap exchanged, when they come from another
    // frame of this form) or a picture file (the grab dialog opens on it).
    bool AcceptsDrop(const QPoint &point, const QMimeData *mime) const;
    void Drop(const QPoint &point, const QMimeData *mime, bool swap);
    // What a drag from the slot's frame carries besides its faces: the slot, in this form.
    std::unique_ptr<QMimeData> DragData(const CFaceSlot &slot) const;

    bool CanCopy(const CFaceSlot &slot) const;
    bool CanTurnOff(const CFaceSlot &slot) const;
    // Faces or a picture on the clipboard.
    bool CanPaste() const;

    void Copy(const CFaceSlot &slot);
    void Cut(const CFaceSlot &slot);
    // Both faces from the private type, or the grab dialog on the picture there.
    void Paste(CFaceSlot &slot);
    void TurnOff(const CFaceSlot &slot);
    void CopyFaces(const CFaceSlot &from, const CFaceSlot &to);
    void SwapFaces(const CFaceSlot &a, const CFaceSlot &b);
    // Both faces as EXPR-64.png and EXPR-24.png in a folder the user picks, both or neither.
    void SaveFacesAs(const CFaceSlot &slot);

    // The context menu of the slot's frames: "Grab Face...", Copy, Paste, "Turn Off" and
    // "Save Faces As...", each available only where it can act. A chosen item acts once the
    // menu has closed.
    std::unique_ptr<QMenu> ContextMenu(CFaceSlot &slot);
    void ShowContextMenu(CFaceSlot &slot, const QPoint &globalPos);

private:
    CFaceSlot *SlotAt(const QPoint &point) const;
    std::optional<CFacePair> Faces(const CFaceSlot &slot) const;
    // An expression and the faces it is to have (none: turned off).
    using CFaceChange = std::pair<const CFaceSlot *, const CFacePair *>;
    // Writes the changes into the document as one named step.
    void SetFaces(const QString &step, std::initializer_list<CFaceChange> changes);
    void StartDrag(const CFaceSlot &slot);
    QByteArray SourceMark(const CFaceSlot &slot) const;
    const CFaceSlot *SourceSlot(const QMimeData *mime) const;
    // A line in the window's status bar.
    void Tell(const QString &text) const;

    CQuorvelView *m_view;
    // The frame a press began on and where, while the button is down.
    CFaceSlot *m_pressed = nullptr;
    QPoint m_pressPoint;
    // Where faces were saved last, to start there the next time.
    QString m_saveFolder;
};

} // namespace quorvel
