#include "company/QuorvelDoc.h"

#include "company/CompanyFile.h"
#include "game/ObjectFolder.h"
#include "platform/Archive.h"
#include "platform/Logging.h"
#include "platform/Prompts.h"

namespace quorvel {

namespace {

constexpr std::uint32_t kDefaultExpressionBit = 1;

} // namespace

CQuorvelDoc::CQuorvelDoc(QObject *parent)
    : CDocument(parent)
{
}

bool CQuorvelDoc::HasDefaultFace() const
{
    return (m_data.m_expressionMask & kDefaultExpressionBit) != 0;
}

bool CQuorvelDoc::OnNewDocument()
{
    if (!CDocument::OnNewDocument())
        return false;
    SetNewCompanyDefaults(); // also stamps the current time
    TakeFreshPath();
    SetTitle(tr("New company"));
    SetModifiedFlag(false);
    return true;
}

bool CQuorvelDoc::OnOpenDocument(const QString &path)
{
    return CDocument::OnOpenDocument(path);
}

bool CQuorvelDoc::OnSaveDocument(const QString &path)
{
    return CDocument::OnSaveDocument(path);
}

void CQuorvelDoc::OnCloseDocument()
{
    CDocument::OnCloseDocument();
}

void CQuorvelDoc::DeleteContents()
{
}

void CQuorvelDoc::Serialize(CArchive &archive)
{
    if (archive.IsStoring()) {
        WriteCompany(archive, *this, IsModified());
    } else {
        ReadCompany(archive, *this);
        SetTitle(GetOwnerName());
    }
    SetModifiedFlag(false);
}

void CQuorvelDoc::TakeFreshPath()
{
    if (const std::optional<QString> path = MakeUniqueCompanyPath()) {
        SetPathName(*path, false);
        return;
    }
    // Keeping the old path could make Save overwrite the file the company came from; without
    // a path Save reports "Invalid filename." and writes nothing.
    qCWarning(lcCompany) << "every company file name in the object folder is taken;"
                         << "the company has no path to save to";
    SetPathName(QString(), false);
}

void CQuorvelDoc::MarkModified()
{
    if (IsModified())
        return;
    TakeFreshPath();
    SetTitle(GetOwnerName());
    SetModifiedFlag(true);
}

void CQuorvelDoc::FollowObjectFolder()
{
    if (IsModified())
        TakeFreshPath();
}

void CQuorvelDoc::RecordChanged()
{
    MarkModified();
}

void CQuorvelDoc::OwnerNameSet()
{
    SetTitle(GetOwnerName());
}

bool CQuorvelDoc::SaveCompany()
{
    return InstallCompany(GetObjectFolder(), GetPathName());
}

bool CQuorvelDoc::InstallCompany(const QString &folder, const QString &firstPath)
{
    // The path was drawn as free, but another editor or quorvel-tool drawing in the same
    // second draws the same name: a file found there now is someone else's company.
    const CInstallResult result = InstallUnderFreshName(
        folder,
        [this](const QString &path) {
            if (path != GetPathName())
                SetPathName(path, false);
            switch (DoSaveToFreshPath(path)) {
            case FreshSave::saved:
                return EFreshWrite::Written;
            case FreshSave::pathTaken:
                return EFreshWrite::NameTaken;
            case FreshSave::failed:
                break;
            }
            return EFreshWrite::Failed;
        },
        firstPath);
    if (result.outcome == EInstallOutcome::NoFreeName) {
        // Keeping the old path could make a later Save overwrite the file the company came
        // from; without one, Save reports "Invalid filename." and writes nothing.
        qCWarning(lcCompany) << "every company file name in" << folder << "is taken";
        SetPathName(QString(), false);
        ReportFileError(QString(), FileErrorCause::none, tr("Invalid filename."));
    }
    SetTitle(GetOwnerName());
    return result.outcome == EInstallOutcome::Installed;
}

void CQuorvelDoc::ShowNoDefaultFace(bool ownedByMainWindow)
{
    Prompts().ShowMessage(
        tr("You must provide an image for the default face expression before you can save or "
           "export!"),
        tr("Unable to save document."), MessageButtons::Ok, MessageIcon::Warning,
        ownedByMainWindow);
}

void CQuorvelDoc::OnFileSave()
{
    // The face check comes first, so Save on an unchanged company still explains itself.
    if (!HasDefaultFace()) {
        ShowNoDefaultFace(true);
        return;
    }
    if (!IsModified())
        return;
    SaveCompany();
}

void CQuorvelDoc::OnFileExport()
{
    if (!HasDefaultFace()) {
        ShowNoDefaultFace(false);
        return;
    }
    QString initialPath = GetDocumentsFolder();
    if (!initialPath.isEmpty())
        AddTrailingSeparator(initialPath);
    initialPath += ExportFileName(*this, IsModified());

    const std::optional<QString> chosen = Prompts().GetSaveFileName(
        tr("Export the company to a file"), initialPath, tr("All Files (*.*)"));
    if (!chosen || chosen->isEmpty())
        return;

    // The write is whole or nothing, so a failure leaves a file the user chose to replace as
    // it was; there is nothing half-written to delete. Path and title stay as they are.
    CWaitCursor wait;
    OnSaveDocument(*chosen);
}

bool CQuorvelDoc::SaveModified()
{
    if (!IsModified())
        return true;
    CDateStamp now;
    PackDateStamp(now);
    const QString owner = GetOwnerName();
    const QString when = FormatDateStamp(now);

    if (HasDefaultFace()) {
        const MessageAnswer answer = Prompts().ShowMessage(
            tr("Would you like to save %1 (%2) first?").arg(owner, when), tr("Save?"),
            MessageButtons::YesNoCancel, MessageIcon::Question, false);
        switch (answer) {
        case MessageAnswer::Yes:
            // A failed save has shown its message; the company stays open and modified, so
            // the user can make room, choose another folder or export it.
            return SaveCompany();
        case MessageAnswer::No:
            return true;
        default:
            return false;
        }
    }
    const MessageAnswer answer = Prompts().ShowMessage(
        tr("Warning: %1 (%2) has not been saved. Continue anyway?").arg(owner, when),
        tr("Continue?"), MessageButtons::YesNo, MessageIcon::Question, false);
    return answer == MessageAnswer::Yes;
}

} // namespace quorvel
