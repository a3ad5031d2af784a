// The company object file: byte-exact output, round trips, what the reader tolerates, and
// every kind of malformed file it must refuse without touching memory it does not own.

#include "company/CompanyFile.h"
#include "company/CompanyRecord.h"
#include "platform/Archive.h"
#include "tests/support/CompanyFiles.h"

#include <QBuffer>
#include <QRandomGenerator>
#include <QTest>

#include <cstring>

using namespace quorvel;

namespace {

const QDateTime kSaveTime(QDate(2004, 6, 14), QTime(15, 27), Qt::UTC);

QByteArray Write(const CCompanyRecord &record, bool modified)
{
    return test::RecordBytes(record, modified);
}

void FillFaces(CCompanyRecord &record, std::uint8_t value)
{
    CSmallFace small;
    CLargeFace large;
    small.fill(value);
    large.fill(value);
    for (int i = 0; i < kExpressionCount; ++i) {
        record.SetSmallFaceBytes(i, small.data());
        record.SetLargeFaceBytes(i, large.data());
    }
}

// True when read; false when rejected the one way the reader may reject.
bool Read(const QByteArray &bytes, CCompanyRecord &record)
{
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    CArchive archive(&buffer, CArchive::load);
    try {
        ReadCompany(archive, record);
    } catch (const CArchiveException &e) {
        if (e.cause() != CArchiveException::badIndex)
            qFatal("rejected with cause %d", int(e.cause()));
        return false;
    }
    return true;
}

void PutU32(QByteArray &bytes, qsizetype at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = char(v >> (8 * i));
}

void PutU16(QByteArray &bytes, qsizetype at, std::uint16_t v)
{
    bytes[at] = char(v);
    bytes[at + 1] = char(v >> 8);
}

std::uint32_t GetU32(const QByteArray &bytes, qsizetype at)
{
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | std::uint8_t(bytes[at + i]);
    return v;
}

// Puts the checksum that matches the rest of the file into its header.
void FixChecksum(QByteArray &bytes)
{
    CObjectChecksum checksum;
    checksum.Update(bytes.constData(), 1);
    checksum.Update(bytes.constData() + 4, 8);
    checksum.Update(bytes.constData() + 21, std::size_t(bytes.size() - 21));
    PutU32(bytes, 12, checksum.Value());
}

// Where the image count sits in a file whose strings are the new-company defaults.
constexpr qsizetype kCountAt = 83 + 11 + 5; // L1 = 11 ("\x88Owner Name"), L2 = 5 ("Owner")
constexpr qsizetype kEntriesAt = kCountAt + 8;

void NewCompany(CCompanyRecord &record)
{
    record.SetNewCompanyDefaults();
    CDateStamp stamp;
    PackDateStamp(stamp, kSaveTime);
    record.SetDateStamp(stamp);
}

// A new company with faces for the expressions in mask, each face filled with its own value.
QByteArray CompanyFile(std::uint32_t mask)
{
    CCompanyRecord record;
    NewCompany(record);
    for (int i = 0; i < kExpressionCount; ++i) {
        if (!(mask & (1u << i)))
            continue;
        CSmallFace small;
        CLargeFace large;
        small.fill(std::uint8_t(0x10 + i));
        large.fill(std::uint8_t(0x40 + i));
        record.SetFaces(1u << i, small.data(), large.data());
    }
    return Write(record, false);
}

// An entry rewritten in place; the checksum is fixed so that only the entry is at fault.
QByteArray WithEntry(QByteArray bytes, int entry, std::uint32_t offset, int width, int height)
{
    const qsizetype at = kEntriesAt + 16 * entry;
    PutU32(bytes, at, offset);
    PutU16(bytes, at + 4, std::uint16_t(width));
    PutU16(bytes, at + 6, std::uint16_t(height));
    FixChecksum(bytes);
    return bytes;
}

QString RandomText(QRandomGenerator &random, int maxLength)
{
    // Printable text from the whole code page, the high half included.
    static const QString alphabet = QStringLiteral(
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 .,&:/\\-_'"
        "\u00e9\u00fc\u00df\u00c6\u20ac\u0152\u2122\u00ff\u00a0");
    QString text;
    const int length = int(random.bounded(maxLength + 1));
    for (int i = 0; i < length; ++i)
        text += alphabet[int(random.bounded(alphabet.size()))];
    return text;
}

} // namespace

class TestCompanyFile : public QObject
{
    Q_OBJECT

private slots:
    void checksum_data();
    void checksum();
    void knownNewCompany();
    void objectName_data();
    void objectName();
    void roundTrip_data();
    void roundTrip();
    void stampOnWrite();
    void noExpressions();
    void longTexts_data();
    void longTexts();
    void lenientReading_data();
    void lenientReading();
    void malformed_data();
    void malformed();
    void truncatedAnywhere();
    void changedBytes();
    void exportFileName_data();
    void exportFileName();
};

void TestCompanyFile::checksum_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<uint>("expected");

    QTest::newRow("nothing") << QByteArray() << 0xF369A75Bu;
    QTest::newRow("abc") << QByteArray("abc") << 0xFE505675u;
}

void TestCompanyFile::checksum()
{
    QFETCH(QByteArray, bytes);
    QFETCH(uint, expected);

    CObjectChecksum whole;
    whole.Update(bytes.constData(), std::size_t(bytes.size()));
    QCOMPARE(whole.Value(), expected);
    // Folding in pieces gives the same state.
    CObjectChecksum pieces;
    for (char c : bytes)
        pieces.Update(&c, 1);
    QCOMPARE(pieces.Value(), expected);
}

void TestCompanyFile::knownNewCompany()
{
    qputenv("SOURCE_DATE_EPOCH", QByteArray::number(kSaveTime.toSecsSinceEpoch()));
    CCompanyRecord record;
    record.SetNewCompanyDefaults();
    record.SetDateStamp({0, 0, 0});
    const CSmallFace small{};
    const CLargeFace large{};
    record.SetFaces(1, small.data(), large.data());
    const QByteArray bytes = Write(record, true);
    qunsetenv("SOURCE_DATE_EPOCH");

    QCOMPARE(bytes.size(), 4811);
    QCOMPARE(bytes.left(21).toHex(' '),
             QByteArray("20 fd 9c 11 43 4f 4d 50 4f 77 6e 65 3b d8 91 98 00 b6 12 00 00"));
    // The writer takes the record as it is: the stamp written is the caller's to keep.
    QCOMPARE(record.GetDateStamp(), (CDateStamp{0, 0, 0}));
}

void TestCompanyFile::objectName_data()
{
    QTest::addColumn<QString>("word");
    QTest::addColumn<QByteArray>("name");

    QTest::newRow("two letters") << QStringLiteral("Al") << QByteArray("COMPAl\0\0", 8);
    QTest::newRow("empty") << QString() << QByteArray("COMP\0\0\0\0", 8);
    QTest::newRow("long word") << QStringLiteral("Halvorsen") << QByteArray("COMPHalv");
    QTest::newRow("code page") << QStringLiteral("\u20acuro") << QByteArray("COMP\x80uro");
}

void TestCompanyFile::objectName()
{
    QFETCH(QString, word);
    QFETCH(QByteArray, name);

    CCompanyRecord record;
    NewCompany(record);
    record.SetSpecificWord(word);
    const QByteArray bytes = Write(record, false);
    QCOMPARE(bytes.mid(4, 8), name);
    CCompanyRecord back;
    QVERIFY(Read(bytes, back));
    QCOMPARE(back.GetSpecificWord(), word);
}

void TestCompanyFile::roundTrip_data()
{
    QTest::addColumn<quint32>("seed");
    for (quint32 seed : {1u, 2u, 3u, 17u, 99u, 2004u, 4711u, 65537u})
        QTest::addRow("seed %u", seed) << seed;
}

void TestCompanyFile::roundTrip()
{
    QFETCH(quint32, seed);
    QRandomGenerator random(seed);

    CCompanyRecord record;
    record.SetNewCompanyDefaults();
    // Every byte of the data block, reserved and unnamed bits included, must survive.
    std::uint8_t raw[kCompanyDataSize];
    for (auto &b : raw)
        b = std::uint8_t(random.bounded(256));
    record.SetData(DecodeCompanyData(raw));
    record.SetOwnerName(RandomText(random, 252));
    record.SetSpecificWord(RandomText(random, 253));
    for (int i = 0; i < kExpressionCount; ++i) {
        CSmallFace small;
        CLargeFace large;
        for (auto &p : small)
            p = std::uint8_t(random.bounded(256));
        for (auto &p : large)
            p = std::uint8_t(random.bounded(256));
        record.SetSmallFaceBytes(i, small.data());
        record.SetLargeFaceBytes(i, large.data());
    }
    CDateStamp stamp;
    PackDateStamp(stamp, kSaveTime.addSecs(qint64(random.bounded(1u << 30))));
    record.SetDateStamp(stamp);

    const QByteArray bytes = Write(record, false);
    const int n = int(PresentExpressions(record.GetExpressionMask()).size());
    const auto textLengths =
        qstrlen(record.OwnerNameField().data()) + qstrlen(record.SpecificWordField().data());
    QCOMPARE(bytes.size(), qsizetype(91 + textLengths + 4704 * n));

    CCompanyRecord back;
    FillFaces(back, 0xCC);
    QVERIFY(Read(bytes, back));
    std::uint8_t want[kCompanyDataSize], got[kCompanyDataSize];
    EncodeCompanyData(record.Data(), want);
    EncodeCompanyData(back.Data(), got);
    QCOMPARE(QByteArray(reinterpret_cast<char *>(got), kCompanyDataSize),
             QByteArray(reinterpret_cast<char *>(want), kCompanyDataSize));
    QCOMPARE(back.GetOwnerName(), record.GetOwnerName());
    QCOMPARE(back.OwnerNameField(), record.OwnerNameField());
    QCOMPARE(back.GetSpecificWord(), record.GetSpecificWord());
    QCOMPARE(back.GetDateStamp(), record.GetDateStamp());
    for (int i = 0; i < kExpressionCount; ++i) {
        const bool present = record.GetExpressionMask() & (1u << i);
        CSmallFace untouchedSmall;
        CLargeFace untouchedLarge;
        untouchedSmall.fill(0xCC);
        untouchedLarge.fill(0xCC);
        QCOMPARE(back.SmallFace(i), present ? record.SmallFace(i) : untouchedSmall);
        QCOMPARE(back.LargeFace(i), present ? record.LargeFace(i) : untouchedLarge);
    }
    // A company written while not modified comes back byte for byte.
    QCOMPARE(Write(back, false), bytes);
}

void TestCompanyFile::stampOnWrite()
{
    CCompanyRecord record;
    NewCompany(record);
    const CDateStamp saved = record.GetDateStamp();
    qputenv("SOURCE_DATE_EPOCH", QByteArray::number(kSaveTime.addDays(400).toSecsSinceEpoch()));
    const QByteArray first = Write(record, false);
    const QByteArray second = Write(record, false);
    QCOMPARE(record.GetDateStamp(), saved);
    QCOMPARE(second, first);

    // The stamp is outside the checksum: other stamp bytes still read, into the record's stamp.
    QByteArray restamped = first;
    restamped[1] = char(0x12);
    restamped[3] = char(0x7F);
    CCompanyRecord back;
    QVERIFY(Read(restamped, back));
    QCOMPARE(back.GetDateStamp(), (CDateStamp{0x12, std::uint8_t(first[2]), 0x7F}));

    const QByteArray modified = Write(record, true);
    qunsetenv("SOURCE_DATE_EPOCH");
    CDateStamp written;
    std::memcpy(written.data(), modified.constData() + 1, 3);
    QCOMPARE(FormatDateStamp(written), QStringLiteral("2005/07/19 15:26"));
    QCOMPARE(record.GetDateStamp(), saved);
    QCOMPARE(modified.mid(12, 4), first.mid(12, 4));
}

void TestCompanyFile::noExpressions()
{
    const QByteArray bytes = CompanyFile(0);
    QCOMPARE(bytes.size(), 91 + 11 + 5);
    QCOMPARE(GetU32(bytes, 17), std::uint32_t(70 + 11 + 5));
    QCOMPARE(GetU32(bytes, kCountAt), 0u);
    QCOMPARE(GetU32(bytes, kCountAt + 4), 0u);
    CCompanyRecord back;
    QVERIFY(Read(bytes, back));
    QCOMPARE(back.GetExpressionMask(), 0u);
    QCOMPARE(Write(back, false), bytes);
}

void TestCompanyFile::longTexts_data()
{
    QTest::addColumn<int>("ownerLength");
    QTest::addColumn<int>("wordLength");
    QTest::addColumn<int>("ownerBack");
    QTest::addColumn<int>("wordBack");

    QTest::newRow("short") << 10 << 10 << 10 << 10;
    QTest::newRow("owner 252 survives") << 252 << 0 << 252 << 0;
    // The reader keeps 253 bytes of a text, the lead byte included.
    QTest::newRow("owner 253 loses one") << 253 << 0 << 252 << 0;
    QTest::newRow("word 253 survives") << 0 << 253 << 0 << 253;
    QTest::newRow("word 254 loses one") << 0 << 254 << 0 << 253;
}

void TestCompanyFile::longTexts()
{
    QFETCH(int, ownerLength);
    QFETCH(int, wordLength);
    QFETCH(int, ownerBack);
    QFETCH(int, wordBack);

    CCompanyRecord record;
    NewCompany(record);
    record.SetOwnerName(QString(ownerLength, QLatin1Char('o')));
    record.SetSpecificWord(QString(wordLength, QLatin1Char('w')));
    const QByteArray bytes = Write(record, false);
    QCOMPARE(bytes.size(), 91 + 1 + ownerLength + wordLength);
    CCompanyRecord back;
    QVERIFY(Read(bytes, back));
    QCOMPARE(back.GetOwnerName(), QString(ownerBack, QLatin1Char('o')));
    QCOMPARE(back.GetSpecificWord(), QString(wordBack, QLatin1Char('w')));
}

void TestCompanyFile::lenientReading_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<uint>("mask");

    const QByteArray one = CompanyFile(0x1);
    QByteArray kind25 = one;
    kind25[0] = char(0x25);
    FixChecksum(kind25);
    QTest::newRow("kind byte 0x25") << kind25 << 0x1u;

    QByteArray kind7f = one;
    kind7f[0] = char(0x7F);
    FixChecksum(kind7f);
    QTest::newRow("kind byte 0x7F") << kind7f << 0x1u;

    QByteArray otherLength = one;
    PutU32(otherLength, 17, 0xFFFFFFFF);
    QTest::newRow("data length ignored") << otherLength << 0x1u;

    QTest::newRow("32x18 entry is a small face") << WithEntry(one, 0, 0, 32, 18) << 0x1u;
    QTest::newRow("128x32 entry is a large face") << WithEntry(one, 1, 576, 128, 32) << 0x1u;

    // Large entry first, then small: each size is dealt out on its own.
    QByteArray swapped = WithEntry(one, 0, 576, 64, 64);
    swapped = WithEntry(swapped, 1, 0, 24, 24);
    QTest::newRow("entries in any order") << swapped << 0x1u;

    // Mask bits 0 and 3, but only the pair for expression 0 in the table.
    QByteArray partial = one;
    PutU32(partial, 21 + 12, 0x9);
    FixChecksum(partial);
    QTest::newRow("expression without images keeps its slots") << partial << 0x9u;

    QByteArray trailing = one + QByteArray(10, 'x');
    QTest::newRow("bytes after the image data") << trailing << 0x1u;
}

void TestCompanyFile::lenientReading()
{
    QFETCH(QByteArray, bytes);
    QFETCH(uint, mask);

    CCompanyRecord record;
    FillFaces(record, 0xCC);
    QVERIFY(Read(bytes, record));
    QCOMPARE(record.GetExpressionMask(), mask);
    QCOMPARE(record.GetOwnerName(), QStringLiteral("Owner Name"));
    CSmallFace smallFromFile, untouchedSmall;
    CLargeFace largeFromFile, untouchedLarge;
    smallFromFile.fill(0x10);
    largeFromFile.fill(0x40);
    untouchedSmall.fill(0xCC);
    untouchedLarge.fill(0xCC);
    QCOMPARE(record.SmallFace(0), smallFromFile);
    QCOMPARE(record.LargeFace(0), largeFromFile);
    for (int i = 1; i < kExpressionCount; ++i) {
        QCOMPARE(record.SmallFace(i), untouchedSmall);
        QCOMPARE(record.LargeFace(i), untouchedLarge);
    }
}

void TestCompanyFile::malformed_data()
{
    QTest::addColumn<QByteArray>("bytes");

    const QByteArray one = CompanyFile(0x1);
    const QByteArray two = CompanyFile(0x9); // default and thinking

    for (int kind : {0x80, 0xA0, 0xFF}) {
        QByteArray bytes = one;
        bytes[0] = char(kind);
        FixChecksum(bytes);
        QTest::addRow("kind byte 0x%X", kind) << bytes;
    }
    QByteArray encoding = one;
    encoding[16] = char(1);
    QTest::newRow("encoding byte 1") << encoding;

    QTest::newRow("empty file") << QByteArray();
    QTest::newRow("header only") << one.left(16);

    QByteArray noNul = one.left(77);
    noNul += QByteArray(600, 'n');
    QTest::newRow("owner name runs to the end") << noNul;
    // No company has an owner name this long; the reader stops looking for its NUL.
    QByteArray endless = one;
    endless.insert(80, QByteArray(64 * 1024, 'n'));
    FixChecksum(endless);
    QTest::newRow("owner name of 64 KiB") << endless;

    QByteArray wrongChecksum = one;
    PutU32(wrongChecksum, 12, GetU32(one, 12) + 1);
    QTest::newRow("checksum off by one") << wrongChecksum;

    QTest::newRow("three small faces for two expressions") << WithEntry(two, 1, 576, 24, 24);
    QTest::newRow("two large faces for one expression") << WithEntry(one, 0, 0, 64, 64);
    QTest::newRow("10x10 image") << WithEntry(one, 0, 0, 10, 10);
    QTest::newRow("0x0 image") << WithEntry(one, 0, 0, 0, 0);
    QTest::newRow("64x65 image") << WithEntry(one, 1, 576, 64, 65);
    QTest::newRow("small pixels one byte past the data") << WithEntry(one, 0, 4672 - 575, 24, 24);
    QTest::newRow("large pixels one byte past the data") << WithEntry(one, 1, 577, 64, 64);
    QTest::newRow("offset wraps 32 bits") << WithEntry(one, 0, 0xFFFFFFFF, 24, 24);
    QTest::newRow("offset far out") << WithEntry(one, 1, 0x80000000, 64, 64);

    QByteArray shortData = one.left(one.size() - 1);
    PutU32(shortData, kCountAt + 4, 4671);
    FixChecksum(shortData);
    QTest::newRow("image data one byte short of its entries") << shortData;

    struct { const char *name; std::uint32_t count, size; } sizes[] = {
        {"count one more than entries", 3, 4672},
        {"size larger than the file", 2, 4673},
        {"huge count", 0xFFFFFFFF, 4672},
        {"huge size", 2, 0xFFFFFFFF},
        {"both huge", 0xFFFFFFFF, 0xFFFFFFFF},
        {"count times 16 wraps to zero", 0x10000000, 4672},
        {"count times 16 plus size wraps", 0x0FFFFFFF, 0x20},
        {"nineteen entries", 19, 0},
    };
    for (const auto &row : sizes) {
        QByteArray bytes = one;
        PutU32(bytes, kCountAt, row.count);
        PutU32(bytes, kCountAt + 4, row.size);
        FixChecksum(bytes);
        QTest::newRow(row.name) << bytes;
    }
}

void TestCompanyFile::malformed()
{
    QFETCH(QByteArray, bytes);

    CCompanyRecord record;
    NewCompany(record);
    record.SetOwnerName(QStringLiteral("Kept"));
    const CCompanyRecord before = record;
    QVERIFY(!Read(bytes, record));
    // A rejected file leaves the company as it was.
    QCOMPARE(Write(record, false), Write(before, false));
    for (int i = 0; i < kExpressionCount; ++i) {
        QCOMPARE(record.SmallFace(i), before.SmallFace(i));
        QCOMPARE(record.LargeFace(i), before.LargeFace(i));
    }
}

void TestCompanyFile::truncatedAnywhere()
{
    const QByteArray whole = CompanyFile(0x9);
    CCompanyRecord record;
    QVERIFY(Read(whole, record));
    for (qsizetype length = 0; length < whole.size(); ++length) {
        if (!Read(whole.left(length), record))
            continue;
        QFAIL(qPrintable(QStringLiteral("a file cut to %1 bytes was read").arg(length)));
    }
}

void TestCompanyFile::changedBytes()
{
    // Only the stamp (1-3) and the data length (17-20) may change without a rejection.
    const QByteArray whole = CompanyFile(0x9);
    for (int flip : {0x01, 0x80, 0xFF}) {
        for (qsizetype at = 0; at < whole.size(); ++at) {
            QByteArray bytes = whole;
            bytes[at] = char(bytes[at] ^ flip);
            CCompanyRecord record;
            const bool readable = (at >= 1 && at <= 3) || (at >= 17 && at <= 20);
            if (Read(bytes, record) != readable)
                QFAIL(qPrintable(QStringLiteral("byte %1 xor 0x%2: read %3")
                                     .arg(at).arg(flip, 0, 16).arg(!readable)));
        }
    }
}

void TestCompanyFile::exportFileName_data()
{
    QTest::addColumn<QString>("owner");
    QTest::addColumn<bool>("modified");
    QTest::addColumn<QString>("expected");

    QTest::newRow("plain") << QStringLiteral("Owner Name") << false << QStringLiteral("Owner Name 2004-06-14.company");
    QTest::newRow("full stop and ampersand") << QStringLiteral("J. Smith & Sons") << false
                                             << QStringLiteral("J  Smith   Sons 2004-06-14.company");
    QTest::newRow("run of colons") << QStringLiteral("A::B") << false << QStringLiteral("A B 2004-06-14.company");
    QTest::newRow("separators") << QStringLiteral("a/b\\c") << false << QStringLiteral("a-b-c 2004-06-14.company");
    QTest::newRow("run ends at a dash") << QStringLiteral("x./.y") << false << QStringLiteral("x - y 2004-06-14.company");
    QTest::newRow("kept punctuation") << QStringLiteral("a+b,c-d_e") << false << QStringLiteral("a+b,c-d_e 2004-06-14.company");
    QTest::newRow("upper half of the code page") << QStringLiteral("Caf\u00e9 \u20ac\u00ff") << false
                                                 << QStringLiteral("Caf\u00e9 \u20ac\u00ff 2004-06-14.company");
    QTest::newRow("not in the code page") << QStringLiteral("Snow\u2603man") << false << QStringLiteral("Snow man 2004-06-14.company");
    QTest::newRow("empty") << QString() << false << QStringLiteral(" 2004-06-14.company");
    QTest::newRow("modified takes today") << QStringLiteral("Owner Name") << true
                                          << QStringLiteral("Owner Name 2011-02-03.company");
}

void TestCompanyFile::exportFileName()
{
    QFETCH(QString, owner);
    QFETCH(bool, modified);
    QFETCH(QString, expected);

    CCompanyRecord record;
    NewCompany(record);
    record.SetOwnerName(owner);
    const CDateStamp stamp = record.GetDateStamp();
    qputenv("SOURCE_DATE_EPOCH",
            QByteArray::number(QDateTime(QDate(2011, 2, 3), QTime(23, 59), Qt::UTC).toSecsSinceEpoch()));
    const QString name = ExportFileName(record, modified);
    qunsetenv("SOURCE_DATE_EPOCH");
    QCOMPARE(name, expected);
    QCOMPARE(record.GetDateStamp(), stamp);
}

QTEST_GUILESS_MAIN(TestCompanyFile)
#include "tst_companyfile.moc"
