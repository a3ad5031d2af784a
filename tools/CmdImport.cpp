// import FILE [--objdata DIR]: installs a company as the editor's Import does after its file
// dialog, unless an identical company is installed already.

#include "tools/ToolCommand.h"
#include "tools/ToolFiles.h"

#include "company/CompanyRecord.h"
#include "game/ObjectFolder.h"
#include "platform/FileCommit.h"
#include "store/CompanyImport.h"

#include <QCommandLineParser>
#include <QCoreApplication>

namespace quorvel::tool {
namespace {

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
    const std::optional<QStringList> files = PositionalArguments(
        parser, "import", {1, 1, Tr("no file given."), Tr("only one file can be imported at a time.")});
    if (!files)
        return kExitUsage;
    const QString &file = files->first();

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
    const CInstallResult result = InstallUnderFreshName(folder, [&](const QString &path) {
        bool taken = false;
        if (WriteCompanyFile(path, record, false, &error, ExistingFile::keep, &taken))
            return EFreshWrite::Written;
        return taken ? EFreshWrite::NameTaken : EFreshWrite::Failed;
    });
    switch (result.outcome) {
    case EInstallOutcome::Installed:
        PrintOut(ShownPath(result.path) + QLatin1Char('\n'));
        return kExitOk;
    case EInstallOutcome::NoFreeName:
        PrintErr(FileMessage(folder, Tr("every company file name is taken.")) + QLatin1Char('\n'));
        return kExitFailed;
    case EInstallOutcome::Failed:
        break;
    }
    PrintErr(error + QLatin1Char('\n'));
    return kExitFailed;
}

} // namespace

QUORVEL_TOOL_COMMAND("import", "install a company file into the object folder, as the editor imports it",
                     RunImport);

} // namespace quorvel::tool
