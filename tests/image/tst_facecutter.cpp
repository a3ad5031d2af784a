// The faces cut while a JPEG is decoded are those cut from the whole picture, byte for byte.

#include "image/FaceCutter.h"
#include "image/JpegStream.h"
#include "image/PaletteImage.h"
#include "image/RgbImage.h"
#include "tests/support/ExifJpeg.h"

#include <QFile>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include <jpeglib.h>

using namespace quorvel;

namespace {

// Smooth gradients with some texture, so that every scaling and dither step shows.
QImage TestPicture(int width, int height)
{
    QImage picture(width, height, QImage::Format_RGB888);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.setPixel(x, y, qRgb((x * 255) / std::max(width - 1, 1),
                                        (y * 255) / std::max(height - 1, 1),
                                        ((x * 7 + y * 13) % 64) * 4));
    return picture;
}

enum class ESampling { Yuv420, Yuv422, Yuv444, Grey, Luma3x1 };

// Written through libjpeg, which (unlike Qt's writer) offers every sampling.
void WriteJpeg(const QString &path, const QImage &picture, bool progressive, ESampling sampling)
{
    FILE *out = std::fopen(QFile::encodeName(path).constData(), "wb");
    QVERIFY(out);
    jpeg_compress_struct info{};
    jpeg_error_mgr error{};
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, out);
    info.image_width = JDIMENSION(picture.width());
    info.image_height = JDIMENSION(picture.height());
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 85, TRUE);
    if (sampling == ESampling::Grey) {
        jpeg_set_colorspace(&info, JCS_GRAYSCALE);
    } else {
        info.comp_info[0].h_samp_factor = sampling == ESampling::Yuv444  ? 1
                                          : sampling == ESampling::Luma3x1 ? 3
                                                                           : 2;
        info.comp_info[0].v_samp_factor = sampling == ESampling::Yuv420 ? 2 : 1;
    }
    if (progressive)
        jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    for (int y = 0; y < picture.height(); ++y) {
        JSAMPROW row = const_cast<JSAMPROW>(picture.constScanLine(y));
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::fclose(out);
}

QByteArray Indices(const CPaletteImage &face)
{
    return QByteArray(reinterpret_cast<const char *>(face.Indices()),
                      qsizetype(face.Width()) * face.Height());
}

// Rectangles and targets over a width x height picture, covering each of the crop's paths.
std::vector<CFaceCut> Cuts(int w, int h)
{
    const std::vector<CFaceCut> rectangles = {
        {0, 0, w, h, 0, 0},                 // the whole picture
        {w - 5, h - 3, 7, 4, 0, 0},         // corners the other way round
        {10, 0, 74, 64, 0, 0},              // 64 x 64 where the picture is large enough
        {3, 5, 27, 29, 0, 0},               // 24 x 24
        {-10, -7, 40, 30, 0, 0},            // partly outside, top left
        {w - 20, h - 10, w + 15, h + 9, 0, 0}, // partly outside, bottom right
        {5, 0, 6, h, 0, 0},                 // one column
        {0, 7, w, 8, 0, 0},                 // one row
        {2, 3, 3, 4, 0, 0},                 // one pixel
        {w + 5, h + 5, w + 50, h + 50, 0, 0}, // wholly outside
        {7, 9, 7, 30, 0, 0},                // no area
    };
    const std::vector<std::pair<int, int>> targets = {{64, 64}, {24, 24}, {-1, -1}, {13, 90}};
    std::vector<CFaceCut> cuts;
    for (const CFaceCut &r : rectangles)
        for (const auto &[tw, th] : targets)
            cuts.push_back({r.x1, r.y1, r.x2, r.y2, tw, th});
    return cuts;
}

} // namespace

class TestFaceCutter : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void sameAsWholePicture_data();
    void sameAsWholePicture();
    void badPictures_data();
    void badPictures();
    void placedLater_data();
    void placedLater();
    void lumaRows_data();
    void lumaRows();

private:
    QString Path(const QString &name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
};

void TestFaceCutter::sameAsWholePicture_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("kind"); // 0 Qt's writer, 1 libjpeg baseline, 2 libjpeg progressive, 3 PNG
    QTest::addColumn<int>("sampling");
    QTest::addColumn<bool>("streamed");
    QTest::addColumn<int>("orientation"); // EXIF's, of a JPEG; the picture is made upright

    QTest::newRow("Qt baseline 4:2:0") << "qt.jpg" << QSize(120, 90) << 0 << 0 << true << 1;
    QTest::newRow("Qt progressive, odd size") << "qtp.JPEG" << QSize(97, 61) << 4 << 0 << true << 1;
    QTest::newRow("baseline 4:4:4, odd size") << "b444.jpg" << QSize(97, 61) << 1 << int(ESampling::Yuv444) << true << 1;
    QTest::newRow("baseline 4:2:2") << "b422.jpg" << QSize(101, 77) << 1 << int(ESampling::Yuv422) << true << 1;
    QTest::newRow("progressive 4:2:0, odd size") << "p420.jpg" << QSize(97, 61) << 2 << int(ESampling::Yuv420) << true << 1;
    QTest::newRow("progressive 4:4:4") << "p444.jpeg" << QSize(130, 70) << 2 << int(ESampling::Yuv444) << true << 1;
    QTest::newRow("grey") << "grey.jpg" << QSize(65, 66) << 1 << int(ESampling::Grey) << true << 1;
    QTest::newRow("one pixel") << "dot.jpg" << QSize(1, 1) << 2 << int(ESampling::Yuv420) << true << 1;
    QTest::newRow("wide and low, more rows than one read") << "wide.jpg" << QSize(1500, 40) << 1 << int(ESampling::Yuv420) << true << 1;
    QTest::newRow("JPEG under another name") << "photo.picture" << QSize(80, 64) << 2 << int(ESampling::Yuv420) << true << 1;
    QTest::newRow("PNG") << "picture.png" << QSize(70, 50) << 3 << 0 << true << 1;
    QTest::newRow("BMP, loaded whole") << "picture.bmp" << QSize(70, 50) << 5 << 0 << false << 1;
    // Turned: the cuts are made from the stored rows, the faces are the upright picture's.
    for (int orientation = 2; orientation <= 8; ++orientation)
        QTest::addRow("orientation %d", orientation) << "turned.jpg" << QSize(97, 61) << 1
                                                     << int(ESampling::Yuv420) << true << orientation;
}

void TestFaceCutter::sameAsWholePicture()
{
    QFETCH(QString, name);
    QFETCH(QSize, size);
    QFETCH(int, kind);
    QFETCH(int, sampling);
    QFETCH(bool, streamed);
    QFETCH(int, orientation);

    const QString path = Path(name);
    const QImage picture = TestPicture(size.width(), size.height());
    if (kind == 1 || kind == 2) {
        WriteJpeg(path, picture, kind == 2, ESampling(sampling));
        if (orientation != 1) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray turned = test::WithExif(file.readAll(), test::ExifBlock(orientation, orientation % 2 == 0));
            file.close();
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write(turned);
        }
    } else {
        QImageWriter writer(path, kind == 3 ? "png" : kind == 5 ? "bmp" : "jpeg");
        writer.setProgressiveScanWrite(kind == 4);
        QVERIFY2(writer.write(picture), qPrintable(writer.errorString()));
    }

    const CRgbImage whole(path);
    QVERIFY(whole.IsLoaded());
    CFaceCutter cutter(path);
    QVERIFY(cutter.IsOpen());
    QCOMPARE(cutter.IsStreaming(), streamed);
    const QSize upright = orientation >= 5 ? size.transposed() : size;
    QCOMPARE(QSize(whole.Width(), whole.Height()), upright);
    QCOMPARE(cutter.Width(), upright.width());
    QCOMPARE(cutter.Height(), upright.height());

    const std::vector<CFaceCut> cuts = Cuts(upright.width(), upright.height());
    std::vector<std::unique_ptr<CPaletteImage>> faces;
    QVERIFY(cutter.Cut(cuts, faces));
    QCOMPARE(faces.size(), cuts.size());
    for (std::size_t i = 0; i < cuts.size(); ++i) {
        const CFaceCut &c = cuts[i];
        const QByteArray what = QStringLiteral("%1,%2,%3,%4 to %5x%6")
                                    .arg(c.x1).arg(c.y1).arg(c.x2).arg(c.y2).arg(c.tw).arg(c.th)
                                    .toUtf8();
        const std::unique_ptr<CPaletteImage> expected =
            whole.CropToPaletteImage(c.x1, c.y1, c.x2, c.y2, c.tw, c.th);
        QVERIFY2(expected && faces[i], what.constData());
        QVERIFY2(faces[i]->Width() == expected->Width() && faces[i]->Height() == expected->Height(),
                 what.constData());
        QVERIFY2(Indices(*faces[i]) == Indices(*expected), what.constData());
    }
    // A second pass over the same file gives the same faces.
    std::vector<std::unique_ptr<CPaletteImage>> again;
    QVERIFY(cutter.Cut({cuts.front()}, again));
    QCOMPARE(Indices(*again.front()), Indices(*faces.front()));
}

void TestFaceCutter::badPictures_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("headerReads");

    const QString good = Path(QStringLiteral("good.jpg"));
    WriteJpeg(good, TestPicture(90, 70), false, ESampling::Yuv420);
    const QString goodProgressive = Path(QStringLiteral("goodp.jpg"));
    WriteJpeg(goodProgressive, TestPicture(90, 70), true, ESampling::Yuv420);
    QFile file(good), fileP(goodProgressive);
    QVERIFY(file.open(QIODevice::ReadOnly) && fileP.open(QIODevice::ReadOnly));
    const QByteArray baseline = file.readAll();
    const QByteArray progressive = fileP.readAll();
    // The scan data begins after the last start-of-scan marker's header.
    const qsizetype scan = baseline.lastIndexOf(QByteArray("\xFF\xDA", 2));
    QVERIFY(scan > 0);
    const qsizetype scanData = scan + 2 + (uchar(baseline[scan + 2]) << 8 | uchar(baseline[scan + 3]));

    QByteArray marker = baseline;
    marker.replace(scan + 200, 2, QByteArray("\xFF\xD3", 2)); // a marker inside the data
    QByteArray noise = baseline;
    for (qsizetype i = scan + 40; i < noise.size() - 40; i += 7)
        noise[i] = char(0xFF);

    // A layout libjpeg decodes but the whole-picture loader has no name for.
    const QString odd = Path(QStringLiteral("odd.jpg"));
    WriteJpeg(odd, TestPicture(90, 70), false, ESampling::Luma3x1);
    QFile oddFile(odd);
    QVERIFY(oddFile.open(QIODevice::ReadOnly));
    QTest::newRow("sampling 3x1") << "odd3x1.jpg" << oddFile.readAll() << false;

    QTest::newRow("cut short") << "short.jpg" << baseline.left(baseline.size() * 2 / 3) << true;
    QTest::newRow("cut short just before the end") << "end.jpg" << baseline.left(baseline.size() - 2) << true;
    QTest::newRow("progressive, cut short") << "shortp.jpg" << progressive.left(progressive.size() / 2) << true;
    QTest::newRow("cut short, another name") << "short.picture" << baseline.left(baseline.size() / 2) << true;
    QTest::newRow("stray marker") << "marker.jpg" << marker << true;
    QTest::newRow("noise") << "noise.jpg" << noise << true;
    QTest::newRow("header only") << "header.jpg" << baseline.left(scanData) << true;
    QTest::newRow("half a header") << "half.jpg" << baseline.left(100) << false;
    QTest::newRow("empty") << "empty.jpg" << QByteArray() << false;
    QTest::newRow("no JPEG") << "text.jpg" << QByteArray("P6\n1 1\n255\nabc") << false;
}

void TestFaceCutter::badPictures()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, headerReads);

    const QString path = Path(name);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
    file.close();

    // Whatever the whole-picture loader refuses, the cutter refuses.
    QVERIFY(!CRgbImage(path).IsLoaded());
    CFaceCutter cutter(path);
    QCOMPARE(cutter.IsOpen(), headerReads);
    std::vector<std::unique_ptr<CPaletteImage>> faces;
    QVERIFY(!cutter.Cut({{0, 0, 90, 70, 64, 64}}, faces));
    QVERIFY(faces.empty());
}

void TestFaceCutter::placedLater_data()
{
    QTest::addColumn<int>("orientation");
    QTest::addColumn<int>("delay");    // ms before the cuts are given; -1 given from the start
    QTest::addColumn<int>("heldRows"); // room for so many of the 61 stored rows; -1 the default
    QTest::addColumn<bool>("givenUp"); // no cuts given
    QTest::addColumn<bool>("cutShort");

    QTest::newRow("placed before decoding") << 1 << -1 << -1 << false << false;
    QTest::newRow("placed once decoded, all rows held") << 1 << 200 << -1 << false << false;
    // Two reads of 16 rows fit, the third waits for the cuts.
    QTest::newRow("turned, room for 40 rows") << 6 << 200 << 40 << false << false;
    QTest::newRow("no room at all") << 3 << 100 << 0 << false << false;
    QTest::newRow("given up") << 1 << 100 << -1 << true << false;
    QTest::newRow("cut short, placed once decoded") << 1 << 200 << -1 << false << true;
}

// Cuts known only while or after the picture decodes (a face search) give the faces known
// cuts give; rows held waiting are neither lost nor given twice.
void TestFaceCutter::placedLater()
{
    QFETCH(int, orientation);
    QFETCH(int, delay);
    QFETCH(int, heldRows);
    QFETCH(bool, givenUp);
    QFETCH(bool, cutShort);

    const QString path = Path(QStringLiteral("placed.jpg"));
    const QSize size(97, 61);
    WriteJpeg(path, TestPicture(size.width(), size.height()), false, ESampling::Yuv420);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QByteArray bytes = file.readAll();
    file.close();
    if (orientation != 1)
        bytes = test::WithExif(bytes, test::ExifBlock(orientation, false));
    if (cutShort)
        bytes = bytes.left(bytes.size() * 2 / 3);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
    file.close();

    CFaceCutter cutter(path);
    QVERIFY(cutter.IsOpen());
    const std::vector<CFaceCut> cuts = {{0, 0, cutter.Width(), cutter.Height(), 64, 64},
                                        {5, 3, 45, 43, 24, 24},
                                        {-4, 20, 30, 90, -1, -1}};
    std::promise<std::optional<std::vector<CFaceCut>>> promise;
    std::thread placer([&] {
        if (delay > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(delay));
        if (delay >= 0)
            promise.set_value(givenUp ? std::nullopt : std::optional(cuts));
    });
    if (delay < 0) {
        placer.join();
        promise.set_value(cuts);
    }
    std::vector<std::unique_ptr<CPaletteImage>> faces;
    const std::int64_t room = heldRows < 0 ? CFaceCutter::kMaxHeldRowBytes
                                           : std::int64_t(heldRows) * size.width() * 3;
    const bool cut = cutter.CutAsPlaced(promise.get_future(), faces, room);
    if (placer.joinable())
        placer.join();
    if (givenUp || cutShort) {
        QVERIFY(!cut);
        QVERIFY(faces.empty());
        return;
    }
    QVERIFY(cut);
    const CRgbImage whole(path);
    QVERIFY(whole.IsLoaded());
    QCOMPARE(faces.size(), cuts.size());
    for (std::size_t i = 0; i < cuts.size(); ++i) {
        const CFaceCut &c = cuts[i];
        const std::unique_ptr<CPaletteImage> expected =
            whole.CropToPaletteImage(c.x1, c.y1, c.x2, c.y2, c.tw, c.th);
        QVERIFY(expected && faces[i]);
        QCOMPARE(Indices(*faces[i]), Indices(*expected));
    }
}

void TestFaceCutter::lumaRows_data()
{
    QTest::addColumn<int>("sampling");
    QTest::addColumn<int>("denominator"); // of the DCT scaling, 1 for none
    QTest::addColumn<int>("most");        // difference from the colour rows' brightness
    // Halved colour is spread over its neighbours in the colour rows, which moves their
    // brightness a little at sharp edges.
    QTest::newRow("4:2:0") << int(ESampling::Yuv420) << 1 << 12;
    QTest::newRow("4:4:4 at a quarter") << int(ESampling::Yuv444) << 4 << 2;
    QTest::newRow("4:2:2 at a half") << int(ESampling::Yuv422) << 2 << 12;
    QTest::newRow("grey") << int(ESampling::Grey) << 1 << 0;
    QTest::newRow("grey at an eighth") << int(ESampling::Grey) << 8 << 0;
}

// The brightness alone, for the face search: grey rows of the picture's size, the colour
// rows' brightness but for rounding, and the very pixels of a grey picture.
void TestFaceCutter::lumaRows()
{
    QFETCH(int, sampling);
    QFETCH(int, denominator);
    QFETCH(int, most);
    const QString path = Path(QStringLiteral("luma.jpg"));
    WriteJpeg(path, TestPicture(97, 61), false, ESampling(sampling));
    CJpegStream colour(path, kMaxPicturePixels), luma(path, kMaxPicturePixels);
    QVERIFY(colour.IsOpen() && luma.IsOpen());
    if (denominator > 1)
        QVERIFY(colour.ScaleDown(denominator) && luma.ScaleDown(denominator));
    QVERIFY(luma.DecodeLuma());
    QVERIFY(colour.Start() && luma.Start());
    QCOMPARE(QSize(luma.Width(), luma.Height()), QSize(colour.Width(), colour.Height()));
    const int width = luma.Width();
    std::vector<std::uint8_t> a(std::size_t(width) * 3), b(std::size_t(width) * 3);
    int worst = 0;
    std::int64_t total = 0;
    for (int y = 0; y < luma.Height(); ++y) {
        std::uint8_t *rowA = a.data(), *rowB = b.data();
        QCOMPARE(colour.ReadRows(&rowA, 1), 1);
        QCOMPARE(luma.ReadRows(&rowB, 1), 1);
        for (int x = 0; x < width; ++x) {
            const std::uint8_t *c = rowA + 3 * x, *l = rowB + 3 * x;
            QVERIFY(l[0] == l[1] && l[1] == l[2]);
            const int bright = (77 * c[0] + 150 * c[1] + 29 * c[2] + 128) >> 8;
            worst = std::max(worst, std::abs(bright - l[0]));
            total += std::abs(bright - l[0]);
        }
    }
    QVERIFY2(worst <= most, qPrintable(QString::number(worst)));
    QVERIFY2(total <= std::int64_t(width) * luma.Height() / 2, qPrintable(QString::number(total)));
    QVERIFY(colour.Finish() && luma.Finish());
    // Once started, the rows' kind stays.
    QVERIFY(!luma.DecodeLuma());
}

QTEST_GUILESS_MAIN(TestFaceCutter)
#include "tst_facecutter.moc"
