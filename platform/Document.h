#pragma once
// A small single-document framework: a document with path, title and modified flag, the views
// that show it, and the new, open and save sequences that the application drives.

#include "platform/FileCommit.h"

#include <QList>
#include <QObject>
#include <QString>

namespace quorvel {

class CArchive;
class CDocument;
class IPrompts;

// Something that shows a document. The document calls OnInitialUpdate after a new or opened
// document and OnUpdate from UpdateAllViews.
class CView
{
public:
    virtual ~CView();

    CDocument *GetDocument() const { return m_document; }

    virtual void OnInitialUpdate() { OnUpdate(); }
    virtual void OnUpdate() = 0;

private:
    friend class CDocument;
    CDocument *m_document = nullptr;
};

class CDocument : public QObject
{
    Q_OBJECT

public:
    // The prompts are not owned; they must outlive the document.
    explicit CDocument(IPrompts &prompts, QObject *parent = nullptr);
    ~CDocument() override;

    // The title a document gets before OnNewDocument or after a failed open.
    static QString DefaultTitle();

    // What the document asks the user through, and shows the wait cursor with.
    IPrompts &GetPrompts() const { return m_prompts; }

    const QString &GetTitle() const { return m_title; }
    virtual void SetTitle(const QString &title);

    const QString &GetPathName() const { return m_pathName; }
    // Sets the path and retitles the document with the file's name. addToRecentFiles is
    // passed on through pathNameSet for the application's recent-file list.
    virtual void SetPathName(const QString &path, bool addToRecentFiles = true);

    bool IsModified() const { return m_modified; }
    virtual void SetModifiedFlag(bool modified = true);

    // Views. The document does not own them; a view leaves the list when it is destroyed.
    void AddView(CView *view);
    void RemoveView(CView *view);
    const QList<CView *> &Views() const { return m_views; }
    // OnUpdate for every view but the sender.
    void UpdateAllViews(CView *sender = nullptr);
    void SendInitialUpdate();

    // The application's commands.
    // New: SaveModified (false ends it), default title, OnNewDocument, initial update.
    bool FileNew();
    // Open by path. A path naming the open document's file only asks for activation. Else
    // SaveModified (false ends it), then the read. After a failed read the document is either
    // untouched (its modified flag restored) or, when the read had begun to change it, a new
    // document. On success the path is the opened file and the views get their initial update.
    bool OpenDocumentFile(const QString &path);
    // Save to a path; on success the path is set again (which retitles the document).
    bool DoSave(const QString &path);
    // The same for a path that was drawn as free: a file that has appeared there since is
    // never replaced. Then nothing is written or reported, and the caller draws another path.
    enum class FreshSave { saved, failed, pathTaken };
    FreshSave DoSaveToFreshPath(const QString &path);
    // Before the main window closes: true when the document may go.
    bool CanCloseFrame() { return SaveModified(); }

    // Overridables.
    virtual bool OnNewDocument();
    virtual bool OnOpenDocument(const QString &path);
    virtual bool OnSaveDocument(const QString &path);
    virtual void OnCloseDocument();
    // Before the document is replaced or closed; true = go on.
    virtual bool SaveModified();
    virtual void DeleteContents();
    virtual void Serialize(CArchive &archive) = 0;

    // Shows a framework message box (caption: the application title, exclamation icon).
    virtual void ReportError(const QString &text);
    // While on, a file error whose text does not name the file names it first
    // ("x.company: Unexpected file format."): for a file that comes from outside the editor,
    // as a double-click on it does, where nothing else says which file it was.
    void SetNameFileInReports(bool on) { m_nameFileInReports = on; }

signals:
    void titleChanged(const QString &title);
    void modifiedChanged(bool modified);
    void pathNameSet(const QString &path, bool addToRecentFiles);
    // An open of the file already open: the main window should come to the front.
    void activateRequested();
    void documentClosed();

protected:
    // The save sequence behind OnSaveDocument and DoSaveToFreshPath.
    FreshSave SaveToFile(const QString &path, ExistingFile existing);
    // Reports a file error by cause, or the fallback text when the cause is unknown.
    void ReportFileError(const QString &path, FileErrorCause cause, const QString &fallback);

private:
    bool IsOpenPath(const QString &path) const;

    IPrompts &m_prompts;
    QString m_title;
    QString m_pathName;
    bool m_modified = false;
    bool m_nameFileInReports = false;
    QList<CView *> m_views;
};

} // namespace quorvel
