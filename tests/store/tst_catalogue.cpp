// The catalogue over files made by the real writer and then cut or changed byte by byte:
// what it takes for a company, under which name and preview, and which installed copy import
// takes. Which files of a folder it reads shows in quorvel-tool list's tests.

#include "image/Palette.h"
#include "store/CompanyCatalogue.h"
#include "store/CompanyImport.h"
#include "tests/support/CompanyFiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

using namespace quorvel;
using namespace quorvel::test;

namespace {

// Where the writer puts things for the owner "Brenda Vale" and the specific word "Owner".
constexpr int kOwnerNul = 90;
constexpr int kImageCount = 100;
constexpr int kEntries = 108;
const QString kStamp = QStringLiteral(" (2004/06/14 15:26)");
const QString kBrenda = QStringLiteral("Brenda Vale") + kStamp;

QByteArray Changed(QByteArray bytes, qsizetype at, const QByteArray &with)
{
    return bytes.replace(at, with.size(), with);
}

// True when the preview shows the expression's 24x24 face pixel for pixel.
bool ShowsFace(const QImage &preview, int expression)
{
    for (int k = 0; k < kSmallFaceBytes; ++k) {
        const CRgbTriple &c = PaletteEntry(7 * expression + k);
        if (preview.pixel(k % 24, k / 24) != qRgb(c.red, c.green, c.blue))
            return false;
    }
    return preview.size() == QSize(24, 24);
}

} // namespace

class TestCatalogue : public QObject
{
    Q_OBJECT

private slots:
    void loadFromFile_data();
    void loadFromFile();
    void findInstalledCopy_data();
    void findInstalledCopy();
#ifdef Q_OS_UNIX
    void nameDecodedWithLossLeftOut();
#endif

private:
    QTemporaryDir m_dir;
};

void TestCatalogue::loadFromFile_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("company"); // valid without previews: what import sees
    QTest::addColumn<int>("preview");  // the expression the preview shows; -1: not listed
    QTest::addColumn<QString>("name");

    const QByteArray brenda = CompanyBytes(QStringLiteral("Brenda Vale"));
    const QByteArray two = CompanyBytes(QStringLiteral("Brenda Vale"), 0x3);
    // The happy face's 24x24 entry before the default face's.
    const QByteArray swapped = Changed(Changed(two, kEntries, two.mid(kEntries + 32, 16)),
                                       kEntries + 32, two.mid(kEntries, 16));
    QByteArray longName = brenda;
    longName.insert(kOwnerNul - 11, QByteArray(1100, 'x'));

    QTest::newRow("as written") << brenda << true << 0 << kBrenda;
    QTest::newRow("first 24x24 entry, not lowest expression") << swapped << true << 1 << kBrenda;
    QTest::newRow("no faces") << CompanyBytes(QStringLiteral("Brenda Vale"), 0) << true << -1 << kBrenda;
    QTest::newRow("another kind of object") << Changed(brenda, 4, "SCNR") << false << -1 << "";
    QTest::newRow("kind byte 0x25") << Changed(brenda, 0, "\x25") << false << -1 << "";
    QTest::newRow("owner without lead byte") << brenda.left(78) + brenda.mid(79) << true << 0 << kBrenda;
    QTest::newRow("empty owner") << CompanyBytes(QString()) << true << 0 << kStamp;
    QTest::newRow("owner in the code page") << CompanyBytes(QStringLiteral("Zo\u00eb \u20ac")) << true
                                            << 0 << QStringLiteral("Zo\u00eb \u20ac") + kStamp;
    QTest::newRow("owner longer than 1023") << longName << true << 0 << QString(1023, u'x') + kStamp;
    QByteArray endless = brenda;
    endless.insert(kOwnerNul - 11, QByteArray(64 * 1024, 'x'));
    QTest::newRow("owner of 64 KiB") << endless << false << -1 << "";
    QTest::newRow("negative image count") << Changed(brenda, kImageCount, "\xff\xff\xff\xff") << true
                                          << -1 << kBrenda;
    QTest::newRow("ends in the header") << brenda.left(10) << false << -1 << "";
    QTest::newRow("ends before its end byte") << brenda.left(kOwnerNul + 1) << false << -1 << "";
    QTest::newRow("ends in the image entries") << brenda.left(kEntries + 20) << true << -1 << kBrenda;
    QTest::newRow("ends in the preview") << brenda.left(kEntries + 532) << true << -1 << kBrenda;
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
    QCOMPARE(plain.m_displayName, name);
    QCOMPARE(plain.m_checksum, company ? GetU32(reinterpret_cast<const std::uint8_t *>(bytes.data()) + 12) : 0u);

    // The list holds a picture already: the entry names its own, the second.
    CPreviewList previews{QImage()};
    CCompanyEntry listed;
    QCOMPARE(listed.LoadFromFile(path, &previews), preview >= 0);
    QCOMPARE(listed.m_imageIndex, preview >= 0 ? 1 : -1);
    QCOMPARE(previews.size(), preview >= 0 ? 2 : 1);
    if (preview >= 0)
        QVERIFY(ShowsFace(previews.at(1), preview));
}

void TestCatalogue::findInstalledCopy_data()
{
    QTest::addColumn<QByteArray>("installed");
    QTest::addColumn<bool>("found");

    const QByteArray brenda = CompanyBytes(QStringLiteral("Brenda Vale"));
    QTest::newRow("identical") << brenda << true;
    QTest::newRow("identical, no 24x24 picture") << Changed(brenda, kImageCount, QByteArray(4, 0)) << true;
    QTest::newRow("edited since") << CompanyBytes(QStringLiteral("Brenda Vale"), 1, 6) << false;
    QTest::newRow("saved later") << CompanyBytes(QStringLiteral("Brenda Vale"), 1, 5, kStampTime.addDays(1))
                                 << false;
    QTest::newRow("owner's case") << CompanyBytes(QStringLiteral("brenda vale")) << false;
}

void TestCatalogue::findInstalledCopy()
{
    QFETCH(QByteArray, installed);
    QFETCH(bool, found);

    QTemporaryDir objects;
    const QString exported = m_dir.filePath(QStringLiteral("Brenda Vale 2004-06-14.company"));
    const QString copy = objects.filePath(QStringLiteral("COMP7.DAT"));
    QVERIFY(WriteFile(exported, CompanyBytes(QStringLiteral("Brenda Vale"))));
    QVERIFY(WriteFile(copy, installed));
    QVERIFY(WriteFile(objects.filePath(QStringLiteral("COMP8.DAT")), CompanyBytes(QStringLiteral("Other"))));

    const std::optional<QString> match = FindInstalledCopy(exported, objects.path());
    QCOMPARE(match.value_or(QString()), found ? copy : QString());
}

#ifdef Q_OS_UNIX
void TestCatalogue::nameDecodedWithLossLeftOut()
{
    // "\xe9.DAT" is decoded as "\uFFFD.DAT", the name of the other file, which a scan would
    // then read twice, the first time for a file it never read.
    QTemporaryDir objects;
    const QString folder = objects.path();
    const QByteArray latin = CompanyBytes(QStringLiteral("Latin"));
    std::FILE *raw = std::fopen((QFile::encodeName(folder) + "/\xe9.DAT").constData(), "wb");
    QVERIFY(raw);
    QCOMPARE(std::fwrite(latin.constData(), 1, std::size_t(latin.size()), raw), std::size_t(latin.size()));
    QCOMPARE(std::fclose(raw), 0);
    QVERIFY(WriteFile(folder + QStringLiteral("/\uFFFD.DAT"), CompanyBytes(QStringLiteral("Unicode"))));

    std::vector<CCompanyEntry> entries;
    ScanObjectFolder(folder, nullptr, entries);
    QCOMPARE(entries.size(), std::size_t(1));
    QCOMPARE(entries.front().m_displayName, QStringLiteral("Unicode") + kStamp);
}
#endif

QTEST_GUILESS_MAIN(TestCatalogue)
#include "tst_catalogue.moc"
