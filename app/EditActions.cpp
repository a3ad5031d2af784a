#include "app/EditActions.h"

#include "app/Actions.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QMetaObject>
#include <QUndoStack>
#include <QWidget>

namespace quorvel {

namespace {

struct EditActions
{
    Q_DECLARE_TR_FUNCTIONS(EditActions)
};

// The focused control of the window, when it is one that has the slot.
QWidget *Target(QWidget *window, const char *slot)
{
    QWidget *focus = QApplication::focusWidget();
    if (!focus || focus->window() != window)
        return nullptr;
    const QByteArray signature = QByteArray(slot) + "()";
    return focus->metaObject()->indexOfSlot(signature.constData()) >= 0 ? focus : nullptr;
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

    const std::pair<QAction *, const char *> clipboard[] = {
        {actions.cut, "cut"}, {actions.copy, "copy"}, {actions.paste, "paste"}};
    for (const auto &[action, slot] : clipboard) {
        QObject::connect(action, &QAction::triggered, window, [window, slot = slot] {
            if (QWidget *target = Target(window, slot))
                QMetaObject::invokeMethod(target, slot);
        });
    }
    // Available while the focus is on a control that can carry them out.
    const auto follow = [window, actions] {
        actions.cut->setEnabled(Target(window, "cut"));
        actions.copy->setEnabled(Target(window, "copy"));
        actions.paste->setEnabled(Target(window, "paste"));
    };
    QObject::connect(qApp, &QApplication::focusChanged, window, follow);
    follow();
}

} // namespace quorvel
