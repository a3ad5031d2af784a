// `quorvel-tool paths` run as a user runs it, in fake homes with Wine prefixes and Steam
// libraries made here.

#include "tests/support/FakeHome.h"
#include "tests/support/ToolRun.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace quorvel::test;

class TestToolPaths : public QObject
{
    Q_OBJECT

private slots:
    void run_data();
    void run();
    void json_data();
    void json();
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
                          "documents: $H/Papers\n"
                          "reason: $WINEPREFIX holds the game.\n"
                          "candidate: $P ($WINEPREFIX), used: game in C:\\Spiele\\H\u00e4lvortine, "
                          "object folder missing\n");
    QTest::newRow("game not found")
        << QStringList{} << QByteArray() << 0
        << QStringLiteral("objects: ./\ndocuments: $H/Papers\n"
                          "reason: No game found: the current directory.\n"
                          "candidate: $P ($WINEPREFIX): no system.reg\n");
    QTest::newRow("stray argument") << QStringList{QStringLiteral("x")} << QByteArray() << 2 << QString();
    QTest::newRow("unknown option") << QStringList{QStringLiteral("--all")} << QByteArray() << 2 << QString();
}

void TestToolPaths::run()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, registryPath);
    QFETCH(int, exitCode);
    QFETCH(QString, output);

    CFakeHome home;
    const QString prefix = home.Path(QStringLiteral("prefix"));
    QDir(prefix).mkpath(QStringLiteral("drive_c"));
    QDir(prefix).mkpath(QStringLiteral("dosdevices"));
    QVERIFY(QFile::link(QStringLiteral("../drive_c"), prefix + QStringLiteral("/dosdevices/c:")));
    if (!registryPath.isEmpty()) {
        QVERIFY(home.Write(QStringLiteral("prefix/system.reg"),
                           "WINE REGISTRY Version 2\n\n[Software\\\\Kavro\\\\Halvortine Setup] 1\n"
                           "\"Path\"=\"" + registryPath + "\"\n"));
    }
    QVERIFY(home.Write(QStringLiteral(".config/user-dirs.dirs"),
                       "XDG_DOCUMENTS_DIR=\"$HOME/Papers\"\n"));

    QProcessEnvironment env = home.Environment();
    env.insert(QStringLiteral("WINEPREFIX"), prefix);
    const CToolRun run = RunTool(QStringList{QStringLiteral("paths")} + args, env, home.Path());
    QCOMPARE(run.exitCode, exitCode);
    if (exitCode == 0) {
        output.replace(QStringLiteral("$P"), prefix).replace(QStringLiteral("$H"), home.Path());
        QCOMPARE(run.out, output);
    } else {
        QVERIFY(run.out.isEmpty());
        QVERIFY(run.err.contains(QStringLiteral("quorvel-tool paths")));
    }
}

void TestToolPaths::json_data()
{
    QTest::addColumn<QString>("choice");      // the folder chosen in the editor's settings
    QTest::addColumn<QString>("environment"); // QUORVEL_OBJDATA
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("objects"); // in the home; "*" for the Proton prefix's ObjData

    QTest::newRow("found in a second Steam library") << QString() << QString() << "game" << "*";
    QTest::newRow("the editor's choice") << "chosen" << QString() << "choice" << "chosen/";
    QTest::newRow("QUORVEL_OBJDATA over the choice")
        << "chosen" << "from-env" << "environment" << "from-env/";
}

void TestToolPaths::json()
{
    QFETCH(QString, choice);
    QFETCH(QString, environment);
    QFETCH(QString, source);
    QFETCH(QString, objects);

    CFakeHome home;
    const QString library = home.Path(QStringLiteral("games/SteamLibrary"));
    QVERIFY(home.Write(QStringLiteral(".steam/steam/steamapps/libraryfolders.vdf"),
                       "\"libraryfolders\" { \"0\" { \"path\" \"" + home.Path(".steam/steam").toUtf8()
                           + "\" } \"1\" { \"path\" \"" + library.toUtf8() + "\" } }\n"));
    home.AddPrefix(QStringLiteral(".steam/steam/steamapps/compatdata/1/pfx"), false);
    const QString proton = home.AddPrefix(QStringLiteral("games/SteamLibrary/steamapps/compatdata/2/pfx"), true);
    home.AddPrefix(QStringLiteral(".wine"), true, false);
    if (!choice.isEmpty())
        QVERIFY(home.Write(QStringLiteral(".config/Local AppWizard-Generated Applications/Quorvel.conf"),
                           "[Game%20Folder]\nObject%20Folder=" + home.Path(choice).toUtf8() + "\n"));
    QProcessEnvironment env = home.Environment();
    if (!environment.isEmpty())
        env.insert(QStringLiteral("QUORVEL_OBJDATA"), home.Path(environment));

    const CToolRun run = RunTool({QStringLiteral("paths"), QStringLiteral("--json")}, env);
    QCOMPARE(run.exitCode, 0);
    const QJsonObject root = QJsonDocument::fromJson(run.out.toUtf8()).object();
    QCOMPARE(root.value(QStringLiteral("source")).toString(), source);
    QCOMPARE(root.value(QStringLiteral("objects")).toString(),
             objects == u"*" ? CFakeHome::ObjData(proton) : home.Path(objects));
    QVERIFY(!root.value(QStringLiteral("reason")).toString().isEmpty());

    // Every candidate is listed, whichever decides; only a found game marks one used.
    QStringList listed;
    const QJsonArray candidates = root.value(QStringLiteral("candidates")).toArray();
    for (const QJsonValue &value : candidates) {
        const QJsonObject candidate = value.toObject();
        listed << QStringLiteral("%1 %2 %3%4")
                      .arg(candidate.value(QStringLiteral("kind")).toString(),
                           QDir(home.Path()).relativeFilePath(candidate.value(QStringLiteral("prefix")).toString()),
                           candidate.value(QStringLiteral("state")).toString(),
                           candidate.value(QStringLiteral("used")).toBool() ? QStringLiteral(" used") : QString());
    }
    const QString used = source == u"game" ? QStringLiteral(" used") : QString();
    QCOMPARE(listed, (QStringList{"wine .wine game", "steam .steam/steam/steamapps/compatdata/1/pfx no-game-key",
                                  "steam games/SteamLibrary/steamapps/compatdata/2/pfx game" + used}));
}

QTEST_GUILESS_MAIN(TestToolPaths)
#include "tst_tool_paths.moc"
