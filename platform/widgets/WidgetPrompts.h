#pragma once
// The prompts the editor shows: QMessageBox and QFileDialog, modal to the whole application,
// on top and brought to the front, and the wait cursor as an override cursor.

#include "platform/Prompts.h"

#include <QPointer>

class QDialog;
class QWidget;

namespace quorvel {

class CWidgetPrompts final : public IPrompts
{
public:
    // mainWindow owns the boxes that belong to the main window and the file dialogs.
    explicit CWidgetPrompts(QWidget *mainWindow = nullptr);
    ~CWidgetPrompts() override;

    void SetMainWindow(QWidget *mainWindow);

    MessageAnswer ShowMessage(const QString &text, const QString &caption,
                              MessageButtons buttons, MessageIcon icon,
                              bool ownedByMainWindow) override;
    std::optional<QString> GetSaveFileName(const QString &title, const QString &initialPath,
                                           const QString &filter) override;
    std::optional<QString> GetOpenFileName(const QString &title, const QString &initialPath,
                                           const QString &filter) override;
    std::optional<QString> GetExistingFolder(const QString &title,
                                             const QString &initialFolder) override;
    void BeginWaitCursor() override;
    void EndWaitCursor() override;

private:
    // Runs a dialog with the wait cursor lifted, so the user sees an ordinary pointer over it.
    int RunModal(QDialog &dialog);

    QPointer<QWidget> m_mainWindow;
    int m_waitDepth = 0;
};

} // namespace quorvel
