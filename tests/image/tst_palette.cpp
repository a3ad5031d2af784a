#include "image/Palette.h"

#include <QRandomGenerator>
#include <QTest>

#include <set>

using namespace quorvel;

namespace {

// The plain search: every matchable entry in turn, a strictly smaller distance wins.
[[maybe_unused]] std::uint8_t ReferenceNearest(const CRgbTriple &colour)
{
    std::uint8_t best = 10;
    std::uint32_t bestDistance = 0xFFFFFFFFu;
    for (int i = 10; i <= 244; ++i) {
        const std::uint32_t distance = GamePalette[std::size_t(i)].SquaredDistance(colour);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = std::uint8_t(i);
        }
    }
    return best;
}

} // namespace

class TestPalette : public QObject
{
    Q_OBJECT

private slots:
    void entries_data();
    void entries();
    void reservedEntries();
    void colorRef_data();
    void colorRef();
    void squaredDistance_data();
    void squaredDistance();
    void nearest_data();
    void nearest();
    void matchableEntriesMapToThemselves();
    void nearestAgreesWithFullScan();
};

void TestPalette::entries_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<uint>("rgb");
    QTest::newRow("0") << 0 << 0x006F00u;
    QTest::newRow("7") << 7 << 0x00005Fu;
    QTest::newRow("10, first matchable") << 10 << 0x172323u;
    QTest::newRow("58") << 58 << 0x230000u;
    QTest::newRow("129") << 129 << 0xEFEFFFu;
    QTest::newRow("192") << 192 << 0x1A3F43u;
    QTest::newRow("244, last matchable") << 244 << 0xFFF2CCu;
    QTest::newRow("246") << 246 << 0x334F9Fu;
    QTest::newRow("254") << 254 << 0xCFF3FFu;
    QTest::newRow("255") << 255 << 0xFF00FFu;
    QTest::newRow("256 wraps to 0") << 256 << 0x006F00u;
    QTest::newRow("257 wraps to 1") << 257 << 0xFF00FFu;
    QTest::newRow("-1 is 255") << -1 << 0xFF00FFu;
    QTest::newRow("0x10A is 10") << 0x10A << 0x172323u;
}

void TestPalette::entries()
{
    QFETCH(int, index);
    QFETCH(uint, rgb);
    const CRgbTriple &entry = PaletteEntry(index);
    QCOMPARE(entry.red, std::uint8_t(rgb >> 16));
    QCOMPARE(entry.green, std::uint8_t(rgb >> 8));
    QCOMPARE(entry.blue, std::uint8_t(rgb));
}

void TestPalette::reservedEntries()
{
    const CRgbTriple magenta(255, 0, 255);
    for (int i : {1, 2, 3, 4, 5, 6, 245, 255})
        QCOMPARE(GamePalette[std::size_t(i)], magenta);
    // The matchable range has 235 distinct colours, none of them the reserved magenta.
    std::set<std::uint32_t> seen;
    for (int i = FirstMatchableIndex; i <= LastMatchableIndex; ++i) {
        QVERIFY2(!(GamePalette[std::size_t(i)] == magenta), qPrintable(QString::number(i)));
        seen.insert(GamePalette[std::size_t(i)].ToColorRef());
    }
    QCOMPARE(seen.size(), std::size_t(235));
}

void TestPalette::colorRef_data()
{
    QTest::addColumn<int>("red");
    QTest::addColumn<int>("green");
    QTest::addColumn<int>("blue");
    QTest::addColumn<uint>("colorRef");
    QTest::newRow("black") << 0 << 0 << 0 << 0x000000u;
    QTest::newRow("red in the low byte") << 0x12 << 0 << 0 << 0x000012u;
    QTest::newRow("green in the middle") << 0 << 0x34 << 0 << 0x003400u;
    QTest::newRow("blue in the third byte") << 0 << 0 << 0x56 << 0x560000u;
    QTest::newRow("white") << 255 << 255 << 255 << 0x00FFFFFFu;
}

void TestPalette::colorRef()
{
    QFETCH(int, red);
    QFETCH(int, green);
    QFETCH(int, blue);
    QFETCH(uint, colorRef);
    const CRgbTriple colour{std::uint8_t(red), std::uint8_t(green), std::uint8_t(blue)};
    QCOMPARE(colour.ToColorRef(), colorRef);
    QCOMPARE(CRgbTriple::FromColorRef(colorRef), colour);
    // Whatever sits in the top byte is not a colour component.
    QCOMPARE(CRgbTriple::FromColorRef(colorRef | 0xAB000000u), colour);
    QCOMPARE(CRgbTriple(), CRgbTriple(0, 0, 0));
}

void TestPalette::squaredDistance_data()
{
    QTest::addColumn<uint>("a");
    QTest::addColumn<uint>("b");
    QTest::addColumn<uint>("distance");
    QTest::newRow("same") << 0x123456u << 0x123456u << 0u;
    QTest::newRow("one component") << 0x000000u << 0x000003u << 9u;
    QTest::newRow("negative differences square") << 0x0A0A0Au << 0x070B0Cu << 9u + 1u + 4u;
    QTest::newRow("largest") << 0x000000u << 0xFFFFFFu << 195075u;
}

void TestPalette::squaredDistance()
{
    QFETCH(uint, a);
    QFETCH(uint, b);
    QFETCH(uint, distance);
    const CRgbTriple first = CRgbTriple::FromColorRef(a);
    const CRgbTriple second = CRgbTriple::FromColorRef(b);
    QCOMPARE(first.SquaredDistance(second), distance);
    QCOMPARE(second.SquaredDistance(first), distance);
}

void TestPalette::nearest_data()
{
    QTest::addColumn<int>("red");
    QTest::addColumn<int>("green");
    QTest::addColumn<int>("blue");
    QTest::addColumn<int>("index");
    QTest::addColumn<uint>("distance");
    QTest::newRow("black") << 0 << 0 << 0 << 58 << 1225u;
    QTest::newRow("white") << 255 << 255 << 255 << 129 << 512u;
    QTest::newRow("magenta avoids the reserved entries") << 255 << 0 << 255 << 209 << 0x10u * 0x10u + 0x5Bu * 0x5Bu + 0x54u * 0x54u;
    QTest::newRow("colour of entry 0") << 0 << 111 << 0 << 96 << 23u * 23u + 8u * 8u;
    QTest::newRow("no-picture fill") << 128 << 32 << 32 << 62 << 51u;
    QTest::newRow("tie between 10 and 11 goes to 10") << 29 << 43 << 43 << 10 << 164u;
}

void TestPalette::nearest()
{
    QFETCH(int, red);
    QFETCH(int, green);
    QFETCH(int, blue);
    QFETCH(int, index);
    QFETCH(uint, distance);
    const CRgbTriple colour{std::uint8_t(red), std::uint8_t(green), std::uint8_t(blue)};
    const int found = NearestPaletteIndex(colour);
    QCOMPARE(found, index);
    QCOMPARE(GamePalette[std::size_t(found)].SquaredDistance(colour), distance);
    QVERIFY(found >= FirstMatchableIndex && found <= LastMatchableIndex);
}

void TestPalette::matchableEntriesMapToThemselves()
{
    for (int i = FirstMatchableIndex; i <= LastMatchableIndex; ++i)
        QCOMPARE(int(NearestPaletteIndex(GamePalette[std::size_t(i)])), i);
}

void TestPalette::nearestAgreesWithFullScan()
{
#if defined(__OPTIMIZE__) && !defined(__SANITIZE_ADDRESS__)
    // Every colour there is. The reference is the same full scan as ReferenceNearest, run for a
    // whole row of blues at a time so that it stays within a few seconds.
    for (int red = 0; red < 256; ++red) {
        for (int green = 0; green < 256; ++green) {
            std::array<std::uint32_t, 256> bestDistance;
            std::array<std::uint8_t, 256> best;
            bestDistance.fill(0xFFFFFFFFu);
            best.fill(10);
            for (int i = 10; i <= 244; ++i) {
                const CRgbTriple &entry = GamePalette[std::size_t(i)];
                const int dr = entry.red - red;
                const int dg = entry.green - green;
                for (int blue = 0; blue < 256; ++blue) {
                    const int db = entry.blue - blue;
                    const std::uint32_t distance = std::uint32_t(dr * dr + dg * dg + db * db);
                    if (distance < bestDistance[std::size_t(blue)]) {
                        bestDistance[std::size_t(blue)] = distance;
                        best[std::size_t(blue)] = std::uint8_t(i);
                    }
                }
            }
            for (int blue = 0; blue < 256; ++blue) {
                const CRgbTriple colour{std::uint8_t(red), std::uint8_t(green), std::uint8_t(blue)};
                if (NearestPaletteIndex(colour) != best[std::size_t(blue)])
                    QFAIL(qPrintable(QStringLiteral("colour %1 %2 %3").arg(red).arg(green).arg(blue)));
            }
        }
    }
#else
    // Unoptimised and sanitised builds are too slow for all of them: every colour whose
    // components lie at the edges of eight-wide steps, plus a random sample.
    auto check = [](int red, int green, int blue) {
        const CRgbTriple colour{std::uint8_t(red), std::uint8_t(green), std::uint8_t(blue)};
        return NearestPaletteIndex(colour) == ReferenceNearest(colour);
    };
    for (int red = 0; red < 256; ++red)
        for (int green = 0; green < 256; ++green)
            for (int blue = 0; blue < 256; ++blue)
                if ((red % 8 == 0 || red % 8 == 7) && (green % 8 == 0 || green % 8 == 7)
                    && (blue % 8 == 0 || blue % 8 == 7))
                    QVERIFY2(check(red, green, blue), qPrintable(QStringLiteral("%1 %2 %3").arg(red).arg(green).arg(blue)));
    QRandomGenerator random(1234);
    for (int n = 0; n < 100000; ++n) {
        const quint32 value = random.generate();
        QVERIFY(check(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF));
    }
#endif
}

QTEST_APPLESS_MAIN(TestPalette)
#include "tst_palette.moc"
