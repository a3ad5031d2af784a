// The PPM loader's own parser: header items, comments and blanks, plain and raw samples, and
// the files it refuses.

#include "image/Loaders.h"
#include "image/PpmReader.h"
#include "image/RgbImage.h"
#include "tests/support/PictureCompare.h"

#include <QBuffer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using namespace quorvel;
using namespace quorvel::test;

namespace {


QByteArray Ppm(const QImage &picture)
{
    return QByteArray("P6\n") + QByteArray::number(picture.width()) + ' '
        + QByteArray::number(picture.height()) + "\n255\n" + RawBytes(picture);
}


} // namespace

class TestPpmLoader : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void ppm_data();
    void ppm();
    void ppmFileReadsInChunks();
    void skipPpmSpace();

private:
    QString Write(const QString &name, const QByteArray &bytes);

    QTemporaryDir m_dir;
};

QString TestPpmLoader::Write(const QString &name, const QByteArray &bytes)
{
    const QString path = m_dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

void TestPpmLoader::ppm_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QByteArray>("pixels");

    // The image starts as the 1 x 1 no-picture image, so "unchanged" is visible.
    const QByteArray unchanged("\x7F\x1B\x1B", 3);
    const QSize one(1, 1);
    const QByteArray sixBytes("\x01\x02\x03\xFD\xFE\xFF", 6);

    QTest::newRow("raw with comment line") << QByteArray("P6\n# made by hand\n2 1\n255\n") + sixBytes
                                           << true << QSize(2, 1) << sixBytes;
    QTest::newRow("two comment lines") << QByteArray("P6\n#one\n#two\r\n2 1\n255\n") + sixBytes
                                       << true << QSize(2, 1) << sixBytes;
    QTest::newRow("comment then blanks") << QByteArray("P6 #c\n \t 2 1\n255\n") + sixBytes
                                         << true << QSize(2, 1) << sixBytes;
    QTest::newRow("comment ends at CR") << QByteArray("P6 2 #c\r1 255 ") + sixBytes << true
                                        << QSize(2, 1) << sixBytes;
    QTest::newRow("plain on one line") << QByteArray("P3 2 1 255 0 0 0 255 255 255") << true
                                       << QSize(2, 1) << QByteArray("\0\0\0\xFF\xFF\xFF", 6);
    QTest::newRow("maxval 15 not scaled") << QByteArray("P3\n1 1\n15\n15 15 15\n") << true << one
                                          << QByteArray("\x0F\x0F\x0F", 3);
    QTest::newRow("plain low eight bits and signs") << QByteArray("P3 1 1 255 -1 +2 300") << true
                                                    << one << QByteArray("\xFF\x02\x2C", 3);
    QTest::newRow("VT and FF before numbers") << QByteArray("P3\v1\f1 255\v7 8 9") << true << one
                                              << QByteArray("\x07\x08\x09", 3);
    QTest::newRow("CR LF after maxval") << QByteArray("P6 1 1 255\r\nAB") << true << one
                                        << QByteArray("\nAB");
    QTest::newRow("trailing bytes ignored") << QByteArray("P6 1 1 255\nABCDEF") << true << one
                                            << QByteArray("ABC");
    QTest::newRow("maxval 65535") << QByteArray("P6 1 1 65535\nABCDEF") << false << one
                                  << unchanged;
    QTest::newRow("maxval 256") << QByteArray("P3 1 1 256 1 2 3") << false << one << unchanged;
    // Samples can only be 0 below a largest value of 1: no picture.
    QTest::newRow("maxval 0") << QByteArray("P6 1 1 0\nABC") << false << one << unchanged;
    QTest::newRow("maxval negative") << QByteArray("P3 1 1 -5 1 2 3") << false << one << unchanged;
    QTest::newRow("a sample of ten million digits")
        << QByteArray("P3 1 1 255 ") + QByteArray(10'000'000, '7') + " 2 3" << false << one
        << QByteArray(3, '\0');
    QTest::newRow("a sample of many leading zeros")
        << QByteArray("P3 1 1 255 1 ") + QByteArray(200, '0') + "2 3" << false << one
        << QByteArray("\x01\0\0", 3);
    for (int magic : {1, 2, 4, 5, 7}) {
        QTest::addRow("magic %d", magic) << QByteArray("P") + QByteArray::number(magic)
                + " 2 1 255\n" + sixBytes << false << QSize(2, 1) << QByteArray(6, '\0');
    }
    QTest::newRow("plain short") << QByteArray("P3 2 1 255 1 2 3 4") << false << QSize(2, 1)
                                 << QByteArray("\x01\x02\x03\x04\0\0", 6);
    QTest::newRow("plain bad sample") << QByteArray("P3 2 1 255 1 2 x 4 5 6") << false
                                      << QSize(2, 1) << QByteArray("\x01\x02\0\0\0\0", 6);
    QTest::newRow("raw short") << QByteArray("P6 2 1 255\nABCD") << false << QSize(2, 1)
                               << QByteArray("ABCD\0\0", 6);
    QTest::newRow("header ends before height") << QByteArray("P6 2") << false << one << unchanged;
    QTest::newRow("header ends before maxval") << QByteArray("P6 2 1 #255") << false << one
                                               << unchanged;
    QTest::newRow("empty file") << QByteArray() << false << one << unchanged;
    QTest::newRow("no P") << QByteArray("Q6 1 1 255\nABC") << false << one << unchanged;
    QTest::newRow("zero width") << QByteArray("P6 0 1 255\n") << false << one << unchanged;
    QTest::newRow("negative height") << QByteArray("P3 1 -1 255\n") << false << one << unchanged;
    QTest::newRow("width beyond int") << QByteArray("P6 4294967297 1 255\nABC") << false << one
                                      << unchanged;
    QTest::newRow("product beyond int") << QByteArray("P6 65536 65536 255\nABC") << false << one
                                        << unchanged;
    // 20000 x 17895 pixels stay within 1 GB of colour; one more row does not.
    QTest::newRow("one row over the limit") << QByteArray("P6 20000 17896 255\nABC") << false
                                            << one << unchanged;
}

void TestPpmLoader::ppm()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, ok);
    QFETCH(QSize, size);
    QFETCH(QByteArray, pixels);

    CRgbImage image(1, 1);
    QBuffer buffer(&bytes);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    QCOMPARE(LoadPpm(image, buffer), ok);
    QCOMPARE(QSize(image.Width(), image.Height()), size);
    QCOMPARE(ImageBytes(image), pixels);
}

void TestPpmLoader::ppmFileReadsInChunks()
{
    // Larger than the reader's buffer, plain and raw, with the raw data split across refills.
    QRandomGenerator random(5);
    QImage picture(300, 200, QImage::Format_RGB32);
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 300; ++x)
            picture.setPixel(x, y, random.generate() | 0xFF000000u);
    const QByteArray raw = RawBytes(picture);
    QByteArray plain = "P3\n300 200\n255\n";
    for (char c : raw)
        plain += QByteArray::number(uchar(c)) + (plain.size() % 70 < 4 ? '\n' : ' ');

    for (const QByteArray &bytes : {Ppm(picture), plain}) {
        CRgbImage image(1, 1);
        QVERIFY(LoadPpm(image, Write("large.ppm", bytes)));
        QCOMPARE(ImageBytes(image), raw);
    }
}

void TestPpmLoader::skipPpmSpace()
{
    // What is left after the skip: blanks and comments go, VT and FF stay.
    const QList<QPair<QByteArray, QByteArray>> cases = {
        {" \t\r\n12", "12"},
        {"#c\n#d\r\n\r\n 7", "7"},
        {"#no line break", ""},
        {"\v5", "\v5"},
        {"\f5", "\f5"},
        {"x y", "x y"},
    };
    for (const auto &[input, rest] : cases) {
        QByteArray bytes = input;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        CPpmReader in(buffer);
        SkipPpmSpace(in);
        QByteArray left;
        for (int c = in.Get(); c >= 0; c = in.Get())
            left += char(c);
        QCOMPARE(left, rest);
    }
}

QTEST_MAIN(TestPpmLoader)
#include "tst_ppmloader.moc"
