// The object folder found through a real Wine prefix in a temporary folder, fresh company
// file names in it, and the documents folder.

#include "game/ObjectFolder.h"
#include "tests/support/TestFiles.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

using namespace quorvel;
using namespace quorvel::test;

namespace {

const QString kRegistryHead = QStringLiteral(
    "WINE REGISTRY Version 2\n"
    ";; All keys relative to \\\\Machine\n"
    "\n"
    "#arch=win32\n"
    "\n"
    "[Software\\\\Classes\\\\.txt] 1700000000\n"
    "#time=1da0b4c5e6f7a8b\n"
    "@=\"txtfile\"\n"
    "\n");

// A key section for the game with the given value lines.
QString GameKey(const QString &valueLines, const QString &key = QStringLiteral(
                                                "Software\\\\Kavro\\\\Halvortine Setup"))
{
    return QStringLiteral("[%1] 1700000000\n#time=1da0b4c5e6f7a8b\n%2\n").arg(key, valueLines);
}


// A prefix laid out as Wine lays it out: drive_c, and dosdevices/c: linking to it.
struct WinePrefix
{
    QTemporaryDir dir;

    explicit WinePrefix(bool withDosDevices = true)
    {
        QDir root(dir.path());
        root.mkpath(QStringLiteral("drive_c/Games/Halvortine/ObjData"));
        if (withDosDevices) {
            root.mkpath(QStringLiteral("dosdevices"));
            QFile::link(QStringLiteral("../drive_c"), dir.filePath(QStringLiteral("dosdevices/c:")));
        }
        qputenv("WINEPREFIX", dir.path().toUtf8());
    }
    ~WinePrefix() { qunsetenv("WINEPREFIX"); }

    bool SetRegistry(const QString &body) const
    {
        return WriteFile(dir.filePath(QStringLiteral("system.reg")), (kRegistryHead + body).toUtf8());
    }
    QString ObjData() const { return dir.path() + QStringLiteral("/dosdevices/c:/Games/Halvortine/ObjData/"); }
};

} // namespace

class TestObjectFolder : public QObject
{
    Q_OBJECT

private slots:
    void init() { qunsetenv("SOURCE_DATE_EPOCH"); }

    void objectFolder_data();
    void objectFolder();
    void valueLength_data();
    void valueLength();
    void otherPrefixLayouts();
    void lookedUpAtEveryCall();
    void registryLengthCaps_data();
    void registryLengthCaps();

    void addTrailingSeparator_data();
    void addTrailingSeparator();

    void companyFileName_data();
    void companyFileName();
    void uniquePathAvoidsTakenNames();
    void uniquePathSameSecondAgrees();
    void uniquePathWhenEveryNameIsTaken();
    void installUnderFreshName_data();
    void installUnderFreshName();

    void documentsFolder();
};

void TestObjectFolder::objectFolder_data()
{
    QTest::addColumn<QString>("body");
    // Relative to the prefix; "." means the current-directory fallback.
    QTest::addColumn<QString>("expected");

    const QString found = QStringLiteral("dosdevices/c:/Games/Halvortine/ObjData/");
    QTest::newRow("plain") << GameKey(R"("Path"="C:\\Games\\Halvortine")") << found;
    QTest::newRow("trailing backslash") << GameKey(R"("Path"="C:\\Games\\Halvortine\\")") << found;
    QTest::newRow("forward slashes and doubled separators")
        << GameKey(R"("Path"="c:/Games\\\\Halvortine/")") << found;
    QTest::newRow("key and value name in other case")
        << GameKey(R"("PATH"="C:\\Games\\Halvortine")", R"(SOFTWARE\\KAVRO\\halvortine setup)")
        << found;
    QTest::newRow("among other values and keys")
        << GameKey(R"("Other"="D:\\x")" "\n" R"("Blob"=hex:01,02,\)" "\n  03,04\n"
                   R"("Path"="C:\\Games\\Halvortine")" "\n@=\"\"")
               + GameKey(R"("Path"="C:\\Wrong")", R"(Software\\Kavro\\Halvortine Setup\\Sub)")
        << found;
    QTest::newRow("32-bit view of a 64-bit prefix")
        << GameKey(R"("Path"="C:\\Games\\Halvortine")",
                   R"(Software\\Wow6432Node\\Kavro\\Halvortine Setup)")
        << found;
    QTest::newRow("escapes")
        << GameKey(R"("Path"="C:\\Caf\xe9\\\x004142\"b\"\\t\tab\\\101")")
        << QStringLiteral("dosdevices/c:/Caf\u00e9/A42\"b\"/t\tab/A/ObjData/");
    QTest::newRow("expand string, not expanded")
        << GameKey(R"("Path"=str(2):"C:\\%Games%")") << QStringLiteral("dosdevices/c:/%Games%/ObjData/");
    QTest::newRow("string type written as hex, continued")
        << GameKey("\"Path\"=hex(1):43,00,3a,00,5c,00,47,00,\\\n  61,00,6d,00,65,00,73,00,00,00")
        << QStringLiteral("dosdevices/c:/Games/ObjData/");
    QTest::newRow("dot-dot stays on the drive")
        << GameKey(R"("Path"="C:\\..\\..\\Games\\.\\Halvortine")") << found;
    QTest::newRow("drive root") << GameKey(R"("Path"="C:\\")") << QStringLiteral("dosdevices/c:/ObjData/");
    QTest::newRow("later value wins")
        << GameKey(R"("Path"="C:\\Old")" "\n" R"("Path"="C:\\Games\\Halvortine")") << found;

    const QString fallback = QStringLiteral(".");
    QTest::newRow("key missing") << GameKey(R"("Path"="C:\\Games")", R"(Software\\Kavro\\Other)") << fallback;
    QTest::newRow("value missing") << GameKey(R"("Pathname"="C:\\Games")") << fallback;
    QTest::newRow("no registry text") << QString() << fallback;
    QTest::newRow("binary value") << GameKey(R"("Path"=hex:43,3a,5c,00)") << fallback;
    QTest::newRow("number value") << GameKey(R"("Path"=dword:00000001)") << fallback;
    QTest::newRow("UNC") << GameKey(R"("Path"="\\\\server\\share\\Games")") << fallback;
    QTest::newRow("relative") << GameKey(R"("Path"="Games\\Halvortine")") << fallback;
    QTest::newRow("drive-relative") << GameKey(R"("Path"="C:Games")") << fallback;
    QTest::newRow("empty") << GameKey(R"("Path"="")") << fallback;
    QTest::newRow("unmapped drive") << GameKey(R"("Path"="E:\\Games")") << fallback;
    QTest::newRow("unterminated string") << GameKey(R"("Path"="C:\\Games)") << fallback;
    QTest::newRow("unterminated key name")
        << QStringLiteral("[Software\\\\Kavro\\\\Halvortine Setup\n\"Path\"=\"C:\\\\Games\"\n")
        << fallback;
    QTest::newRow("bad hex") << GameKey("\"Path\"=hex(1):4g,00") << fallback;
    QTest::newRow("escape at line end") << GameKey("\"Path\"=\"C:\\") << fallback;
}

void TestObjectFolder::objectFolder()
{
    QFETCH(QString, body);
    QFETCH(QString, expected);

    WinePrefix prefix;
    QDir(prefix.dir.path()).mkpath(QStringLiteral("drive_d"));
    QFile::link(QStringLiteral("../drive_d"), prefix.dir.filePath(QStringLiteral("dosdevices/d:")));
    if (!body.isNull())
        QVERIFY(prefix.SetRegistry(body));

    const QString want = expected == u"." ? QStringLiteral("./") : prefix.dir.path() + u'/' + expected;
    QCOMPARE(GetObjectFolder(), want);
}

void TestObjectFolder::valueLength_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("found");

    // Measured in Windows-1252 bytes with the NUL: "é" is one byte there, two in UTF-8.
    const QString base = QStringLiteral("C:\\");
    QTest::newRow("259 bytes") << base + QString(256, u'a') << true;
    QTest::newRow("260 bytes") << base + QString(257, u'a') << false;
    QTest::newRow("259 bytes, one of them accented") << base + QString(255, u'a') + u'\u00e9' << true;
    QTest::newRow("260 bytes, one of them accented") << base + QString(256, u'a') + u'\u00e9' << false;
}

void TestObjectFolder::valueLength()
{
    QFETCH(QString, value);
    QFETCH(bool, found);

    WinePrefix prefix;
    QString escaped = value;
    escaped.replace(u'\\', QStringLiteral("\\\\"));
    QVERIFY(prefix.SetRegistry(GameKey(QStringLiteral("\"Path\"=\"%1\"").arg(escaped))));

    const QString expected = found ? prefix.dir.path() + QStringLiteral("/dosdevices/c:/")
                                         + value.mid(3) + QStringLiteral("/ObjData/")
                                   : QStringLiteral("./");
    QCOMPARE(GetObjectFolder(), expected);
}

void TestObjectFolder::otherPrefixLayouts()
{
    const QString value = GameKey(R"("Path"="C:\\Games\\Halvortine")");
    {
        // Without dosdevices, drive C is the prefix's drive_c.
        WinePrefix prefix(false);
        QVERIFY(prefix.SetRegistry(value));
        QCOMPARE(GetObjectFolder(), prefix.dir.path() + QStringLiteral("/drive_c/Games/Halvortine/ObjData/"));
    }
    {
        // Without WINEPREFIX, the prefix is ~/.wine.
        QTemporaryDir home;
        const QByteArray oldHome = qgetenv("HOME");
        qputenv("HOME", home.path().toUtf8());
        QDir(home.path()).mkpath(QStringLiteral(".wine/drive_c"));
        QVERIFY(WriteFile(home.filePath(QStringLiteral(".wine/system.reg")), (kRegistryHead + value).toUtf8()));
        qunsetenv("WINEPREFIX");
        const QString folder = GetObjectFolder();
        qputenv("HOME", oldHome);
        QCOMPARE(folder, home.path() + QStringLiteral("/.wine/drive_c/Games/Halvortine/ObjData/"));
    }
}

void TestObjectFolder::lookedUpAtEveryCall()
{
    WinePrefix prefix;
    QCOMPARE(GetObjectFolder(), QStringLiteral("./"));
    QVERIFY(prefix.SetRegistry(GameKey(R"("Path"="C:\\Games\\Halvortine")")));
    QCOMPARE(GetObjectFolder(), prefix.ObjData());
    QVERIFY(prefix.SetRegistry(GameKey(R"("Path"="C:\\Other")")));
    QCOMPARE(GetObjectFolder(), prefix.dir.path() + QStringLiteral("/dosdevices/c:/Other/ObjData/"));
}

void TestObjectFolder::registryLengthCaps_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<qint64>("sparseSize"); // the file grown to this size with zeros, or 0
    QTest::addColumn<bool>("found");

    const QByteArray key = "[Software\\\\Kavro\\\\Halvortine Setup]";
    const QByteArray path = "\"Path\"=\"C:\\\\Games\\\\Halvortine\"\n";
    const QByteArray megabyte(1 << 20, ' ');
    QTest::newRow("line of 1 MiB") << key + megabyte.chopped(key.size()) + "\n" + path << 0LL << true;
    QTest::newRow("line over 1 MiB skipped") << key + megabyte + "\n" + path << 0LL << false;
    QTest::newRow("reading goes on after a long line")
        << ";" + megabyte + megabyte + megabyte + "\n" + key + "\n" + path << 0LL << true;
    QByteArray continued = key + "\n\"Path\"=hex(1):43,00,3a,00,5c,00,\\\n";
    for (int line = 0; line < 600; ++line)
        continued += QByteArray(2000, '\t') + "\\\n";
    QTest::newRow("value continued past 1 MiB") << continued + "00,00\n" << 0LL << false;
    QTest::newRow("file over 256 MiB ignored") << key + "\n" + path << (256LL << 20) + 1 << false;
}

void TestObjectFolder::registryLengthCaps()
{
    QFETCH(QByteArray, body);
    QFETCH(qint64, sparseSize);
    QFETCH(bool, found);

    WinePrefix prefix;
    QFile file(prefix.dir.filePath(QStringLiteral("system.reg")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(file.write(kRegistryHead.toUtf8() + body) > 0);
    if (sparseSize)
        QVERIFY(file.resize(sparseSize));
    file.close();
    QCOMPARE(GetObjectFolder(), found ? prefix.ObjData() : QStringLiteral("./"));
}

void TestObjectFolder::addTrailingSeparator_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");
    const QString sep = QDir::separator();

    QTest::newRow("empty") << QString() << sep;
    QTest::newRow("relative") << QStringLiteral("a") << QStringLiteral("a") + sep;
    QTest::newRow("absolute") << QStringLiteral("/x/y") << QStringLiteral("/x/y") + sep;
    QTest::newRow("ends in slash") << QStringLiteral("/x/y/") << QStringLiteral("/x/y/");
    QTest::newRow("root") << QStringLiteral("/") << QStringLiteral("/");
}

void TestObjectFolder::addTrailingSeparator()
{
    QFETCH(QString, path);
    QFETCH(QString, expected);
    AddTrailingSeparator(path);
    QCOMPARE(path, expected);
}

void TestObjectFolder::companyFileName_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("name");
    QTest::newRow("0") << 0 << QStringLiteral("COMP0.DAT");
    QTest::newRow("10") << 10 << QStringLiteral("COMPa.DAT");
    QTest::newRow("256") << 256 << QStringLiteral("COMP100.DAT");
    QTest::newRow("32767") << 32767 << QStringLiteral("COMP7fff.DAT");
}

void TestObjectFolder::companyFileName()
{
    QFETCH(int, number);
    QFETCH(QString, name);
    QCOMPARE(CompanyFileName(number), name);
}

void TestObjectFolder::uniquePathAvoidsTakenNames()
{
    WinePrefix prefix;
    QVERIFY(prefix.SetRegistry(GameKey(R"("Path"="C:\\Games\\Halvortine")")));
    qputenv("SOURCE_DATE_EPOCH", "1700000000");
    static const QRegularExpression pattern(QStringLiteral("^COMP[1-9a-f][0-9a-f]{0,3}\\.DAT$|^COMP0\\.DAT$"));

    // Each name in turn is taken by a file, a dangling link or (Wine ignores case) another case.
    QStringList seen;
    for (int round = 0; round < 4; ++round) {
        const auto path = MakeUniqueCompanyPath();
        QVERIFY(path);
        QVERIFY(path->startsWith(prefix.ObjData()));
        const QString name = path->mid(prefix.ObjData().size());
        QVERIFY2(pattern.match(name).hasMatch(), qPrintable(name));
        QVERIFY(!QFileInfo::exists(*path));
        QVERIFY2(!seen.contains(name), qPrintable(name));
        seen.append(name);
        switch (round) {
        case 0: QVERIFY(WriteFile(*path, "x")); break;
        case 1: QVERIFY(QFile::link(QStringLiteral("missing"), *path)); break;
        case 2: QVERIFY(WriteFile(prefix.ObjData() + name.toLower(), "x")); break;
        default: break;
        }
    }
}

void TestObjectFolder::uniquePathSameSecondAgrees()
{
    WinePrefix prefix;
    QVERIFY(prefix.SetRegistry(GameKey(R"("Path"="C:\\Games\\Halvortine")")));
    // The real clock: retry when the second turns between the calls.
    for (int attempt = 0; attempt < 5; ++attempt) {
        const qint64 before = QDateTime::currentSecsSinceEpoch();
        const auto first = MakeUniqueCompanyPath();
        const auto second = MakeUniqueCompanyPath();
        if (QDateTime::currentSecsSinceEpoch() != before)
            continue;
        QVERIFY(first);
        QCOMPARE(second, first);
        return;
    }
    QFAIL("the clock turned a second during every attempt");
}

void TestObjectFolder::uniquePathWhenEveryNameIsTaken()
{
    WinePrefix prefix;
    QVERIFY(prefix.SetRegistry(GameKey(R"("Path"="C:\\Games\\Halvortine")")));
    const QString folder = prefix.ObjData();
    const int lastFree = 0x1234;
    for (int number = 0; number < 32768; ++number) {
        if (number != lastFree)
            QVERIFY(WriteFile(folder + CompanyFileName(number), QByteArray()));
    }
    QCOMPARE(MakeUniqueCompanyPath(), std::optional<QString>(folder + QStringLiteral("COMP1234.DAT")));
    QVERIFY(WriteFile(folder + CompanyFileName(lastFree), QByteArray()));
    QCOMPARE(MakeUniqueCompanyPath(), std::nullopt);
}

void TestObjectFolder::installUnderFreshName_data()
{
    QTest::addColumn<QString>("firstName");
    QTest::addColumn<int>("takenByOthers"); // writes that find their name taken first
    QTest::addColumn<bool>("fails");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<int>("writes");

    const int installed = int(EInstallOutcome::Installed);
    QTest::newRow("drawn, free") << QString() << 0 << false << installed << 1;
    QTest::newRow("drawn, taken twice") << QString() << 2 << false << installed << 3;
    QTest::newRow("given name first") << "COMPabc.DAT" << 0 << false << installed << 1;
    QTest::newRow("given name taken") << "COMPabc.DAT" << 1 << false << installed << 2;
    QTest::newRow("failure ends it") << QString() << 1 << true << int(EInstallOutcome::Failed) << 2;
}

void TestObjectFolder::installUnderFreshName()
{
    QFETCH(QString, firstName);
    QFETCH(int, takenByOthers);
    QFETCH(bool, fails);
    QFETCH(int, outcome);
    QFETCH(int, writes);

    QTemporaryDir dir;
    const QString folder = dir.path() + QLatin1Char('/');
    QStringList tried;
    const CInstallResult result = InstallUnderFreshName(
        folder,
        [&](const QString &path) {
            tried << path;
            if (QFileInfo::exists(path))
                return EFreshWrite::NameTaken;
            if (tried.size() <= takenByOthers) {
                // Another writer took the name between the draw and this write.
                WriteFile(path, "theirs");
                return EFreshWrite::NameTaken;
            }
            if (fails)
                return EFreshWrite::Failed;
            return WriteFile(path, "ours") ? EFreshWrite::Written : EFreshWrite::Failed;
        },
        firstName.isEmpty() ? QString() : folder + firstName);

    QCOMPARE(int(result.outcome), outcome);
    QCOMPARE(tried.size(), writes);
    QCOMPARE(result.path, tried.last());
    if (!firstName.isEmpty())
        QCOMPARE(tried.first(), folder + firstName);
    QCOMPARE(QSet<QString>(tried.cbegin(), tried.cend()).size(), writes); // never a name twice
    for (int i = 0; i < takenByOthers; ++i)
        QCOMPARE(ReadFile(tried[i]), QByteArray("theirs"));
    QCOMPARE(QFileInfo::exists(result.path), !fails);
}

void TestObjectFolder::documentsFolder()
{
    QTemporaryDir home;
    const QByteArray oldHome = qgetenv("HOME");
    const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toUtf8());
    QDir(home.path()).mkpath(QStringLiteral("config"));
    QVERIFY(WriteFile(home.filePath(QStringLiteral("config/user-dirs.dirs")),
                      "XDG_DOCUMENTS_DIR=\"$HOME/My Papers/\"\n"));
    const QString folder = GetDocumentsFolder();
    qputenv("HOME", oldHome);
    qputenv("XDG_CONFIG_HOME", oldConfig);
#ifdef Q_OS_LINUX
    QCOMPARE(folder, home.path() + QStringLiteral("/My Papers"));
    QVERIFY(!QDir(folder).exists()); // found, not created
#else
    QVERIFY(!folder.endsWith(QDir::separator()));
#endif
}

QTEST_GUILESS_MAIN(TestObjectFolder)
#include "tst_objectfolder.moc"
