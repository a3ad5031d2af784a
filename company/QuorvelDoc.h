#pragma once
// The open company: a company record with the document's path, title, modified flag and undo
// history. Save never writes over the file a company came from: its first change gives it a
// fresh path. Every change goes through the document's setters, each an undoable step, so any
// caller (the form, the face frames, a test) gets undo without building commands itself.

#include "company/CompanyRecord.h"
#include "platform/Document.h"

#include <QUndoStack>

#include <memory>

namespace quorvel {

class IObjectFolderService;
class CCompanyState;

// How a step joins the one before it.
enum class EStepMerge {
    Separate,    // a step of its own
    SameControl, // joins the last step while it was made by the same control and not closed
};

class CQuorvelDoc : public CDocument
{
    Q_OBJECT

public:
    // The prompts and the folders are not owned; they must outlive the document.
    CQuorvelDoc(IPrompts &prompts, const IObjectFolderService &folders, QObject *parent = nullptr);
    ~CQuorvelDoc() override;

    const CCompanyRecord &Record() const { return m_record; }
    const IObjectFolderService &Folders() const { return m_folders; }
    QUndoStack &UndoStack() { return m_undoStack; }

    // New company: defaults, a fresh path, the title "New company", stamped now, unmodified,
    // no history.
    bool OnNewDocument() override;
    // A company read whole starts a history of its own.
    bool OnOpenDocument(const QString &path) override;
    // The save prompt before the company is left; true = go on.
    bool SaveModified() override;
    void Serialize(CArchive &archive) override;
    // A company saved or exported is the history's clean state; one changed while the history
    // says clean (a failed open restoring its flag) has none to return to.
    void SetModifiedFlag(bool modified = true) override;

    // The changes. Each is one undoable step unless a step is open (CStep), and then part of
    // that one; one that changes nothing leaves no step. SetOwnerName retitles the document
    // in any case; SetFaces counts as a change on every call that names an expression.
    void SetOwnerName(const QString &name);
    void SetSpecificWord(const QString &word);
    void SetFirstWordAllowed(std::uint32_t bit, bool on);
    void SetSecondWordAllowed(std::uint32_t bit, bool on);
    void SetIntelligence(int value, EStepMerge merge = EStepMerge::Separate);
    void SetAggressiveness(int value, EStepMerge merge = EStepMerge::Separate);
    void SetCompetitiveness(int value, EStepMerge merge = EStepMerge::Separate);
    void SetFaces(std::uint32_t bit, const std::uint8_t *small, const std::uint8_t *large);
    // Ends the merging of the last step: the next change of the same control is a step of
    // its own (a slider let go).
    void CloseLastStep();

    // Changes made while one is alive form one step, named by the outermost; an inner one
    // only joins it. The step is recorded when the outermost ends, if anything changed.
    class CStep
    {
    public:
        CStep(CQuorvelDoc &document, const QString &text, int mergeId = -1);
        ~CStep();
        CStep(const CStep &) = delete;
        CStep &operator=(const CStep &) = delete;

    private:
        CQuorvelDoc &m_document;
    };

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

    // The step names: "Happy" for 0x2, "Default" for 0x1.
    static QString ExpressionTitle(std::uint32_t bit);

signals:
    // A company file was written: saved or installed (exported false) or exported.
    void companyWritten(const QString &path, bool exported);

private:
    friend class CCompanyCommand;

    // A fresh path in the object folder, or none when every name there is taken.
    void TakeFreshPath();
    void ShowNoDefaultFace(bool ownedByMainWindow);

    void BeginStep(const QString &text, int mergeId);
    void EndStep();
    // Before a change of the expression's faces inside a step: keep what they were.
    void TouchFace(int index);
    void StepChanged() { m_stepChanged = true; }
    // A step the record went back or forward to: the form shows it, the title follows it.
    void RestoreState(const CCompanyState &state);
    void HistoryMoved();

    const IObjectFolderService &m_folders;
    CCompanyRecord m_record;
    QUndoStack m_undoStack;

    int m_stepDepth = 0;
    QString m_stepText;
    int m_stepMergeId = -1;
    bool m_stepChanged = false;
    std::unique_ptr<CCompanyState> m_stepBefore;
    bool m_serializing = false;
};

} // namespace quorvel
