// list [--json] [--objdata DIR]: the companies installed in the object folder, as the editor's
// catalogue sees them.

#include "tools/ToolCommand.h"
#include "tools/ToolFiles.h"

#include "game/ObjectFolder.h"
#include "store/CompanyCatalogue.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <vector>

namespace quorvel::tool {
namespace {

struct CListed
{
    CCompanyEntry entry;
    QString path;        // as shown: absolute, native separators
    bool preview = false; // the Open dialog lists it
    QByteArray nameKey;  // UTF-8 sorts by code point
    QByteArray pathKey;
};

int RunList(const QStringList &args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(Tr(
        "Lists the companies installed in the object folder (or DIR): every file that import "
        "takes for a company, whatever its name, sorted by display name (owner name and date "
        "stamp) and then by path. A company that the editor's Open dialog leaves out, because "
        "it has no 24x24 picture, is marked \"no preview\". A game without its object folder "
        "lists nothing; a DIR that is missing, is not a folder or cannot be listed is an "
        "error."));
    const QCommandLineOption json(QStringLiteral("json"),
                                  Tr("Print one JSON array, an object per company, with the keys "
                                     "path, name, checksum and preview."));
    const QCommandLineOption objdata(QStringLiteral("objdata"),
                                     Tr("Look in DIR instead of the game's object folder."),
                                     QStringLiteral("DIR"));
    parser.addOption(json);
    parser.addOption(objdata);
    const int parsed =
        ParseArguments(parser, "list", QStringLiteral("[--json] [--objdata DIR]"), args);
    if (parsed >= 0)
        return parsed;
    if (!PositionalArguments(parser, "list", {0, 0, {}, Tr("takes no files.")}))
        return kExitUsage;
    const QString folder = parser.isSet(objdata) ? parser.value(objdata) : GetObjectFolder();
    // A folder named on the command line must be there; the game's may be missing.
    QString error;
    if (!CheckFolderToList(folder, parser.isSet(objdata), &error)) {
        PrintErr(error + QLatin1Char('\n'));
        return kExitFailed;
    }

    std::vector<CListed> companies;
    CPreviewList previews;
    ForEachCandidateFile(folder, [&](const QString &path) {
        CListed listed;
        if (!listed.entry.LoadFromFile(path))
            return true;
        CCompanyEntry withPreview;
        previews.clear();
        listed.preview = withPreview.LoadFromFile(path, &previews);
        listed.path = ShownPath(path);
        listed.nameKey = listed.entry.m_displayName.toUtf8();
        listed.pathKey = listed.path.toUtf8();
        companies.push_back(std::move(listed));
        return true;
    });
    std::sort(companies.begin(), companies.end(), [](const CListed &a, const CListed &b) {
        return std::tie(a.nameKey, a.pathKey) < std::tie(b.nameKey, b.pathKey);
    });

    if (parser.isSet(json)) {
        QJsonArray array;
        for (const CListed &listed : companies) {
            QJsonObject object;
            object.insert(QStringLiteral("path"), listed.path);
            object.insert(QStringLiteral("name"), listed.entry.m_displayName);
            object.insert(QStringLiteral("checksum"), qint64(listed.entry.m_checksum));
            object.insert(QStringLiteral("preview"), listed.preview);
            array.append(object);
        }
        PrintOut(QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented)));
        return kExitOk;
    }
    QString text;
    for (const CListed &listed : companies) {
        text += listed.entry.m_displayName + QLatin1Char('\t') + listed.path;
        if (!listed.preview)
            text += QStringLiteral("\tno preview");
        text += QLatin1Char('\n');
    }
    PrintOut(text);
    return kExitOk;
}

} // namespace

QUORVEL_TOOL_COMMAND("list", "list the companies installed in the object folder", RunList);

} // namespace quorvel::tool
