// Colours into sRGB before anything else sees them: Display P3 pictures against Little CMS's
// own tificc, CMYK JPEGs against their RGB original, and the pictures that must not be
// touched (untagged or sRGB-tagged: every face cut from them stays byte for byte the same).

#include "image/RgbImage.h"
#include "tests/support/PictureCompare.h"

#include <QBuffer>
#include <QColorSpace>
#include <QFile>
#include <QImageReader>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <vector>

#include <jpeglib.h>

using namespace quorvel;
using namespace quorvel::test;

namespace {

// Smooth ramps out to saturated colours, where a wider gamut shows, and that JPEG's loss
// leaves nearly as they were.
QImage Colourful(int width, int height)
{
    QImage picture(width, height, QImage::Format_RGB888);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.setPixel(x, y, qRgb(x * 255 / (width - 1), y * 255 / (height - 1),
                                        255 - (x + y) * 255 / (width + height - 2)));
    return picture;
}

QByteArray Encode(QImage picture, const char *format, const QColorSpace &space, int quality = -1)
{
    if (space.isValid())
        picture.setColorSpace(space);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!picture.save(&buffer, format, quality))
        qFatal("cannot encode a %s test picture", format);
    return bytes;
}

enum class EInk { AdobeCmyk, AdobeYcck, PlainCmyk };

// A CMYK JPEG of the picture through libjpeg: black the darkness of each pixel, the inks what
// is left. Adobe's programs store the inks inverted, with their APP14 marker.
bool WriteCmykJpeg(const QString &path, const QImage &picture, EInk ink)
{
    FILE *out = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (!out)
        return false;
    jpeg_compress_struct info{};
    jpeg_error_mgr error{};
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, out);
    info.image_width = JDIMENSION(picture.width());
    info.image_height = JDIMENSION(picture.height());
    info.input_components = 4;
    info.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 95, TRUE);
    jpeg_set_colorspace(&info, ink == EInk::AdobeYcck ? JCS_YCCK : JCS_CMYK);
    info.write_Adobe_marker = ink != EInk::PlainCmyk;
    jpeg_start_compress(&info, TRUE);
    std::vector<JSAMPLE> row(std::size_t(picture.width()) * 4);
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            const QRgb c = picture.pixel(x, y);
            const int k = 255 - std::max({qRed(c), qGreen(c), qBlue(c)});
            const int left = 255 - k;
            const int inks[4] = {left ? (left - qRed(c)) * 255 / left : 0,
                                 left ? (left - qGreen(c)) * 255 / left : 0,
                                 left ? (left - qBlue(c)) * 255 / left : 0, k};
            for (int i = 0; i < 4; ++i)
                row[std::size_t(x) * 4 + i] = JSAMPLE(ink == EInk::PlainCmyk ? inks[i] : 255 - inks[i]);
        }
        JSAMPROW rows[] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return std::fclose(out) == 0;
}

// The JPEG with an APP2 "ICC_PROFILE" segment of the given bytes put after its start.
QByteArray WithProfileSegment(const QByteArray &jpeg, const QByteArray &profile)
{
    const QByteArray payload = QByteArray("ICC_PROFILE\0\x01\x01", 14) + profile;
    const int length = int(payload.size()) + 2;
    return jpeg.left(2) + QByteArray("\xFF\xE2", 2) + char(length >> 8) + char(length & 0xFF)
        + payload + jpeg.mid(2);
}

} // namespace

class TestColour : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void untouched_data();
    void untouched();
    void displayP3_data();
    void displayP3();
    void cmyk_data();
    void cmyk();
    void refusedProfile();

private:
    QString Write(const QString &name, const QByteArray &bytes)
    {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }
    QTemporaryDir m_dir;
};

void TestColour::untouched_data()
{
    QTest::addColumn<QByteArray>("format");
    QTest::newRow("JPEG") << QByteArray("JPEG");
    QTest::newRow("PNG") << QByteArray("PNG");
}

void TestColour::untouched()
{
    QFETCH(QByteArray, format);
    const QImage picture = Colourful(48, 32);
    const CRgbImage plain(Write("plain." + format, Encode(picture, format, QColorSpace(), 90)));
    const CRgbImage srgb(Write("srgb." + format, Encode(picture, format, QColorSpace::SRgb, 90)));
    QVERIFY(plain.IsLoaded() && srgb.IsLoaded());
    QVERIFY(plain.LoadReport().notes.isEmpty() && srgb.LoadReport().notes.isEmpty());
    QCOMPARE(ImageBytes(srgb), ImageBytes(plain));
    // What the decoder alone makes of it, as before there were profiles.
    QCOMPARE(LargestDifference(plain, QImage(m_dir.filePath("plain." + format))), 0);
}

void TestColour::displayP3_data()
{
    QTest::addColumn<QByteArray>("format");
    QTest::newRow("PNG") << QByteArray("PNG");
    QTest::newRow("JPEG") << QByteArray("JPEG");
}

void TestColour::displayP3()
{
    QFETCH(QByteArray, format);
    const QImage picture = Colourful(64, 48);
    const QString path = Write("p3." + format, Encode(picture, format, QColorSpace::DisplayP3, 95));
    // The reference: Little CMS's tificc, perceptual, onto its sRGB, from a P3-tagged TIFF of
    // the very pixels the file holds (Qt's reader leaves them as stored).
    const QImage stored(path);
    QCOMPARE(stored.colorSpace(), QColorSpace(QColorSpace::DisplayP3));
    const QString tiff = Write(QStringLiteral("p3.tif"), Encode(stored, "TIFF", QColorSpace::DisplayP3));
    const QString converted = m_dir.filePath(QStringLiteral("srgb.tif"));
    QProcess tificc;
    tificc.start(QStringLiteral("tificc"), {QStringLiteral("-t0"), tiff, converted});
    QVERIFY(tificc.waitForFinished(60000) && tificc.exitCode() == 0);
    const QImage reference(converted);
    QVERIFY(!reference.isNull());

    const CRgbImage image(path);
    QVERIFY(image.IsLoaded());
    QCOMPARE(image.LoadReport().notes,
             QStringList{QStringLiteral("Its colours were converted to sRGB from its colour profile.")});
    const int difference = LargestDifference(image, reference);
    QVERIFY2(difference >= 0 && difference <= 1, qPrintable(QString::number(difference)));
    // The colours did move: P3's saturated colours lie beyond sRGB's.
    QVERIFY(LargestDifference(image, stored) > 20);
}

void TestColour::cmyk_data()
{
    QTest::addColumn<int>("ink");
    QTest::newRow("Adobe's inverted CMYK") << int(EInk::AdobeCmyk);
    QTest::newRow("YCCK") << int(EInk::AdobeYcck);
    QTest::newRow("CMYK without Adobe's marker") << int(EInk::PlainCmyk);
}

void TestColour::cmyk()
{
    QFETCH(int, ink);
    const QImage picture = Colourful(64, 48);
    const QString path = m_dir.filePath(QStringLiteral("cmyk.jpg"));
    QVERIFY(WriteCmykJpeg(path, picture, EInk(ink)));
    const CRgbImage image(path);
    QVERIFY(image.IsLoaded());
    const int difference = LargestDifference(image, picture);
    QVERIFY2(difference >= 0 && difference <= 8, qPrintable(QString::number(difference)));
}

void TestColour::refusedProfile()
{
    const QByteArray jpeg = Encode(Colourful(32, 16), "JPEG", QColorSpace(), 90);
    const CRgbImage plain(Write(QStringLiteral("plain.jpg"), jpeg));
    const CRgbImage image(Write(QStringLiteral("junk.jpg"),
                                WithProfileSegment(jpeg, QByteArray(300, 'j'))));
    QVERIFY(image.IsLoaded());
    QCOMPARE(image.LoadReport().notes,
             QStringList{QStringLiteral("Its colour profile could not be used and was ignored.")});
    QCOMPARE(ImageBytes(image), ImageBytes(plain));
}

QTEST_MAIN(TestColour)
#include "tst_colour.moc"
