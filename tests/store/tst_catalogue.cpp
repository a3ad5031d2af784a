// The catalogue over files made by the real writer and then cut or changed byte by byte:
// what it lists, with which name and preview, and which installed copy import would take.

#include "image/Palette.h"
#include "store/CompanyCatalogue.h"
#include "store/CompanyImport.h"
#include "tests/support/CompanyFiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

using namespace quorvel;
using namespace quorvel::test;

namespace {

// Where the writer puts things for the owner "Brenda Vale" (11 characters, lead byte first)
// and the specific word "Owner".
constexpr int kOwnerNul = 90;
constexpr int kImageCount = 100;
constexpr int kEntries = 108;
const QString kBrenda = QStringLiteral("Brenda Vale (2004/06/14 15:26)");

QByteArray Changed(QByteArray bytes, qsizetype at, const QByteArray &with)
{
    return bytes.replace(at, with.size(), with);
}

// True when the preview shows expression's 24x24 face pixel for pixel.
bool ShowsFace(const QImage &preview, int expression)
{
    if (preview.size() != QSize(kSmallFaceSide, kSmallFaceSide))
        return false;
    for (int k = 0; k < kSmallFaceBytes; ++k) {
        const CRgbTriple &colour = PaletteEntry(7 * expression + k);
        if (preview.pixel(k % kSmallFaceSide, k / kSmallFaceSide)
            != qRgb(colour.red, colour.green, colour.blue))
            return false;
    }
    return true;
}

} // namespace

class TestCatalogue : public QObject
{
    Q_OBJECT

private slots:
    void loadFromFile_data();
    void loadFromFile();
    void matches_data();
    void matches();
    void scanObjectFolder();
    void findInstalledCopy_data();
    void findInstalledCopy();

private:
    QTemporaryDir m_dir;
};

void TestCatalogue::loadFromFile_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("company");    // valid without previews: what import sees
    QTest::addColumn<int>("preview");     // the expression the preview shows; -1: not listed
    QTest::addColumn<QString>("name");

    const QByteArray brenda = CompanyBytes(QStringLiteral("Brenda Vale"));
    const QByteArray two = CompanyBytes(QStringLiteral("Brenda Vale"), 0x3);
    QByteArray swapped = two; // the happy face's 24x24 entry first
    swapped.replace(kEntries, 16, two.mid(kEntries + 32, 16));
    swapped.replace(kEntries + 32, 16, two.mid(kEntries, 16));
    QByteArray longName = brenda;
    longName.insert(kOwnerNul - 11, QByteArray(1100, 'x'));

    QTest::newRow("as written") << brenda << true << 0 << kBrenda;
    QTest::newRow("first 24x24 entry, not the lowest expression") << swapped << true << 1 << kBrenda;
    QTest::newRow("no faces") << CompanyBytes(QStringLiteral("Brenda Vale"), 0) << true << -1 << kBrenda;
    QTest::newRow("another kind of object") << Changed(brenda, 4, "SCNR") << false << -1 << "";
    QTest::newRow("kind byte 0x25") << Changed(brenda, 0, "\x25") << false << -1 << "";
    QTest::newRow("owner without lead byte") << brenda.left(78) + brenda.mid(79) << true << 0 << kBrenda;
    QTest::newRow("empty owner") << CompanyBytes(QString()) << true << 0 << " (2004/06/14 15:26)";
    QTest::newRow("owner in the file's code page")
        << CompanyBytes(QStringLiteral("Zo\u00eb & S\u00f8n \u20ac")) << true << 0
        << QStringLiteral("Zo\u00eb & S\u00f8n \u20ac (2004/06/14 15:26)");
    QTest::newRow("owner longer than 1023") << longName << true << 0
                                            << QString(1023, u'x') + QStringLiteral(" (2004/06/14 15:26)");
    QTest::newRow("negative image count") << Changed(brenda, kImageCount, "\xff\xff\xff\xff") << true
                                          << -1 << kBrenda;
    QTest::newRow("ends in the header") << brenda.left(10) << false << -1 << "";
    QTest::newRow("ends in the owner name") << brenda.left(85) << false << -1 << "";
    QTest::newRow("ends before the end byte") << brenda.left(kOwnerNul + 1) << false << -1 << "";
    QTest::newRow("ends in the specific word") << brenda.left(kOwnerNul + 5) << true << -1 << kBrenda;
    QTest::newRow("ends in the image entries") << brenda.left(kEntries + 20) << true << -1 << kBrenda;
    QTest::newRow("ends in the preview") << brenda.left(kEntries + 32 + 500) << true << -1 << kBrenda;
}

void TestCatalogue::loadFromFile()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, company);
    QFETCH(int, preview);
    QFETCH(QString, name);

    const QString path = m_dir.filePath(QStringLiteral("COMP1.DAT"));
    QVERIFY(WriteFile(path, bytes));

    CCompanyEntry plain;
    QCOMPARE(plain.LoadFromFile(path), company);
    QCOMPARE(plain.m_valid, company);
    QCOMPARE(plain.m_path, path);
    QCOMPARE(plain.m_imageIndex, -1);
    QCOMPARE(plain.m_displayName, name);
    if (company)
        QCOMPARE(plain.m_checksum, GetU32(reinterpret_cast<const std::uint8_t *>(bytes.constData()) + 12));

    // With previews: the list already holds one picture, so the index is that of its own.
    CPreviewList previews{QImage(24, 24, QImage::Format_RGB32)};
    CCompanyEntry listed;
    QCOMPARE(listed.LoadFromFile(path, &previews), preview >= 0);
    QCOMPARE(previews.size(), preview >= 0 ? 2 : 1);
    QCOMPARE(listed.m_imageIndex, preview >= 0 ? 1 : -1);
    if (preview >= 0) {
        QVERIFY(ShowsFace(previews.at(1), preview));
        QCOMPARE(listed.m_displayName, name);
    }
}

void TestCatalogue::matches_data()
{
    QTest::addColumn<QByteArray>("other");
    QTest::addColumn<bool>("match");

    QTest::newRow("same company") << CompanyBytes(QStringLiteral("Brenda Vale")) << true;
    QTest::newRow("later stamp") << CompanyBytes(QStringLiteral("Brenda Vale"), 1, 5,
                                                 kStampTime.addSecs(20 * 60)) << false;
    QTest::newRow("other checksum") << CompanyBytes(QStringLiteral("Brenda Vale"), 1, 6) << false;
    QTest::newRow("owner's case") << CompanyBytes(QStringLiteral("brenda vale")) << false;
    QTest::newRow("not a company") << Changed(CompanyBytes(QStringLiteral("Brenda Vale")), 0, "\x21")
                                   << false;
}

void TestCatalogue::matches()
{
    QFETCH(QByteArray, other);
    QFETCH(bool, match);

    const QString a = m_dir.filePath(QStringLiteral("a"));
    const QString b = m_dir.filePath(QStringLiteral("b"));
    QVERIFY(WriteFile(a, CompanyBytes(QStringLiteral("Brenda Vale"))));
    QVERIFY(WriteFile(b, other));
    CCompanyEntry first;
    CCompanyEntry second;
    first.LoadFromFile(a);
    second.LoadFromFile(b);
    QCOMPARE(first.Matches(second), match);
    QCOMPARE(second.Matches(first), match);
}

void TestCatalogue::scanObjectFolder()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    QDir dir(folder.path());
    QVERIFY(WriteFile(dir.filePath(QStringLiteral("COMP1.DAT")), CompanyBytes(QStringLiteral("Ann"))));
    QVERIFY(WriteFile(dir.filePath(QStringLiteral("COMP2.DAT")), CompanyBytes(QStringLiteral("Bob"), 0)));
    QVERIFY(WriteFile(dir.filePath(QStringLiteral("Cy.company")), CompanyBytes(QStringLiteral("Cy"), 0x2)));
    QVERIFY(WriteFile(dir.filePath(QStringLiteral("TREE1.DAT")), QByteArray(3000, ' ')));
    QVERIFY(WriteFile(dir.filePath(QStringLiteral(".COMP3.DAT")), CompanyBytes(QStringLiteral("Hidden"))));
    QVERIFY(dir.mkdir(QStringLiteral("COMP4.DAT")));
    QVERIFY(WriteFile(dir.filePath(QStringLiteral("COMP4.DAT/COMP5.DAT")), CompanyBytes(QStringLiteral("Deep"))));
#ifdef Q_OS_UNIX
    // A pipe would block a reader for good.
    QCOMPARE(::mkfifo(QFile::encodeName(dir.filePath(QStringLiteral("COMP6.DAT"))).constData(), 0600), 0);
#endif

    const auto names = [](const std::vector<CCompanyEntry> &entries) {
        QStringList list;
        for (const CCompanyEntry &entry : entries)
            list << entry.m_displayName.section(u' ', 0, 0);
        list.sort();
        return list;
    };
    std::vector<CCompanyEntry> all;
    ScanObjectFolder(folder.path(), nullptr, all);
    QCOMPARE(names(all), (QStringList{"Ann", "Bob", "Cy"}));

    CPreviewList previews;
    std::vector<CCompanyEntry> listed;
    ScanObjectFolder(folder.path() + QLatin1Char('/'), &previews, listed);
    QCOMPARE(names(listed), (QStringList{"Ann", "Cy"}));
    QCOMPARE(previews.size(), 2);
    for (int i = 0; i < 2; ++i) {
        const CCompanyEntry &entry = listed[std::size_t(i)];
        QCOMPARE(entry.m_imageIndex, i);
        QVERIFY(ShowsFace(previews.at(i), entry.m_displayName.startsWith(u"Cy") ? 1 : 0));
        QCOMPARE(QFileInfo(entry.m_path).absolutePath(), folder.path());
    }

    std::vector<CCompanyEntry> none;
    ScanObjectFolder(dir.filePath(QStringLiteral("missing")), &previews, none);
    QVERIFY(none.empty());
}

void TestCatalogue::findInstalledCopy_data()
{
    QTest::addColumn<QByteArray>("installed");
    QTest::addColumn<bool>("found");

    const QByteArray brenda = CompanyBytes(QStringLiteral("Brenda Vale"));
    QTest::newRow("identical") << brenda << true;
    QTest::newRow("identical, no 24x24 picture")
        << brenda.left(kImageCount) + QByteArray(4, '\0') + brenda.mid(kImageCount + 4) << true;
    QTest::newRow("edited since") << CompanyBytes(QStringLiteral("Brenda Vale"), 1, 6) << false;
    QTest::newRow("saved later") << CompanyBytes(QStringLiteral("Brenda Vale"), 1, 5,
                                                 kStampTime.addDays(1)) << false;
}

void TestCatalogue::findInstalledCopy()
{
    QFETCH(QByteArray, installed);
    QFETCH(bool, found);

    QTemporaryDir objects;
    QVERIFY(objects.isValid());
    const QString exported = m_dir.filePath(QStringLiteral("Brenda Vale 2004-06-14.company"));
    QVERIFY(WriteFile(exported, CompanyBytes(QStringLiteral("Brenda Vale"))));
    const QString copy = objects.filePath(QStringLiteral("COMP7.DAT"));
    QVERIFY(WriteFile(copy, installed));
    QVERIFY(WriteFile(objects.filePath(QStringLiteral("COMP8.DAT")), CompanyBytes(QStringLiteral("Other"))));

    const std::optional<QString> match = FindInstalledCopy(exported, objects.path());
    QCOMPARE(match.has_value(), found);
    if (found)
        QCOMPARE(QFileInfo(*match).canonicalFilePath(), QFileInfo(copy).canonicalFilePath());
}

QTEST_GUILESS_MAIN(TestCatalogue)
#include "tst_catalogue.moc"
