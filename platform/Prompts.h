#pragma once
// Every message box, file dialog and wait cursor of the program goes through IPrompts, so the
// application installs the real widgets (platform/widgets) and tests answer from a script.

#include <QString>

#include <optional>

namespace quorvel {

enum class MessageButtons { Ok, YesNo, YesNoCancel };
enum class MessageIcon { Warning, Question, Information, Critical };
enum class MessageAnswer { Ok, Yes, No, Cancel };

// The answer that changes nothing: for a box closed without a button, or nobody to ask.
constexpr MessageAnswer DecliningAnswer(MessageButtons buttons)
{
    switch (buttons) {
    case MessageButtons::Ok:
        return MessageAnswer::Ok;
    case MessageButtons::YesNo:
        return MessageAnswer::No;
    case MessageButtons::YesNoCancel:
        break;
    }
    return MessageAnswer::Cancel;
}

class IPrompts
{
public:
    virtual ~IPrompts() = default;

    // A modal box, task-modal, on top of every window and brought to the foreground.
    // ownedByMainWindow: the box belongs to the main window rather than to no window.
    virtual MessageAnswer ShowMessage(const QString &text, const QString &caption,
                                      MessageButtons buttons, MessageIcon icon,
                                      bool ownedByMainWindow) = 0;

    // Save-file dialog that asks before replacing an existing file and adds no suffix.
    // filter is one Qt filter entry, e.g. "All Files (*.*)". Nothing when cancelled.
    virtual std::optional<QString> GetSaveFileName(const QString &title,
                                                   const QString &initialPath,
                                                   const QString &filter) = 0;

    // Open-file dialog for an existing file. An initial file name with wildcards
    // ("folder/*.company") starts in that folder showing the names that match.
    virtual std::optional<QString> GetOpenFileName(const QString &title,
                                                   const QString &initialPath,
                                                   const QString &filter) = 0;

    // Folder dialog for an existing folder, starting in initialFolder. Nothing when cancelled.
    virtual std::optional<QString> GetExistingFolder(const QString &title,
                                                     const QString &initialFolder) = 0;

    // Calls nest: the cursor returns to normal at the last EndWaitCursor.
    virtual void BeginWaitCursor() = 0;
    virtual void EndWaitCursor() = 0;
};

// The process-wide prompts. Until the application installs its own, a silent instance logs
// every message and answers as if the user declined (Ok, No or Cancel; no file chosen).
IPrompts &Prompts();

// Installs prompts (not owned; they must outlive their use) and returns the previous ones.
// nullptr goes back to the silent instance.
IPrompts *SetPrompts(IPrompts *prompts);

// The caption of the framework's own boxes (file errors): the application title.
QString FrameworkCaption();

// Shows the wait cursor for its lifetime.
class CWaitCursor
{
public:
    explicit CWaitCursor(IPrompts &prompts) : m_prompts(prompts) { m_prompts.BeginWaitCursor(); }
    CWaitCursor() : CWaitCursor(Prompts()) {}
    ~CWaitCursor() { m_prompts.EndWaitCursor(); }
    CWaitCursor(const CWaitCursor &) = delete;
    CWaitCursor &operator=(const CWaitCursor &) = delete;

private:
    IPrompts &m_prompts;
};

} // namespace quorvel
