// The programs as a shell or a package script meets them: help and version answer
// without any display, and the editor says why it cannot start without one.

#include "tests/support/ToolRun.h"

#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>

class TestCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void answers_data();
    void answers();
};

void TestCommandLine::answers_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("display");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("outHas");
    QTest::addColumn<QString>("errHas");

    const QString editor = QStringLiteral(QUORVEL_EDITOR);
    const QString tool = QStringLiteral(QUORVEL_TOOL);
    const QString version = QStringLiteral(QUORVEL_VERSION);
    QTest::newRow("editor help, no display")
        << editor << QStringList{"--help"} << false << 0 << "  -v, --version" << QString();
    QTest::newRow("editor version, no display")
        << editor << QStringList{"--version"} << false << 0 << "Quorvel " + version + "\n" << QString();
    QTest::newRow("editor file, no display")
        << editor << QStringList{"some.company"} << false << 1 << QString() << "no display";
    // Qt's own options come only from Qt's processing; the editor must not start instead.
    QTest::newRow("editor help-all")
        << editor << QStringList{"--help-all"} << true << 0 << "-platform" << QString();
    QTest::newRow("tool version, no display")
        << tool << QStringList{"--version"} << false << 0 << "quorvel-tool " + version + "\n" << QString();
}

void TestCommandLine::answers()
{
    QFETCH(QString, program);
    QFETCH(QStringList, args);
    QFETCH(bool, display);
    QFETCH(int, exitCode);
    QFETCH(QString, outHas);
    QFETCH(QString, errHas);

    // Folders of its own, so that nothing the editor might write lands in the user's.
    QTemporaryDir config;
    QVERIFY(config.isValid());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    if (display)
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), config.path());

    const CToolRun run = RunProgram(program, args, env);
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(run.out.contains(outHas), qPrintable(run.out));
    if (errHas.isEmpty())
        QCOMPARE(run.err, QString());
    else
        QVERIFY2(run.err.contains(errHas), qPrintable(run.err));
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
