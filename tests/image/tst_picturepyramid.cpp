// The picture's halvings: every level pixel the rounded average of the pixels it stands for,
// odd edges included, and the level a scale paints from.

#include "image/PicturePyramid.h"

#include <QRandomGenerator>
#include <QTest>

using namespace quorvel;

class TestPicturePyramid : public QObject
{
    Q_OBJECT

private slots:
    void halving_data();
    void halving();
    void levels();
    void deferredFirstLevel_data();
    void deferredFirstLevel();
};

void TestPicturePyramid::halving_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::newRow("even") << 6 << 4;
    QTest::newRow("odd both ways") << 7 << 5;
    QTest::newRow("one row") << 5 << 1;
    QTest::newRow("one pixel") << 1 << 1;
}

void TestPicturePyramid::halving()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QRandomGenerator random(quint32(width * 31 + height));
    std::vector<std::uint8_t> source(std::size_t(width * height * 3));
    for (std::uint8_t &value : source)
        value = std::uint8_t(random.bounded(256));
    const int halfWidth = (width + 1) / 2, halfHeight = (height + 1) / 2;
    const std::ptrdiff_t stride = halfWidth * 3 + 1; // a padded target row
    std::vector<std::uint8_t> target(std::size_t(stride * halfHeight), 0xEE);
    HalvePicture(source.data(), width, height, width * 3, target.data(), stride);
    for (int y = 0; y < halfHeight; ++y) {
        for (int x = 0; x < halfWidth; ++x) {
            for (int c = 0; c < 3; ++c) {
                int sum = 0, count = 0;
                for (int sy = 2 * y; sy < std::min(2 * y + 2, height); ++sy)
                    for (int sx = 2 * x; sx < std::min(2 * x + 2, width); ++sx, ++count)
                        sum += source[std::size_t((sy * width + sx) * 3 + c)];
                QCOMPARE(int(target[std::size_t(y * stride + x * 3 + c)]),
                         (sum + count / 2) / count);
            }
        }
        QCOMPARE(int(target[std::size_t(y * stride + halfWidth * 3)]), 0xEE); // padding kept
    }
}

void TestPicturePyramid::levels()
{
    CRgbImage picture(1000, 300, nullptr); // the no-picture image, scaled up
    const CPicturePyramid pyramid(picture);
    // 500, 250, 125: the first level no larger than 128 pixels a side ends it.
    QCOMPARE(pyramid.Levels(), 3);
    QCOMPARE(pyramid.Level(3).size(), QSize(125, 38));
    QCOMPARE(pyramid.LevelFor(1.0), 0);
    QCOMPARE(pyramid.LevelFor(0.51), 0);
    QCOMPARE(pyramid.LevelFor(0.5), 1);
    QCOMPARE(pyramid.LevelFor(0.2), 2);
    QCOMPARE(pyramid.LevelFor(0.01), 3); // no finer level is made
}

void TestPicturePyramid::deferredFirstLevel_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::newRow("even") << 1200 << 800;
    QTest::newRow("odd both ways, level 1 of odd height") << 1203 << 765;
    QTest::newRow("one row") << 900 << 1;
    QTest::newRow("level 1 only") << 250 << 90;
}

void TestPicturePyramid::deferredFirstLevel()
{
    // Level 2 made from level 1's rows as they come is the very halving of level 1, which is
    // made only when asked for and then is the very halving of the picture.
    QFETCH(int, width);
    QFETCH(int, height);
    CRgbImage picture(width, height, nullptr);
    QRandomGenerator random(quint32(width + height));
    auto *bytes = reinterpret_cast<std::uint8_t *>(picture.Pixels());
    for (std::size_t i = 0; i < std::size_t(width) * std::size_t(height) * 3; ++i)
        bytes[i] = std::uint8_t(random.bounded(256));
    const auto halved = [](const std::uint8_t *source, int w, int h, std::ptrdiff_t stride) {
        QImage half((w + 1) / 2, (h + 1) / 2, QImage::Format_RGB888);
        HalvePicture(source, w, h, stride, half.bits(), half.bytesPerLine());
        return half;
    };
    const QImage first = halved(bytes, width, height, width * 3);
    CPicturePyramid pyramid(picture);
    QVERIFY(pyramid.Level(1).isNull());
    QCOMPARE(pyramid.LevelSize(1), first.size());
    if (pyramid.Levels() > 1)
        QCOMPARE(pyramid.Level(2), halved(first.constBits(), first.width(), first.height(),
                                          first.bytesPerLine()));
    pyramid.MakeFirstLevel(CRgbImage(width + 2, height, nullptr)); // not its picture: ignored
    QVERIFY(pyramid.Level(1).isNull());
    pyramid.MakeFirstLevel(picture);
    QCOMPARE(pyramid.Level(1), first);
}

QTEST_APPLESS_MAIN(TestPicturePyramid)
#include "tst_picturepyramid.moc"
