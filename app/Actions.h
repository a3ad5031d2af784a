#pragma once
// The main window's commands: one place for their texts, shortcuts and status prompts.

#include <QList>

class QAction;
class QObject;
class QWidget;

namespace quorvel {

// Command ids of the menu items, kept on each action as QAction::data() so callers and tests
// can find an action by its role rather than by its text.
enum class CommandId : int {
    New = 57600,
    Open = 32771,
    Save = 32772,
    Import = 57601,
    Export = 57604,
    GameFolder = 32773,
    UseFoundGame = 32774,
    Exit = 57665,
    ToggleStatusBar = 59393,
    About = 57664,
    Undo = 57643,
    Redo = 57644,
    Cut = 57635,
    Copy = 57634,
    Paste = 57637,
};

struct CMainActions
{
    QAction *newCompany = nullptr;
    QAction *open = nullptr;
    QAction *save = nullptr;
    QAction *import = nullptr;
    QAction *exportCompany = nullptr;
    QAction *gameFolder = nullptr;
    QAction *useFoundGame = nullptr;
    QAction *exit = nullptr;
    QAction *toggleStatusBar = nullptr;
    QAction *about = nullptr;
    // The Edit menu. Undo and Redo are named by their step once the frame ties them to the
    // document's history (ConnectEditActions).
    QAction *undo = nullptr;
    QAction *redo = nullptr;
    QAction *cut = nullptr;
    QAction *copy = nullptr;
    QAction *paste = nullptr;

    QList<QAction *> all() const;
};

// Creates every command action, owned by `parent`. The actions are not connected: the frame
// and the application decide who carries each one out.
CMainActions createActions(QObject *parent);

// The action under `root` (searched recursively) that carries the given command id, or null.
QAction *findCommandAction(const QWidget *root, CommandId id);

} // namespace quorvel
