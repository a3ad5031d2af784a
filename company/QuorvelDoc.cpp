#include "company/QuorvelDoc.h"

#include "company/CompanyFile.h"
#include "company/CompanyUndo.h"
#include "game/ObjectFolder.h"
#include "platform/Archive.h"
#include "platform/Logging.h"
#include "platform/Prompts.h"

#include <QScopedValueRollback>

namespace quorvel {

namespace {

// The merge ids of the steps that join while the same control goes on changing.
enum EMergeId : int {
    kMergeOwnerName = 1,
    kMergeSpecificWord,
    kMergeIntelligence,
    kMergeAggressiveness,
    kMergeCompetitiveness,
};

int MergeId(EStepMerge merge, EMergeId id)
{
    return merge == EStepMerge::SameControl ? id : -1;
}

} // namespace

CQuorvelDoc::CQuorvelDoc(IPrompts &prompts, const IObjectFolderService &folders, QObject *parent)
    : CDocument(prompts, parent)
    , m_folders(folders)
{
    connect(&m_undoStack, &QUndoStack::indexChanged, this, &CQuorvelDoc::HistoryMoved);
}

CQuorvelDoc::~CQuorvelDoc()
{
    // The commands refer to the document; they go first.
    m_undoStack.clear();
}

bool CQuorvelDoc::HasDefaultFace() const
{
    return (m_record.GetExpressionMask() & kDefaultExpressionBit) != 0;
}

QString CQuorvelDoc::ExpressionTitle(std::uint32_t bit)
{
    QString name = QString::fromLatin1(ExpressionName(ExpressionIndexForBit(bit)));
    if (!name.isEmpty())
        name[0] = name[0].toUpper();
    return name;
}

bool CQuorvelDoc::OnNewDocument()
{
    if (!CDocument::OnNewDocument())
        return false;
    m_record.SetNewCompanyDefaults(); // also stamps the current time
    m_undoStack.clear();
    TakeFreshPath();
    SetTitle(tr("New company"));
    SetModifiedFlag(false);
    return true;
}

bool CQuorvelDoc::OnOpenDocument(const QString &path)
{
    if (!CDocument::OnOpenDocument(path))
        return false;
    m_undoStack.clear();
    return true;
}

void CQuorvelDoc::Serialize(CArchive &archive)
{
    // The flag goes clear here, before the file is on the disk: the history's clean state
    // waits for the save's end.
    const QScopedValueRollback serializing(m_serializing, true);
    if (archive.IsStoring()) {
        const CDateStamp stamp = StampToWrite(m_record, IsModified());
        WriteCompany(archive, m_record, stamp);
        m_record.SetDateStamp(stamp);
    } else {
        ReadCompany(archive, m_record);
        SetTitle(m_record.GetOwnerName());
    }
    SetModifiedFlag(false);
}

void CQuorvelDoc::SetModifiedFlag(bool modified)
{
    CDocument::SetModifiedFlag(modified);
    if (m_serializing)
        return;
    if (!modified)
        m_undoStack.setClean();
    else if (m_undoStack.isClean())
        m_undoStack.resetClean();
}

void CQuorvelDoc::HistoryMoved()
{
    // Back at the saved or opened state the company is unmodified again; any other state is
    // a change, and the first one takes a fresh path.
    if (m_undoStack.isClean()) {
        if (IsModified())
            SetModifiedFlag(false);
    } else {
        MarkModified();
    }
}

void CQuorvelDoc::TakeFreshPath()
{
    if (const std::optional<QString> path = MakeUniqueCompanyPath(m_folders.ObjectFolder())) {
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
    SetTitle(m_record.GetOwnerName());
    SetModifiedFlag(true);
}

void CQuorvelDoc::FollowObjectFolder()
{
    if (IsModified())
        TakeFreshPath();
}

CQuorvelDoc::CStep::CStep(CQuorvelDoc &document, const QString &text, int mergeId)
    : m_document(document)
{
    m_document.BeginStep(text, mergeId);
}

CQuorvelDoc::CStep::~CStep()
{
    m_document.EndStep();
}

void CQuorvelDoc::BeginStep(const QString &text, int mergeId)
{
    if (m_stepDepth++ > 0)
        return;
    m_stepText = text;
    m_stepMergeId = mergeId;
    m_stepChanged = false;
    m_stepBefore = std::make_unique<CCompanyState>(m_record);
}

void CQuorvelDoc::TouchFace(int index)
{
    if (m_stepBefore && index >= 0)
        m_stepBefore->AddFace(m_record, index);
}

void CQuorvelDoc::EndStep()
{
    if (--m_stepDepth > 0)
        return;
    std::unique_ptr<CCompanyState> before = std::move(m_stepBefore);
    if (!m_stepChanged || !before)
        return;
    CCompanyState after(m_record);
    for (int index : before->FaceIndices())
        after.AddFace(m_record, index);
    // The push moves the history, which marks the company modified (HistoryMoved).
    m_undoStack.push(new CCompanyCommand(*this, m_stepText, m_stepMergeId, std::move(*before),
                                         std::move(after)));
}

void CQuorvelDoc::CloseLastStep()
{
    const int index = m_undoStack.index();
    if (index > 0) {
        // Only the document pushes, so every command is one of its steps.
        static_cast<const CCompanyCommand *>(m_undoStack.command(index - 1))->Close();
    }
}

void CQuorvelDoc::RestoreState(const CCompanyState &state)
{
    state.RestoreInto(m_record);
    SetTitle(m_record.GetOwnerName());
    UpdateAllViews();
}

void CQuorvelDoc::SetOwnerName(const QString &name)
{
    {
        CStep step(*this, tr("Typing in Owner Name"), kMergeOwnerName);
        if (m_record.SetOwnerName(name))
            StepChanged();
    }
    SetTitle(m_record.GetOwnerName());
}

void CQuorvelDoc::SetSpecificWord(const QString &word)
{
    CStep step(*this, tr("Typing in Specific Word"), kMergeSpecificWord);
    if (m_record.SetSpecificWord(word))
        StepChanged();
}

void CQuorvelDoc::SetFirstWordAllowed(std::uint32_t bit, bool on)
{
    CStep step(*this, tr("Change First Words"));
    if (m_record.SetFirstWordAllowed(bit, on))
        StepChanged();
}

void CQuorvelDoc::SetSecondWordAllowed(std::uint32_t bit, bool on)
{
    CStep step(*this, tr("Change Second Words"));
    if (m_record.SetSecondWordAllowed(bit, on))
        StepChanged();
}

void CQuorvelDoc::SetIntelligence(int value, EStepMerge merge)
{
    CStep step(*this, tr("Change Intelligence"), MergeId(merge, kMergeIntelligence));
    if (m_record.SetIntelligence(value))
        StepChanged();
}

void CQuorvelDoc::SetAggressiveness(int value, EStepMerge merge)
{
    CStep step(*this, tr("Change Aggressiveness"), MergeId(merge, kMergeAggressiveness));
    if (m_record.SetAggressiveness(value))
        StepChanged();
}

void CQuorvelDoc::SetCompetitiveness(int value, EStepMerge merge)
{
    CStep step(*this, tr("Change Competitiveness"), MergeId(merge, kMergeCompetitiveness));
    if (m_record.SetCompetitiveness(value))
        StepChanged();
}

void CQuorvelDoc::SetFaces(std::uint32_t bit, const std::uint8_t *small, const std::uint8_t *large)
{
    const QString title = ExpressionTitle(bit);
    CStep step(*this, small && large ? tr("Set %1 Face").arg(title) : tr("Turn Off %1 Face").arg(title));
    TouchFace(ExpressionIndexForBit(bit));
    if (m_record.SetFaces(bit, small, large))
        StepChanged();
}

bool CQuorvelDoc::SaveCompany()
{
    return InstallCompany(m_folders.ObjectFolder(), GetPathName());
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
    SetTitle(m_record.GetOwnerName());
    if (result.outcome != EInstallOutcome::Installed)
        return false;
    emit companyWritten(result.path, false);
    return true;
}

void CQuorvelDoc::ShowNoDefaultFace(bool ownedByMainWindow)
{
    GetPrompts().ShowMessage(
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
    QString initialPath = m_folders.DocumentsFolder();
    if (!initialPath.isEmpty())
        AddTrailingSeparator(initialPath);
    initialPath += ExportFileName(m_record, IsModified());

    const std::optional<QString> chosen = GetPrompts().GetSaveFileName(
        tr("Export the company to a file"), initialPath, tr("All Files (*.*)"));
    if (!chosen || chosen->isEmpty())
        return;

    // The write is whole or nothing, so a failure leaves a file the user chose to replace as
    // it was; there is nothing half-written to delete. Path and title stay as they are.
    CWaitCursor wait(GetPrompts());
    if (OnSaveDocument(*chosen))
        emit companyWritten(*chosen, true);
}

bool CQuorvelDoc::SaveModified()
{
    if (!IsModified())
        return true;
    CDateStamp now;
    PackDateStamp(now);
    const QString owner = m_record.GetOwnerName();
    const QString when = FormatDateStamp(now);

    if (HasDefaultFace()) {
        const MessageAnswer answer = GetPrompts().ShowMessage(
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
    const MessageAnswer answer = GetPrompts().ShowMessage(
        tr("Warning: %1 (%2) has not been saved. Continue anyway?").arg(owner, when),
        tr("Continue?"), MessageButtons::YesNo, MessageIcon::Question, false);
    return answer == MessageAnswer::Yes;
}

} // namespace quorvel
