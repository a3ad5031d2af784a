#include "app/Actions.h"

#include <QAction>
#include <QCoreApplication>
#include <QKeySequence>
#include <QWidget>

namespace quorvel {

namespace {

struct Actions
{
    Q_DECLARE_TR_FUNCTIONS(Actions)
};

QAction *makeAction(QObject *parent, CommandId id, const QString &text, const QString &statusTip,
                    const QKeySequence &shortcut = {})
{
    auto *action = new QAction(text, parent);
    action->setData(static_cast<int>(id));
    action->setStatusTip(statusTip);
    if (!shortcut.isEmpty()) {
        action->setShortcut(shortcut);
        // Keep the shortcut live while a dialog of the window has focus, like an accelerator
        // table of the frame, but not across other top-level windows.
        action->setShortcutContext(Qt::WindowShortcut);
    }
    return action;
}

} // namespace

QList<QAction *> CMainActions::all() const
{
    return {newCompany, open,   save,           import,          exportCompany,
            gameFolder, useFoundGame, exit, toggleStatusBar, about,
            undo,       redo,   cut,  copy,            paste};
}

CMainActions createActions(QObject *parent)
{
    CMainActions a;
    a.newCompany = makeAction(parent, CommandId::New, Actions::tr("&New"), Actions::tr("Create a new company"),
                              QKeySequence(Qt::CTRL | Qt::Key_N));
    a.open = makeAction(parent, CommandId::Open, Actions::tr("&Open..."), Actions::tr("Open an existing company"),
                        QKeySequence(Qt::CTRL | Qt::Key_O));
    a.save = makeAction(parent, CommandId::Save, Actions::tr("&Save"), Actions::tr("Save current company"),
                        QKeySequence(Qt::CTRL | Qt::Key_S));
    a.import = makeAction(parent, CommandId::Import, Actions::tr("Import.."),
                          Actions::tr("Import a company from a file"));
    a.exportCompany = makeAction(parent, CommandId::Export, Actions::tr("Export..."),
                                 Actions::tr("Export the active company as a new file"));
    a.gameFolder = makeAction(parent, CommandId::GameFolder, Actions::tr("Game Folder..."),
                              Actions::tr("Choose the game's folder, or its object folder, to save "
                                          "companies in"));
    a.useFoundGame = makeAction(parent, CommandId::UseFoundGame,
                                Actions::tr("Use the Game Found Automatically"),
                                Actions::tr("Forget the chosen game folder and save companies "
                                            "where the game was found"));
    a.exit = makeAction(parent, CommandId::Exit, Actions::tr("E&xit"),
                        Actions::tr("Quit the Company Editor; prompts to save company"));
    a.exit->setMenuRole(QAction::QuitRole);
    a.toggleStatusBar = makeAction(parent, CommandId::ToggleStatusBar, Actions::tr("&Status Bar"),
                                   Actions::tr("Show or hide the status bar"));
    a.toggleStatusBar->setCheckable(true);
    a.about = makeAction(parent, CommandId::About, Actions::tr("&About Quorvel..."),
                         Actions::tr("Display program information, version number and copyright"));
    a.about->setMenuRole(QAction::AboutRole);
    a.undo = makeAction(parent, CommandId::Undo, Actions::tr("&Undo"),
                        Actions::tr("Undo the last change"));
    a.undo->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Z), QKeySequence(Qt::ALT | Qt::Key_Backspace)});
    a.redo = makeAction(parent, CommandId::Redo, Actions::tr("&Redo"),
                        Actions::tr("Redo the last change undone"));
    a.redo->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    a.cut = makeAction(parent, CommandId::Cut, Actions::tr("Cu&t"),
                       Actions::tr("Cut the selection and put it on the Clipboard"));
    a.cut->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_X), QKeySequence(Qt::SHIFT | Qt::Key_Delete)});
    a.copy = makeAction(parent, CommandId::Copy, Actions::tr("&Copy"),
                        Actions::tr("Copy the selection and put it on the Clipboard"));
    a.copy->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_C), QKeySequence(Qt::CTRL | Qt::Key_Insert)});
    a.paste = makeAction(parent, CommandId::Paste, Actions::tr("&Paste"),
                         Actions::tr("Insert Clipboard contents"));
    a.paste->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_V), QKeySequence(Qt::SHIFT | Qt::Key_Insert)});
    for (QAction *action : {a.undo, a.redo, a.cut, a.copy, a.paste})
        action->setShortcutContext(Qt::WindowShortcut);
    return a;
}

QAction *findCommandAction(const QWidget *root, CommandId id)
{
    if (!root)
        return nullptr;
    const auto actions = root->findChildren<QAction *>();
    for (QAction *action : actions) {
        if (action->data().toInt() == static_cast<int>(id))
            return action;
    }
    return nullptr;
}

} // namespace quorvel
