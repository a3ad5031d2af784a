// Rows decoded on a second thread and converted by both: the same bytes as converting each
// row where it is read, whatever the sizes, the reader's and the decoder's steps; bad data
// ends the rows without hanging either thread. Colours converted once are remembered, each
// thread apart, and give Little CMS's own bytes.

#include "image/ColourProfile.h"
#include "image/RowBatches.h"

#include <QColorSpace>
#include <QRandomGenerator>
#include <QTest>

#include <algorithm>
#include <cstring>
#include <thread>
#include <vector>

#include <lcms2.h>

using namespace quorvel;

namespace {

enum class EKind { DisplayP3, PlainCmyk };

CColourConverter ConverterOf(EKind kind)
{
    if (kind == EKind::PlainCmyk)
        return CColourConverter(QByteArray(), EColourInput::Cmyk);
    return CColourConverter(QColorSpace(QColorSpace::DisplayP3).iccProfile(), EColourInput::Rgb);
}

// A picture's stored rows, and a decoder over them that hands out at most step rows a call
// and fails at badRow (none when negative).
struct CFakeDecoder
{
    CFakeDecoder(int width, int height, int bytes, int step, int badRow)
        : m_rowBytes(std::size_t(width) * std::size_t(bytes)), m_height(height), m_step(step),
          m_badRow(badRow), m_stored(m_rowBytes * std::size_t(height))
    {
        QRandomGenerator random(std::uint32_t(width) * 7919u + std::uint32_t(height));
        for (std::uint8_t &b : m_stored)
            b = std::uint8_t(random.bounded(256));
    }

    int Decode(std::uint8_t *const *rows, int count)
    {
        const int got = std::min({count, m_step, m_height - m_next});
        if (m_badRow >= 0 && m_next + got > m_badRow)
            return -1;
        for (int i = 0; i < got; ++i)
            std::memcpy(rows[i], Stored(m_next + i), m_rowBytes);
        m_next += got;
        return got;
    }

    const std::uint8_t *Stored(int row) const { return m_stored.data() + std::size_t(row) * m_rowBytes; }

    std::size_t m_rowBytes;
    int m_height;
    int m_step;
    int m_badRow;
    int m_next = 0;
    std::vector<std::uint8_t> m_stored;
};

} // namespace

class TestRowBatches : public QObject
{
    Q_OBJECT

private slots:
    void sameAsConvertingInPlace_data();
    void sameAsConvertingInPlace();
    void badDataEndsTheRows_data();
    void badDataEndsTheRows();
    void readerStoppingEarly();
    void rememberedColours();
};

void TestRowBatches::sameAsConvertingInPlace_data()
{
    QTest::addColumn<EKind>("kind");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("readStep");
    QTest::addColumn<int>("decodeStep");

    QTest::newRow("P3, height not a whole number of batches") << EKind::DisplayP3 << 301 << 53 << 16 << 16;
    QTest::newRow("P3, one pixel") << EKind::DisplayP3 << 1 << 1 << 16 << 16;
    QTest::newRow("P3, read a row at a time") << EKind::DisplayP3 << 64 << 40 << 1 << 16;
    QTest::newRow("P3, read more than a batch") << EKind::DisplayP3 << 64 << 70 << 100 << 16;
    QTest::newRow("P3, decoder gives 3 rows a call") << EKind::DisplayP3 << 97 << 50 << 16 << 3;
    QTest::newRow("P3, so wide that a batch is a row") << EKind::DisplayP3 << 300000 << 6 << 16 << 16;
    QTest::newRow("CMYK, four bytes stored a pixel") << EKind::PlainCmyk << 203 << 45 << 7 << 5;
}

void TestRowBatches::sameAsConvertingInPlace()
{
    QFETCH(EKind, kind);
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, readStep);
    QFETCH(int, decodeStep);
    const CColourConverter colours = ConverterOf(kind);
    QVERIFY(colours.Converts());
    CFakeDecoder decoder(width, height, colours.InputBytes(), decodeStep, -1);

    CRowBatches batches(colours, width, height,
                        [&](std::uint8_t *const *rows, int count) { return decoder.Decode(rows, count); });
    QVERIFY(batches.Start());
    const std::size_t rowBytes = std::size_t(width) * 3;
    std::vector<std::uint8_t> got(rowBytes * std::size_t(height));
    std::vector<std::uint8_t *> rows(static_cast<std::size_t>(readStep));
    while (batches.RowsDone() < height) {
        const int first = batches.RowsDone();
        for (int i = 0; i < readStep; ++i)
            rows[std::size_t(i)] = got.data() + std::size_t(std::min(first + i, height - 1)) * rowBytes;
        const int count = batches.ReadRows(rows.data(), std::min(readStep, height - first));
        QVERIFY(count > 0);
        QCOMPARE(batches.RowsDone(), first + count);
    }
    batches.Stop();

    std::vector<std::uint8_t> expected(rowBytes);
    for (int y = 0; y < height; ++y) {
        colours.Convert(decoder.Stored(y), expected.data(), width);
        QVERIFY2(std::memcmp(got.data() + std::size_t(y) * rowBytes, expected.data(), rowBytes) == 0,
                 qPrintable(QStringLiteral("row %1 differs").arg(y)));
    }
}

void TestRowBatches::badDataEndsTheRows_data()
{
    QTest::addColumn<int>("badRow");
    QTest::addColumn<int>("rowsBefore"); // whole batches read before the bad one

    QTest::newRow("in the first row") << 0 << 0;
    QTest::newRow("inside the third batch") << 40 << 32;
    QTest::newRow("in the last row") << 99 << 96;
}

void TestRowBatches::badDataEndsTheRows()
{
    QFETCH(int, badRow);
    QFETCH(int, rowsBefore);
    const CColourConverter colours = ConverterOf(EKind::DisplayP3);
    CFakeDecoder decoder(50, 100, 3, 16, badRow);
    CRowBatches batches(colours, 50, 100,
                        [&](std::uint8_t *const *rows, int count) { return decoder.Decode(rows, count); });
    QVERIFY(batches.Start());
    std::vector<std::uint8_t> row(50 * 3);
    std::uint8_t *rows[] = {row.data()};
    int got = 0;
    while (batches.ReadRows(rows, 1) == 1)
        ++got;
    QCOMPARE(got, rowsBefore);
    QCOMPARE(batches.ReadRows(rows, 1), -1);
}

void TestRowBatches::readerStoppingEarly()
{
    // The decoder is kept waiting for room in the ring; stopping must end it all the same.
    const CColourConverter colours = ConverterOf(EKind::DisplayP3);
    CFakeDecoder decoder(40, 1000, 3, 16, -1);
    CRowBatches batches(colours, 40, 1000,
                        [&](std::uint8_t *const *rows, int count) { return decoder.Decode(rows, count); });
    QVERIFY(batches.Start());
    std::vector<std::uint8_t> row(40 * 3);
    std::uint8_t *rows[] = {row.data()};
    QCOMPARE(batches.ReadRows(rows, 1), 1);
    batches.Stop();
    QVERIFY(decoder.m_next < 1000);
}

void TestRowBatches::rememberedColours()
{
    // Rows drawn from a few thousand colours, so that most are found in the tables and many
    // share a slot, converted in place and apart on three threads at once (the third has no
    // table); every byte as Little CMS converts it.
    const QByteArray profile = QColorSpace(QColorSpace::DisplayP3).iccProfile();
    const CColourConverter colours(profile, EColourInput::Rgb);
    QVERIFY(colours.Converts());
    QRandomGenerator random(11);
    std::vector<std::uint8_t> pool(3 * 5000);
    for (std::uint8_t &byte : pool)
        byte = std::uint8_t(random.bounded(256));
    constexpr int Width = 1000, Rows = 60;
    std::vector<std::uint8_t> in(std::size_t(Width) * Rows * 3);
    for (std::size_t i = 0; i < in.size(); i += 3)
        std::memcpy(&in[i], &pool[3 * std::size_t(random.bounded(5000))], 3);

    cmsHPROFILE source = cmsOpenProfileFromMem(profile.constData(), cmsUInt32Number(profile.size()));
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHTRANSFORM transform = cmsCreateTransform(source, TYPE_RGB_8, srgb, TYPE_RGB_8, INTENT_PERCEPTUAL, 0);
    QVERIFY(transform);
    std::vector<std::uint8_t> expected(in.size());
    cmsDoTransform(transform, in.data(), expected.data(), cmsUInt32Number(Width * Rows));
    cmsDeleteTransform(transform);
    cmsCloseProfile(source);
    cmsCloseProfile(srgb);

    std::vector<std::vector<std::uint8_t>> results(3, std::vector<std::uint8_t>(in.size()));
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([&, t] {
            std::vector<std::uint8_t> &out = results[std::size_t(t)];
            for (int pass = 0; pass < 2; ++pass) {
                for (int row = 0; row < Rows; ++row) {
                    const std::size_t at = std::size_t(row) * Width * 3;
                    if (t == 1) { // in place
                        std::memcpy(&out[at], &in[at], Width * 3);
                        colours.Convert(&out[at], &out[at], Width);
                    } else {
                        colours.Convert(&in[at], &out[at], Width);
                    }
                }
            }
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    for (const std::vector<std::uint8_t> &result : results)
        QVERIFY(result == expected);
}

QTEST_GUILESS_MAIN(TestRowBatches)
#include "tst_rowbatches.moc"
