// Pictures stored turned come out upright: the EXIF orientation of JPEG files that jpegtran
// turned and exiftool tagged, against Qt's own reading of the tag and against the upright
// original; and EXIF blocks built to mislead, which must leave the picture as stored.

#include "image/Exif.h"
#include "image/RgbImage.h"
#include "tests/support/PictureCompare.h"
#include "tests/support/ExifJpeg.h"

#include <QBuffer>
#include <QDir>
#include <QImageReader>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <vector>

using namespace quorvel;
using namespace quorvel::test;

namespace {


void Run(const QString &program, const QStringList &args)
{
    QProcess process;
    process.start(program, args);
    QVERIFY2(process.waitForFinished(60000), qPrintable(program + QStringLiteral(" did not finish")));
    QVERIFY2(process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0,
             qPrintable(program + QLatin1String(": ") + QString::fromLocal8Bit(process.readAllStandardError())));
}

// An EXIF block of one directory whose orientation entry is changed at a byte offset.
QByteArray Patched(int at, const QByteArray &bytes)
{
    QByteArray block = test::ExifBlock(6, false);
    block.replace(at, bytes.size(), bytes);
    return block;
}

} // namespace

class TestOrientation : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void photos_data();
    void photos();
    void exifBlocks_data();
    void exifBlocks();

private:
    QTemporaryDir m_dir;
    QString m_upright;
};

void TestOrientation::initTestCase()
{
    QVERIFY(m_dir.isValid());
    // A piece of a real photo (the ladybird of the README), its sides whole JPEG blocks so
    // that jpegtran turns it without loss.
    const QImage screenshot(QStringLiteral(QUORVEL_SOURCE_DIR "/doc/screenshots/grab.png"));
    QVERIFY(!screenshot.isNull());
    const QImage photo = screenshot.copy(40, 70, 160, 96).convertToFormat(QImage::Format_RGB888);
    m_upright = m_dir.filePath(QStringLiteral("upright.jpg"));
    QVERIFY(photo.save(m_upright, "JPEG", 92));
}

void TestOrientation::photos_data()
{
    QTest::addColumn<int>("orientation");
    QTest::addColumn<QStringList>("turn"); // jpegtran's, from the upright picture to the stored one
    QTest::newRow("1 upright") << 1 << QStringList();
    QTest::newRow("2 mirrored") << 2 << QStringList{"-flip", "horizontal"};
    QTest::newRow("3 upside down") << 3 << QStringList{"-rotate", "180"};
    QTest::newRow("4 mirrored top to bottom") << 4 << QStringList{"-flip", "vertical"};
    QTest::newRow("5 transposed") << 5 << QStringList{"-transpose"};
    QTest::newRow("6 turned clockwise to show") << 6 << QStringList{"-rotate", "270"};
    QTest::newRow("7 transversed") << 7 << QStringList{"-transverse"};
    QTest::newRow("8 turned counter-clockwise to show") << 8 << QStringList{"-rotate", "90"};
}

void TestOrientation::photos()
{
    QFETCH(int, orientation);
    QFETCH(QStringList, turn);
    const QString stored = m_dir.filePath(QStringLiteral("stored-%1.jpg").arg(orientation));
    Run(QStringLiteral("jpegtran"), QStringList{"-copy", "none", "-perfect"} + turn
                                        + QStringList{"-outfile", stored, m_upright});
    Run(QStringLiteral("exiftool"), {QStringLiteral("-q"), QStringLiteral("-overwrite_original"),
                                     QStringLiteral("-n"), QStringLiteral("-Orientation=%1").arg(orientation), stored});

    const CRgbImage image(stored);
    QVERIFY(image.IsLoaded());
    QCOMPARE(QSize(image.Width(), image.Height()), QSize(160, 96));
    // Qt's reader turns the picture by the tag too, decoding the same stored blocks.
    QImageReader qt(stored);
    qt.setAutoTransform(true);
    QCOMPARE(LargestDifference(image, qt.read()), 0);
    // The lossless turn keeps the blocks; decoding them the other way round rounds otherwise.
    const int fromOriginal = LargestDifference(image, QImage(m_upright));
    QVERIFY2(fromOriginal >= 0 && fromOriginal <= 6, qPrintable(QString::number(fromOriginal)));
}

void TestOrientation::exifBlocks_data()
{
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<int>("orientation");

    // The directory's entry starts at byte 10: tag, type, count, value.
    QTest::newRow("little-endian") << test::ExifBlock(6, false) << 6;
    QTest::newRow("big-endian") << test::ExifBlock(8, true) << 8;
    QTest::newRow("with the APP1 prefix") << QByteArray("Exif\0\0", 6) + test::ExifBlock(3, true) << 3;
    QTest::newRow("value 0") << test::ExifBlock(0, false) << 1;
    QTest::newRow("value 9") << test::ExifBlock(9, true) << 1;
    QTest::newRow("a long") << Patched(12, QByteArray("\x04\0", 2)) << 6;
    QTest::newRow("a count of 10^9") << Patched(14, QByteArray("\x00\xCA\x9A\x3B", 4)) << 1;
    QTest::newRow("a directory past the end") << Patched(4, QByteArray("\x00\xFF\xFF\xFF", 4)) << 1;
    QTest::newRow("a directory at the last byte") << Patched(4, QByteArray("\x19\0\0\0", 4)) << 1;
    QTest::newRow("more entries than the block holds") << Patched(8, QByteArray("\xFF\xFF", 2)) << 6;
    QTest::newRow("the next directory is itself") << Patched(22, QByteArray("\x08\0\0\0", 4)) << 6;
    QTest::newRow("cut in the value") << test::ExifBlock(6, false).left(19) << 1;
    QTest::newRow("cut in the header") << test::ExifBlock(6, false).left(6) << 1;
    QTest::newRow("no byte order") << Patched(0, "XX") << 1;
    QTest::newRow("not 42") << Patched(2, QByteArray("\x2B\0", 2)) << 1;
    QTest::newRow("empty") << QByteArray() << 1;
}

void TestOrientation::exifBlocks()
{
    QFETCH(QByteArray, block);
    QFETCH(int, orientation);
    // A buffer of exactly the block's size, so that the address sanitizer sees any read past it.
    const std::vector<std::uint8_t> bytes(block.begin(), block.end());
    QCOMPARE(int(ExifOrientation(bytes.data(), bytes.size())), orientation);

    // In a JPEG file, the same: a misleading block leaves the picture as stored.
    QImage picture(24, 16, QImage::Format_RGB888);
    picture.fill(Qt::darkCyan);
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    QVERIFY(buffer.open(QIODevice::WriteOnly) && picture.save(&buffer, "JPEG"));
    const QString path = m_dir.filePath(QStringLiteral("tagged.jpg"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(test::WithExif(jpeg, block));
    file.close();
    const CRgbImage image(path);
    QVERIFY(image.IsLoaded());
    QCOMPARE(QSize(image.Width(), image.Height()), orientation >= 5 ? QSize(16, 24) : QSize(24, 16));
}

QTEST_MAIN(TestOrientation)
#include "tst_orientation.moc"
