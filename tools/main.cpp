// quorvel-tool: the company editor's libraries on the command line, for scripts and batch work.

#include "tools/ToolCommand.h"
#include "tools/ToolFiles.h"

#include "platform/FileSystem.h"
#include "platform/LargeBuffer.h"
#include "platform/Logging.h"

#include <QCoreApplication>

using namespace quorvel::tool;

namespace {

QString TopLevelHelp()
{
    QString text = QStringLiteral(
        "Usage: quorvel-tool COMMAND [OPTIONS] ...\n"
        "Works on the company objects of the game from the command line.\n"
        "'quorvel-tool COMMAND --help' describes a command.\n\n"
        "Options:\n"
        "  -h, --help     Displays this help.\n"
        "  -v, --version  Displays version information.\n\n"
        "Commands:\n");
    for (const CToolCommand &command : Commands())
        text += QStringLiteral("  %1  %2\n").arg(QLatin1String(command.name), -10)
                    .arg(QLatin1String(command.summary));
    text += QStringLiteral(
        "\nExit status:\n"
        "  0  success\n"
        "  1  a file could not be read or written, or was rejected, or standard output\n"
        "     could not be written\n"
        "  2  wrong usage\n");
    return text;
}

int Run(const QStringList &arguments)
{
    QStringList args = arguments;
    args.removeFirst();
    if (args.isEmpty()) {
        PrintErr(TopLevelHelp());
        return kExitUsage;
    }
    const QString name = args.takeFirst();
    if (name == QLatin1String("--help") || name == QLatin1String("-h")
        || name == QLatin1String("help")) {
        PrintOut(TopLevelHelp());
        return kExitOk;
    }
    if (name == QLatin1String("--version") || name == QLatin1String("-v")) {
        PrintOut(QStringLiteral("quorvel-tool %1\n").arg(QCoreApplication::applicationVersion()));
        return kExitOk;
    }
    const CToolCommand *command = FindCommand(name);
    if (!command) {
        const QString words = name.startsWith(QLatin1Char('-'))
                                  ? UnknownOption(name)
                                  : QCoreApplication::translate("quorvel-tool",
                                                                "unknown command '%1'.").arg(name);
        PrintErr(QStringLiteral("quorvel-tool: %1\nTry 'quorvel-tool --help'.\n").arg(words));
        return kExitUsage;
    }
    return command->run(args);
}

} // namespace

int main(int argc, char *argv[])
{
    // Before anything opens a file that could take the place of a closed stream.
    quorvel::GuardStandardStreams();
    quorvel::FailWritesPastSizeLimit();
    quorvel::RouteLibraryMessages();
    // The cut at a face decodes while the search runs on another thread.
    quorvel::ShareOneHeap();
    // Qt would carry such an argument as another name, and the command would read or write
    // another file than the one the user gave.
    if (const std::optional<QByteArray> unnamable = quorvel::FindUnnamableArgument(argc, argv)) {
        PrintErr(FileMessage(EscapedBytes(*unnamable), UnnamableWords()) + QLatin1Char('\n'));
        return kExitFailed;
    }
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quorvel-tool"));
    QCoreApplication::setOrganizationName(
        QStringLiteral("Local AppWizard-Generated Applications"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUORVEL_VERSION));
    return FinishOutput(Run(QCoreApplication::arguments()));
}
