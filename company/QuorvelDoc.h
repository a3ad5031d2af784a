#pragma once
// The open company: the record plus the document's path, title and modified flag. Save never
// writes over the file a company came from: its first change gives it a fresh path.

#include "company/CompanyRecord.h"
#include "platform/Document.h"

namespace quorvel {

class CQuorvelDoc : public CDocument, public CCompanyRecord
{
    Q_OBJECT

public:
    explicit CQuorvelDoc(QObject *parent = nullptr);

    // New company: defaults, a fresh path, the title "New company", stamped now, unmodified.
    bool OnNewDocument() override;
    bool OnOpenDocument(const QString &path) override;
    bool OnSaveDocument(const QString &path) override;
    void OnCloseDocument() override;
    // The save prompt before the company is left; true = go on.
    bool SaveModified() override;
    // The record is never cleared on its own: a reset is OnNewDocument's job.
    void DeleteContents() override;
    void Serialize(CArchive &archive) override;

    // After every change: on the first one, a fresh path, the owner name as title, modified.
    void MarkModified();
    // Saves to the current path, a freshly drawn one, and retitles with the owner name;
    // reports its own failures. A file that took the path meanwhile is left alone and the
    // company goes to another fresh path. False when the company could not be saved.
    bool SaveCompany();
    // Saves into the folder under a fresh name, firstPath first when given, drawing again
    // while a name turns out taken; reports its own failures. False when nothing was saved.
    bool InstallCompany(const QString &folder, const QString &firstPath = QString());

    // After the object folder changed: a changed company takes a fresh path in the new one.
    void FollowObjectFolder();

    // Menu commands.
    void OnFileSave();
    void OnFileExport();

    // True when the company has its default face and so may be saved or exported.
    bool HasDefaultFace() const;

protected:
    void RecordChanged() override;
    void OwnerNameSet() override;

private:
    // A fresh path in the object folder, or none when every name there is taken.
    void TakeFreshPath();
    void ShowNoDefaultFace(bool ownedByMainWindow);
};

} // namespace quorvel
