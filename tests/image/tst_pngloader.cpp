// PNG through libpng: every kind of stored pixel reads as Qt's reader shows it, interlaced files
// too, the eXIf orientation before or after the pixels turns the picture, and damaged or huge
// files are refused with their reason.

#include "image/Loaders.h"
#include "image/RgbImage.h"
#include "tests/support/PictureCompare.h"
#include "tests/support/ExifJpeg.h"

#include <QBuffer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <png.h>
#include <zlib.h>

#include <cstdio>

using namespace quorvel;
using namespace quorvel::test;

namespace {

QImage Noise(int width, int height, quint32 seed)
{
    QRandomGenerator random(seed);
    QImage picture(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.setPixel(x, y, random.generate());
    return picture;
}


QByteArray Chunk(const char *type, const QByteArray &data)
{
    QByteArray chunk;
    const quint32 length = quint32(data.size());
    for (int shift : {24, 16, 8, 0})
        chunk.append(char(length >> shift));
    chunk.append(type, 4).append(data);
    const uLong crc = crc32(0, reinterpret_cast<const Bytef *>(chunk.constData() + 4), uInt(data.size() + 4));
    for (int shift : {24, 16, 8, 0})
        chunk.append(char(crc >> shift));
    return chunk;
}

// The PNG with a chunk put in before the first IDAT, or after the last.
QByteArray WithChunk(const QByteArray &png, const QByteArray &chunk, bool afterPixels)
{
    const qsizetype at = afterPixels ? png.lastIndexOf("IEND") - 4 : png.indexOf("IDAT") - 4;
    return png.left(at) + chunk + png.mid(at);
}

// An Adam7-interlaced 8-bit RGB PNG, written with libpng (Qt's writer does not interlace).
bool WriteInterlaced(const QString &path, const QImage &picture)
{
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
    FILE *out = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (!out)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(out);
        return false;
    }
    png_init_io(png, out);
    png_set_IHDR(png, info, png_uint_32(rgb.width()), png_uint_32(rgb.height()), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_ADAM7, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_bytep> rows;
    for (int y = 0; y < rgb.height(); ++y)
        rows.push_back(const_cast<png_bytep>(rgb.constScanLine(y)));
    png_set_rows(png, info, rows.data());
    png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(out) == 0;
}

QByteArray Encode(const QImage &picture)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!picture.save(&buffer, "PNG"))
        qFatal("cannot encode a test PNG");
    return bytes;
}

} // namespace

class TestPngLoader : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void kinds_data();
    void kinds();
    void interlaced();
    void orientation_data();
    void orientation();
    void refusals_data();
    void refusals();

private:
    QString Write(const QString &name, const QByteArray &bytes);
    QTemporaryDir m_dir;
};

QString TestPngLoader::Write(const QString &name, const QByteArray &bytes)
{
    const QString path = m_dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

void TestPngLoader::kinds_data()
{
    QTest::addColumn<int>("format"); // QImage::Format written
    QTest::newRow("RGB") << int(QImage::Format_RGB888);
    QTest::newRow("RGBA, alpha dropped") << int(QImage::Format_ARGB32);
    QTest::newRow("palette") << int(QImage::Format_Indexed8);
    QTest::newRow("grey") << int(QImage::Format_Grayscale8);
    QTest::newRow("one bit") << int(QImage::Format_Mono);
    QTest::newRow("grey, 16 bits") << int(QImage::Format_Grayscale16);
    QTest::newRow("RGBA, 16 bits") << int(QImage::Format_RGBA64);
    QTest::newRow("RGB, 16 bits") << int(QImage::Format_RGBX64);
}

void TestPngLoader::kinds()
{
    QFETCH(int, format);
    QImage picture = Noise(37, 23, quint32(format));
    picture = format == QImage::Format_Indexed8
        ? picture.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither)
        : picture.convertToFormat(QImage::Format(format));
    const QString path = Write(QStringLiteral("kind.png"), Encode(picture));
    const CRgbImage image(path);
    QVERIFY(image.IsLoaded());
    QCOMPARE(image.LoadReport().format, EPictureFormat::Png);
    QImage qt(path);
    QVERIFY(!qt.isNull());
    // Colours as they stand, whatever alpha said.
    if (qt.hasAlphaChannel())
        qt = qt.convertToFormat(QImage::Format_ARGB32).convertToFormat(QImage::Format_RGB32);
    QCOMPARE(LargestDifference(image, qt), 0);
}

void TestPngLoader::interlaced()
{
    const QImage picture = Noise(41, 29, 7);
    const QString path = m_dir.filePath(QStringLiteral("interlaced.png"));
    QVERIFY(WriteInterlaced(path, picture));
    const CRgbImage image(path);
    QVERIFY(image.IsLoaded());
    QCOMPARE(LargestDifference(image, picture), 0);
}

void TestPngLoader::orientation_data()
{
    QTest::addColumn<bool>("afterPixels");
    QTest::addColumn<bool>("interlace");
    QTest::newRow("eXIf before the pixels") << false << false;
    QTest::newRow("eXIf after the pixels") << true << false;
    QTest::newRow("interlaced, eXIf after the pixels") << true << true;
}

void TestPngLoader::orientation()
{
    QFETCH(bool, afterPixels);
    QFETCH(bool, interlace);
    const QImage picture = Noise(31, 17, 3).convertToFormat(QImage::Format_RGB888);
    QByteArray png = Encode(picture);
    if (interlace) {
        const QString path = m_dir.filePath(QStringLiteral("i.png"));
        QVERIFY(WriteInterlaced(path, picture));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        png = file.readAll();
    }
    // Turned 90 degrees clockwise to be shown.
    const QString path = Write(QStringLiteral("turned.png"),
                               WithChunk(png, Chunk("eXIf", test::ExifBlock(6, true)), afterPixels));
    const CRgbImage image(path);
    QVERIFY(image.IsLoaded());
    QCOMPARE(LargestDifference(image, picture.transformed(QTransform().rotate(90))), 0);
}

void TestPngLoader::refusals_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("why");
    const QByteArray png = Encode(Noise(64, 64, 5));
    QByteArray header = png.left(33); // signature and IHDR
    const auto withSize = [&header](quint32 width, quint32 height) {
        QByteArray data = header.mid(16, 13);
        for (int i = 0; i < 4; ++i) {
            data[i] = char(width >> (24 - 8 * i));
            data[4 + i] = char(height >> (24 - 8 * i));
        }
        data[8] = 16; // bits
        data[9] = 6;  // RGBA
        return header.left(8) + Chunk("IHDR", data) + Chunk("IDAT", QByteArray(4, 'x'));
    };
    const QString damaged = QStringLiteral("the PNG picture could not be read whole.");
    QTest::newRow("cut in the pixels") << png.left(png.size() / 2) << damaged;
    QTest::newRow("cut before the end chunk") << png.left(png.size() - 12) << damaged;
    QTest::newRow("header only") << header << damaged;
    QTest::newRow("a bad CRC in the header") << QByteArray(png).replace(29, 1, "\x00") << damaged;
    // The size is checked before anything is allocated.
    QTest::newRow("18000 x 18000 claimed, no data") << withSize(18000, 18000) << damaged;
    QTest::newRow("20000 x 20000 claimed") << withSize(20000, 20000)
        << QStringLiteral("the PNG picture is 20000x20000 pixels, more than can be read (at most 357 megapixels).");
}

void TestPngLoader::refusals()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, why);
    const QString path = Write(QStringLiteral("bad.png"), bytes);
    const CRgbImage image(path);
    QVERIFY(!image.IsLoaded());
    QCOMPARE(PictureProblemText(path, image.LoadReport()), why);
}

QTEST_MAIN(TestPngLoader)
#include "tst_pngloader.moc"
