// Speed of the colour reduction and of the nearest-colour search.
//   bench_dither            all benchmarks
//   bench_dither reduce     one of them (Qt Test's usual options apply: -iterations, -median ...)

#include "image/HilbertDither.h"
#include "image/Palette.h"

#include <QRandomGenerator>
#include <QTest>

#include <vector>

using namespace quorvel;

namespace {

// Photo-like content: smooth gradients under some noise, the same on every run.
std::vector<CRgbTriple> MakePicture(int width, int height)
{
    QRandomGenerator random(42);
    std::vector<CRgbTriple> pixels(std::size_t(width) * std::size_t(height));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int noise = int(random.bounded(24)) - 12;
            const auto clamp = [](int v) { return std::uint8_t(std::clamp(v, 0, 255)); };
            pixels[std::size_t(y) * std::size_t(width) + std::size_t(x)] =
                CRgbTriple(clamp(x * 255 / width + noise), clamp(y * 255 / height + noise),
                           clamp((x + y) * 127 / (width + height) + 64 + noise));
        }
    }
    return pixels;
}

} // namespace

class BenchDither : public QObject
{
    Q_OBJECT

private slots:
    void reduce_data();
    void reduce();
    void nearest();
};

void BenchDither::reduce_data()
{
    QTest::addColumn<int>("side");
    QTest::newRow("64x64 (a face)") << 64;
    QTest::newRow("512x512") << 512;
    QTest::newRow("2048x2048") << 2048;
}

void BenchDither::reduce()
{
    QFETCH(int, side);
    const std::vector<CRgbTriple> pixels = MakePicture(side, side);
    ReduceToPalette(pixels.data(), side, side); // the shared tables are made outside the timing
    std::vector<std::uint8_t> indices;
    QBENCHMARK {
        indices = ReduceToPalette(pixels.data(), side, side);
    }
    QCOMPARE(indices.size(), pixels.size());
}

void BenchDither::nearest()
{
    // A million colours spread over the whole cube.
    QRandomGenerator random(7);
    std::vector<CRgbTriple> colours(1 << 20);
    for (CRgbTriple &colour : colours)
        colour = CRgbTriple::FromColorRef(random.generate());
    NearestPaletteIndex(colours.front());
    unsigned sum = 0;
    QBENCHMARK {
        for (const CRgbTriple &colour : colours)
            sum += NearestPaletteIndex(colour);
    }
    QVERIFY(sum > 0);
}

QTEST_APPLESS_MAIN(BenchDither)
#include "bench_dither.moc"
