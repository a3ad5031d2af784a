#include "platform/Document.h"

#include "platform/Archive.h"
#include "platform/Logging.h"
#include "platform/Prompts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <exception>

namespace quorvel {

CView::~CView()
{
    if (m_document)
        m_document->RemoveView(this);
}

namespace {

// The archive causes that mean the bytes are not a document of ours.
bool IsFormatError(const CArchiveException &e)
{
    switch (e.cause()) {
    case CArchiveException::badIndex:
    case CArchiveException::badClass:
    case CArchiveException::badSchema:
    case CArchiveException::endOfFile:
        return true;
    default:
        return false;
    }
}

} // namespace

CDocument::CDocument(IPrompts &prompts, QObject *parent)
    : QObject(parent)
    , m_prompts(prompts)
{
}

CDocument::~CDocument()
{
    for (CView *view : std::as_const(m_views))
        view->m_document = nullptr;
}

QString CDocument::DefaultTitle()
{
    return tr("Untitled");
}

void CDocument::SetTitle(const QString &title)
{
    m_title = title;
    emit titleChanged(m_title);
}

void CDocument::SetPathName(const QString &path, bool addToRecentFiles)
{
    if (path.isEmpty()) {
        m_pathName.clear();
        return;
    }
    const QFileInfo info(path);
    m_pathName = QDir::cleanPath(info.absoluteFilePath());
    SetTitle(info.fileName());
    emit pathNameSet(m_pathName, addToRecentFiles);
}

void CDocument::SetModifiedFlag(bool modified)
{
    if (m_modified == modified)
        return;
    m_modified = modified;
    emit modifiedChanged(m_modified);
}

void CDocument::AddView(CView *view)
{
    if (!view || view->m_document == this)
        return;
    if (view->m_document)
        view->m_document->RemoveView(view);
    m_views.append(view);
    view->m_document = this;
}

void CDocument::RemoveView(CView *view)
{
    if (view && m_views.removeOne(view))
        view->m_document = nullptr;
}

void CDocument::UpdateAllViews(CView *sender)
{
    const QList<CView *> views = m_views; // a view may leave while it updates
    for (CView *view : views) {
        if (view != sender && m_views.contains(view))
            view->OnUpdate();
    }
}

void CDocument::SendInitialUpdate()
{
    const QList<CView *> views = m_views;
    for (CView *view : views) {
        if (m_views.contains(view))
            view->OnInitialUpdate();
    }
}

bool CDocument::FileNew()
{
    if (!SaveModified())
        return false;
    SetTitle(DefaultTitle());
    if (!OnNewDocument())
        return false;
    SendInitialUpdate();
    return true;
}

bool CDocument::IsOpenPath(const QString &path) const
{
    if (m_pathName.isEmpty() || path.isEmpty())
        return false;
    // Canonical paths see through links. A missing file is nobody's: not even a new
    // document's fresh path, which names no file until it is saved.
    const QString wanted = QFileInfo(path).canonicalFilePath();
    return !wanted.isEmpty() && wanted == QFileInfo(m_pathName).canonicalFilePath();
}

bool CDocument::OpenDocumentFile(const QString &path)
{
    if (IsOpenPath(path)) {
        emit activateRequested();
        return true;
    }
    if (!SaveModified())
        return false;

    CWaitCursor wait(m_prompts);
    const bool wasModified = IsModified();
    SetModifiedFlag(false);
    if (!OnOpenDocument(path)) {
        if (!IsModified()) {
            // The read never began: the old document is as it was.
            SetModifiedFlag(wasModified);
        } else {
            // The read began to overwrite the document; start afresh rather than keep a mix.
            SetTitle(DefaultTitle());
            OnNewDocument();
        }
        return false;
    }
    SetPathName(path, true);
    SendInitialUpdate();
    return true;
}

bool CDocument::DoSave(const QString &path)
{
    CWaitCursor wait(m_prompts);
    if (!OnSaveDocument(path))
        return false;
    SetPathName(path, true);
    return true;
}

CDocument::FreshSave CDocument::DoSaveToFreshPath(const QString &path)
{
    CWaitCursor wait(m_prompts);
    const FreshSave outcome = SaveToFile(path, ExistingFile::keep);
    if (outcome == FreshSave::saved)
        SetPathName(path, true);
    return outcome;
}

bool CDocument::OnNewDocument()
{
    DeleteContents();
    m_pathName.clear();
    SetModifiedFlag(false);
    return true;
}

bool CDocument::OnOpenDocument(const QString &path)
{
    const QFileInfo info(path);
    // Only regular files: opening a pipe or a device could block or never end.
    if (path.isEmpty() || (info.exists() && !info.isFile())) {
        ReportFileError(path, ClassifyFileError(path, 0, QFileDevice::OpenError, false),
                        tr("Failed to open document."));
        return false;
    }
    QFile file(path);
    errno = 0;
    if (!file.open(QIODevice::ReadOnly)) {
        const int systemError = errno;
        ReportFileError(path, ClassifyFileError(path, systemError, file.error(), false),
                        tr("Failed to open document."));
        return false;
    }

    DeleteContents();
    SetModifiedFlag(true); // set while reading: a failure part-way leaves it set
    QString failure;
    FileErrorCause cause = FileErrorCause::none;
    try {
        CWaitCursor wait(m_prompts);
        CArchive archive(&file, CArchive::load);
        Serialize(archive);
    } catch (const CArchiveException &e) {
        // A read error makes the reader see a short file; name the real cause then.
        if (file.error() == QFileDevice::ReadError)
            cause = FileErrorCause::hardIO;
        else if (IsFormatError(e))
            failure = tr("Unexpected file format.");
        else
            failure = tr("Failed to open document.");
    } catch (const std::exception &e) {
        qCWarning(lcPlatform) << "reading" << path << "failed:" << e.what();
        failure = tr("Failed to open document.");
    }
    file.close();
    if (cause != FileErrorCause::none || !failure.isEmpty()) {
        DeleteContents();
        ReportFileError(path, cause, failure);
        return false;
    }
    SetModifiedFlag(false);
    return true;
}

bool CDocument::OnSaveDocument(const QString &path)
{
    return SaveToFile(path, ExistingFile::replace) == FreshSave::saved;
}

CDocument::FreshSave CDocument::SaveToFile(const QString &path, ExistingFile existing)
{
    // Serialize clears the flag as it writes; a write that fails later must not leave the
    // changes counted as saved.
    const bool wasModified = IsModified();
    const QString saveFailed = tr("Failed to save document.");
    QString failure;
    CWriteResult result;
    try {
        CWaitCursor wait(m_prompts);
        // The file is written whole or not at all: a failure leaves what was there before.
        result = WriteWholeFile(
            path,
            [this](QIODevice &device) {
                CArchive archive(&device, CArchive::store);
                Serialize(archive);
                return true;
            },
            existing);
    } catch (const CArchiveException &e) {
        failure = IsFormatError(e) ? tr("Unexpected file format.") : saveFailed;
    } catch (const std::exception &e) {
        qCWarning(lcPlatform) << "writing" << path << "failed:" << e.what();
        failure = saveFailed;
    }
    if (failure.isEmpty() && result.status == CWriteResult::Status::pathTaken) {
        SetModifiedFlag(wasModified);
        return FreshSave::pathTaken;
    }
    if (failure.isEmpty() && !result.Written()) {
        failure = result.status == CWriteResult::Status::notCreated ? tr("Invalid filename.")
                                                                      : saveFailed;
    }
    if (!failure.isEmpty()) {
        SetModifiedFlag(wasModified);
        ReportFileError(path, result.cause, failure);
        return FreshSave::failed;
    }
    SetModifiedFlag(false);
    return FreshSave::saved;
}

void CDocument::OnCloseDocument()
{
    DeleteContents();
    emit documentClosed();
}

bool CDocument::SaveModified()
{
    if (!IsModified())
        return true;
    const MessageAnswer answer = m_prompts.ShowMessage(
        tr("Save changes to %1?").arg(m_title), FrameworkCaption(),
        MessageButtons::YesNoCancel, MessageIcon::Warning, true);
    switch (answer) {
    case MessageAnswer::Yes:
        return DoSave(m_pathName);
    case MessageAnswer::No:
        return true;
    default:
        return false;
    }
}

void CDocument::DeleteContents()
{
}

void CDocument::ReportError(const QString &text)
{
    m_prompts.ShowMessage(text, FrameworkCaption(), MessageButtons::Ok, MessageIcon::Warning,
                          true);
}

void CDocument::ReportFileError(const QString &path, FileErrorCause cause,
                                const QString &fallback)
{
    QString text = FileErrorText(cause, path);
    if (text.isEmpty())
        text = m_nameFileInReports ? tr("%1: %2").arg(QDir::toNativeSeparators(path), fallback)
                                   : fallback;
    qCInfo(lcPlatform).noquote() << "file error on" << path << ":" << text;
    ReportError(text);
}

} // namespace quorvel
