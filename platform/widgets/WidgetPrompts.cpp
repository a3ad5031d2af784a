#include "platform/widgets/WidgetPrompts.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

namespace quorvel {

namespace {

QMessageBox::Icon ToQtIcon(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::Warning:
        return QMessageBox::Warning;
    case MessageIcon::Question:
        return QMessageBox::Question;
    case MessageIcon::Information:
        return QMessageBox::Information;
    case MessageIcon::Critical:
        return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

bool HasWildcards(const QString &name)
{
    return name.contains(u'*') || name.contains(u'?');
}

std::optional<QString> FirstSelected(const QFileDialog &dialog)
{
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty() || files.first().isEmpty())
        return std::nullopt;
    return files.first();
}

} // namespace

CWidgetPrompts::CWidgetPrompts(QWidget *mainWindow)
    : m_mainWindow(mainWindow)
{
}

CWidgetPrompts::~CWidgetPrompts()
{
    while (m_waitDepth > 0)
        EndWaitCursor();
}

void CWidgetPrompts::SetMainWindow(QWidget *mainWindow)
{
    m_mainWindow = mainWindow;
}

int CWidgetPrompts::RunModal(QDialog &dialog)
{
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    const int lifted = m_waitDepth;
    for (int i = 0; i < lifted; ++i)
        QGuiApplication::restoreOverrideCursor();
    dialog.show();
    dialog.raise();
    dialog.activateWindow();
    const int result = dialog.exec();
    for (int i = 0; i < lifted; ++i)
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    return result;
}

MessageAnswer CWidgetPrompts::ShowMessage(const QString &text, const QString &caption,
                                          MessageButtons buttons, MessageIcon icon,
                                          bool ownedByMainWindow)
{
    QMessageBox::StandardButtons qtButtons = QMessageBox::Ok;
    QMessageBox::StandardButton defaultButton = QMessageBox::Ok;
    switch (buttons) {
    case MessageButtons::Ok:
        break;
    case MessageButtons::YesNo:
        qtButtons = QMessageBox::Yes | QMessageBox::No;
        defaultButton = QMessageBox::Yes;
        break;
    case MessageButtons::YesNoCancel:
        qtButtons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        defaultButton = QMessageBox::Yes;
        break;
    }
    QMessageBox box(ToQtIcon(icon), caption, text, qtButtons,
                    ownedByMainWindow ? m_mainWindow.data() : nullptr);
    box.setDefaultButton(defaultButton);
    RunModal(box);

    switch (box.standardButton(box.clickedButton())) {
    case QMessageBox::Yes:
        return MessageAnswer::Yes;
    case QMessageBox::No:
        return MessageAnswer::No;
    case QMessageBox::Cancel:
        return MessageAnswer::Cancel;
    case QMessageBox::Ok:
        return MessageAnswer::Ok;
    default:
        break;
    }
    return DecliningAnswer(buttons);
}

std::optional<QString> CWidgetPrompts::GetSaveFileName(const QString &title,
                                                       const QString &initialPath,
                                                       const QString &filter)
{
    QFileDialog dialog(m_mainWindow, title, QString(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // Replacing an existing file is confirmed (the default); no suffix is added to a bare name.
    dialog.setDefaultSuffix(QString());
    if (!initialPath.isEmpty()) {
        const QFileInfo initial(initialPath);
        dialog.setDirectory(initial.absolutePath());
        dialog.selectFile(initial.fileName());
    }
    if (RunModal(dialog) != QDialog::Accepted)
        return std::nullopt;
    return FirstSelected(dialog);
}

std::optional<QString> CWidgetPrompts::GetOpenFileName(const QString &title,
                                                       const QString &initialPath,
                                                       const QString &filter)
{
    QFileDialog dialog(m_mainWindow, title, QString(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (!initialPath.isEmpty()) {
        const QFileInfo initial(initialPath);
        dialog.setDirectory(initial.absolutePath());
        if (HasWildcards(initial.fileName()))
            dialog.setNameFilters({initial.fileName(), filter});
        else
            dialog.selectFile(initial.fileName());
    }
    if (RunModal(dialog) != QDialog::Accepted)
        return std::nullopt;
    return FirstSelected(dialog);
}

std::optional<QString> CWidgetPrompts::GetExistingFolder(const QString &title,
                                                         const QString &initialFolder)
{
    QFileDialog dialog(m_mainWindow, title, initialFolder);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    if (RunModal(dialog) != QDialog::Accepted)
        return std::nullopt;
    return FirstSelected(dialog);
}

void CWidgetPrompts::BeginWaitCursor()
{
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    ++m_waitDepth;
}

void CWidgetPrompts::EndWaitCursor()
{
    if (m_waitDepth == 0)
        return;
    --m_waitDepth;
    QGuiApplication::restoreOverrideCursor();
}

} // namespace quorvel
