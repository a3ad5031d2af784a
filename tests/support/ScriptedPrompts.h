#pragma once
// Prompts for tests: installed for their lifetime, they record every box and dialog and answer
// from a queue. A prompt the script does not expect fails the running test.

#include "platform/Prompts.h"

#include <QList>
#include <QString>
#include <QTest>

#include <optional>
#include <variant>

namespace quorvel::test {

struct PromptCall
{
    enum class Kind { Message, SaveFile, OpenFile, Folder };
    Kind kind = Kind::Message;
    // Message boxes
    QString text;
    QString caption;
    MessageButtons buttons = MessageButtons::Ok;
    MessageIcon icon = MessageIcon::Warning;
    bool ownedByMainWindow = false;
    // File dialogs
    QString title;
    QString initialPath;
    QString filter;
};

class CScriptedPrompts final : public IPrompts
{
public:
    CScriptedPrompts() : m_previous(SetPrompts(this)) {}
    ~CScriptedPrompts() override { SetPrompts(m_previous); }
    CScriptedPrompts(const CScriptedPrompts &) = delete;
    CScriptedPrompts &operator=(const CScriptedPrompts &) = delete;

    // The next message box is answered with this.
    void AnswerMessage(MessageAnswer answer) { m_script.append(answer); }
    // The next file dialog returns this (nothing = cancelled).
    void AnswerFile(std::optional<QString> path) { m_script.append(FileAnswer{std::move(path)}); }

    const QList<PromptCall> &Calls() const { return m_calls; }
    // Texts of the message boxes shown so far.
    QStringList Messages() const
    {
        QStringList texts;
        for (const PromptCall &call : m_calls) {
            if (call.kind == PromptCall::Kind::Message)
                texts.append(call.text);
        }
        return texts;
    }
    int PendingAnswers() const { return int(m_script.size()); }
    void Clear() { m_calls.clear(); m_script.clear(); }

    int WaitDepth() const { return m_waitDepth; }
    int DeepestWait() const { return m_deepestWait; }

    MessageAnswer ShowMessage(const QString &text, const QString &caption,
                              MessageButtons buttons, MessageIcon icon,
                              bool ownedByMainWindow) override
    {
        PromptCall call;
        call.kind = PromptCall::Kind::Message;
        call.text = text;
        call.caption = caption;
        call.buttons = buttons;
        call.icon = icon;
        call.ownedByMainWindow = ownedByMainWindow;
        m_calls.append(call);
        if (m_script.isEmpty() || !std::holds_alternative<MessageAnswer>(m_script.first())) {
            Unexpected(QStringLiteral("message box \"%1\" (%2)").arg(text, caption));
            return buttons == MessageButtons::Ok ? MessageAnswer::Ok : MessageAnswer::Cancel;
        }
        return std::get<MessageAnswer>(m_script.takeFirst());
    }

    std::optional<QString> GetSaveFileName(const QString &title, const QString &initialPath,
                                           const QString &filter) override
    {
        return FileDialog(PromptCall::Kind::SaveFile, title, initialPath, filter);
    }

    std::optional<QString> GetOpenFileName(const QString &title, const QString &initialPath,
                                           const QString &filter) override
    {
        return FileDialog(PromptCall::Kind::OpenFile, title, initialPath, filter);
    }

    std::optional<QString> GetExistingFolder(const QString &title,
                                             const QString &initialFolder) override
    {
        return FileDialog(PromptCall::Kind::Folder, title, initialFolder, QString());
    }

    void BeginWaitCursor() override
    {
        ++m_waitDepth;
        m_deepestWait = qMax(m_deepestWait, m_waitDepth);
    }
    void EndWaitCursor() override
    {
        if (m_waitDepth == 0)
            Unexpected(QStringLiteral("EndWaitCursor without BeginWaitCursor"));
        else
            --m_waitDepth;
    }

private:
    struct FileAnswer
    {
        std::optional<QString> path;
    };

    std::optional<QString> FileDialog(PromptCall::Kind kind, const QString &title,
                                      const QString &initialPath, const QString &filter)
    {
        PromptCall call;
        call.kind = kind;
        call.title = title;
        call.initialPath = initialPath;
        call.filter = filter;
        m_calls.append(call);
        if (m_script.isEmpty() || !std::holds_alternative<FileAnswer>(m_script.first())) {
            Unexpected(QStringLiteral("file dialog \"%1\" at %2").arg(title, initialPath));
            return std::nullopt;
        }
        return std::get<FileAnswer>(m_script.takeFirst()).path;
    }

    static void Unexpected(const QString &what)
    {
        const QByteArray message = "unexpected prompt: " + what.toUtf8();
        QTest::qFail(message.constData(), __FILE__, __LINE__);
    }

    IPrompts *m_previous;
    QList<std::variant<MessageAnswer, FileAnswer>> m_script;
    QList<PromptCall> m_calls;
    int m_waitDepth = 0;
    int m_deepestWait = 0;
};

} // namespace quorvel::test
