// quorvel-tool's info and export, run as a separate process on hand-made files.

#include "company/CompanyFile.h"
#include "company/CompanyRecord.h"
#include "platform/Archive.h"
#include "tests/support/CompanyFiles.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/ToolRun.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace quorvel;
using quorvel::test::WriteFile;

namespace {

CToolRun RunTool(const QStringList &args, const QString &workingDir = QString(),
                 const QByteArray &sourceDateEpoch = QByteArray())
{
    return ::RunTool(args, ToolEnvironment(QString::fromLatin1(sourceDateEpoch)), workingDir);
}

QByteArray CompanyBytes(const QString &owner, const QString &word, std::uint32_t mask)
{
    CCompanyRecord record;
    record.SetNewCompanyDefaults();
    CDateStamp stamp;
    PackDateStamp(stamp, QDateTime(QDate(2004, 6, 14), QTime(15, 27), Qt::UTC));
    record.SetDateStamp(stamp);
    record.SetOwnerName(owner);
    record.SetSpecificWord(word);
    record.SetIntelligence(2);
    record.SetAggressiveness(7);
    record.SetCompetitiveness(10);
    record.SetFirstWordAllowed(0x4, false);
    for (int i = 0; i < kExpressionCount; ++i) {
        if (mask & (1u << i)) {
            CSmallFace small;
            CLargeFace large;
            small.fill(std::uint8_t(i));
            large.fill(std::uint8_t(i + 9));
            record.SetFaces(1u << i, small.data(), large.data());
        }
    }
    return test::RecordBytes(record);
}

QByteArray ReadFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}


} // namespace

class TestToolCompany : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void usage_data();
    void usage();
    void infoJson();
    void infoReportsBadFiles();
    void infoText_data();
    void infoText();
    void exportByName();
    void exportTo_data();
    void exportTo();

private:
    QTemporaryDir m_dir;
    QString m_smith;     // default and happy, owner with a full stop, ampersand and euro sign
    QString m_noFaces;   // no expressions at all
    QString m_malformed;
};

void TestToolCompany::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_smith = m_dir.filePath(QStringLiteral("smith.company"));
    m_noFaces = m_dir.filePath(QStringLiteral("nofaces.company"));
    m_malformed = m_dir.filePath(QStringLiteral("malformed.company"));
    QVERIFY(WriteFile(m_smith, CompanyBytes(QStringLiteral("J. Smith & Sons \u20ac"), QStringLiteral("Smith"), 0x3)));
    QVERIFY(WriteFile(m_noFaces, CompanyBytes(QStringLiteral("Nobody"), QStringLiteral("No"), 0)));
    QByteArray bad = CompanyBytes(QStringLiteral("Bad"), QStringLiteral("B"), 0x1);
    bad[30] = char(bad[30] ^ 0x40); // inside the company data block: checksum fails
    QVERIFY(WriteFile(m_malformed, bad));
}

void TestToolCompany::usage_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("outHas");
    QTest::addColumn<QString>("errHas");

    QTest::newRow("nothing") << QStringList() << 2 << QString() << QStringLiteral("Usage: quorvel-tool");
    QTest::newRow("top help") << QStringList{QStringLiteral("--help")} << 0 << QStringLiteral("export") << QString();
    QTest::newRow("unknown command") << QStringList{QStringLiteral("frobnicate")} << 2 << QString()
                                     << QStringLiteral("unknown command");
    QTest::newRow("info help") << QStringList{QStringLiteral("info"), QStringLiteral("--help")} << 0
                               << QStringLiteral("Usage: quorvel-tool info [--json] FILE...") << QString();
    QTest::newRow("export help") << QStringList{QStringLiteral("export"), QStringLiteral("-h")} << 0
                                 << QStringLiteral("Usage: quorvel-tool export FILE [-o OUT]") << QString();
    QTest::newRow("info without file") << QStringList{QStringLiteral("info"), QStringLiteral("--json")} << 2
                                       << QString() << QStringLiteral("no file given");
    QTest::newRow("unknown option") << QStringList{QStringLiteral("--all")} << 2 << QString()
                                    << QStringLiteral("quorvel-tool: unknown option '--all'.");
    QTest::newRow("info unknown option") << QStringList{QStringLiteral("info"), QStringLiteral("--xml"), QStringLiteral("a")}
                                         << 2 << QString() << QStringLiteral("quorvel-tool info: unknown option '--xml'.");
    QTest::newRow("export without file") << QStringList{QStringLiteral("export")} << 2 << QString()
                                         << QStringLiteral("no file given");
    QTest::newRow("export two files") << QStringList{QStringLiteral("export"), QStringLiteral("a"), QStringLiteral("b")}
                                      << 2 << QString() << QStringLiteral("one file");
    QTest::newRow("export -o without value") << QStringList{QStringLiteral("export"), QStringLiteral("a"), QStringLiteral("-o")}
                                             << 2 << QString() << QStringLiteral("--help");
}

void TestToolCompany::usage()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, outHas);
    QFETCH(QString, errHas);

    const CToolRun run = RunTool(args);
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(run.out.contains(outHas), qPrintable(run.out));
    QVERIFY2(run.err.contains(errHas), qPrintable(run.err));
}

void TestToolCompany::infoJson()
{
    const CToolRun run = RunTool({QStringLiteral("info"), QStringLiteral("--json"), m_smith, m_noFaces});
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.err.isEmpty(), qPrintable(run.err));
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(run.out.toUtf8(), &error);
    QCOMPARE(error.error, QJsonParseError::NoError);
    const QJsonArray array = doc.array();
    QCOMPARE(array.size(), 2);

    const QJsonObject smith = array.at(0).toObject();
    QCOMPARE(smith.value(QStringLiteral("path")).toString(), m_smith);
    QCOMPARE(smith.value(QStringLiteral("owner")).toString(), QStringLiteral("J. Smith & Sons \u20ac"));
    QCOMPARE(smith.value(QStringLiteral("word")).toString(), QStringLiteral("Smith"));
    QCOMPARE(smith.value(QStringLiteral("intelligence")).toInt(), 2);
    QCOMPARE(smith.value(QStringLiteral("aggressiveness")).toInt(), 7);
    QCOMPARE(smith.value(QStringLiteral("competitiveness")).toInt(), 10);
    QCOMPARE(smith.value(QStringLiteral("first_words")).toInteger(), 0x1FFB);
    QCOMPARE(smith.value(QStringLiteral("second_words")).toInteger(), 0x1FFF);
    QCOMPARE(smith.value(QStringLiteral("expressions")).toArray(),
             QJsonArray({QStringLiteral("default"), QStringLiteral("happy")}));
    QCOMPARE(smith.value(QStringLiteral("stamp")).toString(), QStringLiteral("2004/06/14 15:26"));
    const QByteArray bytes = ReadFile(m_smith);
    const qint64 checksum = std::uint8_t(bytes[12]) | (std::uint8_t(bytes[13]) << 8)
                            | (std::uint8_t(bytes[14]) << 16) | (qint64(std::uint8_t(bytes[15])) << 24);
    QCOMPARE(smith.value(QStringLiteral("checksum")).toInteger(), checksum);

    const QJsonObject none = array.at(1).toObject();
    QCOMPARE(none.value(QStringLiteral("owner")).toString(), QStringLiteral("Nobody"));
    QCOMPARE(none.value(QStringLiteral("expressions")).toArray(), QJsonArray());
}

void TestToolCompany::infoReportsBadFiles()
{
    const QString missing = m_dir.filePath(QStringLiteral("missing.company"));
    const CToolRun run = RunTool({QStringLiteral("info"), QStringLiteral("--json"), m_malformed, m_smith,
                              missing, m_dir.path()});
    QCOMPARE(run.exitCode, 1);
    // The good file is still listed.
    const QJsonArray array = QJsonDocument::fromJson(run.out.toUtf8()).array();
    QCOMPARE(array.size(), 1);
    QCOMPARE(array.at(0).toObject().value(QStringLiteral("path")).toString(), m_smith);
    // One line each, in one form: the path, a colon, what went wrong.
    const auto shown = [](const QString &path) { return QDir::toNativeSeparators(path) + QStringLiteral(": "); };
    QCOMPARE(run.err.split(QLatin1Char('\n')),
             (QStringList{shown(m_malformed) + QStringLiteral("Unexpected file format."),
                          shown(missing) + QDir::toNativeSeparators(missing) + QStringLiteral(" was not found."),
                          shown(m_dir.path()) + QStringLiteral("is a folder, not a file."), QString()}));
}

void TestToolCompany::infoText_data()
{
    QTest::addColumn<QString>("owner");
    QTest::addColumn<QString>("word");

    QTest::newRow("plain") << QStringLiteral("J. Smith & Sons \u20ac") << QStringLiteral("Smith");
    // Texts that look like the output's own placeholders are shown as they are.
    QTest::newRow("placeholders") << QStringLiteral("Rate %1 %4") << QStringLiteral("%2%");
}

void TestToolCompany::infoText()
{
    QFETCH(QString, owner);
    QFETCH(QString, word);

    const QString path = m_dir.filePath(QStringLiteral("text.company"));
    QVERIFY(WriteFile(path, CompanyBytes(owner, word, 0x3)));
    const CToolRun run = RunTool({QStringLiteral("info"), path});
    QCOMPARE(run.exitCode, 0);
    const QStringList lines = run.out.split(QLatin1Char('\n'));
    QVERIFY2(lines.contains(QStringLiteral("  owner:           ") + owner), qPrintable(run.out));
    QVERIFY(lines.contains(QStringLiteral("  word:            ") + word));
    QVERIFY(lines.contains(QStringLiteral("  intelligence:    2")));
    QVERIFY(lines.contains(QStringLiteral("  aggressiveness:  7")));
    QVERIFY(lines.contains(QStringLiteral("  competitiveness: 10")));
    QVERIFY(lines.contains(QStringLiteral("  first words:     0x1ffb")));
    QVERIFY(lines.contains(QStringLiteral("  expressions:     default, happy")));
    QVERIFY(lines.contains(QStringLiteral("  stamp:           2004/06/14 15:26")));
}

void TestToolCompany::exportByName()
{
    QTemporaryDir out;
    QVERIFY(out.isValid());
    // The company is unchanged, so its own stamp names the file whatever the clock says.
    const CToolRun run = RunTool({QStringLiteral("export"), m_smith}, out.path(), "1300000000");
    QCOMPARE(run.exitCode, 0);
    const QString expected = out.filePath(QStringLiteral("J  Smith   Sons \u20ac 2004-06-14.company"));
    QCOMPARE(run.out.trimmed(), QDir::toNativeSeparators(expected));
    QCOMPARE(ReadFile(expected), ReadFile(m_smith));
    QCOMPARE(QDir(out.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

void TestToolCompany::exportTo_data()
{
    QTest::addColumn<QString>("input");     // a member name or a file name in the test folder
    QTest::addColumn<QString>("output");    // relative to a fresh folder
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("errHas");
    QTest::addColumn<int>("sizeLimit");    // bytes the tool may write to a file; 0: no limit

    QTest::newRow("good") << QStringLiteral("smith") << QStringLiteral("copy.company") << 0 << QString() << 0;
    QTest::newRow("no default face") << QStringLiteral("nofaces") << QStringLiteral("copy.company") << 1
                                     << QStringLiteral("You must provide an image for the default face expression before you can save or export!") << 0;
    QTest::newRow("malformed") << QStringLiteral("malformed") << QStringLiteral("copy.company") << 1
                               << QStringLiteral("Unexpected file format.") << 0;
    QTest::newRow("missing input") << QStringLiteral("missing") << QStringLiteral("copy.company") << 1
                                   << QStringLiteral("was not found.") << 0;
    // The folder to make is named, not the file.
    QTest::newRow("folder missing") << QStringLiteral("smith") << QStringLiteral("no/such/copy.company") << 1
                                    << QDir::toNativeSeparators(QStringLiteral("/no/such was not found.")) << 0;
#ifdef Q_OS_UNIX
    // The file is cut short on its way to the disk: nothing may be left that looks written,
    // and the message is the editor's own.
    QTest::newRow("file too large") << QStringLiteral("smith") << QStringLiteral("copy.company") << 1
                                    << QStringLiteral("Disk full while accessing") << 1000;
#endif
}

void TestToolCompany::exportTo()
{
    QFETCH(QString, input);
    QFETCH(QString, output);
    QFETCH(int, exitCode);
    QFETCH(QString, errHas);
    QFETCH(int, sizeLimit);

    const QString inputPath = input == QLatin1String("smith") ? m_smith
                              : input == QLatin1String("nofaces") ? m_noFaces
                              : input == QLatin1String("malformed") ? m_malformed
                                                                    : m_dir.filePath(QStringLiteral("missing.company"));
    QTemporaryDir out;
    QVERIFY(out.isValid());
    const QString outputPath = out.filePath(output);
    const QStringList args{QStringLiteral("export"), inputPath, QStringLiteral("-o"), outputPath};
    CToolRun run;
    if (sizeLimit > 0) {
#ifdef Q_OS_UNIX
        CFileSizeLimit limit{rlim_t(sizeLimit)};
        run = RunTool(args);
#endif
    } else {
        run = RunTool(args);
    }
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(run.err.contains(errHas), qPrintable(run.err));
    if (exitCode == 0) {
        QCOMPARE(run.out.trimmed(), QDir::toNativeSeparators(outputPath));
        QCOMPARE(ReadFile(outputPath), ReadFile(inputPath));
    } else {
        // Nothing half-written is left behind.
        QVERIFY(run.out.isEmpty());
        QCOMPARE(QDir(out.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).size(), 0);
    }
}

QTEST_GUILESS_MAIN(TestToolCompany)
#include "tst_tool_company.moc"
