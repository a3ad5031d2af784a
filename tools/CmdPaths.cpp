// paths [--json]: the folders the editor would use, and every place the game was looked for,
// so a user can see where the game was found and why.

#include "tools/ToolCommand.h"

#include "game/GameLookup.h"
#include "game/ObjectFolder.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace quorvel::tool {
namespace {

QJsonObject CandidateObject(const CGameCandidate &candidate, bool used)
{
    QJsonObject object;
    object.insert(QStringLiteral("kind"), CandidateKindName(candidate.kind));
    object.insert(QStringLiteral("prefix"), DisplayPath(candidate.prefix));
    object.insert(QStringLiteral("state"), CandidateStateName(candidate.state));
    object.insert(QStringLiteral("game"), candidate.HoldsGame());
    if (!candidate.installFolder.isNull())
        object.insert(QStringLiteral("install_folder"), candidate.installFolder);
    if (candidate.HoldsGame()) {
        object.insert(QStringLiteral("object_folder"), DisplayPath(candidate.objectFolder));
        object.insert(QStringLiteral("object_folder_exists"), candidate.objectFolderExists);
    }
    if (candidate.registryChanged.isValid())
        object.insert(QStringLiteral("registry_changed"),
                      candidate.registryChanged.toUTC().toString(Qt::ISODateWithMs));
    object.insert(QStringLiteral("used"), used);
    return object;
}

int RunPaths(const QStringList &args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(Tr(
        "Prints the object folder the editor saves companies into and the documents folder "
        "where import and export start, then why that object folder is used and every place "
        "the game was looked for. The object folder is the one QUORVEL_OBJDATA names, else the "
        "one chosen with the editor's File > Game Folder..., else the game's: from $WINEPREFIX "
        "when it holds the game, else from the Wine prefix (~/.wine, Steam's Proton prefixes, "
        "Lutris, Bottles) whose object folder exists and whose registry changed last. Without "
        "the game it is the current directory."));
    const QCommandLineOption json(QStringLiteral("json"),
                                  Tr("Print one JSON object with the keys objects, documents, "
                                     "source, reason and candidates."));
    parser.addOption(json);
    const int parsed = ParseArguments(parser, "paths", QStringLiteral("[--json]"), args);
    if (parsed >= 0)
        return parsed;
    if (!PositionalArguments(parser, "paths", {0, 0, {}, Tr("takes no arguments.")}))
        return kExitUsage;

    const CObjectFolderLookup lookup = LookUpObjectFolder(ECandidateSearch::Always);
    const QString objects = DisplayPath(lookup.folder);
    const QString documents = DisplayPath(GetDocumentsFolder());
    if (parser.isSet(json)) {
        QJsonArray candidates;
        for (std::size_t i = 0; i < lookup.candidates.size(); ++i)
            candidates.append(CandidateObject(lookup.candidates[i], int(i) == lookup.used));
        QJsonObject root;
        root.insert(QStringLiteral("objects"), objects);
        root.insert(QStringLiteral("documents"), documents);
        root.insert(QStringLiteral("source"), SourceName(lookup.source));
        root.insert(QStringLiteral("reason"), lookup.reason);
        root.insert(QStringLiteral("candidates"), candidates);
        PrintOut(QString::fromUtf8(QJsonDocument(root).toJson(QJsonDocument::Indented)));
        return kExitOk;
    }

    // The first two lines stay as they always were, for scripts that read them.
    QString text = QStringLiteral("objects: %1\ndocuments: %2\nreason: %3\n")
                       .arg(objects, documents, lookup.reason);
    for (std::size_t i = 0; i < lookup.candidates.size(); ++i) {
        const CGameCandidate &candidate = lookup.candidates[i];
        text += QStringLiteral("candidate: %1 (%2)%3: %4\n")
                    .arg(DisplayPath(candidate.prefix), CandidateKindText(candidate.kind),
                         int(i) == lookup.used ? Tr(", used") : QString(),
                         CandidateStateText(candidate));
    }
    PrintOut(text);
    return kExitOk;
}

} // namespace

QUORVEL_TOOL_COMMAND("paths", "show the folders in use and where the game was looked for", RunPaths);

} // namespace quorvel::tool
