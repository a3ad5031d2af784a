#include "tools/ToolCommand.h"
#include "image/Loaders.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace quorvel::tool {
namespace {

// Function-local so that registrars in other files may run in any order.
std::vector<CToolCommand> &Registry()
{
    static std::vector<CToolCommand> commands;
    return commands;
}

// The error number of the first failed write to standard output, 0 while there is none.
int g_outputError = 0;

void NoteOutputError(std::FILE *stream)
{
    if (stream == stdout && g_outputError == 0)
        g_outputError = errno != 0 ? errno : EIO;
}

void Print(std::FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    errno = 0;
    if (std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stream)
            != std::size_t(bytes.size())
        || std::fflush(stream) != 0)
        NoteOutputError(stream);
}

} // namespace

QString Tr(const char *text)
{
    return QCoreApplication::translate("quorvel-tool", text);
}

CCommandRegistrar::CCommandRegistrar(const char *name, const char *summary, CommandFunction run)
{
    Registry().push_back({name, summary, run});
}

std::vector<CToolCommand> Commands()
{
    std::vector<CToolCommand> sorted = Registry();
    std::sort(sorted.begin(), sorted.end(), [](const CToolCommand &a, const CToolCommand &b) {
        return qstrcmp(a.name, b.name) < 0;
    });
    return sorted;
}

const CToolCommand *FindCommand(const QString &name)
{
    for (const CToolCommand &command : Registry()) {
        if (name == QLatin1String(command.name))
            return &command;
    }
    return nullptr;
}

void PrintOut(const QString &text)
{
    Print(stdout, text);
}

void PrintErr(const QString &text)
{
    Print(stderr, text);
}

int FinishOutput(int code)
{
    errno = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        NoteOutputError(stdout);
    if (g_outputError == 0)
        return code;
    PrintErr(QStringLiteral("quorvel-tool: %1\n")
                 .arg(QCoreApplication::translate("quorvel-tool",
                                                  "could not write to standard output: %1.")
                          .arg(QString::fromLocal8Bit(std::strerror(g_outputError)))));
    return code == kExitOk ? kExitFailed : code;
}

QString EscapedBytes(const QByteArray &bytes)
{
    QString text;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7f)
            text += QLatin1Char(c);
        else
            text += QStringLiteral("\\x%1").arg(byte, 2, 16, QLatin1Char('0'));
    }
    return text;
}

bool HelpAsked(const QStringList &args)
{
    return args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"));
}

QString HelpFormatList(const QStringList &args)
{
    return HelpAsked(args) ? ReadablePictureFormatList() : QString();
}

int ParseArguments(QCommandLineParser &parser, const char *command, const QString &syntax,
                   const QStringList &args)
{
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  QCoreApplication::translate("quorvel-tool",
                                                              "Displays help on this command."));
    parser.addOption(help);
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    const QString program = QStringLiteral("quorvel-tool %1").arg(QLatin1String(command));
    const bool parsed = parser.parse(QStringList{program} + args);
    // Help wins over a mistake elsewhere on the line.
    if (HelpAsked(args)) {
        // The parser's own usage line names the executable's full path; use the command's.
        QString text = parser.helpText();
        const qsizetype lineEnd = text.indexOf(QLatin1Char('\n'));
        text.replace(0, lineEnd, QStringLiteral("Usage: %1 %2").arg(program, syntax).trimmed());
        PrintOut(text);
        return kExitOk;
    }
    if (!parsed) {
        // An option as the user typed it; the parser's own text drops its dashes.
        const QStringList unknown = parser.unknownOptionNames();
        if (!unknown.isEmpty())
            return UsageError(command, UnknownOption(unknown.first()));
        QString text = parser.errorText();
        if (!text.isEmpty())
            text[0] = text[0].toLower();
        return UsageError(command, text);
    }
    return -1;
}

std::optional<QStringList> PositionalArguments(const QCommandLineParser &parser, const char *command,
                                               const CPositionals &positionals)
{
    const QStringList given = parser.positionalArguments();
    if (given.size() < positionals.fewest) {
        UsageError(command, positionals.tooFew);
        return std::nullopt;
    }
    if (positionals.most >= 0 && given.size() > positionals.most) {
        const QString &tooMany = positionals.tooMany;
        UsageError(command, tooMany.contains(QLatin1String("%1")) ? tooMany.arg(given[positionals.most])
                                                                   : tooMany);
        return std::nullopt;
    }
    return given;
}

QString UnknownOption(const QString &name)
{
    const QString dashes = name.startsWith(QLatin1Char('-')) ? QString()
                           : name.size() == 1               ? QStringLiteral("-")
                                                            : QStringLiteral("--");
    return QCoreApplication::translate("quorvel-tool", "unknown option '%1'.").arg(dashes + name);
}

int UsageError(const char *command, const QString &message)
{
    PrintErr(QStringLiteral("quorvel-tool %1: %2\nTry 'quorvel-tool %1 --help'.\n")
                 .arg(QLatin1String(command), message));
    return kExitUsage;
}

QString DisplayPath(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

} // namespace quorvel::tool
