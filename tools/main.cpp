// quorvel-tool: the company editor's libraries on the command line, for scripts and batch work.

#include "tools/ToolCommand.h"

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
        "  1  a file could not be read or written, or was rejected\n"
        "  2  wrong usage\n");
    return text;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quorvel-tool"));
    QCoreApplication::setOrganizationName(
        QStringLiteral("Local AppWizard-Generated Applications"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUORVEL_VERSION));

    QStringList args = QCoreApplication::arguments();
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
