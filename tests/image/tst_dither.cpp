#include "image/HilbertDither.h"

#include <QList>
#include <QPoint>
#include <QRandomGenerator>
#include <QTest>

#include <algorithm>
#include <climits>
#include <thread>

using namespace quorvel;

namespace {

// A deliberately plain reduction, written from the algorithm's description: the full curve with
// every cell outside the picture walked, a shifting error queue and a scan of all 235 entries.
class CReferenceDither
{
public:
    enum { NONE, UP, LEFT, DOWN, RIGHT };

    CReferenceDither(const CRgbTriple *source, int width, int height)
        : m_dest(std::size_t(std::max(width, 0) * std::max(height, 0))), m_width(width), m_height(height), m_source(source)
    {
    }

    void Run()
    {
        if (m_width <= 0 || m_height <= 0) {
            m_dest.clear();
            return;
        }
        int level = 0;
        while ((1 << level) < std::max(m_width, m_height))
            ++level;
        if (level > 0)
            Walk(level, UP);
        Move(NONE);
    }

    std::vector<std::uint8_t> m_dest;
    QList<QPoint> m_order;

private:
    void Walk(int level, int direction)
    {
        if (level == 1) {
            switch (direction) {
            case UP: Move(DOWN); Move(RIGHT); Move(UP); break;
            case LEFT: Move(RIGHT); Move(DOWN); Move(LEFT); break;
            case DOWN: Move(UP); Move(LEFT); Move(DOWN); break;
            case RIGHT: Move(LEFT); Move(UP); Move(RIGHT); break;
            }
            return;
        }
        switch (direction) {
        case UP:
            Walk(level - 1, LEFT); Move(DOWN); Walk(level - 1, UP); Move(RIGHT);
            Walk(level - 1, UP); Move(UP); Walk(level - 1, RIGHT);
            break;
        case LEFT:
            Walk(level - 1, UP); Move(RIGHT); Walk(level - 1, LEFT); Move(DOWN);
            Walk(level - 1, LEFT); Move(LEFT); Walk(level - 1, DOWN);
            break;
        case DOWN:
            Walk(level - 1, RIGHT); Move(UP); Walk(level - 1, DOWN); Move(LEFT);
            Walk(level - 1, DOWN); Move(DOWN); Walk(level - 1, LEFT);
            break;
        case RIGHT:
            Walk(level - 1, DOWN); Move(LEFT); Walk(level - 1, RIGHT); Move(UP);
            Walk(level - 1, RIGHT); Move(RIGHT); Walk(level - 1, UP);
            break;
        }
    }

    void Move(int direction)
    {
        if (m_x >= 0 && m_x < m_width && m_y >= 0 && m_y < m_height) {
            m_order.append(QPoint(m_x, m_y));
            if (m_source)
                m_dest[std::size_t(m_y * m_width + m_x)] = DitherPixel(m_source[m_y * m_width + m_x]);
        }
        switch (direction) {
        case UP: --m_y; break;
        case LEFT: --m_x; break;
        case DOWN: ++m_y; break;
        case RIGHT: ++m_x; break;
        }
    }

    std::uint8_t DitherPixel(const CRgbTriple &p)
    {
        static const int weights[16] = {1, 1, 2, 3, 4, 6, 9, 13, 19, 28, 40, 58, 84, 122, 177, 256};
        int sum[3] = {0, 0, 0};
        for (int i = 0; i < 16; ++i)
            for (int c = 0; c < 3; ++c)
                sum[c] += weights[i] * m_errors[i][c];
        const int own[3] = {p.red, p.green, p.blue};
        int target[3];
        for (int c = 0; c < 3; ++c)
            target[c] = std::clamp(own[c] + sum[c] / 256, 0, 255);
        const CRgbTriple goal{std::uint8_t(target[0]), std::uint8_t(target[1]), std::uint8_t(target[2])};
        int best = 10;
        std::uint32_t bestDistance = UINT_MAX;
        for (int i = 10; i <= 244; ++i) {
            if (GamePalette[std::size_t(i)].SquaredDistance(goal) < bestDistance) {
                bestDistance = GamePalette[std::size_t(i)].SquaredDistance(goal);
                best = i;
            }
        }
        for (int i = 0; i < 15; ++i)
            for (int c = 0; c < 3; ++c)
                m_errors[i][c] = m_errors[i + 1][c];
        const CRgbTriple &chosen = GamePalette[std::size_t(best)];
        m_errors[15][0] = own[0] - chosen.red;
        m_errors[15][1] = own[1] - chosen.green;
        m_errors[15][2] = own[2] - chosen.blue;
        return std::uint8_t(best);
    }

    int m_x = 0;
    int m_y = 0;
    int m_width;
    int m_height;
    const CRgbTriple *m_source;
    int m_errors[16][3] = {};
};

QList<QPoint> VisitOrder(int width, int height)
{
    QList<QPoint> order;
    for (const auto &[x, y] : CHilbertDither::VisitOrder(width, height))
        order.append(QPoint(x, y));
    return order;
}

QList<QPoint> Points(std::initializer_list<std::pair<int, int>> cells)
{
    QList<QPoint> points;
    for (const auto &[x, y] : cells)
        points.append(QPoint(x, y));
    return points;
}

enum class Content { Uniform, Extremes, Gradient, Reserved, Flat };

std::vector<CRgbTriple> MakePicture(int width, int height, Content content, quint32 seed)
{
    QRandomGenerator random(seed);
    std::vector<CRgbTriple> pixels(std::size_t(width) * std::size_t(height));
    static const int reserved[] = {0, 1, 7, 8, 9, 245, 246, 250, 254, 255};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            CRgbTriple &p = pixels[std::size_t(y) * std::size_t(width) + std::size_t(x)];
            switch (content) {
            case Content::Uniform:
                p = CRgbTriple::FromColorRef(random.generate());
                break;
            case Content::Extremes: // drives the corrected target past 0 and 255
                p = CRgbTriple(random.bounded(2) ? 255 : 0, random.bounded(2) ? 255 : 0, random.bounded(2) ? 255 : 0);
                break;
            case Content::Gradient:
                p = CRgbTriple(std::uint8_t(x * 255 / std::max(width - 1, 1)),
                               std::uint8_t(y * 255 / std::max(height - 1, 1)),
                               std::uint8_t(random.bounded(0, 16) + 100));
                break;
            case Content::Reserved:
                p = GamePalette[std::size_t(reserved[random.bounded(10)])];
                break;
            case Content::Flat:
                p = CRgbTriple(100, 100, 100);
                break;
            }
        }
    }
    return pixels;
}

} // namespace

Q_DECLARE_METATYPE(QList<QPoint>)
Q_DECLARE_METATYPE(Content)

class TestDither : public QObject
{
    Q_OBJECT

private slots:
    // First, so that the shared tables are still unbuilt when the threads start.
    void concurrentReductionsAgree();
    void weights();
    void clampByte_data();
    void clampByte();
    void floorLog2_data();
    void floorLog2();
    void visitOrder_data();
    void visitOrder();
    void visitOrderMatchesFullCurve_data();
    void visitOrderMatchesFullCurve();
    void curveEnds_data();
    void curveEnds();
    void matchesReference_data();
    void matchesReference();
    void examples();
    void emptyPictures_data();
    void emptyPictures();
    void matchableColoursSurvive();
};

void TestDither::weights()
{
    const std::array<int, 16> expected = {1, 1, 2, 3, 4, 6, 9, 13, 19, 28, 40, 58, 84, 122, 177, 256};
    QCOMPARE(CHilbertDither::DitherWeights(), expected);
    int sum = 0;
    for (int w : CHilbertDither::DitherWeights())
        sum += w;
    QCOMPARE(sum, 823);
}

void TestDither::clampByte_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("clamped");
    QTest::newRow("INT_MIN") << INT_MIN << 0;
    QTest::newRow("-1") << -1 << 0;
    QTest::newRow("0") << 0 << 0;
    QTest::newRow("200") << 200 << 200;
    QTest::newRow("255") << 255 << 255;
    QTest::newRow("256") << 256 << 255;
    QTest::newRow("INT_MAX") << INT_MAX << 255;
}

void TestDither::clampByte()
{
    QFETCH(int, value);
    QFETCH(int, clamped);
    QCOMPARE(CHilbertDither::ClampByte(value), clamped);
}

void TestDither::floorLog2_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("log");
    QTest::newRow("negative") << -8 << 0;
    QTest::newRow("0") << 0 << 0;
    QTest::newRow("1") << 1 << 0;
    QTest::newRow("2") << 2 << 1;
    QTest::newRow("3") << 3 << 1;
    QTest::newRow("24") << 24 << 4;
    QTest::newRow("64") << 64 << 6;
    QTest::newRow("65") << 65 << 6;
    QTest::newRow("INT_MAX") << INT_MAX << 30;
}

void TestDither::floorLog2()
{
    QFETCH(int, value);
    QFETCH(int, log);
    QCOMPARE(CHilbertDither::FloorLog2(value), log);
}

void TestDither::visitOrder_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<QList<QPoint>>("order");
    QTest::newRow("1x1") << 1 << 1 << Points({{0, 0}});
    // Level 1, upward: down, right, up.
    QTest::newRow("2x2") << 2 << 2 << Points({{0, 0}, {0, 1}, {1, 1}, {1, 0}});
    QTest::newRow("2x1") << 2 << 1 << Points({{0, 0}, {1, 0}});
    QTest::newRow("1x2") << 1 << 2 << Points({{0, 0}, {0, 1}});
    // Level 2: a leftward level-1 curve (right, down, left), down, upward, right, upward, up,
    // then a rightward one (left, up, right).
    QTest::newRow("4x4") << 4 << 4
                         << Points({{0, 0}, {1, 0}, {1, 1}, {0, 1}, {0, 2}, {0, 3}, {1, 3}, {1, 2},
                                    {2, 2}, {2, 3}, {3, 3}, {3, 2}, {3, 1}, {2, 1}, {2, 0}, {3, 0}});
    QTest::newRow("3x2") << 3 << 2 << Points({{0, 0}, {1, 0}, {1, 1}, {0, 1}, {2, 1}, {2, 0}});
    QTest::newRow("2x3") << 2 << 3 << Points({{0, 0}, {1, 0}, {1, 1}, {0, 1}, {0, 2}, {1, 2}});
}

void TestDither::visitOrder()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(QList<QPoint>, order);
    QCOMPARE(VisitOrder(width, height), order);
}

void TestDither::visitOrderMatchesFullCurve_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    for (const auto &[w, h] : {std::pair{3, 3}, {5, 7}, {7, 5}, {8, 8}, {16, 9}, {9, 16}, {24, 24},
                               {31, 33}, {64, 64}, {100, 37}, {37, 100}, {257, 3}, {3, 257}, {1, 130}})
        QTest::addRow("%dx%d", w, h) << w << h;
}

void TestDither::visitOrderMatchesFullCurve()
{
    QFETCH(int, width);
    QFETCH(int, height);
    CReferenceDither reference(nullptr, width, height);
    reference.Run();
    const QList<QPoint> order = VisitOrder(width, height);
    QCOMPARE(order, reference.m_order);
    QCOMPARE(order.size(), qsizetype(width) * height);

    // Taken up part way, as the second thread of a large picture does, the walk goes on exactly
    // where the whole walk would be.
    const qsizetype step = std::max<qsizetype>(1, order.size() / 97);
    for (qsizetype from = 0; from <= order.size(); from += step) {
        const std::vector<std::pair<int, int>> rest = CHilbertDither::VisitOrder(width, height, from);
        QCOMPARE(qsizetype(rest.size()), order.size() - from);
        if (!rest.empty())
            QCOMPARE(QPoint(rest.front().first, rest.front().second), order[from]);
    }
    QVERIFY(CHilbertDither::VisitOrder(width, height, order.size() + 5).empty());
}

void TestDither::curveEnds_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<QList<QPoint>>("start");
    QTest::addColumn<QPoint>("end");
    QTest::newRow("64x64") << 64 << Points({{0, 0}, {1, 0}, {1, 1}, {0, 1}}) << QPoint(63, 0);
    QTest::newRow("24x24") << 24 << Points({{0, 0}, {0, 1}, {1, 1}, {1, 0}}) << QPoint(23, 0);
}

void TestDither::curveEnds()
{
    QFETCH(int, size);
    QFETCH(QList<QPoint>, start);
    QFETCH(QPoint, end);
    const QList<QPoint> order = VisitOrder(size, size);
    QCOMPARE(order.mid(0, start.size()), start);
    QCOMPARE(order.last(), end);
}

void TestDither::matchesReference_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<Content>("content");
    const std::pair<int, int> sizes[] = {{1, 1}, {2, 1}, {1, 2}, {3, 5}, {5, 3}, {24, 24}, {64, 64},
                                         {100, 37}, {37, 100}, {257, 3}, {3, 257}, {128, 128}, {33, 65}};
    const std::pair<Content, const char *> contents[] = {{Content::Uniform, "random"},
                                                         {Content::Extremes, "extremes"},
                                                         {Content::Gradient, "gradient"},
                                                         {Content::Reserved, "reserved colours"}};
    for (const auto &[w, h] : sizes)
        for (const auto &[content, name] : contents)
            QTest::addRow("%dx%d %s", w, h, name) << w << h << content;
    // Large enough for the reduction to be shared between two threads, among them a flat picture,
    // on which the two halves never fall into step.
    QTest::newRow("512x512 random") << 512 << 512 << Content::Uniform;
    QTest::newRow("512x512 flat") << 512 << 512 << Content::Flat;
    QTest::newRow("700x400 gradient") << 700 << 400 << Content::Gradient;
    QTest::newRow("300x901 reserved colours") << 300 << 901 << Content::Reserved;
}

void TestDither::matchesReference()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(Content, content);
    const std::vector<CRgbTriple> pixels = MakePicture(width, height, content, quint32(width * 1000 + height));
    CReferenceDither reference(pixels.data(), width, height);
    reference.Run();
    const std::vector<std::uint8_t> result = ReduceToPalette(pixels.data(), width, height);
    QCOMPARE(result.size(), pixels.size());
    for (std::size_t i = 0; i < result.size(); ++i) {
        if (result[i] != reference.m_dest[i])
            QFAIL(qPrintable(QStringLiteral("pixel (%1, %2): %3, expected %4")
                                 .arg(int(i) % width).arg(int(i) / width).arg(result[i]).arg(reference.m_dest[i])));
        QVERIFY(result[i] >= FirstMatchableIndex && result[i] <= LastMatchableIndex);
    }
}

void TestDither::examples()
{
    // The first grey pixel leaves the error (17, -7, -7); the second takes it in full.
    const CRgbTriple grey[2] = {{100, 100, 100}, {100, 100, 100}};
    QCOMPARE(ReduceToPalette(grey, 2, 1), (std::vector<std::uint8_t>{241, 219}));

    // One pixel: level 0, nothing to correct it with.
    const CRgbTriple tie(29, 43, 43);
    QCOMPARE(ReduceToPalette(&tie, 1, 1), std::vector<std::uint8_t>{10});

    // Black leaves (-35, 0, 0) behind every time; clamping keeps every target black.
    const std::vector<CRgbTriple> black(std::size_t(37 * 19));
    const std::vector<std::uint8_t> reduced = ReduceToPalette(black.data(), 37, 19);
    QCOMPARE(reduced, std::vector<std::uint8_t>(black.size(), 58));

    // The object can be asked for its result once.
    CHilbertDither dither(grey, 2, 1);
    dither.ReduceToPalette();
    QCOMPARE(dither.TakeResult().size(), std::size_t(2));
    QVERIFY(dither.TakeResult().empty());
}

void TestDither::emptyPictures_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::newRow("0x0") << 0 << 0;
    QTest::newRow("0x5") << 0 << 5;
    QTest::newRow("5x0") << 5 << 0;
    QTest::newRow("-3x4") << -3 << 4;
    QTest::newRow("4x-3") << 4 << -3;
}

void TestDither::emptyPictures()
{
    QFETCH(int, width);
    QFETCH(int, height);
    const CRgbTriple pixel(1, 2, 3);
    QVERIFY(ReduceToPalette(&pixel, width, height).empty());
    QVERIFY(CHilbertDither::VisitOrder(width, height).empty());
}

void TestDither::matchableColoursSurvive()
{
    // A face made by this program, turned back into true colour, reduces to itself.
    QRandomGenerator random(99);
    const int width = 64, height = 64;
    std::vector<std::uint8_t> indices(width * height);
    std::vector<CRgbTriple> pixels(indices.size());
    for (std::size_t i = 0; i < indices.size(); ++i) {
        indices[i] = std::uint8_t(random.bounded(FirstMatchableIndex, LastMatchableIndex + 1));
        pixels[i] = GamePalette[indices[i]];
    }
    QCOMPARE(ReduceToPalette(pixels.data(), width, height), indices);
}

void TestDither::concurrentReductionsAgree()
{
    // The shared tables are built on first use; threads racing for them must all see them whole.
    const std::vector<CRgbTriple> pixels = MakePicture(64, 64, Content::Uniform, 7);
    std::vector<std::vector<std::uint8_t>> results(4);
    std::vector<std::thread> threads;
    for (auto &result : results)
        threads.emplace_back([&pixels, &result] { result = ReduceToPalette(pixels.data(), 64, 64); });
    for (auto &thread : threads)
        thread.join();
    CReferenceDither reference(pixels.data(), 64, 64);
    reference.Run();
    for (const auto &result : results)
        QCOMPARE(result, reference.m_dest);
}

QTEST_APPLESS_MAIN(TestDither)
#include "tst_dither.moc"
