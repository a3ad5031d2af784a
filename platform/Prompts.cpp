#include "platform/Prompts.h"

#include "platform/Logging.h"

#include <QCoreApplication>

namespace quorvel {

namespace {

// Used where no user can answer (the command-line tool, a test that installed nothing):
// every box is logged and answered the way that changes nothing.
class CSilentPrompts final : public IPrompts
{
public:
    MessageAnswer ShowMessage(const QString &text, const QString &caption,
                              MessageButtons buttons, MessageIcon, bool) override
    {
        qCWarning(lcPlatform).noquote() << caption << ":" << text;
        return DecliningAnswer(buttons);
    }

    std::optional<QString> GetSaveFileName(const QString &, const QString &,
                                           const QString &) override
    {
        return std::nullopt;
    }

    std::optional<QString> GetOpenFileName(const QString &, const QString &,
                                           const QString &) override
    {
        return std::nullopt;
    }

    std::optional<QString> GetExistingFolder(const QString &, const QString &) override
    {
        return std::nullopt;
    }

    void BeginWaitCursor() override {}
    void EndWaitCursor() override {}
};

CSilentPrompts g_silentPrompts;
IPrompts *g_prompts = &g_silentPrompts;

} // namespace

IPrompts &Prompts()
{
    return *g_prompts;
}

IPrompts *SetPrompts(IPrompts *prompts)
{
    IPrompts *previous = g_prompts;
    g_prompts = prompts ? prompts : &g_silentPrompts;
    return previous == &g_silentPrompts ? nullptr : previous;
}

QString FrameworkCaption()
{
    return QCoreApplication::translate("quorvel::CDocument", "Quorvel");
}

} // namespace quorvel
