// import FILE [--objdata DIR]: installs a company as the editor's Import does after its file
// dialog, unless an identical company is installed already.

#include "tools/ToolCommand.h"
#include "tools/ToolFiles.h"

#include "company/CompanyRecord.h"
#include "platform/FileCommit.h"
#include "platform/ObjectFolder.h"
#include "store/CompanyImport.h"

#include <QCommandLineParser>
#include <QCoreApplication>

namespace quorvel::tool {
namespace {

QString Tr(const char *text)
{
    return QCoreApplication::translate("quorvel-tool", text);
}

int RunImport(const QStringList &args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(Tr(
        "Installs the company in FILE into the object folder (or DIR) under a fresh name, "
        "keeping its date stamp, unless an identical company (same owner name, date stamp and "
        "checksum) is installed already. Never replaces a file. Prints the installed file's "
        "path."));
    const QCommandLineOption objdata(QStringLiteral("objdata"),
                                     Tr("Install into DIR instead of the game's object folder."),
                                     QStringLiteral("DIR"));
    parser.addOption(objdata);
    parser.addPositionalArgument(QStringLiteral("FILE"), Tr("The company file to install."));
    const int parsed =
        ParseArguments(parser, "import", QStringLiteral("FILE [--objdata DIR]"), args);
    if (parsed >= 0)
        return parsed;
    const QStringList files = parser.positionalArguments();
    if (files.size() != 1)
        return UsageError("import", files.isEmpty() ? Tr("no file given.")
                                                    : Tr("only one file can be imported at a time."));
    const QString &file = files.first();

    CCompanyRecord record;
    QString error;
    if (!ReadCompanyFile(file, record, &error)) {
        PrintErr(error + QLatin1Char('\n'));
        return kExitFailed;
    }
    const QString folder = parser.isSet(objdata) ? parser.value(objdata) : GetObjectFolder();
    // A missing object folder is an error: import never makes one. One that cannot be listed
    // would hide an installed copy.
    if (!CheckFolderToList(folder, true, &error)) {
        PrintErr(error + QLatin1Char('\n'));
        return kExitFailed;
    }

    const CImportLock lock(folder);
    if (const std::optional<QString> installed = FindInstalledCopy(file, folder)) {
        PrintOut(ShownPath(*installed) + QLatin1Char('\n'));
        return kExitOk;
    }
    // Another editor or import may draw the same name in the same second; whoever writes
    // second draws again.
    for (;;) {
        const std::optional<QString> path = MakeUniqueCompanyPath(folder);
        if (!path) {
            PrintErr(FileMessage(folder, Tr("every company file name is taken.")) + QLatin1Char('\n'));
            return kExitFailed;
        }
        bool taken = false;
        if (WriteCompanyFile(*path, record, false, &error, ExistingFile::keep, &taken)) {
            PrintOut(ShownPath(*path) + QLatin1Char('\n'));
            return kExitOk;
        }
        if (!taken) {
            PrintErr(error + QLatin1Char('\n'));
            return kExitFailed;
        }
    }
}

} // namespace

QUORVEL_TOOL_COMMAND("import", "install a company file into the object folder, as the editor imports it",
                     RunImport);

} // namespace quorvel::tool
