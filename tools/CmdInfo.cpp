// info [--json] FILE...: what a company file holds, read with the editor's reader.

#include "tools/ToolCommand.h"
#include "tools/ToolFiles.h"

#include "company/CompanyFile.h"
#include "company/CompanyRecord.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace quorvel::tool {
namespace {

QStringList ExpressionNames(const CCompanyRecord &record)
{
    QStringList names;
    for (int index : PresentExpressions(record.GetExpressionMask()))
        names.append(QLatin1String(ExpressionName(index)));
    return names;
}

QJsonObject ToJson(const QString &path, const CCompanyRecord &record, std::uint32_t checksum)
{
    QJsonObject object;
    object.insert(QStringLiteral("path"), path);
    object.insert(QStringLiteral("owner"), record.GetOwnerName());
    object.insert(QStringLiteral("word"), record.GetSpecificWord());
    object.insert(QStringLiteral("intelligence"), record.GetIntelligence());
    object.insert(QStringLiteral("aggressiveness"), record.GetAggressiveness());
    object.insert(QStringLiteral("competitiveness"), record.GetCompetitiveness());
    object.insert(QStringLiteral("first_words"), qint64(record.GetFirstWordMask()));
    object.insert(QStringLiteral("second_words"), qint64(record.GetSecondWordMask()));
    object.insert(QStringLiteral("expressions"), QJsonArray::fromStringList(ExpressionNames(record)));
    object.insert(QStringLiteral("stamp"), FormatDateStamp(record.GetDateStamp()));
    object.insert(QStringLiteral("checksum"), qint64(checksum));
    return object;
}

QString ToText(const QString &path, const CCompanyRecord &record, std::uint32_t checksum)
{
    const auto hex = [](std::uint32_t v, int width) {
        return QStringLiteral("0x%1").arg(v, width, 16, QLatin1Char('0'));
    };
    const QStringList expressions = ExpressionNames(record);
    // One pass: a later arg() would also fill a "%1" that came in with the owner's name.
    return QStringLiteral("%1\n"
                          "  owner:           %2\n"
                          "  word:            %3\n"
                          "  intelligence:    %4\n"
                          "  aggressiveness:  %5\n"
                          "  competitiveness: %6\n"
                          "  first words:     %7\n"
                          "  second words:    %8\n"
                          "  expressions:     %9\n"
                          "  stamp:           %10\n"
                          "  checksum:        %11\n")
        .arg(QDir::toNativeSeparators(path), record.GetOwnerName(), record.GetSpecificWord(),
             QString::number(record.GetIntelligence()),
             QString::number(record.GetAggressiveness()),
             QString::number(record.GetCompetitiveness()),
             hex(record.GetFirstWordMask(), 4), hex(record.GetSecondWordMask(), 4),
             expressions.isEmpty() ? QStringLiteral("(none)") : expressions.join(QStringLiteral(", ")),
             FormatDateStamp(record.GetDateStamp()), hex(checksum, 8));
}

int RunInfo(const QStringList &args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(Tr(
        "Shows what company files hold. Prints the files that can be read and "
                        "reports the others."));
    const QCommandLineOption json(QStringLiteral("json"),
                                  Tr("Print one JSON array, an object per file read."));
    parser.addOption(json);
    parser.addPositionalArgument(QStringLiteral("FILE"),
                                 Tr("Company files to read."),
                                 QStringLiteral("FILE..."));
    const int parsed = ParseArguments(parser, "info", QStringLiteral("[--json] FILE..."), args);
    if (parsed >= 0)
        return parsed;
    const std::optional<QStringList> given = PositionalArguments(parser, "info", {1, -1, Tr("no file given."), {}});
    if (!given)
        return kExitUsage;
    const QStringList &files = *given;

    int status = kExitOk;
    QJsonArray array;
    QString text;
    for (const QString &path : files) {
        CCompanyRecord record;
        QString error;
        std::uint32_t checksum = 0;
        if (!ReadCompanyFile(path, record, &error, &checksum)) {
            PrintErr(error + QLatin1Char('\n'));
            status = kExitFailed;
            continue;
        }
        if (parser.isSet(json)) {
            array.append(ToJson(path, record, checksum));
        } else {
            if (!text.isEmpty())
                text += QLatin1Char('\n');
            text += ToText(path, record, checksum);
        }
    }
    if (parser.isSet(json))
        PrintOut(QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented)));
    else
        PrintOut(text);
    return status;
}

} // namespace

QUORVEL_TOOL_COMMAND("info", "show what company files hold (--json for scripts)", RunInfo);

} // namespace quorvel::tool
