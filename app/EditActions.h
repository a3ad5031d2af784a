#pragma once
// The Edit menu's commands: Undo and Redo of the document's history, named by their step, and
// Cut, Copy and Paste of the control that has the focus, as its own: a text box's text, a face
// frame's faces. A control takes part by having the slots cut(), copy() and paste().

class QUndoStack;
class QWidget;

namespace quorvel {

struct CMainActions;

// Ties the actions to the history and to the focus in the window.
void ConnectEditActions(const CMainActions &actions, QUndoStack &history, QWidget *window);

} // namespace quorvel
