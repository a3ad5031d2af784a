// Colours into sRGB before anything else sees them: Display P3 pictures, and HEIF pictures whose
// colours are given by number, against Little CMS's own tificc, CMYK JPEGs against their RGB
// original, and the pictures that must not be touched (untagged or sRGB-tagged: every face cut
// from them stays byte for byte the same).

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
#include <cstring>
#include <vector>

#include <jpeglib.h>
#include <libheif/heif.h>

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

// An AVIF of the picture whose colr box gives its colours by number (nclx), written through
// libheif, as heif-enc leaves such a box out (AV1, as libheif's HEVC encoder leaks).
bool WriteNclxAvif(const QString &path, const QImage &source, int primaries, int transfer)
{
    const QImage picture = source.convertToFormat(QImage::Format_RGB888);
    heif_context *context = heif_context_alloc();
    heif_image *image = nullptr;
    heif_encoder *encoder = nullptr;
    heif_color_profile_nclx *nclx = heif_nclx_color_profile_alloc();
    heif_encoding_options *options = heif_encoding_options_alloc();
    bool good = context && nclx && options
        && heif_image_create(picture.width(), picture.height(), heif_colorspace_RGB,
                             heif_chroma_interleaved_RGB, &image).code == heif_error_Ok
        && heif_image_add_plane(image, heif_channel_interleaved, picture.width(), picture.height(), 8).code
               == heif_error_Ok;
    if (good) {
        int stride = 0;
        std::uint8_t *plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
        for (int y = 0; y < picture.height(); ++y)
            std::memcpy(plane + std::size_t(y) * std::size_t(stride), picture.constScanLine(y),
                        std::size_t(picture.width()) * 3);
        heif_nclx_color_profile_set_color_primaries(nclx, std::uint16_t(primaries));
        heif_nclx_color_profile_set_transfer_characteristics(nclx, std::uint16_t(transfer));
        heif_nclx_color_profile_set_matrix_coefficients(nclx, 6);
        nclx->full_range_flag = 1;
        heif_image_set_nclx_color_profile(image, nclx);
        options->output_nclx_profile = nclx;
        options->macOS_compatibility_workaround_no_nclx_profile = 0;
        good = heif_context_get_encoder_for_format(context, heif_compression_AV1, &encoder).code == heif_error_Ok
            && heif_encoder_set_lossy_quality(encoder, 95).code == heif_error_Ok
            && heif_context_encode_image(context, image, encoder, options, nullptr).code == heif_error_Ok
            && heif_context_write_to_file(context, QFile::encodeName(path).constData()).code == heif_error_Ok;
    }
    if (encoder)
        heif_encoder_release(encoder);
    if (image)
        heif_image_release(image);
    heif_encoding_options_free(options);
    heif_nclx_color_profile_free(nclx);
    heif_context_free(context);
    return good;
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
    void heifNclx_data();
    void heifNclx();

private:
    // Little CMS's tificc, perceptual, onto its sRGB, from a TIFF of the pixels tagged with
    // the colour space; null when it fails.
    QImage TificcReference(const QImage &stored, const QColorSpace &space)
    {
        const QString tiff = Write(QStringLiteral("tagged.tif"), Encode(stored, "TIFF", space));
        const QString converted = m_dir.filePath(QStringLiteral("srgb.tif"));
        QFile::remove(converted);
        QProcess tificc;
        tificc.start(QStringLiteral("tificc"), {QStringLiteral("-t0"), tiff, converted});
        if (!tificc.waitForFinished(60000) || tificc.exitCode() != 0)
            return {};
        return QImage(converted);
    }
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
    // The pixels the file holds: Qt's reader leaves them as stored.
    const QImage stored(path);
    QCOMPARE(stored.colorSpace(), QColorSpace(QColorSpace::DisplayP3));
    const QImage reference = TificcReference(stored, QColorSpace::DisplayP3);
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

void TestColour::heifNclx_data()
{
    QTest::addColumn<int>("primaries"); // the numbers of ITU-T H.273
    QTest::addColumn<int>("transfer");
    QTest::addColumn<QColorSpace>("space"); // of the stored numbers; invalid: left as stored

    const QColorSpace p3Linear(QColorSpace::Primaries::DciP3D65, QColorSpace::TransferFunction::Linear);
    QTest::newRow("Display P3, as phones write it") << 12 << 13 << QColorSpace(QColorSpace::DisplayP3);
    QTest::newRow("P3 with a video curve, shown as sRGB's") << 12 << 1 << QColorSpace(QColorSpace::DisplayP3);
    QTest::newRow("P3, linear") << 12 << 8 << p3Linear;
    QTest::newRow("sRGB") << 1 << 13 << QColorSpace();
    QTest::newRow("unspecified") << 2 << 2 << QColorSpace();
    QTest::newRow("HDR curve left alone") << 9 << 16 << QColorSpace();
}

void TestColour::heifNclx()
{
    QFETCH(int, primaries);
    QFETCH(int, transfer);
    QFETCH(QColorSpace, space);
    const QString path = m_dir.filePath(QStringLiteral("nclx.avif"));
    QVERIFY(WriteNclxAvif(path, Colourful(64, 48), primaries, transfer));
    // heif-convert decodes the same numbers and manages no colours.
    const QString decoded = m_dir.filePath(QStringLiteral("nclx.png"));
    QProcess convert;
    convert.start(QStringLiteral("heif-convert"), {path, decoded});
    QVERIFY(convert.waitForFinished(60000) && convert.exitCode() == 0);
    const QImage stored(decoded);
    QVERIFY(!stored.isNull());

    const CRgbImage image(path);
    QVERIFY(image.IsLoaded());
    if (!space.isValid()) {
        QVERIFY(image.LoadReport().notes.isEmpty());
        QCOMPARE(LargestDifference(image, stored), 0);
        return;
    }
    QCOMPARE(image.LoadReport().notes,
             QStringList{QStringLiteral("Its colours were converted to sRGB from its colour profile.")});
    const QImage reference = TificcReference(stored, space);
    QVERIFY(!reference.isNull());
    const int difference = LargestDifference(image, reference);
    QVERIFY2(difference >= 0 && difference <= 1, qPrintable(QString::number(difference)));
    QVERIFY(LargestDifference(image, stored) > 20);
}

QTEST_MAIN(TestColour)
#include "tst_colour.moc"
