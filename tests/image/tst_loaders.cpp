#include "image/Loaders.h"
#include "image/RgbImage.h"
#include "tests/support/PictureCompare.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <turbojpeg.h>

#include <memory>

using namespace quorvel;
using namespace quorvel::test;

namespace {

// 5 x 3, every pixel a different colour.
QImage TestPicture()
{
    QImage picture(5, 3, QImage::Format_RGB32);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            picture.setPixel(x, y, qRgb(x * 50, y * 100, 255 - x * 20 - y * 7));
    return picture;
}

QByteArray Encode(const QImage &picture, const char *format, int quality = -1)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    if (!writer.write(picture))
        qFatal("cannot encode a %s test picture: %s", format, qPrintable(writer.errorString()));
    return bytes;
}


QByteArray Ppm(const QImage &picture)
{
    return QByteArray("P6\n") + QByteArray::number(picture.width()) + ' '
        + QByteArray::number(picture.height()) + "\n255\n" + RawBytes(picture);
}


// A JPEG of noise, large enough that cutting it in half loses picture data, not the header.
QByteArray NoisyJpeg()
{
    QRandomGenerator random(99);
    QImage noise(64, 64, QImage::Format_RGB32);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            noise.setPixel(x, y, random.generate() | 0xFF000000u);
    return Encode(noise, "jpeg", 90);
}

// The start-of-frame segment's height and width, big-endian after the precision byte.
QByteArray WithJpegSize(QByteArray jpeg, int width, int height)
{
    const qsizetype frame = jpeg.indexOf(QByteArray("\xFF\xC0", 2));
    if (frame < 0)
        qFatal("no baseline frame header in the test JPEG");
    jpeg[frame + 5] = char(height >> 8);
    jpeg[frame + 6] = char(height);
    jpeg[frame + 7] = char(width >> 8);
    jpeg[frame + 8] = char(width);
    return jpeg;
}

QByteArray WithBmpSize(QByteArray bmp, qint32 width, qint32 height)
{
    for (int i = 0; i < 4; ++i) {
        bmp[18 + i] = char(quint32(width) >> (8 * i));
        bmp[22 + i] = char(quint32(height) >> (8 * i));
    }
    return bmp;
}

int BmpBitCount(const QByteArray &bmp)
{
    return uchar(bmp[28]) | (uchar(bmp[29]) << 8);
}

// A 5 x 3 run-length bitmap (8 or 4 bits a pixel), each row a run, an absolute run of three and
// an end of row, then the end-of-bitmap mark.
QByteArray RunLengthBmp(bool fourBit)
{
    QByteArray data;
    for (int row = 0; row < 3; ++row) {
        data.append(char(2)).append(char(fourBit ? 0x12 : 1 + row));
        if (fourBit)
            data.append(char(0)).append(char(3)).append(char(0x31)).append(char(0x20));
        else
            data.append(char(0)).append(char(3)).append(char(2)).append(char(3)).append(char(1)).append(char(0));
        data.append(char(0)).append(char(0));
    }
    data.append(char(0)).append(char(1));
    QByteArray colours;
    for (int i = 0; i < 16; ++i)
        colours.append(char(i * 16)).append(char(255 - i * 16)).append(char(i * 8)).append(char(0));
    const quint32 start = 14 + 40 + quint32(colours.size());
    QByteArray file("BM");
    const auto put = [&file](quint32 value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            file.append(char(value >> (8 * i)));
    };
    put(start + quint32(data.size()), 4);
    put(0, 4);
    put(start, 4);
    put(40, 4);
    put(5, 4);
    put(3, 4);
    put(1, 2);
    put(fourBit ? 4 : 8, 2);
    put(fourBit ? 2 : 1, 4);
    put(quint32(data.size()), 4);
    put(2835, 4);
    put(2835, 4);
    put(16, 4);
    put(0, 4);
    return file + colours + data;
}

// A 1 x 1 GIF whose one pixel is colour 0 of its table, red.
QByteArray RedGif()
{
    static const unsigned char bytes[] = {
        'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0x80, 0, 0, // screen, two-colour table
        0xFF, 0, 0, 0, 0, 0xFF,                                // red, blue
        0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0,                       // image descriptor
        2, 2, 0x44, 0x01, 0,                                   // LZW: clear, 0, end
        0x3B};
    return QByteArray(reinterpret_cast<const char *>(bytes), sizeof bytes);
}

} // namespace

class TestLoaders : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void dispatch_data();
    void dispatch();
    void heifLoadedOnlyForHeif();
    void jpegDecodes();
    void jpegFileAsInMemory_data();
    void jpegFileAsInMemory();
    void bitmapDepthsAgree();
    void bitmapTopDown();
    void fallbackPixels();
    void refusals_data();
    void refusals();
    void problems_data();
    void problems();
    void formatOfContent_data();
    void formatOfContent();

private:
    QString Write(const QString &name, const QByteArray &bytes);

    QTemporaryDir m_dir;
    QMap<QString, QByteArray> m_content;
};

QString TestLoaders::Write(const QString &name, const QByteArray &bytes)
{
    const QString path = m_dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

void TestLoaders::initTestCase()
{
    QVERIFY(m_dir.isValid());
    const QImage picture = TestPicture();
    m_content["jpeg"] = Encode(picture, "jpeg", 95);
    m_content["ppm"] = Ppm(picture);
    m_content["bmp"] = Encode(picture, "bmp");
    m_content["png"] = Encode(picture, "png");
    m_content["pgm"] = Encode(picture.convertToFormat(QImage::Format_Grayscale8), "pgm");
    m_content["gif"] = RedGif();
    m_content["ppm-short-header"] = "P6\n5 ";
    const QByteArray noisy = NoisyJpeg();
    m_content["jpeg-cut"] = noisy.left(noisy.size() / 2);
    m_content["text"] = "just some words\n";
    const QByteArray gif = RedGif();
    m_content["gif-cut-in-image"] = gif.left(gif.size() - 3);
    m_content["gif-cut-in-colours"] = gif.left(16);
    m_content["gif-without-trailer"] = gif.left(gif.size() - 1);
}

void TestLoaders::dispatch_data()
{
    QTest::addColumn<QString>("content");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("loaded");

    const QSize one(1, 1), picture(5, 3);
    QTest::newRow("jpeg .JPG") << "jpeg" << "face.JPG" << picture << true;
    QTest::newRow("jpeg .Jpeg") << "jpeg" << "face.Jpeg" << picture << true;
    QTest::newRow("jpeg .bmp") << "jpeg" << "face.bmp" << one << false;
    QTest::newRow("jpeg .ppm") << "jpeg" << "face.ppm" << one << false;
    QTest::newRow("jpeg .dat") << "jpeg" << "face.dat" << picture << true;
    QTest::newRow("ppm .img") << "ppm" << "face.img" << picture << true;
    QTest::newRow("ppm .PPM") << "ppm" << "face.PPM" << picture << true;
    QTest::newRow("ppm no extension") << "ppm" << "face" << picture << true;
    QTest::newRow("ppm .jpg") << "ppm" << "face.jpg" << one << false;
    QTest::newRow("bmp .Bmp") << "bmp" << "face.Bmp" << picture << true;
    QTest::newRow("bmp .data") << "bmp" << "face.data" << picture << true;
    QTest::newRow("png fallback") << "png" << "face.png" << picture << true;
    QTest::newRow("png .bmp") << "png" << "face.bmp" << one << false;
    QTest::newRow("pgm fallback") << "pgm" << "face.pgm" << picture << true;
    QTest::newRow("gif fallback") << "gif" << "face.gif" << one << true;
    QTest::newRow("gif cut in its image") << "gif-cut-in-image" << "face.gif" << one << false;
    QTest::newRow("gif cut in its colours") << "gif-cut-in-colours" << "face.gif" << one << false;
    QTest::newRow("gif without its trailer") << "gif-without-trailer" << "face.gif" << one << true;
    QTest::newRow("ppm header cut") << "ppm-short-header" << "face.ppm" << one << false;
    QTest::newRow("jpeg data cut") << "jpeg-cut" << "face.jpg" << QSize(64, 64) << false;
    QTest::newRow("jpeg data cut .dat") << "jpeg-cut" << "face.dat" << QSize(64, 64) << false;
    QTest::newRow("text .txt") << "text" << "notes.txt" << one << false;
    QTest::newRow("dot in folder only") << "ppm" << "folder.jpg/face" << picture << true;
}

void TestLoaders::dispatch()
{
    QFETCH(QString, content);
    QFETCH(QString, name);
    QFETCH(QSize, size);
    QFETCH(bool, loaded);

    QVERIFY(QDir(m_dir.path()).mkpath(QFileInfo(m_dir.filePath(name)).path()));
    const CRgbImage image(Write(name, m_content.value(content)));
    QCOMPARE(QSize(image.Width(), image.Height()), size);
    QCOMPARE(image.IsLoaded(), loaded);
    if (!loaded) {
        // Whatever failed leaves black behind: the starting pixel or the header's size.
        QVERIFY(ImageBytes(image).count('\0') == ImageBytes(image).size());
    } else if (content == "ppm" || content == "bmp" || content == "png") {
        QCOMPARE(ImageBytes(image), RawBytes(TestPicture()));
    } else if (content.startsWith("gif")) {
        QCOMPARE(image.PixelAt(0, 0), CRgbTriple(255, 0, 0));
    } else if (content == "pgm") {
        QCOMPARE(ImageBytes(image),
                 RawBytes(TestPicture().convertToFormat(QImage::Format_Grayscale8)));
    }
}

// libheif and its codecs hold 2 MB resident: the pictures of other kinds, read above, leave
// them unloaded, and the first question about HEIF loads them.
void TestLoaders::heifLoadedOnlyForHeif()
{
#if defined(Q_OS_LINUX)
    const auto mapped = [] {
        QFile maps(QStringLiteral("/proc/self/maps"));
        return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("/libheif.so");
    };
    QVERIFY(!mapped());
    QString why;
    QVERIFY2(CanReadPictureFormat(EPictureFormat::Heif, &why), qPrintable(why));
    QVERIFY(mapped());
#else
    QSKIP("reads the libraries mapped from /proc");
#endif
}

void TestLoaders::jpegDecodes()
{
    QImage flat(16, 8, QImage::Format_RGB32);
    flat.fill(qRgb(100, 150, 200));
    const QString path = Write("flat.jpeg", Encode(flat, "jpeg", 100));
    const CRgbImage image(path);
    QVERIFY(image.IsLoaded());
    QCOMPARE(image.Width(), 16);
    QCOMPARE(image.Height(), 8);
    for (int i = 0; i < 16 * 8; ++i) {
        const CRgbTriple &p = image.Pixels()[i];
        QVERIFY(std::abs(p.red - 100) <= 2 && std::abs(p.green - 150) <= 2
                && std::abs(p.blue - 200) <= 2);
    }
}

void TestLoaders::jpegFileAsInMemory_data()
{
    QTest::addColumn<bool>("progressive");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QString>("sampling"); // cjpeg's, or empty for Qt's writer (4:2:0)
    QTest::newRow("baseline") << false << QSize(75, 41) << QString();
    QTest::newRow("progressive") << true << QSize(75, 41) << QString();
    // Its coefficients fill several blocks of memory, given back while the rows are output.
    QTest::newRow("progressive, large") << true << QSize(1600, 1200) << QString();
    // Colour halved in height only, as a 4:2:2 photo turned on its side: read raw and
    // upsampled by the loader itself, at the picture's edges and across rows of blocks.
    QTest::newRow("4:4:0") << false << QSize(75, 41) << QStringLiteral("1x2");
    QTest::newRow("4:4:0, a row of blocks and one row") << false << QSize(64, 17) << QStringLiteral("1x2");
    QTest::newRow("4:4:0, one row") << false << QSize(40, 1) << QStringLiteral("1x2");
    QTest::newRow("4:4:0, progressive, large") << true << QSize(1600, 1200) << QStringLiteral("1x2");
}

void TestLoaders::jpegFileAsInMemory()
{
    // A file is decoded as it is read, its bytes in memory all at once: the same pixels.
    QFETCH(bool, progressive);
    QFETCH(QSize, size);
    QFETCH(QString, sampling);
    QRandomGenerator random(5);
    QImage noise(size, QImage::Format_RGB32);
    for (int y = 0; y < noise.height(); ++y)
        for (int x = 0; x < noise.width(); ++x)
            noise.setPixel(x, y, random.generate() | 0xFF000000u);
    QByteArray bytes;
    if (sampling.isEmpty()) {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "jpeg");
        writer.setProgressiveScanWrite(progressive);
        QVERIFY(writer.write(noise));
        bytes = buffer.data();
    } else {
        // cjpeg writes the sampling asked for.
        const QString ppm = m_dir.filePath(QStringLiteral("noise.ppm"));
        const QString jpeg = m_dir.filePath(QStringLiteral("sampled.jpg"));
        QVERIFY(noise.save(ppm, "PPM"));
        QStringList args{"-quality", "90", "-sample", sampling, "-outfile", jpeg, ppm};
        if (progressive)
            args.prepend(QStringLiteral("-progressive"));
        QProcess cjpeg;
        cjpeg.start(QStringLiteral("cjpeg"), args);
        QVERIFY(cjpeg.waitForFinished(60000) && cjpeg.exitStatus() == QProcess::NormalExit
                && cjpeg.exitCode() == 0);
        QFile file(jpeg);
        QVERIFY(file.open(QIODevice::ReadOnly));
        bytes = file.readAll();
    }
    const CRgbImage fromFile(Write("noise.jpg", bytes));
    QVERIFY(fromFile.IsLoaded());
    // TurboJPEG's decode of the whole file in memory, with the loader's settings.
    QByteArray fromMemory(qsizetype(size.width()) * size.height() * 3, '\0');
    const std::unique_ptr<void, int (*)(tjhandle)> decoder(tjInitDecompress(), tjDestroy);
    QVERIFY(tjDecompress2(decoder.get(), reinterpret_cast<const unsigned char *>(bytes.constData()),
                          static_cast<unsigned long>(bytes.size()),
                          reinterpret_cast<unsigned char *>(fromMemory.data()), size.width(), 0,
                          size.height(), TJPF_RGB, 0) == 0);
    QCOMPARE(ImageBytes(fromFile), fromMemory);
}

void TestLoaders::bitmapDepthsAgree()
{
    // More than 16 colours, so that the bitmap is written with eight bits a pixel.
    QImage indexed(7, 5, QImage::Format_Indexed8);
    QList<QRgb> colours;
    for (int i = 0; i < 20; ++i)
        colours.append(qRgb(i * 13, 255 - i * 11, (i * 97) % 256));
    indexed.setColorTable(colours);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x)
            indexed.setPixel(x, y, uint((x + 7 * y) % 20));
    const QByteArray eightBit = Encode(indexed, "bmp");
    const QByteArray trueColour = Encode(indexed.convertToFormat(QImage::Format_RGB32), "bmp");
    QCOMPARE(BmpBitCount(eightBit), 8);
    QCOMPARE(BmpBitCount(trueColour), 24);

    const CRgbImage fromEight(Write("eight.bmp", eightBit));
    const CRgbImage fromTrue(Write("true.bmp", trueColour));
    QVERIFY(fromEight.IsLoaded() && fromTrue.IsLoaded());
    QCOMPARE(ImageBytes(fromEight), RawBytes(indexed));
    QCOMPARE(ImageBytes(fromTrue), ImageBytes(fromEight));
}

void TestLoaders::bitmapTopDown()
{
    // A negative height stores the rows top row first: the same bytes show the picture flipped.
    const QImage picture = TestPicture();
    const QByteArray bottomUp = Encode(picture, "bmp");
    const CRgbImage image(Write("topdown.bmp", WithBmpSize(bottomUp, 5, -3)));
    QVERIFY(image.IsLoaded());
    QCOMPARE(ImageBytes(image), RawBytes(picture.mirrored(false, true)));
}

void TestLoaders::fallbackPixels()
{
    // Colours are taken as they stand; alpha is dropped, not blended.
    QImage picture(2, 1, QImage::Format_ARGB32);
    picture.setPixel(0, 0, qRgba(200, 100, 50, 128));
    picture.setPixel(1, 0, qRgba(10, 20, 30, 0));
    const CRgbImage image(Write("alpha.png", Encode(picture, "png")));
    QVERIFY(image.IsLoaded());
    QCOMPARE(image.PixelAt(0, 0), CRgbTriple(200, 100, 50));
    QCOMPARE(image.PixelAt(1, 0), CRgbTriple(10, 20, 30));
}

void TestLoaders::refusals_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<qint64>("maxPixels");
    QTest::addColumn<bool>("loaded");

    const QByteArray jpeg = Encode(TestPicture(), "jpeg", 95);
    const QByteArray bmp = Encode(TestPicture(), "bmp");
    QTest::newRow("jpeg header too large") << "huge.jpg" << WithJpegSize(jpeg, 65000, 65000)
                                           << qint64(kMaxPicturePixels) << false;
    QTest::newRow("jpeg over a small limit") << "five.jpg" << jpeg << qint64(14) << false;
    QTest::newRow("jpeg at a small limit") << "five.jpg" << jpeg << qint64(15) << true;
    QTest::newRow("bmp header too large") << "huge.bmp" << WithBmpSize(bmp, 40000, 40000)
                                          << qint64(kMaxPicturePixels) << false;
    QTest::newRow("bmp header beyond 64 bits") << "vast.bmp"
                                               << WithBmpSize(bmp, 0x7FFFFFFF, -0x7FFFFFFF)
                                               << qint64(kMaxPicturePixels) << false;
    QTest::newRow("bmp over a small limit") << "five.bmp" << bmp << qint64(14) << false;
    QTest::newRow("bmp zero width") << "zero.bmp" << WithBmpSize(bmp, 0, 3)
                                    << qint64(kMaxPicturePixels) << false;
    QTest::newRow("bmp truncated") << "cut.bmp" << bmp.left(bmp.size() - 20)
                                   << qint64(kMaxPicturePixels) << false;
    for (const bool fourBit : {false, true}) {
        const QByteArray rle = RunLengthBmp(fourBit);
        const QByteArray kind = fourBit ? "rle4" : "rle8";
        QTest::newRow(kind + " whole") << "rle.bmp" << rle << qint64(kMaxPicturePixels) << true;
        QTest::newRow(kind + " without its end mark") << "rle.bmp" << rle.left(rle.size() - 2)
                                                      << qint64(kMaxPicturePixels) << true;
        QTest::newRow(kind + " cut in its last row") << "rle.bmp" << rle.left(rle.size() - 6)
                                                     << qint64(kMaxPicturePixels) << false;
        const int dataStart = uchar(rle[10]) | (uchar(rle[11]) << 8);
        QTest::newRow(kind + " cut in its first row") << "rle.bmp" << rle.left(dataStart + 3)
                                                      << qint64(kMaxPicturePixels) << false;
    }
    QTest::newRow("png over a small limit") << "five.png" << Encode(TestPicture(), "png")
                                            << qint64(14) << false;
    QTest::newRow("ppm over a small limit") << "five.ppm" << Ppm(TestPicture()) << qint64(14)
                                            << false;
}

void TestLoaders::refusals()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(qint64, maxPixels);
    QFETCH(bool, loaded);

    const CRgbImage image(Write(name, bytes), maxPixels);
    QCOMPARE(image.IsLoaded(), loaded);
    if (loaded)
        QCOMPARE(QSize(image.Width(), image.Height()), QSize(5, 3));
    else
        QCOMPARE(QSize(image.Width(), image.Height()), QSize(1, 1));
}

void TestLoaders::problems_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");

    const QByteArray jpeg = Encode(TestPicture(), "jpeg", 95);
    const QString damagedPpm = QStringLiteral("the PPM picture could not be read whole.");
    QTest::newRow("16-bit PPM") << "deep.ppm" << QByteArray("P6 1 1 65535\nABCDEF")
                                << "PPM picture, but its samples have more than 8 bits (maxval 65535).";
    QTest::newRow("PPM of maxval 0") << "zero.ppm" << QByteArray("P6 1 1 0\nABC") << damagedPpm;
    QTest::newRow("PPM cut short") << "cut.dat" << QByteArray("P6 2 1 255\nABC") << damagedPpm;
    QTest::newRow("PPM too large") << "huge.ppm" << QByteArray("P6 20000 17896 255\nABC")
                                   << "the PPM picture is 20000x17896 pixels, more than can be "
                                      "read (at most 357 megapixels).";
    QTest::newRow("JPEG too large") << "huge.jpg" << WithJpegSize(jpeg, 65000, 65000)
                                    << "the JPEG picture is 65000x65000 pixels, more than can be "
                                       "read (at most 357 megapixels).";
    QTest::newRow("JPEG cut short") << "cut.jpg" << NoisyJpeg().left(2000)
                                    << "the JPEG picture could not be read whole.";
    QTest::newRow("GIF cut short") << "cut.gif" << RedGif().left(30)
                                   << "the GIF picture could not be read whole.";
    QTest::newRow("BMP cut short") << "cut.bmp" << Encode(TestPicture(), "bmp").left(60)
                                   << "the BMP picture could not be read whole.";
    // Nothing recognised the file: its name and its first bytes tell.
    QTest::newRow("text named .jpg") << "notes.jpg" << QByteArray("just words") << "not a JPEG file.";
    QTest::newRow("JPEG named .bmp") << "photo.bmp" << jpeg
                                     << "not a BMP file; its content looks like JPEG.";
}

void TestLoaders::problems()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    const QString path = Write(name, bytes);
    const CRgbImage image(path);
    QVERIFY(!image.IsLoaded());
    QCOMPARE(PictureProblemText(path, image.LoadReport()), text);
}

void TestLoaders::formatOfContent_data()
{
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<QString>("format");

    const QImage picture = TestPicture();
    QTest::newRow("jpeg") << Encode(picture, "jpeg", 95) << "JPEG";
    QTest::newRow("png") << Encode(picture, "png") << "PNG";
    QTest::newRow("bmp") << Encode(picture, "bmp") << "BMP";
    QTest::newRow("gif") << RedGif() << "GIF";
    QTest::newRow("ppm after a comment") << QByteArray("# made by hand\nP3 1 1 255 0 0 0") << "PPM";
    QTest::newRow("pgm") << Encode(picture.convertToFormat(QImage::Format_Grayscale8), "pgm") << "PGM";
    QTest::newRow("tiff") << QByteArray("II*\0\x08\0\0\0", 8) << "TIFF";
    QTest::newRow("webp") << QByteArray("RIFF\x24\0\0\0WEBPVP8 ", 16) << "WebP";
    QTest::newRow("heic") << QByteArray("\0\0\0\x18" "ftypheic\0\0\0\0mif1heic", 24) << "HEIF";
    QTest::newRow("heif of mif1 alone") << QByteArray("\0\0\0\x10" "ftypmif1\0\0\0\0", 16) << "HEIF";
    QTest::newRow("avif among the compatible brands")
        << QByteArray("\0\0\0\x1C" "ftypmif1\0\0\0\0mif1avifmiaf", 28) << "AVIF";
    QTest::newRow("a video, not a picture") << QByteArray("\0\0\0\x18" "ftypmp42\0\0\0\0isommp42", 24) << QString();
    // Beginnings that only look like one, and heads cut short, are nothing.
    QTest::newRow("text starting BM") << QByteArray("BMW 2002, blue, one careful owner") << QString();
    QTest::newRow("jpeg cut short") << QByteArray("\xFF\xD8") << QString();
    QTest::newRow("png cut short") << QByteArray("\x89PNG\r\n") << QString();
    QTest::newRow("a lone P") << QByteArray("# comment\nP") << QString();
    QTest::newRow("empty") << QByteArray() << QString();
}

void TestLoaders::formatOfContent()
{
    QFETCH(QByteArray, head);
    QFETCH(QString, format);
    QCOMPARE(PictureFormatName(PictureFormatOfContent(head)), format);
}

QTEST_MAIN(TestLoaders)
#include "tst_loaders.moc"
