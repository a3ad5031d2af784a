// quorvel-tool's list and import on object folders in temporary folders, run as a user would.

#include "tests/support/CompanyFiles.h"
#include "tests/support/ToolRun.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace quorvel;
using namespace quorvel::test;

namespace {

const QString kStamp = QStringLiteral(" (2004/06/14 15:26)");
const QString kEpoch = QStringLiteral("1087226820");

CToolRun Run(const QStringList &args)
{
    return RunTool(args, ToolEnvironment(kEpoch));
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
    void list_data();
    void list();
    void import_data();
    void import();
    void concurrentImports();
    void identicalImportsAtOnce();
    void folderRefused_data();
    void folderRefused();
};

void TestToolStore::list_data()
{
    QTest::addColumn<bool>("json");
    QTest::addColumn<bool>("folder"); // false: an empty folder
    QTest::newRow("text") << false << true;
    QTest::newRow("json") << true << true;
    QTest::newRow("empty folder, json") << true << false;
}

void TestToolStore::list()
{
    QFETCH(bool, json);
    QFETCH(bool, folder);

    QTemporaryDir dir;
    const QString objects = dir.filePath(QStringLiteral("ObjData"));
    const QString shown = QDir::toNativeSeparators(objects) + QDir::separator();
    // Code-point order, as scripts sort: capitals, small letters, accented ones; then by path.
    const QList<std::pair<QString, QString>> sorted = {
        {"Ann", "COMP2.DAT"}, {"Ann", "COMP3.DAT"}, {"Zed", "Zed.company"},
        {"bob", "COMP1.DAT"}, {"\u00c9mile", "COMP4.DAT"}};
    QVERIFY(QDir().mkpath(objects));
    if (folder) {
        for (const auto &[owner, name] : sorted)
            QVERIFY(WriteFile(objects + u'/' + name, CompanyBytes(owner, owner == u"Zed" ? 0 : 1)));
        QVERIFY(WriteFile(objects + QStringLiteral("/TREE1.DAT"), QByteArray(2000, '\x20')));
        QVERIFY(WriteFile(objects + QStringLiteral("/.COMP5.DAT"), CompanyBytes(QStringLiteral("Hidden"))));
        QVERIFY(QDir(objects).mkdir(QStringLiteral("COMP6.DAT")));
#ifdef Q_OS_UNIX
        // A pipe would block a reader for good.
        QCOMPARE(::mkfifo(QFile::encodeName(objects + QStringLiteral("/COMP7.DAT")).constData(), 0600), 0);
#endif
    }

    const CToolRun run = Run(QStringList{"list", "--objdata", objects} + (json ? QStringList{"--json"} : QStringList()));
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.err.isEmpty(), qPrintable(run.err));
    const int count = folder ? int(sorted.size()) : 0;
    if (!json) {
        QStringList expected;
        for (int i = 0; i < count; ++i) {
            const auto &[owner, name] = sorted[i];
            expected << owner + kStamp + u'\t' + shown + name + (owner == u"Zed" ? "\tno preview" : "");
        }
        QCOMPARE(run.out, expected.isEmpty() ? QString() : expected.join(u'\n') + u'\n');
        return;
    }
    const QJsonArray array = QJsonDocument::fromJson(run.out.toUtf8()).array();
    QCOMPARE(array.size(), count);
    for (int i = 0; i < count; ++i) {
        const QJsonObject object = array[i].toObject();
        const auto &[owner, name] = sorted[i];
        const QByteArray bytes = CompanyBytes(owner, owner == u"Zed" ? 0 : 1);
        QCOMPARE(object.keys(), (QStringList{"checksum", "name", "path", "preview"}));
        QCOMPARE(object[u"name"].toString(), owner + kStamp);
        QCOMPARE(object[u"path"].toString(), shown + name);
        QCOMPARE(object[u"preview"].toBool(), owner != u"Zed");
        QCOMPARE(object[u"checksum"].toInteger(), qint64(GetU32(reinterpret_cast<const std::uint8_t *>(bytes.data()) + 12)));
    }
}

void TestToolStore::import_data()
{
    QTest::addColumn<QString>("file"); // "new", "installed", "malformed", "" (none given)
    QTest::addColumn<bool>("folder");  // the object folder exists
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("errHas");

    QTest::newRow("new company, twice") << "new" << true << 0 << "";
    QTest::newRow("installed already") << "installed" << true << 0 << "";
    QTest::newRow("refused by the reader") << "malformed" << true << 1 << "Unexpected file format.";
    QTest::newRow("no object folder") << "new" << false << 1 << "ObjData was not found.";
    QTest::newRow("no file") << "" << true << 2 << "no file given";
}

void TestToolStore::import()
{
    QFETCH(QString, file);
    QFETCH(bool, folder);
    QFETCH(int, exitCode);
    QFETCH(QString, errHas);

    QTemporaryDir dir;
    const QString objects = dir.filePath(QStringLiteral("ObjData"));
    const QString installed = objects + QStringLiteral("/COMP1.DAT");
    const QByteArray bytes = CompanyBytes(QStringLiteral("Brenda Vale"), 0x3);
    if (folder) {
        QVERIFY(QDir().mkpath(objects));
        QVERIFY(WriteFile(installed, file == u"installed" ? bytes : CompanyBytes(QStringLiteral("Other"))));
    }
    const QString exported = dir.filePath(QStringLiteral("Brenda Vale 2004-06-14.company"));
    QVERIFY(WriteFile(exported, file == u"malformed" ? bytes.left(300) : bytes));

    const QStringList args = QStringList{"import", "--objdata", objects} + (file.isEmpty() ? QStringList() : QStringList{exported});
    const CToolRun run = Run(args);
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(run.err.contains(errHas), qPrintable(run.err));
    QCOMPARE(QFileInfo::exists(objects), folder);
    const QString path = run.out.trimmed();
    if (file == u"installed")
        QCOMPARE(path, QDir::toNativeSeparators(installed));
    if (file != u"new" || !folder) {
        QCOMPARE(Files(objects).size(), folder ? 1 : 0);
        return;
    }
    // Installed as an unchanged company is written: the same bytes, under a fresh name.
    QVERIFY(QFileInfo(path).fileName().contains(QRegularExpression(QStringLiteral("^COMP[0-9a-f]{1,4}\\.DAT$"))));
    QCOMPARE(QFileInfo(path).absolutePath(), objects);
    QCOMPARE(ReadFile(path), bytes);
    // A second import finds it and writes nothing.
    QCOMPARE(Run(args).out.trimmed(), path);
    QCOMPARE(Files(objects).size(), 2);
}

void TestToolStore::concurrentImports()
{
    // Started together in the same second, every run draws the same first name.
    QTemporaryDir dir;
    const QString objects = dir.filePath(QStringLiteral("ObjData"));
    QVERIFY(QDir().mkpath(objects));
    std::vector<std::unique_ptr<QProcess>> runs;
    QList<QByteArray> companies;
    for (int i = 0; i < 6; ++i) {
        companies << CompanyBytes(QStringLiteral("Company %1").arg(i));
        const QString file = dir.filePath(QStringLiteral("%1.company").arg(i));
        QVERIFY(WriteFile(file, companies.last()));
        runs.push_back(std::make_unique<QProcess>());
        runs.back()->setProcessEnvironment(ToolEnvironment(kEpoch));
        runs.back()->setProgram(QStringLiteral(QUORVEL_TOOL));
        runs.back()->setArguments({QStringLiteral("import"), file, QStringLiteral("--objdata"), objects});
    }
    for (auto &process : runs)
        process->start();
    // Every company is installed, each in a file of its own.
    for (int i = 0; i < 6; ++i) {
        QVERIFY(runs[i]->waitForFinished(60000));
        QCOMPARE(runs[i]->exitCode(), 0);
        QCOMPARE(ReadFile(QString::fromUtf8(runs[i]->readAllStandardOutput()).trimmed()), companies[i]);
    }
    QCOMPARE(Files(objects).size(), 6);
}

void TestToolStore::identicalImportsAtOnce()
{
    // Each run finds no copy installed and installs one, unless they take turns.
    QTemporaryDir dir;
    const QString objects = dir.filePath(QStringLiteral("ObjData"));
    QVERIFY(QDir().mkpath(objects));
    const QString file = dir.filePath(QStringLiteral("brenda.company"));
    QVERIFY(WriteFile(file, CompanyBytes(QStringLiteral("Brenda Vale"))));
    std::vector<std::unique_ptr<QProcess>> runs;
    for (int i = 0; i < 6; ++i) {
        runs.push_back(std::make_unique<QProcess>());
        runs.back()->setProcessEnvironment(ToolEnvironment(kEpoch));
        runs.back()->start(QStringLiteral(QUORVEL_TOOL),
                           {QStringLiteral("import"), file, QStringLiteral("--objdata"), objects});
    }
    QSet<QString> installed;
    for (auto &process : runs) {
        QVERIFY(process->waitForFinished(60000));
        QCOMPARE(process->exitCode(), 0);
        installed.insert(QString::fromUtf8(process->readAllStandardOutput()).trimmed());
    }
    QCOMPARE(installed.size(), 1);
    QCOMPARE(Files(objects).size(), 1);
}

void TestToolStore::folderRefused_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("folder"); // "missing", "file" or "unlistable"
    QTest::addColumn<QString>("words");  // after "DIR: "; %1 = DIR
    for (const char *command : {"list", "import"}) {
        QTest::addRow("%s, missing", command) << command << "missing" << "%1 was not found.";
        QTest::addRow("%s, a file", command) << command << "file" << "is not a folder.";
        QTest::addRow("%s, not listable", command) << command << "unlistable" << "Access to %1 was denied.";
    }
}

void TestToolStore::folderRefused()
{
    QFETCH(QString, command);
    QFETCH(QString, folder);
    QFETCH(QString, words);

    // Read by another user than root, whom no mode stops.
    QStringList program{QStringLiteral(QUORVEL_TOOL)};
#ifdef Q_OS_UNIX
    if (::geteuid() == 0)
        program = QStringList{"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"} + program;
#endif
    QTemporaryDir dir;
    QVERIFY(QFile::setPermissions(dir.path(), QFile::permissions(dir.path()) | QFileDevice::ExeOther
                                                  | QFileDevice::ReadOther));
    const QString objects = dir.filePath(QStringLiteral("ObjData"));
    const QString file = dir.filePath(QStringLiteral("brenda.company"));
    QVERIFY(WriteFile(file, CompanyBytes(QStringLiteral("Brenda Vale"))));
    if (folder == u"file")
        QVERIFY(WriteFile(objects, "not a folder"));
    if (folder == u"unlistable") {
        // Names can be made in it and looked up, but not listed: an installed copy would hide.
        QVERIFY(QDir().mkdir(objects));
        QVERIFY(QFile::setPermissions(objects, QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                                   | QFileDevice::WriteOther | QFileDevice::ExeOther));
    }
    const QStringList args = command == u"list" ? QStringList{"list", "--objdata", objects}
                                                : QStringList{"import", file, "--objdata", objects};
    const CToolRun run = RunProgram(program.first(), program.mid(1) + args, ToolEnvironment(kEpoch));
    if (run.exitCode == -1 || run.err.startsWith(u"setpriv"))
        QSKIP("cannot run the tool as another user");

    QCOMPARE(run.exitCode, 1);
    const QString shown = QDir::toNativeSeparators(objects);
    QCOMPARE(run.err, shown + QStringLiteral(": ") + words.arg(shown) + u'\n');
    QVERIFY(run.out.isEmpty());
    if (folder == u"unlistable") {
        QFile::setPermissions(objects, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QCOMPARE(Files(objects), QStringList());
    }
}

QTEST_GUILESS_MAIN(TestToolStore)
#include "tst_tool_store.moc"
