// Finding the game in fake homes made here: which of many Wine prefixes is used, Steam's
// libraries, unreadable prefixes, explicit choices, the remembered answers, and the readers of
// libraryfolders.vdf and system.reg behind them.

#include "game/GameLookup.h"
#include "game/SteamLibraries.h"
#include "game/WineRegistry.h"
#include "tests/support/FakeHome.h"

#include <QBuffer>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace quorvel;
using namespace quorvel::test;

namespace {

// "where:game:objdata:age" a prefix: where in the home, whether it holds the game and its
// ObjData, how many seconds ago its registry changed. "WINEPREFIX=where" points at one.
void AddPrefixes(CFakeHome &home, const QStringList &entries)
{
    for (const QString &entry : entries) {
        if (entry.startsWith(u"WINEPREFIX=")) {
            qputenv("WINEPREFIX", home.Path(entry.mid(11)).toUtf8());
            continue;
        }
        const QStringList f = entry.split(u':');
        home.AddPrefix(f[0], f[1] == u"game", f[2] == u"objdata", f[3].toInt());
    }
}

QString UsedPrefix(const CObjectFolderLookup &lookup, const CFakeHome &home)
{
    if (lookup.used < 0)
        return QString();
    return QDir(home.Path()).relativeFilePath(lookup.candidates[std::size_t(lookup.used)].prefix);
}

} // namespace

class TestGameLookup : public QObject
{
    Q_OBJECT

private slots:
    void choosesPrefix_data();
    void choosesPrefix();
    void steamLibraries();
    void unreadablePrefixes();
    void explicitChoiceWins();
    void answersRemembered();
    void quickScan_data();
    void quickScan();
    void libraryFolders_data();
    void libraryFolders();
};

void TestGameLookup::choosesPrefix_data()
{
    QTest::addColumn<QStringList>("prefixes");
    QTest::addColumn<QString>("used"); // empty: none, the current directory

    QTest::newRow("$WINEPREFIX with the game beats a newer prefix with its folder")
        << QStringList{"p:game:none:500", "WINEPREFIX=p", ".wine:game:objdata:10"} << "p";
    QTest::newRow("$WINEPREFIX without the game does not")
        << QStringList{"p:none:none:5", "WINEPREFIX=p", ".wine:game:objdata:100"} << ".wine";
    QTest::newRow("an existing object folder beats a newer registry")
        << QStringList{".wine:game:none:10", "Games/halvortine:game:objdata:900"}
        << "Games/halvortine";
    QTest::newRow("of several with the folder, the newest registry")
        << QStringList{".local/share/Steam/steamapps/compatdata/1/pfx:game:objdata:300",
                       ".local/share/bottles/bottles/Games:game:objdata:30",
                       ".wine:game:objdata:3000"}
        << ".local/share/bottles/bottles/Games";
    QTest::newRow("none with the folder: the newest that holds the game")
        << QStringList{".wine:game:none:100",
                       ".var/app/com.usebottles.bottles/data/bottles/bottles/b:game:none:50"}
        << ".var/app/com.usebottles.bottles/data/bottles/bottles/b";
    QTest::newRow("no game anywhere")
        << QStringList{".wine:none:none:10", "Games/other:none:none:10"} << QString();
}

void TestGameLookup::choosesPrefix()
{
    QFETCH(QStringList, prefixes);
    QFETCH(QString, used);
    CFakeHome home;
    // Folders of ~/Games that are no prefix are not candidates.
    QVERIFY(home.Write(QStringLiteral("Games/native-game/run.sh"), "#!/bin/sh\n"));
    AddPrefixes(home, prefixes);

    const CObjectFolderLookup lookup = LookUpObjectFolder();
    QCOMPARE(UsedPrefix(lookup, home), used);
    QCOMPARE(int(lookup.candidates.size()), int(prefixes.filter(u":").size()));
    if (used.isEmpty()) {
        QCOMPARE(lookup.source, EObjectFolderSource::CurrentDirectory);
        QCOMPARE(lookup.folder, QStringLiteral("./"));
    } else {
        QCOMPARE(lookup.source, EObjectFolderSource::Game);
        QCOMPARE(lookup.folder, CFakeHome::ObjData(home.Path(used)));
    }
    QVERIFY(!lookup.reason.isEmpty());
}

void TestGameLookup::steamLibraries()
{
    CFakeHome home;
    const QString second = home.Path(QStringLiteral("Second Drive/SteamLibrary"));
    // The native Steam lists itself and a second library, with an escaped quote in a label.
    QVERIFY(home.Write(QStringLiteral(".local/share/Steam/steamapps/libraryfolders.vdf"),
                       "\"libraryfolders\"\n{\n\t\"0\"\n\t{\n\t\t\"path\"\t\t\""
                           + home.Path(QStringLiteral(".local/share/Steam")).toUtf8()
                           + "\"\n\t\t\"label\"\t\t\"a \\\"b\\\"\"\n\t}\n\t\"1\"\n\t{\n\t\t"
                             "\"path\"\t\t\"" + second.toUtf8() + "\"\n\t\t\"apps\"\n\t\t{\n"
                             "\t\t\t\"228980\"\t\t\"1\"\n\t\t}\n\t}\n}\n"));
    home.AddPrefix(QStringLiteral(".local/share/Steam/steamapps/compatdata/10/pfx"), false);
    home.AddPrefix(QStringLiteral("Second Drive/SteamLibrary/steamapps/compatdata/4242/pfx"), true);
    // ~/.steam/steam is the same Steam again: nothing is listed twice.
    QDir(home.Path()).mkpath(QStringLiteral(".steam"));
    QVERIFY(QFile::link(home.Path(QStringLiteral(".local/share/Steam")),
                        home.Path(QStringLiteral(".steam/steam"))));
    // The Flatpak Steam's list is malformed: skipped, its own library still searched.
    const QString flatpak = QStringLiteral(".var/app/com.valvesoftware.Steam/.local/share/Steam");
    QVERIFY(home.Write(flatpak + QStringLiteral("/steamapps/libraryfolders.vdf"),
                       "\"libraryfolders\" { \"0\" { \"path\" \"/nowhere\" "));
    home.AddPrefix(flatpak + QStringLiteral("/steamapps/compatdata/7/pfx"), false);

    const CObjectFolderLookup lookup = LookUpObjectFolder();
    QStringList found;
    for (const CGameCandidate &candidate : lookup.candidates) {
        QCOMPARE(candidate.kind, ECandidateKind::Steam);
        found << QDir(home.Path()).relativeFilePath(candidate.prefix);
    }
    QCOMPARE(found, (QStringList{".steam/steam/steamapps/compatdata/10/pfx",
                                 "Second Drive/SteamLibrary/steamapps/compatdata/4242/pfx",
                                 flatpak + "/steamapps/compatdata/7/pfx"}));
    QCOMPARE(UsedPrefix(lookup, home), found[1]);
    QCOMPARE(lookup.folder, CFakeHome::ObjData(second + QStringLiteral("/steamapps/compatdata/4242/pfx")));
}

void TestGameLookup::unreadablePrefixes()
{
    CFakeHome home;
    // A pipe would block a reader forever, a folder cannot be read as a file.
    const QString pipe = home.AddPrefix(QStringLiteral(".wine"), false);
    QVERIFY(QFile::remove(pipe + QStringLiteral("/system.reg")));
    QCOMPARE(mkfifo(QFile::encodeName(pipe + QStringLiteral("/system.reg")).constData(), 0600), 0);
    const QString folder = home.AddPrefix(QStringLiteral("Games/a"), false);
    QVERIFY(QFile::remove(folder + QStringLiteral("/system.reg")));
    QVERIFY(QDir(folder).mkdir(QStringLiteral("system.reg")));
    home.AddPrefix(QStringLiteral("Games/b"), true);

    const CObjectFolderLookup lookup = LookUpObjectFolder();
    QCOMPARE(int(lookup.candidates.size()), 3);
    QCOMPARE(lookup.candidates[0].state, CGameCandidate::EState::Unreadable);
    QCOMPARE(lookup.candidates[1].state, CGameCandidate::EState::Unreadable);
    QCOMPARE(UsedPrefix(lookup, home), QStringLiteral("Games/b"));
}

void TestGameLookup::explicitChoiceWins()
{
    CFakeHome home;
    const QString wine = home.AddPrefix(QStringLiteral(".wine"), true);
    QCOMPARE(LookUpObjectFolder().folder, CFakeHome::ObjData(wine));

    // A game's folder stands for its ObjData, whatever its case; any other folder for itself.
    QDir(home.Path()).mkpath(QStringLiteral("Game/OBJDATA"));
    QCOMPARE(ObjectFolderOfPick(home.Path(QStringLiteral("Game"))), home.Path(QStringLiteral("Game/OBJDATA/")));
    QCOMPARE(ObjectFolderOfPick(home.Path(QStringLiteral("Game/OBJDATA"))),
             home.Path(QStringLiteral("Game/OBJDATA/")));
    SetChosenObjectFolder(ObjectFolderOfPick(home.Path(QStringLiteral("Game"))));
    CObjectFolderLookup lookup = LookUpObjectFolder();
    QCOMPARE(lookup.source, EObjectFolderSource::Choice);
    QCOMPARE(lookup.folder, home.Path(QStringLiteral("Game/OBJDATA/")));
    QVERIFY(lookup.candidates.empty()); // decided without asking any prefix

    qputenv("QUORVEL_OBJDATA", home.Path(QStringLiteral("env/../elsewhere")).toUtf8());
    lookup = LookUpObjectFolder(ECandidateSearch::Always);
    QCOMPARE(lookup.source, EObjectFolderSource::Environment);
    QCOMPARE(lookup.folder, home.Path(QStringLiteral("elsewhere/")));
    QCOMPARE(lookup.used, -1);
    QCOMPARE(int(lookup.candidates.size()), 1); // still listed, for quorvel-tool paths

    qunsetenv("QUORVEL_OBJDATA");
    SetChosenObjectFolder(QString());
    QCOMPARE(LookUpObjectFolder().folder, CFakeHome::ObjData(wine));
}

void TestGameLookup::answersRemembered()
{
    CFakeHome home;
    const QString wine = home.AddPrefix(QStringLiteral(".wine"), true);
    const QString registry = wine + QStringLiteral("/system.reg");
    QCOMPARE(LookUpObjectFolder().source, EObjectFolderSource::Game);
    QVERIFY(QFileInfo::exists(home.Path(QStringLiteral(".cache/quorvel/wine-registry.json"))));

    // Same size, same time: the file is taken as unchanged and not read again.
    const QDateTime changed = QFileInfo(registry).lastModified();
    QByteArray bytes = ReadFile(registry);
    bytes.replace("Halvortine Setup", "Halvortine Xetup");
    QVERIFY(WriteFile(registry, bytes));
    QFile file(registry);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(changed, QFileDevice::FileModificationTime));
    file.close();
    QCOMPARE(LookUpObjectFolder().source, EObjectFolderSource::Game);

    // Any other time: read again. A file changed just now is read, but not remembered.
    QVERIFY(CFakeHome::WriteAged(registry, bytes, 0));
    QCOMPARE(LookUpObjectFolder().source, EObjectFolderSource::CurrentDirectory);
    QVERIFY(CFakeHome::WriteAged(registry, ReadFile(registry).replace("Xetup", "Setup"), 0));
    QCOMPARE(LookUpObjectFolder().source, EObjectFolderSource::Game);

    // A damaged cache is no cache.
    QVERIFY(home.Write(QStringLiteral(".cache/quorvel/wine-registry.json"), "{\"files\": [1, {"));
    QCOMPARE(LookUpObjectFolder().source, EObjectFolderSource::Game);
}

void TestGameLookup::quickScan_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<bool>("mayHold");

    const QStringList game{QStringLiteral("Software\\Kavro\\Halvortine Setup")};
    const QByteArray key = "[Software\\\\Kavro\\\\Halvortine Setup] 1700000000\n";
    QTest::newRow("the key") << QByteArray("head\n" + key) << game << true;
    QTest::newRow("another case") << QByteArray("[software\\\\kavro\\\\HALVORTINE SETUP] 1\n")
                                  << game << true;
    // A block of the reader is a mebibyte: the name lies across two of them.
    QTest::newRow("across two blocks")
        << QByteArray(QByteArray((1 << 20) - 26, 'x') + key) << game << true;
    QTest::newRow("only a subkey")
        << QByteArray("[Software\\\\Kavro\\\\Halvortine Setup\\\\Sub] 1\n") << game << false;
    QTest::newRow("absent") << QByteArray(QByteArray(3 << 20, ']')) << game << false;
    QTest::newRow("a name Wine escapes: parse it")
        << QByteArray("[x]\n") << QStringList{QStringLiteral("Software\\Caf\u00e9")} << true;
}

void TestGameLookup::quickScan()
{
    QFETCH(QByteArray, text);
    QFETCH(QStringList, keys);
    QFETCH(bool, mayHold);
    QBuffer buffer(&text);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    QCOMPARE(MayHoldWineRegistryKey(buffer, keys), mayHold);
}

void TestGameLookup::libraryFolders_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QStringList>("folders");
    QTest::addColumn<bool>("valid");

    QTest::newRow("older layout, bare words, comments, conditions")
        << QByteArray("\xEF\xBB\xBF// Steam\n\"LibraryFolders\"\r\n{\r\n\t\"TimeNextStatsReport\" "
                      "\"1\"\r\n\t\"1\"\t\"D:\\\\Steam Library\"\r\n\t2 /mnt/games [$LINUX]\r\n}\r\n")
        << QStringList{"D:\\Steam Library", "/mnt/games"} << true;
    QTest::newRow("escapes, a lone backslash, an empty path")
        << QByteArray("\"libraryfolders\" { \"0\" { \"path\" \"/a\\\"b\\\\c\\q\" } "
                      "\"1\" { \"path\" \"\" } \"x\" { \"path\" \"/not-numbered\" } }")
        << QStringList{"/a\"b\\c\\q"} << true;
    QTest::newRow("no library list") << QByteArray("\"other\" { }") << QStringList{} << false;
    QTest::newRow("string left open") << QByteArray("\"libraryfolders\" { \"0\" \"/a") << QStringList{} << false;
    QTest::newRow("block left open") << QByteArray("\"libraryfolders\" { \"0\" { ") << QStringList{} << false;
    QTest::newRow("stray brace") << QByteArray("\"libraryfolders\" { } }") << QStringList{} << false;
    QTest::newRow("key without value") << QByteArray("\"libraryfolders\"") << QStringList{} << false;
    QTest::newRow("block without key") << QByteArray("{ }") << QStringList{} << false;
    QTest::newRow("condition left open") << QByteArray("a b [$WIN") << QStringList{} << false;
    QTest::newRow("too deep")
        << QByteArray("\"libraryfolders\" { " + QByteArray("\"k\" { ").repeated(39)
                      + QByteArray("} ").repeated(40))
        << QStringList{} << false;
}

void TestGameLookup::libraryFolders()
{
    QFETCH(QByteArray, text);
    QFETCH(QStringList, folders);
    QFETCH(bool, valid);
    const std::optional<QStringList> parsed = SteamLibraryFolders(text);
    QCOMPARE(parsed.has_value(), valid);
    if (valid)
        QCOMPARE(*parsed, folders);
}

int main(int argc, char *argv[])
{
    // Settings go to a scratch folder, never to the user's own.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QCoreApplication app(argc, argv);
    TestGameLookup test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_gamelookup.moc"
