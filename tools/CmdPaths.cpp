// paths: the folders the editor would use, so a user can see where the game was found.

#include "tools/ToolCommand.h"

#include "platform/ObjectFolder.h"

#include <QCommandLineParser>
#include <QCoreApplication>

namespace quorvel::tool {
namespace {

int RunPaths(const QStringList &args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QCoreApplication::translate(
        "quorvel-tool",
        "Prints the object folder the editor saves companies into (the game's install folder "
        "and ObjData, or the current directory when the game is not found) and the documents "
        "folder where import and export start."));
    const int parsed = ParseArguments(parser, "paths", QString(), args);
    if (parsed >= 0)
        return parsed;
    if (!parser.positionalArguments().isEmpty())
        return UsageError("paths", QCoreApplication::translate("quorvel-tool",
                                                               "takes no arguments."));

    PrintOut(QStringLiteral("objects: %1\ndocuments: %2\n")
                 .arg(DisplayPath(GetObjectFolder()), DisplayPath(GetDocumentsFolder())));
    return kExitOk;
}

} // namespace

QUORVEL_TOOL_COMMAND("paths", "show the object folder and the documents folder", RunPaths);

} // namespace quorvel::tool
