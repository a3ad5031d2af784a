// The formats read through libheif and Qt's image-format plugins give the pictures they were
// made from: HEIC and AVIF written by heif-enc, WebP and TIFF by Qt, each against its PNG
// source; turned ones come out upright. A missing plugin or decoder fails here, not skips.

#include "image/Loaders.h"
#include "image/RgbImage.h"
#include "tests/support/PictureCompare.h"

#include <QColorSpace>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <libheif/heif.h>

#include <cstring>

using namespace quorvel;
using namespace quorvel::test;

namespace {

// A photo-like picture: smooth, so that lossy coding stays close.
QImage Smooth(int width, int height, bool alpha = false)
{
    QImage picture(width, height, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB888);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.setPixel(x, y, qRgba(40 + x * 180 / width, 200 - y * 150 / height,
                                         (x + y) * 255 / (width + height), alpha ? x * 255 / width : 255));
    return picture;
}

// libheif's own decode of a file's primary picture to interleaved 8-bit RGB, the way the
// loader read every HEIF picture before it took planes; empty when it fails.
QByteArray LibheifRgb(const QString &path)
{
    QByteArray rgb;
    heif_context *context = heif_context_alloc();
    heif_image_handle *handle = nullptr;
    heif_image *image = nullptr;
    heif_decoding_options *options = heif_decoding_options_alloc();
    options->convert_hdr_to_8bit = 1;
    if (heif_context_read_from_file(context, QFile::encodeName(path).constData(), nullptr).code == heif_error_Ok
        && heif_context_get_primary_image_handle(context, &handle).code == heif_error_Ok
        && heif_decode_image(handle, &image, heif_colorspace_RGB, heif_chroma_interleaved_RGB, options).code
               == heif_error_Ok) {
        int stride = 0;
        const std::uint8_t *plane = heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride);
        const int width = heif_image_get_width(image, heif_channel_interleaved);
        for (int y = 0; y < heif_image_get_height(image, heif_channel_interleaved); ++y)
            rgb.append(reinterpret_cast<const char *>(plane) + qsizetype(y) * stride, qsizetype(width) * 3);
    }
    heif_decoding_options_free(options);
    if (image)
        heif_image_release(image);
    if (handle)
        heif_image_handle_release(handle);
    heif_context_free(context);
    return rgb;
}

QString Run(const QString &program, const QStringList &args)
{
    QProcess process;
    process.start(program, args);
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
        return program + QStringLiteral(" did not finish");
    if (process.exitCode() != 0)
        return program + QStringLiteral(": ") + QString::fromLocal8Bit(process.readAllStandardError());
    return QString();
}

} // namespace

class TestFormats : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void sameAsSource_data();
    void sameAsSource();
    void turned_data();
    void turned();
    void asLibheifDecodes_data();
    void asLibheifDecodes();

private:
    QTemporaryDir m_dir;
};

void TestFormats::initTestCase()
{
    QVERIFY(m_dir.isValid());
    // What the package depends on: the plugins and decoders must be there.
    for (const QByteArray format : {"webp", "tiff"})
        QVERIFY2(QImageReader::supportedImageFormats().contains(format), format.constData());
    for (const EPictureFormat format : {EPictureFormat::Heif, EPictureFormat::Avif}) {
        QString why;
        QVERIFY2(CanDecodeHeif(format, &why), qPrintable(why));
    }
}

void TestFormats::sameAsSource_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("heifEnc"); // heif-enc's options; empty: written by Qt
    QTest::addColumn<int>("quality");
    QTest::addColumn<bool>("alpha");
    QTest::addColumn<bool>("deep"); // a 16-bit source
    QTest::addColumn<int>("tolerance");
    QTest::newRow("TIFF") << "a.tiff" << QStringList() << -1 << false << false << 0;
    QTest::newRow("WebP, lossless") << "c.webp" << QStringList() << 100 << false << false << 0;
    QTest::newRow("WebP, lossy") << "d.webp" << QStringList() << 90 << false << false << 12;
    QTest::newRow("HEIC") << "e.heic" << QStringList{"-q", "90"} << 0 << false << false << 8;
    QTest::newRow("HEIC with alpha") << "f.heic" << QStringList{"-q", "90"} << 0 << true << false << 8;
    QTest::newRow("HEIC, 10 bits") << "g.heic" << QStringList{"-q", "90", "-b", "10"} << 0 << false << true << 8;
    QTest::newRow("AVIF") << "h.avif" << QStringList{"-A", "-q", "90"} << 0 << false << false << 8;
    QTest::newRow("HEIF under another name") << "i.picture" << QStringList{"-q", "90"} << 0 << false << false << 8;
}

void TestFormats::sameAsSource()
{
    QFETCH(QString, name);
    QFETCH(QStringList, heifEnc);
    QFETCH(int, quality);
    QFETCH(bool, alpha);
    QFETCH(bool, deep);
    QFETCH(int, tolerance);
    const QImage source = Smooth(96, 64, alpha);
    const QString png = m_dir.filePath(QStringLiteral("source.png"));
    QVERIFY(source.convertToFormat(deep ? QImage::Format_RGBX64 : source.format()).save(png));
    const QString path = m_dir.filePath(name);
    if (heifEnc.isEmpty()) {
        QImageWriter writer(path, QFileInfo(path).suffix().toLatin1());
        writer.setQuality(quality);
        QVERIFY2(writer.write(source), qPrintable(writer.errorString()));
    } else {
        const QString error = Run(QStringLiteral("heif-enc"), heifEnc + QStringList{"-o", path, png});
        QVERIFY2(error.isEmpty(), qPrintable(error));
    }
    const CRgbImage image(path);
    QVERIFY2(image.IsLoaded(), qPrintable(PictureProblemText(path, image.LoadReport())));
    QVERIFY(image.LoadReport().notes.isEmpty());
    // Alpha is dropped: the colours as they stand.
    const int difference = LargestDifference(image, source.convertToFormat(QImage::Format_RGB888));
    QVERIFY2(difference >= 0 && difference <= tolerance, qPrintable(QString::number(difference)));
}

void TestFormats::turned_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("TIFF") << "turned.tif";
    QTest::newRow("WebP") << "turned.webp";
}

void TestFormats::turned()
{
    QFETCH(QString, name);
    const QImage source = Smooth(48, 32);
    const QString path = m_dir.filePath(name);
    QImageWriter writer(path);
    writer.setQuality(100);
    QVERIFY(writer.write(source));
    // Turned 90 degrees clockwise to be shown, by the tag that exiftool writes.
    const QString error = Run(QStringLiteral("exiftool"), {QStringLiteral("-q"), QStringLiteral("-overwrite_original"),
                                                          QStringLiteral("-n"), QStringLiteral("-Orientation=6"), path});
    QVERIFY2(error.isEmpty(), qPrintable(error));
    const CRgbImage image(path);
    QVERIFY(image.IsLoaded());
    QCOMPARE(LargestDifference(image, source.transformed(QTransform().rotate(90))), 0);
}

void TestFormats::asLibheifDecodes_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("heifEnc");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("alpha");
    QTest::addColumn<bool>("deep");
    // heif-enc stores an odd-sized picture as a grid of one tile, which libheif puts together
    // in planes of red, green and blue, as it does a phone's grid of many.
    QTest::newRow("HEIC, a grid") << "a.heic" << QStringList{"-q", "80"} << QSize(97, 65) << false << false;
    QTest::newRow("HEIC, one picture") << "b.heic" << QStringList{"-q", "80"} << QSize(96, 64) << false << false;
    QTest::newRow("HEIC, a grid with alpha") << "c.heic" << QStringList{"-q", "80"} << QSize(97, 65) << true << false;
    QTest::newRow("HEIC, 10 bits") << "d.heic" << QStringList{"-q", "80", "-b", "10"} << QSize(97, 65) << false << true;
    QTest::newRow("AVIF") << "e.avif" << QStringList{"-A", "-q", "80"} << QSize(97, 65) << false << false;
}

void TestFormats::asLibheifDecodes()
{
    // Whichever way the loader has libheif hand the picture over, the bytes are those of
    // libheif's own conversion to RGB: faces cut from HEIF photos stay as they were.
    QFETCH(QString, name);
    QFETCH(QStringList, heifEnc);
    QFETCH(QSize, size);
    QFETCH(bool, alpha);
    QFETCH(bool, deep);
    const QImage source = Smooth(size.width(), size.height(), alpha);
    const QString png = m_dir.filePath(QStringLiteral("libheif-source.png"));
    QVERIFY(source.convertToFormat(deep ? QImage::Format_RGBX64 : source.format()).save(png));
    const QString path = m_dir.filePath(name);
    const QString error = Run(QStringLiteral("heif-enc"), heifEnc + QStringList{"-o", path, png});
    QVERIFY2(error.isEmpty(), qPrintable(error));
    const CRgbImage image(path);
    QVERIFY(image.IsLoaded());
    QCOMPARE(QSize(image.Width(), image.Height()), size);
    const QByteArray expected = LibheifRgb(path);
    QCOMPARE(expected.size(), qsizetype(size.width()) * size.height() * 3);
    QVERIFY(std::memcmp(image.Pixels(), expected.constData(), std::size_t(expected.size())) == 0);
}

QTEST_MAIN(TestFormats)
#include "tst_formats.moc"
