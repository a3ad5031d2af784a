// The record operations: what they store, and that they report a change exactly when the
// stored company changes.

#include "company/CompanyRecord.h"

#include <QTest>

#include <cstring>

using namespace quorvel;

namespace {

// Counts the setters' reports of a change.
class CCountingRecord : public CCompanyRecord
{
public:
    int changes = 0;

    void SetOwnerName(const QString &name) { changes += CCompanyRecord::SetOwnerName(name); }
    void SetSpecificWord(const QString &word) { changes += CCompanyRecord::SetSpecificWord(word); }
    void SetFirstWordAllowed(std::uint32_t bit, bool on) { changes += CCompanyRecord::SetFirstWordAllowed(bit, on); }
    void SetSecondWordAllowed(std::uint32_t bit, bool on) { changes += CCompanyRecord::SetSecondWordAllowed(bit, on); }
    void SetIntelligence(int value) { changes += CCompanyRecord::SetIntelligence(value); }
    void SetAggressiveness(int value) { changes += CCompanyRecord::SetAggressiveness(value); }
    void SetCompetitiveness(int value) { changes += CCompanyRecord::SetCompetitiveness(value); }
    void SetFaces(std::uint32_t bit, const std::uint8_t *small, const std::uint8_t *large)
    {
        changes += CCompanyRecord::SetFaces(bit, small, large);
    }
    void SetExpressionMask(std::uint32_t mask)
    {
        CCompanyData data = Data();
        data.m_expressionMask = mask;
        SetData(data);
    }
};

QDateTime Utc(int y, int mo, int d, int h, int mi)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi), Qt::UTC);
}

QByteArray StampBytes(const CDateStamp &stamp)
{
    return QByteArray(reinterpret_cast<const char *>(stamp.data()), 3);
}

} // namespace

class TestCompanyRecord : public QObject
{
    Q_OBJECT

private slots:
    void newCompanyDefaults();
    void ownerName_data();
    void ownerName();
    void specificWord_data();
    void specificWord();
    void wordMasks_data();
    void wordMasks();
    void ratings_data();
    void ratings();
    void setFaces_data();
    void setFaces();
    void getFaces_data();
    void getFaces();
    void packDateStamp_data();
    void packDateStamp();
    void currentTimeStamp();
};

void TestCompanyRecord::newCompanyDefaults()
{
    qputenv("SOURCE_DATE_EPOCH", QByteArray::number(Utc(2004, 6, 14, 15, 27).toSecsSinceEpoch()));
    CCountingRecord record;
    CCompanyData previous = record.Data();
    previous.m_reserved16[3] = 0x5A; // kept from a previous company
    previous.m_expressionMask = 0x1FF;
    record.SetData(previous);
    record.SetNewCompanyDefaults();
    qunsetenv("SOURCE_DATE_EPOCH");

    QCOMPARE(record.GetOwnerName(), QStringLiteral("Owner Name"));
    QCOMPARE(std::uint8_t(record.OwnerNameField()[0]), kOwnerNameLeadByte);
    QCOMPARE(record.GetSpecificWord(), QStringLiteral("Owner"));
    QCOMPARE(record.GetFirstWordMask(), 0x1FFFu);
    QCOMPARE(record.GetSecondWordMask(), 0x1FFFu);
    QCOMPARE(record.GetExpressionMask(), 0u);
    QCOMPARE(record.GetIntelligence(), 5);
    QCOMPARE(record.GetAggressiveness(), 5);
    QCOMPARE(record.GetCompetitiveness(), 5);
    QCOMPARE(record.Data().m_reserved16[3], std::uint8_t(0x5A));
    QCOMPARE(StampBytes(record.GetDateStamp()), QByteArray("\xFD\x9C\x11", 3));
    QVERIFY(record.IsFirstWordAllowed(0x1000));
    QVERIFY(!record.IsFirstWordAllowed(0x2000));
    QCOMPARE(record.changes, 0);
}

void TestCompanyRecord::ownerName_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("changes");

    QTest::newRow("same as stored") << QStringLiteral("Owner Name") << QStringLiteral("Owner Name") << 0;
    QTest::newRow("new name") << QStringLiteral("J. Smith & Sons") << QStringLiteral("J. Smith & Sons") << 1;
    QTest::newRow("empty") << QString() << QString() << 1;
    QTest::newRow("300 characters") << QString(300, QLatin1Char('x')) << QString(253, QLatin1Char('x')) << 1;
    QTest::newRow("same within 253") << QStringLiteral("Owner Name") + QString(300, QLatin1Char('y'))
                                     << QStringLiteral("Owner Name") + QString(243, QLatin1Char('y')) << 1;
    QTest::newRow("code page text") << QStringLiteral("Caf\u00e9 \u20ac \u0152") << QStringLiteral("Caf\u00e9 \u20ac \u0152") << 1;
    QTest::newRow("outside code page") << QStringLiteral("Snow \u2603 \u4e2d") << QStringLiteral("Snow ? ?") << 1;
    QTest::newRow("embedded NUL") << QStringLiteral("Owner Name") + QChar(0) + QStringLiteral("tail")
                                  << QStringLiteral("Owner Name") << 0;
}

void TestCompanyRecord::ownerName()
{
    QFETCH(QString, text);
    QFETCH(QString, stored);
    QFETCH(int, changes);

    CCountingRecord record;
    record.SetNewCompanyDefaults();
    // Fill the field with junk past the name, as a read file may leave it.
    CNameField junk = record.OwnerNameField();
    std::memset(junk.data() + 12, 'z', kNameFieldSize - 13);
    junk[11] = '\0';
    record.SetOwnerNameField(junk);
    record.SetOwnerName(text);

    QCOMPARE(record.GetOwnerName(), stored);
    QCOMPARE(record.changes, changes);
    QCOMPARE(std::uint8_t(record.OwnerNameField()[0]), kOwnerNameLeadByte);
    QCOMPARE(record.OwnerNameField()[254], '\0');

    // Setting the same text again changes nothing.
    record.SetOwnerName(stored);
    QCOMPARE(record.changes, changes);
}

void TestCompanyRecord::specificWord_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("changes");

    QTest::newRow("same as stored") << QStringLiteral("Owner") << QStringLiteral("Owner") << 0;
    QTest::newRow("new word") << QStringLiteral("Al") << QStringLiteral("Al") << 1;
    QTest::newRow("300 characters") << QString(300, QLatin1Char('w')) << QString(254, QLatin1Char('w')) << 1;
    QTest::newRow("outside code page") << QStringLiteral("\u0416") << QStringLiteral("?") << 1;
}

void TestCompanyRecord::specificWord()
{
    QFETCH(QString, text);
    QFETCH(QString, stored);
    QFETCH(int, changes);

    CCountingRecord record;
    record.SetNewCompanyDefaults();
    record.SetSpecificWord(text);
    QCOMPARE(record.GetSpecificWord(), stored);
    QCOMPARE(record.changes, changes);
    QCOMPARE(record.SpecificWordField()[254], '\0');
}

void TestCompanyRecord::wordMasks_data()
{
    QTest::addColumn<bool>("second");
    QTest::addColumn<uint>("mask");
    QTest::addColumn<uint>("bit");
    QTest::addColumn<bool>("on");
    QTest::addColumn<uint>("expected");
    QTest::addColumn<int>("changes");

    for (bool second : {false, true}) {
        const char *table = second ? "second" : "first";
        QTest::addRow("%s: set a set bit", table) << second << 0x1FFFu << 0x10u << true << 0x1FFFu << 0;
        QTest::addRow("%s: clear a set bit", table) << second << 0x1FFFu << 0x10u << false << 0x1FEFu << 1;
        QTest::addRow("%s: clear a clear bit", table) << second << 0x1FEFu << 0x10u << false << 0x1FEFu << 0;
        QTest::addRow("%s: set a clear bit", table) << second << 0x0u << 0x1000u << true << 0x1000u << 1;
        QTest::addRow("%s: unnamed bits kept", table) << second << 0xA0000001u << 0x1u << false << 0xA0000000u << 1;
    }
}

void TestCompanyRecord::wordMasks()
{
    QFETCH(bool, second);
    QFETCH(uint, mask);
    QFETCH(uint, bit);
    QFETCH(bool, on);
    QFETCH(uint, expected);
    QFETCH(int, changes);

    CCountingRecord record;
    if (second)
        record.SetSecondWordMask(mask);
    else
        record.SetFirstWordMask(mask);
    if (second)
        record.SetSecondWordAllowed(bit, on);
    else
        record.SetFirstWordAllowed(bit, on);
    QCOMPARE(second ? record.GetSecondWordMask() : record.GetFirstWordMask(), expected);
    QCOMPARE(record.changes, changes);
    QCOMPARE(second ? record.IsSecondWordAllowed(bit) : record.IsFirstWordAllowed(bit), on);
    // The other table is never touched.
    QCOMPARE(second ? record.GetFirstWordMask() : record.GetSecondWordMask(), 0u);
}

void TestCompanyRecord::ratings_data()
{
    QTest::addColumn<int>("which");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("stored");
    QTest::addColumn<int>("changes");

    const char *names[] = {"intelligence", "aggressiveness", "competitiveness"};
    for (int which = 0; which < 3; ++which) {
        QTest::addRow("%s unchanged", names[which]) << which << 5 << 5 << 0;
        QTest::addRow("%s changed", names[which]) << which << 9 << 9 << 1;
        QTest::addRow("%s low byte only", names[which]) << which << 0x10A << 10 << 1;
        QTest::addRow("%s same low byte", names[which]) << which << 0x105 << 5 << 0;
        QTest::addRow("%s negative", names[which]) << which << -1 << 255 << 1;
    }
}

void TestCompanyRecord::ratings()
{
    QFETCH(int, which);
    QFETCH(int, value);
    QFETCH(int, stored);
    QFETCH(int, changes);

    CCountingRecord record;
    record.SetNewCompanyDefaults();
    const CCompanyData before = record.Data();
    switch (which) {
    case 0: record.SetIntelligence(value); break;
    case 1: record.SetAggressiveness(value); break;
    default: record.SetCompetitiveness(value); break;
    }
    const int got[] = {record.GetIntelligence(), record.GetAggressiveness(),
                       record.GetCompetitiveness()};
    for (int i = 0; i < 3; ++i)
        QCOMPARE(got[i], i == which ? stored : 5);
    QCOMPARE(record.changes, changes);
    QCOMPARE(record.GetExpressionMask(), before.m_expressionMask);
}

void TestCompanyRecord::setFaces_data()
{
    QTest::addColumn<uint>("mask");
    QTest::addColumn<uint>("bit");
    QTest::addColumn<bool>("giveSmall");
    QTest::addColumn<bool>("giveLarge");
    QTest::addColumn<uint>("expectedMask");
    QTest::addColumn<int>("changes");
    QTest::addColumn<bool>("copied");

    QTest::newRow("add default") << 0u << 1u << true << true << 1u << 1 << true;
    QTest::newRow("replace happy") << 3u << 2u << true << true << 3u << 1 << true;
    QTest::newRow("add repulsed") << 1u << 0x100u << true << true << 0x101u << 1 << true;
    QTest::newRow("remove default keeps bit") << 1u << 1u << false << false << 1u << 1 << false;
    QTest::newRow("remove worried (value 4)") << 0x7u << 4u << false << false << 0x3u << 1 << false;
    QTest::newRow("small only removes") << 0x11u << 0x10u << true << false << 0x1u << 1 << false;
    QTest::newRow("large only removes") << 0x11u << 0x10u << false << true << 0x1u << 1 << false;
    QTest::newRow("remove absent still reports") << 0x1u << 0x8u << false << false << 0x1u << 1 << false;
    QTest::newRow("two bits match nothing") << 0x1u << 3u << true << true << 0x1u << 0 << false;
    QTest::newRow("zero matches nothing") << 0x1u << 0u << true << true << 0x1u << 0 << false;
    QTest::newRow("end row bit matches nothing") << 0x1u << 0x200u << true << true << 0x1u << 0 << false;
    QTest::newRow("unnamed mask bits kept") << 0x80000001u << 0x2u << true << true << 0x80000003u << 1 << true;
}

void TestCompanyRecord::setFaces()
{
    QFETCH(uint, mask);
    QFETCH(uint, bit);
    QFETCH(bool, giveSmall);
    QFETCH(bool, giveLarge);
    QFETCH(uint, expectedMask);
    QFETCH(int, changes);
    QFETCH(bool, copied);

    CCountingRecord record;
    record.SetExpressionMask(mask);
    CSmallFace small;
    CLargeFace large;
    small.fill(0x21);
    large.fill(0x42);
    record.SetFaces(bit, giveSmall ? small.data() : nullptr, giveLarge ? large.data() : nullptr);
    QCOMPARE(record.GetExpressionMask(), expectedMask);
    QCOMPARE(record.changes, changes);

    const int index = ExpressionIndexForBit(bit);
    for (int i = 0; i < kExpressionCount; ++i) {
        const bool filled = copied && i == index;
        QCOMPARE(record.SmallFace(i) == small, filled);
        QCOMPARE(record.LargeFace(i) == large, filled);
    }
}

void TestCompanyRecord::getFaces_data()
{
    QTest::addColumn<uint>("bit");
    QTest::addColumn<bool>("found");

    QTest::newRow("default present") << 0x1u << true;
    QTest::newRow("thinking present") << 0x8u << true;
    QTest::newRow("repulsed present") << 0x100u << true;
    QTest::newRow("happy absent") << 0x2u << false;
    QTest::newRow("two bits") << 0x9u << false;
    QTest::newRow("zero") << 0x0u << false;
    QTest::newRow("end row") << 0x200u << false;
}

void TestCompanyRecord::getFaces()
{
    QFETCH(uint, bit);
    QFETCH(bool, found);

    CCountingRecord record;
    record.SetExpressionMask(0x109 | 0x200); // 0x200 is no expression
    for (int i = 0; i < kExpressionCount; ++i) {
        CSmallFace small;
        CLargeFace large;
        small.fill(std::uint8_t(i + 1));
        large.fill(std::uint8_t(0x80 + i));
        record.SetSmallFaceBytes(i, small.data());
        record.SetLargeFaceBytes(i, large.data());
    }
    CSmallFace small;
    CLargeFace large;
    small.fill(0xEE);
    large.fill(0xEE);
    QCOMPARE(record.GetFaces(bit, small.data(), large.data()), found);
    const int index = ExpressionIndexForBit(bit);
    if (found) {
        QCOMPARE(small, record.SmallFace(index));
        QCOMPARE(large, record.LargeFace(index));
        QCOMPARE(QLatin1String(ExpressionName(index)),
                 QLatin1String(std::array{"default", "happy", "worried", "thinking", "depressed",
                                          "surprised", "frightened", "enraged", "repulsed"}[index]));
    } else {
        CSmallFace untouchedSmall;
        CLargeFace untouchedLarge;
        untouchedSmall.fill(0xEE);
        untouchedLarge.fill(0xEE);
        QCOMPARE(small, untouchedSmall);
        QCOMPARE(large, untouchedLarge);
    }
    QCOMPARE(record.changes, 0);
}

void TestCompanyRecord::packDateStamp_data()
{
    QTest::addColumn<QDateTime>("time");
    QTest::addColumn<QByteArray>("bytes"); // empty: not checked
    QTest::addColumn<int>("yearField");
    QTest::addColumn<int>("minuteField");
    QTest::addColumn<QString>("text");

    QTest::newRow("known stamp") << Utc(2004, 6, 14, 15, 27) << QByteArray("\xFD\x9C\x11", 3) << 4 << 13
                                 << QStringLiteral("2004/06/14 15:26");
    QTest::newRow("minute 47 wraps") << Utc(2004, 6, 14, 15, 47) << QByteArray() << 4 << 7
                                     << QStringLiteral("2004/06/14 15:14");
    QTest::newRow("minute 59") << Utc(2004, 6, 14, 15, 59) << QByteArray() << 4 << 13
                               << QStringLiteral("2004/06/14 15:26");
    QTest::newRow("year 2000") << Utc(2000, 1, 1, 0, 0) << QByteArray("\x00\x42\x00", 3) << 0 << 0
                               << QStringLiteral("2000/01/01 00:00");
    QTest::newRow("year 2064 wraps") << Utc(2064, 1, 1, 0, 0) << QByteArray("\x00\x42\x00", 3) << 0 << 0
                                     << QStringLiteral("2000/01/01 00:00");
    QTest::newRow("year 1999 wraps") << Utc(1999, 12, 31, 23, 58) << QByteArray() << 63 << 13
                                     << QStringLiteral("2063/12/31 23:26");
    QTest::newRow("local time is turned to UTC")
        << QDateTime(QDate(2004, 6, 14), QTime(17, 27), Qt::OffsetFromUTC, 7200)
        << QByteArray("\xFD\x9C\x11", 3) << 4 << 13 << QStringLiteral("2004/06/14 15:26");
}

void TestCompanyRecord::packDateStamp()
{
    QFETCH(QDateTime, time);
    QFETCH(QByteArray, bytes);
    QFETCH(int, yearField);
    QFETCH(int, minuteField);
    QFETCH(QString, text);

    CDateStamp stamp{};
    PackDateStamp(stamp, time);
    if (!bytes.isEmpty())
        QCOMPARE(StampBytes(stamp), bytes);
    const std::uint32_t v = stamp[0] | (stamp[1] << 8) | (stamp[2] << 16);
    QCOMPARE(int(v >> 18), yearField);
    QCOMPARE(int(v & 15), minuteField);
    QCOMPARE(FormatDateStamp(stamp), text);
}

void TestCompanyRecord::currentTimeStamp()
{
    // Without a time the stamp is the current universal time, which a build can pin.
    qputenv("SOURCE_DATE_EPOCH", QByteArray::number(Utc(2010, 3, 4, 5, 6).toSecsSinceEpoch()));
    CDateStamp stamp{};
    PackDateStamp(stamp);
    qunsetenv("SOURCE_DATE_EPOCH");
    QCOMPARE(FormatDateStamp(stamp), QStringLiteral("2010/03/04 05:06"));

    CDateStamp now{};
    PackDateStamp(now);
    CDateStamp expected{};
    const QDateTime clock = QDateTime::currentDateTimeUtc();
    PackDateStamp(expected, clock);
    // The two readings may straddle a two-minute boundary; the date alone is stable enough.
    QCOMPARE(FormatDateStamp(now).left(10), FormatDateStamp(expected).left(10));
}

QTEST_GUILESS_MAIN(TestCompanyRecord)
#include "tst_companyrecord.moc"
