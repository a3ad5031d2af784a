// export FILE [-o OUT]: writes a company as the editor's Export does for an unchanged company.

#include "tools/ToolCommand.h"
#include "tools/ToolFiles.h"

#include "company/CompanyFile.h"
#include "company/CompanyRecord.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>

namespace quorvel::tool {
namespace {

int RunExport(const QStringList &args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(Tr(
        "Writes the company to a .company file, keeping its date stamp, and prints its path. "
        "Without -o the file is named after the owner and the stamp's date, in the current "
        "folder; OUT must be another file than FILE."));
    const QCommandLineOption output(QStringList{QStringLiteral("o"), QStringLiteral("output")},
                                    Tr("Write to OUT."), QStringLiteral("OUT"));
    parser.addOption(output);
    parser.addPositionalArgument(QStringLiteral("FILE"), Tr("The company file to export."));
    const int parsed = ParseArguments(parser, "export", QStringLiteral("FILE [-o OUT]"), args);
    if (parsed >= 0)
        return parsed;
    const std::optional<QStringList> given = PositionalArguments(
        parser, "export", {1, 1, Tr("no file given."), Tr("only one file can be exported at a time.")});
    if (!given)
        return kExitUsage;
    const QStringList &files = *given;

    CCompanyRecord record;
    QString error;
    if (!ReadCompanyFile(files.first(), record, &error)) {
        PrintErr(error + QLatin1Char('\n'));
        return kExitFailed;
    }
    if (!(record.GetExpressionMask() & kDefaultExpressionBit)) {
        PrintErr(FileMessage(files.first(), Tr("You must provide an image for the default face "
                                               "expression before you can save or export!"))
                 + QLatin1Char('\n'));
        return kExitFailed;
    }

    const QString path = parser.isSet(output)
                             ? parser.value(output)
                             : QDir::current().filePath(ExportFileName(record, false));
    const int refused = RefuseOutputOverInput(path, files);
    if (refused >= 0)
        return refused;
    if (!WriteCompanyFile(path, record, false, &error)) {
        PrintErr(error + QLatin1Char('\n'));
        return kExitFailed;
    }
    PrintOut(ShownPath(path) + QLatin1Char('\n'));
    return kExitOk;
}

} // namespace

QUORVEL_TOOL_COMMAND("export", "write a company as a .company file, as the editor exports it",
                     RunExport);

} // namespace quorvel::tool
