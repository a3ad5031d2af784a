// `quorvel-tool paths` run as a user runs it, against a Wine prefix in a temporary folder.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

bool WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

class TestToolPaths : public QObject
{
    Q_OBJECT

private slots:
    void run_data();
    void run();
};

void TestToolPaths::run_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("registryPath"); // the value's text in the registry file
    QTest::addColumn<int>("exitCode");
    // $P is the Wine prefix, $H the home folder.
    QTest::addColumn<QString>("output");

    QTest::newRow("game found, UTF-8 out")
        << QStringList{} << QByteArray(R"(C:\\Spiele\\H\xe4lvortine)") << 0
        << QStringLiteral("objects: $P/dosdevices/c:/Spiele/H\u00e4lvortine/ObjData/\n"
                          "documents: $H/Papers\n");
    QTest::newRow("game not found")
        << QStringList{} << QByteArray() << 0
        << QStringLiteral("objects: ./\ndocuments: $H/Papers\n");
    QTest::newRow("stray argument") << QStringList{QStringLiteral("x")} << QByteArray() << 2 << QString();
    QTest::newRow("unknown option") << QStringList{QStringLiteral("--all")} << QByteArray() << 2 << QString();
}

void TestToolPaths::run()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, registryPath);
    QFETCH(int, exitCode);
    QFETCH(QString, output);

    QTemporaryDir prefix;
    QTemporaryDir home;
    QDir(prefix.path()).mkpath(QStringLiteral("drive_c"));
    QDir(prefix.path()).mkpath(QStringLiteral("dosdevices"));
    QVERIFY(QFile::link(QStringLiteral("../drive_c"), prefix.filePath(QStringLiteral("dosdevices/c:"))));
    if (!registryPath.isEmpty()) {
        QVERIFY(WriteFile(prefix.filePath(QStringLiteral("system.reg")),
                          "WINE REGISTRY Version 2\n\n[Software\\\\Kavro\\\\Halvortine Setup] 1\n"
                          "\"Path\"=\"" + registryPath + "\"\n"));
    }
    QDir(home.path()).mkpath(QStringLiteral(".config"));
    QVERIFY(WriteFile(home.filePath(QStringLiteral(".config/user-dirs.dirs")),
                      "XDG_DOCUMENTS_DIR=\"$HOME/Papers\"\n"));

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("WINEPREFIX"), prefix.path());
    env.insert(QStringLiteral("HOME"), home.path());
    env.remove(QStringLiteral("XDG_CONFIG_HOME"));
    QProcess tool;
    tool.setProcessEnvironment(env);
    tool.setWorkingDirectory(home.path());
    tool.start(QStringLiteral(QUORVEL_TOOL), QStringList{QStringLiteral("paths")} + args);
    QVERIFY(tool.waitForFinished(30000));
    QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
    QCOMPARE(tool.exitCode(), exitCode);
    const QString out = QString::fromUtf8(tool.readAllStandardOutput());
    if (exitCode == 0) {
        output.replace(QStringLiteral("$P"), prefix.path()).replace(QStringLiteral("$H"), home.path());
        QCOMPARE(out, output);
    } else {
        QVERIFY(out.isEmpty());
        QVERIFY(tool.readAllStandardError().contains("quorvel-tool paths"));
    }
}

QTEST_GUILESS_MAIN(TestToolPaths)
#include "tst_tool_paths.moc"
