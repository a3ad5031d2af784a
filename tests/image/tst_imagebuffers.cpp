#include "image/PaletteImage.h"
#include "image/Resample.h"
#include "image/RgbImage.h"

#include <QPainter>
#include <QRandomGenerator>
#include <QTest>

#include <algorithm>
#include <cstdint>
#include <set>
#include <utility>

using namespace quorvel;

namespace {

using Pixels = std::vector<CRgbTriple>;

const CRgbTriple DarkRed(0x7F, 0x1B, 0x1B);
const QRgb Sentinel = qRgb(1, 2, 3);

Pixels Grey(std::initializer_list<int> values)
{
    Pixels pixels;
    for (int v : values)
        pixels.emplace_back(std::uint8_t(v), std::uint8_t(v), std::uint8_t(v));
    return pixels;
}

// Area averaging by brute force: every source pixel against every target pixel, overlaps in
// units of 1 / (target extent) source pixels, one rounding at the end.
Pixels ReferenceAverage(const Pixels &source, int width, int height, int tw, int th)
{
    Pixels result;
    for (int ty = 0; ty < th; ++ty) {
        for (int tx = 0; tx < tw; ++tx) {
            std::uint64_t sum[3] = {0, 0, 0};
            const std::uint64_t area = std::uint64_t(width) * height;
            for (int y = 0; y < height; ++y) {
                const std::int64_t oy = std::min<std::int64_t>((y + 1) * th, (ty + 1) * height)
                    - std::max<std::int64_t>(y * th, ty * height);
                if (oy <= 0)
                    continue;
                for (int x = 0; x < width; ++x) {
                    const std::int64_t ox = std::min<std::int64_t>((x + 1) * tw, (tx + 1) * width)
                        - std::max<std::int64_t>(x * tw, tx * width);
                    if (ox <= 0)
                        continue;
                    const CRgbTriple &p = source[std::size_t(y * width + x)];
                    sum[0] += std::uint64_t(ox * oy) * p.red;
                    sum[1] += std::uint64_t(ox * oy) * p.green;
                    sum[2] += std::uint64_t(ox * oy) * p.blue;
                }
            }
            result.emplace_back(std::uint8_t((sum[0] + area / 2) / area),
                                std::uint8_t((sum[1] + area / 2) / area),
                                std::uint8_t((sum[2] + area / 2) / area));
        }
    }
    return result;
}

// A picture whose every pixel is the colour of a matchable palette index, so that colour
// reduction gives back exactly those indices.
std::unique_ptr<CRgbImage> MatchablePicture(int width, int height, std::vector<std::uint8_t> &indices)
{
    indices.resize(std::size_t(width) * height);
    for (std::size_t i = 0; i < indices.size(); ++i)
        indices[i] = std::uint8_t(10 + (i * 37 + i / 7) % 235);
    const CPaletteImage palette(indices.data(), width, height);
    return std::make_unique<CRgbImage>(palette);
}

QImage Canvas(int width, int height)
{
    QImage canvas(width, height, QImage::Format_RGB32);
    canvas.fill(Sentinel);
    return canvas;
}

CRgbTriple At(const QImage &image, int x, int y)
{
    const QRgb c = image.pixel(x, y);
    return CRgbTriple(std::uint8_t(qRed(c)), std::uint8_t(qGreen(c)), std::uint8_t(qBlue(c)));
}

} // namespace

Q_DECLARE_METATYPE(Pixels)
Q_DECLARE_METATYPE(QList<QSize>)

class TestImageBuffers : public QObject
{
    Q_OBJECT

private slots:
    void resampleByHand_data();
    void resampleByHand();
    void resampleMatchesBruteForce();
    void resampleCutsToPicture_data();
    void resampleCutsToPicture();
    void resampleSeveralTargets_data();
    void resampleSeveralTargets();
    void noPictureSquare();
    void noPictureOtherSizes_data();
    void noPictureOtherSizes();
    void grabUnscaledCopy();
    void largePicturesStartBlack_data();
    void largePicturesStartBlack();
    void cropExactPath_data();
    void cropExactPath();
    void cropScaledPath();
    void cropEdgeCases();
    void cropSeveralSizes_data();
    void cropSeveralSizes();
    void paletteImageConversions();
    void drawOneToOne();
    void drawStretched();
    void drawPaletteColours();
};

void TestImageBuffers::resampleByHand_data()
{
    QTest::addColumn<Pixels>("source");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("tw");
    QTest::addColumn<int>("th");
    QTest::addColumn<Pixels>("expected");

    // Target 0 covers pixel 0 and half of pixel 1: (2*0 + 90) / 3; target 1 (90 + 2*255) / 3.
    QTest::newRow("3x1 to 2x1") << Grey({0, 90, 255}) << 3 << 1 << 2 << 1 << Grey({30, 200});
    QTest::newRow("halves round up") << Grey({0, 1}) << 2 << 1 << 1 << 1 << Grey({1});
    QTest::newRow("a third rounds down") << Grey({0, 0, 1}) << 3 << 1 << 1 << 1 << Grey({0});
    QTest::newRow("2x1 to 3x1") << Grey({10, 20}) << 2 << 1 << 3 << 1 << Grey({10, 15, 20});
    QTest::newRow("1x3 to 1x2") << Grey({0, 90, 255}) << 1 << 3 << 1 << 2 << Grey({30, 200});
    QTest::newRow("2x2 to 1x1") << Grey({0, 100, 200, 255}) << 2 << 2 << 1 << 1 << Grey({139});
    QTest::newRow("same size") << Grey({7, 8, 9, 10}) << 2 << 2 << 2 << 2 << Grey({7, 8, 9, 10});
    QTest::newRow("channels apart")
        << Pixels{CRgbTriple(255, 0, 0), CRgbTriple(0, 0, 255)} << 2 << 1 << 1 << 1
        << Pixels{CRgbTriple(128, 0, 128)};
}

void TestImageBuffers::resampleByHand()
{
    QFETCH(Pixels, source);
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, tw);
    QFETCH(int, th);
    QFETCH(Pixels, expected);

    Pixels target(std::size_t(tw * th), CRgbTriple(1, 1, 1));
    ResampleArea(source.data(), width, height, 0, 0, width, height, target.data(), tw, th);
    QCOMPARE(target, expected);
}

void TestImageBuffers::resampleMatchesBruteForce()
{
    QRandomGenerator random(20040614);
    for (int round = 0; round < 60; ++round) {
        const int width = random.bounded(1, 40);
        const int height = random.bounded(1, 30);
        const int tw = random.bounded(1, 45);
        const int th = random.bounded(1, 35);
        Pixels source(std::size_t(width * height));
        for (CRgbTriple &p : source)
            p = CRgbTriple(std::uint8_t(random.bounded(256)), std::uint8_t(random.bounded(256)),
                           std::uint8_t(random.bounded(256)));
        Pixels target(std::size_t(tw * th));
        ResampleArea(source.data(), width, height, 0, 0, width, height, target.data(), tw, th);
        QVERIFY2(target == ReferenceAverage(source, width, height, tw, th),
                 qPrintable(QStringLiteral("%1x%2 to %3x%4").arg(width).arg(height).arg(tw).arg(th)));
    }
}

void TestImageBuffers::resampleCutsToPicture_data()
{
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addColumn<int>("w");
    QTest::addColumn<int>("h");
    QTest::addColumn<Pixels>("expected");

    // Source: one row 40, 80, 120, 160; target 1x1.
    QTest::newRow("left part outside") << -2 << 0 << 4 << 1 << Grey({60});
    QTest::newRow("right part outside") << 2 << -5 << 100 << 10 << Grey({140});
    QTest::newRow("wholly outside") << 4 << 0 << 3 << 1 << Grey({0});
    QTest::newRow("zero width") << 1 << 0 << 0 << 1 << Grey({0});
    QTest::newRow("zero height") << 1 << 0 << 2 << 0 << Grey({0});
    QTest::newRow("no int overflow") << 2147483000 << 2147483000 << 2147483000 << 5 << Grey({0});
    QTest::newRow("huge extent") << 0 << 0 << 2147483647 << 2147483647 << Grey({100});
}

void TestImageBuffers::resampleCutsToPicture()
{
    QFETCH(int, x);
    QFETCH(int, y);
    QFETCH(int, w);
    QFETCH(int, h);
    QFETCH(Pixels, expected);

    const Pixels source = Grey({40, 80, 120, 160});
    Pixels target(1, CRgbTriple(9, 9, 9));
    ResampleArea(source.data(), 4, 1, x, y, w, h, target.data(), 1, 1);
    QCOMPARE(target, expected);
}

void TestImageBuffers::noPictureSquare()
{
    const CRgbImage image(64, 64);
    QCOMPARE(image.Width(), 64);
    QCOMPARE(image.Height(), 64);
    std::set<std::pair<int, int>> expectedBlack;
    for (int i = 0; i <= 62; ++i)
        expectedBlack.insert({i, 63 - i});
    for (int i = 1; i <= 63; ++i)
        expectedBlack.insert({i, i});
    QCOMPARE(expectedBlack.size(), std::size_t(126));
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 64; ++x) {
            const CRgbTriple expected = expectedBlack.count({x, y}) ? CRgbTriple() : DarkRed;
            QVERIFY2(image.PixelAt(x, y) == expected,
                     qPrintable(QStringLiteral("pixel %1,%2").arg(x).arg(y)));
        }
    }
}

void TestImageBuffers::noPictureOtherSizes_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::newRow("24x24") << 24 << 24;
    QTest::newRow("wide") << 10 << 4;
    QTest::newRow("tall") << 3 << 17;
    QTest::newRow("one row") << 5 << 1;
    QTest::newRow("one pixel") << 1 << 1;
    QTest::newRow("empty") << 0 << 5;
}

void TestImageBuffers::noPictureOtherSizes()
{
    QFETCH(int, width);
    QFETCH(int, height);
    const CRgbImage image(width, height);
    QCOMPARE(image.Width(), width);
    QCOMPARE(image.Height(), height);
    if (width == 0)
        return;

    // Each line starts at its first point and stops short of its last.
    const bool singlePoint = width == 1 && height == 1;
    QCOMPARE(image.PixelAt(0, height - 1) == CRgbTriple(), !singlePoint);
    QCOMPARE(image.PixelAt(width - 1, height - 1) == CRgbTriple(), !singlePoint);
    if (height > 1) {
        QCOMPARE(image.PixelAt(width - 1, 0), DarkRed);
        QCOMPARE(image.PixelAt(0, 0), DarkRed);
    }
    // Every row of a line taller than wide, or every column of one wider than tall, has a point.
    int black = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const CRgbTriple &p = image.PixelAt(x, y);
            QVERIFY(p == DarkRed || p == CRgbTriple());
            black += p == CRgbTriple();
        }
    const int longest = std::max(width, height) - 1;
    QVERIFY(black <= 2 * longest);
    QVERIFY(black >= longest);
}

void TestImageBuffers::resampleSeveralTargets_data()
{
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QRect>("rectangle");
    QTest::addColumn<QList<QSize>>("targets");
    QTest::addColumn<bool>("white"); // else random colours

    QTest::newRow("a face's two sizes") << QSize(150, 90) << QRect(3, 2, 140, 85)
                                        << QList<QSize>{{64, 64}, {24, 24}} << false;
    QTest::newRow("runs longer than 256 rows, white") << QSize(3, 700) << QRect(0, 0, 3, 700)
                                                      << QList<QSize>{{1, 1}, {2, 1}} << true;
    QTest::newRow("row boundaries shared and not") << QSize(7, 96) << QRect(0, 0, 7, 96)
                                                   << QList<QSize>{{2, 8}, {3, 12}} << false;
    QTest::newRow("enlarging beside shrinking") << QSize(20, 30) << QRect(0, 0, 20, 30)
                                                << QList<QSize>{{45, 7}, {1, 1}} << false;
    QTest::newRow("rectangle reaching off the picture")
        << QSize(50, 40) << QRect(30, -5, 40, 60) << QList<QSize>{{24, 24}, {64, 64}} << false;
    QTest::newRow("nothing of it on the picture")
        << QSize(10, 10) << QRect(20, 2, 5, 5) << QList<QSize>{{3, 3}, {2, 2}} << false;
}

void TestImageBuffers::resampleSeveralTargets()
{
    QFETCH(QSize, picture);
    QFETCH(QRect, rectangle);
    QFETCH(QList<QSize>, targets);
    QFETCH(bool, white);

    QRandomGenerator random(1998);
    Pixels source(std::size_t(picture.width() * picture.height()), CRgbTriple(255, 255, 255));
    if (!white) {
        for (CRgbTriple &p : source)
            p = CRgbTriple::FromColorRef(random.generate());
    }
    std::vector<Pixels> results;
    std::vector<CResampleTarget> wanted;
    for (const QSize &size : targets)
        results.emplace_back(std::size_t(size.width() * size.height()), CRgbTriple(9, 9, 9));
    for (std::size_t i = 0; i < results.size(); ++i)
        wanted.push_back({results[i].data(), targets[qsizetype(i)].width(),
                          targets[qsizetype(i)].height()});
    ResampleArea(source.data(), picture.width(), picture.height(), rectangle.x(), rectangle.y(),
                 rectangle.width(), rectangle.height(), wanted);

    // Each target as the brute-force average of the part of the rectangle on the picture.
    const QRect cut = rectangle & QRect(QPoint(), picture);
    Pixels part;
    for (int y = cut.top(); y <= cut.bottom(); ++y)
        for (int x = cut.left(); x <= cut.right(); ++x)
            part.push_back(source[std::size_t(y * picture.width() + x)]);
    for (std::size_t i = 0; i < results.size(); ++i) {
        const QSize size = targets[qsizetype(i)];
        const Pixels expected = cut.isEmpty()
            ? Pixels(std::size_t(size.width() * size.height()))
            : ReferenceAverage(part, cut.width(), cut.height(), size.width(), size.height());
        QCOMPARE(results[i], expected);
    }
}

void TestImageBuffers::grabUnscaledCopy()
{
    std::vector<std::uint8_t> indices;
    const auto picture = MatchablePicture(6, 5, indices);
    // A 4x3 block from (4, 3): only 2x2 of it lies on the picture.
    const CRgbImage grab(4, 3, picture.get(), 4, 3, -1, 10);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) {
            const bool inside = 4 + x < 6 && 3 + y < 5;
            QCOMPARE(grab.PixelAt(x, y),
                     inside ? picture->PixelAt(4 + x, 3 + y) : CRgbTriple());
        }
}

void TestImageBuffers::largePicturesStartBlack_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("one pixel") << QSize(1, 1);
    QTest::newRow("a byte under a megabyte") << QSize(5, 69905);
    QTest::newRow("just over a megabyte") << QSize(512, 683);
    QTest::newRow("not a whole number of large pages") << QSize(1001, 1003);
    QTest::newRow("18 megapixels") << QSize(5640, 3172);
}

// Pictures from a megabyte up come from large pages: black, whole, reusable, and freed the way
// they were allocated (the sanitizer build sees a mismatch), however they are handed on.
void TestImageBuffers::largePicturesStartBlack()
{
    QFETCH(QSize, size);
    CRgbImage image(1, 1, nullptr); // the no-picture image: not black
    for (int round = 0; round < 2; ++round) {
        QVERIFY(image.Reset(size.width(), size.height()));
        const std::size_t count = std::size_t(size.width()) * std::size_t(size.height());
        const CRgbTriple *pixels = image.Pixels();
        QVERIFY(std::all_of(pixels, pixels + count, [](const CRgbTriple &p) { return p == CRgbTriple(); }));
#ifdef Q_OS_LINUX
        if (count * sizeof(CRgbTriple) >= (std::size_t(1) << 20))
            QCOMPARE(reinterpret_cast<std::uintptr_t>(pixels) % (std::uintptr_t(2) << 20), 0u);
#endif
        // Every byte writable, up to the last.
        std::fill(image.Pixels(), image.Pixels() + count, CRgbTriple{1, 2, 3});
        QCOMPARE(image.PixelAt(size.width() - 1, size.height() - 1), (CRgbTriple{1, 2, 3}));
    }
    CRgbImage taker(1, 1, nullptr);
    taker.TakePixels(image);
    QCOMPARE(taker.Width(), size.width());
    QCOMPARE(taker.PixelAt(0, 0), (CRgbTriple{1, 2, 3}));
}

void TestImageBuffers::cropExactPath_data()
{
    QTest::addColumn<QRect>("corners"); // x1, y1 as topLeft, x2, y2 as the size fields
    QTest::addColumn<QSize>("target");
    QTest::addColumn<QRect>("expected"); // the part of the picture copied

    QTest::newRow("64x64 rectangle") << QRect(10, 5, 74, 69) << QSize(64, 64)
                                     << QRect(10, 5, 64, 64);
    QTest::newRow("corners reversed") << QRect(74, 69, 10, 5) << QSize(64, 64)
                                      << QRect(10, 5, 64, 64);
    QTest::newRow("one corner pair reversed") << QRect(30, 2, 20, 40) << QSize(-1, -1)
                                              << QRect(20, 2, 10, 38);
    QTest::newRow("cut to the picture") << QRect(-10, -10, 50, 200) << QSize(-1, -1)
                                        << QRect(0, 0, 50, 80);
    QTest::newRow("whole picture") << QRect(0, 0, 100, 80) << QSize(100, 80)
                                   << QRect(0, 0, 100, 80);
    QTest::newRow("empty") << QRect(20, 20, 20, 60) << QSize(-1, -1) << QRect(20, 20, 0, 40);
    QTest::newRow("outside") << QRect(200, 300, 250, 310) << QSize(-1, -1)
                             << QRect(100, 80, 0, 0);
}

void TestImageBuffers::cropExactPath()
{
    QFETCH(QRect, corners);
    QFETCH(QSize, target);
    QFETCH(QRect, expected);

    std::vector<std::uint8_t> indices;
    const auto picture = MatchablePicture(100, 80, indices);
    const auto face = picture->CropToPaletteImage(corners.x(), corners.y(), corners.width(),
                                                  corners.height(), target.width(),
                                                  target.height());
    QVERIFY(face);
    QCOMPARE(face->Width(), expected.width());
    QCOMPARE(face->Height(), expected.height());
    for (int y = 0; y < expected.height(); ++y)
        for (int x = 0; x < expected.width(); ++x)
            QCOMPARE(face->IndexAt(x, y),
                     indices[std::size_t((expected.y() + y) * 100 + expected.x() + x)]);
}

void TestImageBuffers::cropScaledPath()
{
    // Four flat quarters, each a matchable colour: halving keeps them apart exactly.
    CRgbImage picture(64, 64, nullptr);
    const std::uint8_t quarter[4] = {20, 100, 150, 230};
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            picture.Pixels()[y * 64 + x] = PaletteEntry(quarter[(y / 32) * 2 + x / 32]);

    const auto half = picture.CropToPaletteImage(0, 0, 64, 64, 32, 32);
    QVERIFY(half);
    QCOMPARE(half->Width(), 32);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            QCOMPARE(half->IndexAt(x, y), quarter[(y / 16) * 2 + x / 16]);

    // A rectangle reaching beyond the picture is taken as given: what lies on it is stretched.
    const auto beyond = picture.CropToPaletteImage(32, 32, 200, 200, 24, 24);
    QVERIFY(beyond);
    for (int i = 0; i < 24 * 24; ++i)
        QCOMPARE(beyond->Indices()[i], quarter[3]);

    // Reversed corners on the scaled path make a negative extent: an unscaled copy from (x1, y1).
    std::vector<std::uint8_t> indices;
    const auto matchable = MatchablePicture(64, 64, indices);
    const auto copied = matchable->CropToPaletteImage(40, 30, 10, 10, 24, 24);
    QVERIFY(copied);
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 24; ++x)
            QCOMPARE(copied->IndexAt(x, y), indices[std::size_t((30 + y) * 64 + 40 + x)]);
}

void TestImageBuffers::cropEdgeCases()
{
    std::vector<std::uint8_t> indices;
    const auto picture = MatchablePicture(30, 20, indices);

    // A zero-width selection stretches nothing: the face is black, which reduces to index 58.
    const auto flat = picture->CropToPaletteImage(5, 5, 5, 15, 24, 24);
    QVERIFY(flat);
    QCOMPARE(flat->Width(), 24);
    for (int i = 0; i < 24 * 24; ++i)
        QCOMPARE(flat->Indices()[i], std::uint8_t(58));

    // No intermediate can be made for a target beyond any picture size.
    QVERIFY(!picture->CropToPaletteImage(0, 0, 10, 10, 2000000, 2000000));

    // Exactly one negative target component makes an empty face, not a crash.
    const auto odd = picture->CropToPaletteImage(0, 0, 10, 10, -1, 24);
    QVERIFY(odd);
    QCOMPARE(odd->Width() * odd->Height(), 0);
}

void TestImageBuffers::cropSeveralSizes_data()
{
    QTest::addColumn<QRect>("corners"); // x1, y1 as topLeft, x2, y2 as the size fields
    QTest::addColumn<QList<QSize>>("sizes");

    const QList<QSize> face{{64, 64}, {24, 24}};
    QTest::newRow("whole picture") << QRect(0, 0, 120, 90) << face;
    QTest::newRow("64x64: copied and scaled") << QRect(20, 10, 84, 74) << face;
    QTest::newRow("free selection") << QRect(7, 3, 100, 61) << face;
    QTest::newRow("corners reversed") << QRect(100, 61, 7, 3) << face;
    QTest::newRow("empty") << QRect(30, 30, 30, 70) << face;
    QTest::newRow("beyond the picture") << QRect(60, 50, 300, 200) << face;
    QTest::newRow("unscaled and too large")
        << QRect(5, 5, 50, 40) << QList<QSize>{{-1, -1}, {2000000, 2000000}, {3, 2}};
}

void TestImageBuffers::cropSeveralSizes()
{
    QFETCH(QRect, corners);
    QFETCH(QList<QSize>, sizes);
    QRandomGenerator random(64);
    CRgbImage picture(120, 90, nullptr);
    for (int i = 0; i < 120 * 90; ++i)
        picture.Pixels()[i] = CRgbTriple::FromColorRef(random.generate());
    const int x1 = corners.x(), y1 = corners.y(), x2 = corners.width(), y2 = corners.height();

    // The faces, and the previews of a scaled crop, are those made one at a time.
    const auto faces = picture.CropToPaletteImages(x1, y1, x2, y2, sizes);
    const auto previews = picture.ScaledCopies(x1, y1, x2 - x1, y2 - y1, sizes);
    QCOMPARE(faces.size(), std::size_t(sizes.size()));
    for (qsizetype i = 0; i < sizes.size(); ++i) {
        const QSize size = sizes[i];
        const auto alone = picture.CropToPaletteImage(x1, y1, x2, y2, size.width(), size.height());
        const auto &face = faces[std::size_t(i)];
        QCOMPARE(bool(face), bool(alone));
        if (alone) {
            QCOMPARE(face->Width(), alone->Width());
            QCOMPARE(face->Height(), alone->Height());
            QVERIFY(std::equal(face->Indices(), face->Indices() + face->Width() * face->Height(),
                               alone->Indices()));
        }
        if (size.width() < 0 || size.width() > 1000)
            continue;
        const CRgbImage preview(size.width(), size.height(), &picture, x1, y1, x2 - x1, y2 - y1);
        const auto &copy = previews[std::size_t(i)];
        QVERIFY(copy);
        QVERIFY(std::equal(copy->Pixels(), copy->Pixels() + copy->Width() * copy->Height(),
                           preview.Pixels(), preview.Pixels() + preview.Width() * preview.Height()));
    }
}

void TestImageBuffers::paletteImageConversions()
{
    std::vector<std::uint8_t> indices(256);
    for (int i = 0; i < 256; ++i)
        indices[std::size_t(i)] = std::uint8_t(i);
    const CPaletteImage all(indices.data(), 16, 16);
    const CRgbImage colours(all);
    QCOMPARE(colours.Width(), 16);
    for (int i = 0; i < 256; ++i)
        QCOMPARE(colours.Pixels()[i], PaletteEntry(i));

    const CPaletteImage copy(all);
    QVERIFY(copy.Indices() != all.Indices());
    QVERIFY(std::equal(copy.Indices(), copy.Indices() + 256, indices.begin()));

    // Matchable colours survive the trip to true colour and back unchanged.
    std::vector<std::uint8_t> faceIndices;
    const auto face = MatchablePicture(64, 64, faceIndices);
    const CPaletteImage reduced(*face);
    QVERIFY(std::equal(reduced.Indices(), reduced.Indices() + 4096, faceIndices.begin()));
}

void TestImageBuffers::drawOneToOne()
{
    std::vector<std::uint8_t> indices;
    const auto picture = MatchablePicture(12, 9, indices);

    QImage canvas = Canvas(20, 20);
    {
        QPainter painter(&canvas);
        picture->Draw(painter, 3, 4, 0, 0, -1, -1, -1, -1);
    }
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x) {
            const bool inside = x >= 3 && x < 15 && y >= 4 && y < 13;
            if (inside)
                QCOMPARE(At(canvas, x, y), picture->PixelAt(x - 3, y - 4));
            else
                QCOMPARE(canvas.pixel(x, y), Sentinel);
        }

    // A window reaching past the picture paints only what lies on it, in place.
    canvas = Canvas(20, 20);
    {
        QPainter painter(&canvas);
        picture->Draw(painter, 0, 0, 8, 5, 10, 10, -1, -1);
    }
    QCOMPARE(At(canvas, 0, 0), picture->PixelAt(8, 5));
    QCOMPARE(At(canvas, 3, 3), picture->PixelAt(11, 8));
    QCOMPARE(canvas.pixel(4, 0), Sentinel);
    QCOMPARE(canvas.pixel(0, 4), Sentinel);
}

void TestImageBuffers::drawStretched()
{
    QRandomGenerator random(7);
    CRgbImage picture(50, 40, nullptr);
    for (int i = 0; i < 50 * 40; ++i)
        picture.Pixels()[i] = CRgbTriple(std::uint8_t(random.bounded(256)),
                                         std::uint8_t(random.bounded(256)),
                                         std::uint8_t(random.bounded(256)));

    QImage canvas = Canvas(30, 30);
    {
        QPainter painter(&canvas);
        picture.Draw(painter, 2, 1, 5, 5, 37, 29, 24, 24);
    }
    // The preview shows exactly what a face scaled from the same rectangle is made of.
    const CRgbImage expected(24, 24, &picture, 5, 5, 37, 29);
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 24; ++x)
            QCOMPARE(At(canvas, x + 2, y + 1), expected.PixelAt(x, y));
    QCOMPARE(canvas.pixel(26, 1), Sentinel);
    QCOMPARE(canvas.pixel(2, 0), Sentinel);
}

void TestImageBuffers::drawPaletteColours()
{
    const std::uint8_t indices[2] = {0, 255};
    const CPaletteImage image(indices, 2, 1);
    QImage canvas = Canvas(8, 8);
    {
        QPainter painter(&canvas);
        image.Draw(painter, 0, 0, 0, 0, -1, -1, -1, -1);
        image.Draw(painter, 0, 2, 0, 0, 2, 1, 4, 2); // stretched twice over
    }
    QCOMPARE(canvas.pixel(0, 0), qRgb(0x00, 0x6F, 0x00));
    QCOMPARE(canvas.pixel(1, 0), qRgb(0xFF, 0x00, 0xFF));
    QCOMPARE(canvas.pixel(2, 0), Sentinel);
    QCOMPARE(canvas.pixel(1, 3), qRgb(0x00, 0x6F, 0x00));
    QCOMPARE(canvas.pixel(2, 2), qRgb(0xFF, 0x00, 0xFF));
    QCOMPARE(canvas.pixel(3, 3), qRgb(0xFF, 0x00, 0xFF));
}

QTEST_MAIN(TestImageBuffers)
#include "tst_imagebuffers.moc"
