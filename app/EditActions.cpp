#include "app/EditActions.h"

#include "app/Actions.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QMenu>
#include <QMenuBar>
#include <QMetaObject>
#include <QPointer>
#include <QUndoStack>
#include <QWidget>

#include <memory>

namespace quorvel {

namespace {

struct EditActions
{
    Q_DECLARE_TR_FUNCTIONS(EditActions)
};

// The control of the window that last had the focus, when it is one that has the slot. The
// menu bar and the menus take the focus while the Edit menu is open; they are passed over.
QWidget *Target(const QPointer<QWidget> &control, const char *slot)
{
    if (!control)
        return nullptr;
    const QByteArray signature = QByteArray(slot) + "()";
    return control->metaObject()->indexOfSlot(signature.constData()) >= 0 ? control.data() : nullptr;
}

void ConnectStep(QAction *action, QUndoStack &history, bool undo)
{
    const auto rename = [action, undo](const QString &step) {
        if (step.isEmpty())
            action->setText(undo ? EditActions::tr("&Undo") : EditActions::tr("&Redo"));
        else
            action->setText(undo ? EditActions::tr("&Undo %1").arg(step)
                                 : EditActions::tr("&Redo %1").arg(step));
    };
    rename(undo ? history.undoText() : history.redoText());
    action->setEnabled(undo ? history.canUndo() : history.canRedo());
    if (undo) {
        QObject::connect(&history, &QUndoStack::undoTextChanged, action, rename);
        QObject::connect(&history, &QUndoStack::canUndoChanged, action, &QAction::setEnabled);
        QObject::connect(action, &QAction::triggered, &history, &QUndoStack::undo);
    } else {
        QObject::connect(&history, &QUndoStack::redoTextChanged, action, rename);
        QObject::connect(&history, &QUndoStack::canRedoChanged, action, &QAction::setEnabled);
        QObject::connect(action, &QAction::triggered, &history, &QUndoStack::redo);
    }
}

} // namespace

void ConnectEditActions(const CMainActions &actions, QUndoStack &history, QWidget *window)
{
    ConnectStep(actions.undo, history, true);
    ConnectStep(actions.redo, history, false);

    auto control = std::make_shared<QPointer<QWidget>>(window->focusWidget());
    const std::pair<QAction *, const char *> clipboard[] = {
        {actions.cut, "cut"}, {actions.copy, "copy"}, {actions.paste, "paste"}};
    for (const auto &[action, slot] : clipboard) {
        QObject::connect(action, &QAction::triggered, window, [control, slot = slot] {
            if (QWidget *target = Target(*control, slot))
                QMetaObject::invokeMethod(target, slot);
        });
    }
    // Available while the focus is on a control that can carry them out.
    const auto follow = [control, actions] {
        actions.cut->setEnabled(Target(*control, "cut"));
        actions.copy->setEnabled(Target(*control, "copy"));
        actions.paste->setEnabled(Target(*control, "paste"));
    };
    QObject::connect(qApp, &QApplication::focusChanged, window,
                     [window, control, follow](QWidget *, QWidget *now) {
                         if (!now || now->window() != window || qobject_cast<QMenuBar *>(now)
                             || qobject_cast<QMenu *>(now))
                             return;
                         *control = now;
                         follow();
                     });
    follow();
}

} // namespace quorvel
