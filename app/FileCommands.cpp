#include "app/FileCommands.h"

#include "company/QuorvelDoc.h"
#include "game/ObjectFolder.h"
#include "platform/Prompts.h"
#include "store/CompanyImport.h"
#include "ui/SelectCompanyDlg.h"

#include <QDir>
#include <QFileInfo>
#include <QMainWindow>
#include <QStatusBar>

namespace quorvel {

CFileCommands::CFileCommands(CQuorvelDoc &document, QMainWindow &window)
    : QObject(&window)
    , m_document(document)
    , m_window(window)
{
}

void CFileCommands::ShowInStatusBar(const QString &text)
{
    m_window.statusBar()->showMessage(text);
}

void CFileCommands::New()
{
    m_document.FileNew();
}

void CFileCommands::Open()
{
    CSelectCompanyDlg dialog(m_document.Folders().ObjectFolder(), &m_window);
    if (dialog.exec() != QDialog::Accepted || dialog.SelectedEntry() < 0)
        return;
    // The save prompt and the rule that the open file only comes forward are the document's.
    m_document.OpenDocumentFile(dialog.Entries().at(std::size_t(dialog.SelectedEntry())).m_path);
}

void CFileCommands::Save()
{
    m_document.OnFileSave();
}

void CFileCommands::Export()
{
    m_document.OnFileExport();
}

void CFileCommands::Import()
{
    // Always the documents folder, wherever the last import or export went.
    QString initial = m_document.Folders().DocumentsFolder();
    if (!initial.isEmpty())
        AddTrailingSeparator(initial);
    initial += QStringLiteral("*.company");
    const std::optional<QString> chosen =
        m_document.GetPrompts().GetOpenFileName(tr("Open"), initial, tr("All Files (*.*)"));
    if (!chosen || chosen->isEmpty() || !m_document.OpenDocumentFile(*chosen))
        return;

    const QString folder = m_document.Folders().ObjectFolder();
    const CImportLock lock(folder);
    const QString imported = QFileInfo(*chosen).fileName();
    if (const std::optional<QString> installed = FindInstalledCopy(*chosen, folder)) {
        // Already installed: the document becomes that file, which stays untouched.
        m_document.SetPathName(*installed, false);
        m_document.SetTitle(m_document.Record().GetOwnerName());
        const QFileInfo file(*installed);
        ShowInStatusBar(tr("%1 is installed already as %2 in %3")
                            .arg(imported, file.fileName(),
                                 QDir::toNativeSeparators(file.absolutePath())));
        return;
    }
    if (m_document.InstallCompany(folder)) {
        const QFileInfo file(m_document.GetPathName());
        ShowInStatusBar(tr("Imported %1 as %2 in %3")
                            .arg(imported, file.fileName(),
                                 QDir::toNativeSeparators(file.absolutePath())));
    }
}

} // namespace quorvel
