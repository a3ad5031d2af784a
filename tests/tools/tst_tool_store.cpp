// quorvel-tool's list and import on object folders in temporary folders, run as a user would.

#include "tests/support/CompanyFiles.h"
#include "tests/support/ToolRun.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace quorvel;
using namespace quorvel::test;

namespace {

const QString kStamp = QStringLiteral(" (2004/06/14 15:26)");

CToolRun Run(const QStringList &args)
{
    return RunTool(args, ToolEnvironment(QStringLiteral("1087226820")));
}

QString Native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

QStringList Files(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

} // namespace

class TestToolStore : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void listText();
    void listJson();
    void listMissingFolder_data();
    void listMissingFolder();
    void import_data();
    void import();
    void concurrentImports();

private:
    QTemporaryDir m_dir;
    QString m_objects;
};

void TestToolStore::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_objects = m_dir.filePath(QStringLiteral("ObjData"));
    const QDir objects(m_objects);
    QVERIFY(QDir().mkpath(m_objects));
    QVERIFY(WriteFile(objects.filePath(QStringLiteral("COMP1.DAT")), CompanyBytes(QStringLiteral("bob"))));
    QVERIFY(WriteFile(objects.filePath(QStringLiteral("COMP3.DAT")), CompanyBytes(QStringLiteral("Ann"))));
    QVERIFY(WriteFile(objects.filePath(QStringLiteral("COMP2.DAT")), CompanyBytes(QStringLiteral("Ann"))));
    QVERIFY(WriteFile(objects.filePath(QStringLiteral("Zed.company")), CompanyBytes(QStringLiteral("Zed"), 0)));
    QVERIFY(WriteFile(objects.filePath(QStringLiteral("COMP4.DAT")), CompanyBytes(QStringLiteral("\u00c9mile"))));
    QVERIFY(WriteFile(objects.filePath(QStringLiteral("TREE1.DAT")), QByteArray(2000, '\x20')));
    QVERIFY(WriteFile(objects.filePath(QStringLiteral(".COMP5.DAT")), CompanyBytes(QStringLiteral("Hidden"))));
}

void TestToolStore::listText()
{
    const CToolRun run = Run({QStringLiteral("list"), QStringLiteral("--objdata"), m_objects});
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.err.isEmpty(), qPrintable(run.err));
    // Code-point order, as scripts sort: capitals, small letters, then accented ones; a tie
    // goes by path.
    const QString folder = Native(m_objects) + QDir::separator();
    const QStringList expected = {
        "Ann" + kStamp + "\t" + folder + "COMP2.DAT",
        "Ann" + kStamp + "\t" + folder + "COMP3.DAT",
        "Zed" + kStamp + "\t" + folder + "Zed.company\tno preview",
        "bob" + kStamp + "\t" + folder + "COMP1.DAT",
        "\u00c9mile" + kStamp + "\t" + folder + "COMP4.DAT",
        "",
    };
    QCOMPARE(run.out.split(u'\n'), expected);
}

void TestToolStore::listJson()
{
    const CToolRun run = Run({QStringLiteral("list"), QStringLiteral("--json"),
                              QStringLiteral("--objdata"), m_objects});
    QCOMPARE(run.exitCode, 0);
    QJsonParseError error;
    const QJsonArray array = QJsonDocument::fromJson(run.out.toUtf8(), &error).array();
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(array.size(), 5);
    const QJsonObject zed = array.at(2).toObject();
    QCOMPARE(zed.keys(), (QStringList{"checksum", "name", "path", "preview"}));
    QCOMPARE(zed.value(QStringLiteral("name")).toString(), "Zed" + kStamp);
    QCOMPARE(zed.value(QStringLiteral("path")).toString(), Native(m_objects + QStringLiteral("/Zed.company")));
    QCOMPARE(zed.value(QStringLiteral("preview")).toBool(), false);
    const QByteArray bytes = CompanyBytes(QStringLiteral("Zed"), 0);
    QCOMPARE(zed.value(QStringLiteral("checksum")).toInteger(),
             qint64(GetU32(reinterpret_cast<const std::uint8_t *>(bytes.constData()) + 12)));
    QCOMPARE(array.at(4).toObject().value(QStringLiteral("name")).toString(), "\u00c9mile" + kStamp);
    QVERIFY(array.at(4).toObject().value(QStringLiteral("preview")).toBool());
}

void TestToolStore::listMissingFolder_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("out");
    QTest::newRow("text") << QStringList{"list"} << "";
    QTest::newRow("json") << QStringList{"list", "--json"} << "[\n]\n";
}

void TestToolStore::listMissingFolder()
{
    QFETCH(QStringList, args);
    QFETCH(QString, out);
    const CToolRun run = Run(args << QStringLiteral("--objdata") << m_dir.filePath(QStringLiteral("none")));
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, out);
    QVERIFY(!QFileInfo::exists(m_dir.filePath(QStringLiteral("none"))));
}

void TestToolStore::import_data()
{
    QTest::addColumn<QString>("file");      // "new", "installed", "malformed"
    QTest::addColumn<bool>("folder");       // the object folder exists
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("errHas");
    QTest::addColumn<int>("written");

    QTest::newRow("new company") << "new" << true << 0 << "" << 1;
    QTest::newRow("installed already") << "installed" << true << 0 << "" << 0;
    QTest::newRow("refused by the reader") << "malformed" << true << 1 << "Unexpected file format." << 0;
    QTest::newRow("no object folder") << "new" << false << 1 << "was not found." << 0;
    QTest::newRow("usage") << "" << true << 2 << "no file given" << 0;
}

void TestToolStore::import()
{
    QFETCH(QString, file);
    QFETCH(bool, folder);
    QFETCH(int, exitCode);
    QFETCH(QString, errHas);
    QFETCH(int, written);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString objects = dir.filePath(QStringLiteral("ObjData"));
    const QString installed = objects + QStringLiteral("/COMP1.DAT");
    const QByteArray bytes = CompanyBytes(QStringLiteral("Brenda Vale"), 0x3);
    if (folder) {
        QVERIFY(QDir().mkpath(objects));
        QVERIFY(WriteFile(installed, file == u"installed" ? bytes : CompanyBytes(QStringLiteral("Other"))));
    }
    const QString exported = dir.filePath(QStringLiteral("Brenda Vale 2004-06-14.company"));
    QVERIFY(WriteFile(exported, file == u"malformed" ? bytes.left(300) : bytes));

    QStringList args{QStringLiteral("import"), QStringLiteral("--objdata"), objects};
    if (!file.isEmpty())
        args << exported;
    const CToolRun run = Run(args);
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(run.err.contains(errHas), qPrintable(run.err));
    QCOMPARE(QFileInfo::exists(objects), folder);
    if (!folder)
        return;
    const QStringList files = Files(objects);
    QCOMPARE(files.size(), 1 + written);
    if (exitCode != 0) {
        QVERIFY(run.out.isEmpty());
        return;
    }
    const QString path = run.out.trimmed();
    if (written == 0) {
        QCOMPARE(path, Native(installed));
        return;
    }
    // Installed as written by an unchanged company: the same bytes, its own stamp.
    QVERIFY(QFileInfo(path).fileName().contains(QRegularExpression(QStringLiteral("^COMP[0-9a-f]{1,4}\\.DAT$"))));
    QCOMPARE(QFileInfo(path).absolutePath(), objects);
    QCOMPARE(ReadFile(path), bytes);
    // A second import finds it.
    QCOMPARE(Run(args).out.trimmed(), path);
    QCOMPARE(Files(objects).size(), 2);
}

void TestToolStore::concurrentImports()
{
    // Started together in the same second, every run draws the same first name.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString objects = dir.filePath(QStringLiteral("ObjData"));
    QVERIFY(QDir().mkpath(objects));
    constexpr int kRuns = 6;
    std::vector<std::unique_ptr<QProcess>> runs;
    QList<QByteArray> companies;
    for (int i = 0; i < kRuns; ++i) {
        companies << CompanyBytes(QStringLiteral("Company %1").arg(i));
        const QString file = dir.filePath(QStringLiteral("%1.company").arg(i));
        QVERIFY(WriteFile(file, companies.last()));
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(ToolEnvironment(QStringLiteral("1087226820")));
        process->setProgram(QStringLiteral(QUORVEL_TOOL));
        process->setArguments({QStringLiteral("import"), file, QStringLiteral("--objdata"), objects});
        runs.push_back(std::move(process));
    }
    for (auto &process : runs)
        process->start();
    QStringList printed;
    for (auto &process : runs) {
        QVERIFY(process->waitForFinished(60000));
        QCOMPARE(process->exitCode(), 0);
        printed << QString::fromUtf8(process->readAllStandardOutput()).trimmed();
    }

    // Every company is installed, each in a file of its own.
    QCOMPARE(Files(objects).size(), kRuns);
    for (int i = 0; i < kRuns; ++i)
        QCOMPARE(ReadFile(printed.at(i)), companies.at(i));
}

QTEST_GUILESS_MAIN(TestToolStore)
#include "tst_tool_store.moc"
