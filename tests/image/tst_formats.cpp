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

QTEST_MAIN(TestFormats)
#include "tst_formats.moc"
