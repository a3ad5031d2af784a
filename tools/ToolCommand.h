#pragma once
// The commands of quorvel-tool. Each command lives in its own file and registers itself with
// QUORVEL_TOOL_COMMAND; main() looks the name up here and hands the command its arguments.

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

class QCommandLineParser;

namespace quorvel::tool {

enum ExitCode : int {
    kExitOk = 0,      // success
    kExitFailed = 1,  // a file could not be read or written, or was rejected
    kExitUsage = 2,   // wrong usage
};

// args holds the arguments after the command's name.
using CommandFunction = int (*)(const QStringList &args);

struct CToolCommand
{
    const char *name;
    const char *summary;   // one line for the top-level help
    CommandFunction run;
};

// All registered commands, sorted by name.
std::vector<CToolCommand> Commands();
const CToolCommand *FindCommand(const QString &name);

struct CCommandRegistrar
{
    CCommandRegistrar(const char *name, const char *summary, CommandFunction run);
};

// The tool's own words, translated in the "quorvel-tool" context.
QString Tr(const char *text);

// Text output, always UTF-8.
void PrintOut(const QString &text);
void PrintErr(const QString &text);

// The exit code once the command is done: standard output is flushed, and when any of it
// could not be written that is said and a success becomes kExitFailed.
int FinishOutput(int code);

// An argument's bytes as the user can read them back: printable ASCII as it is, every other
// byte as \xNN.
QString EscapedBytes(const QByteArray &bytes);

// Whether args ask for the command's help.
bool HelpAsked(const QStringList &args);

// The picture formats this build reads, for a command's help; empty when args ask for no help,
// since finding them loads every image plugin and libheif with its codecs.
QString HelpFormatList(const QStringList &args);

// Parses a command's arguments. Returns -1 when the command should go on; otherwise the exit
// code to return at once: kExitOk after printing the help for --help, kExitUsage after
// printing the parser's error. syntax is the part of the usage line after the command name.
int ParseArguments(QCommandLineParser &parser, const char *command, const QString &syntax,
                   const QStringList &args);

// How many positional arguments a command takes, from fewest to most (-1: any number), and
// what it says when given fewer or more; "%1" in tooMany becomes the first one too many.
struct CPositionals
{
    int fewest = 0;
    int most = 0;
    QString tooFew;
    QString tooMany;
};

// The positional arguments of a parsed command line when they are as many as the command
// takes; otherwise none, after printing the command's usage error (the command then returns
// kExitUsage).
std::optional<QStringList> PositionalArguments(const QCommandLineParser &parser, const char *command,
                                               const CPositionals &positionals);

// Prints "quorvel-tool COMMAND: message" and a pointer to --help, returns kExitUsage.
int UsageError(const char *command, const QString &message);

// The words for an option the tool does not know, given with or without its dashes.
QString UnknownOption(const QString &name);

// A path as the user should see it in messages.
QString DisplayPath(const QString &path);

} // namespace quorvel::tool

#define QUORVEL_TOOL_CONCAT2(a, b) a##b
#define QUORVEL_TOOL_CONCAT(a, b) QUORVEL_TOOL_CONCAT2(a, b)
// QUORVEL_TOOL_COMMAND("name", "summary", function) at namespace scope in the command's file.
#define QUORVEL_TOOL_COMMAND(name, summary, function)                                      \
    static const ::quorvel::tool::CCommandRegistrar QUORVEL_TOOL_CONCAT(                    \
        s_toolCommand, __LINE__)(name, summary, function)
