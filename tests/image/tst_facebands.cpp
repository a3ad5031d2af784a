// The face detector's scan in bands of feature rows: the very faces and scores dlib's scanner
// finds on the whole features, with faces across the bands' edges and a picture whose last
// cell is cut.

#include "image/FaceDetector.h"

#include <QPainter>
#include <QRandomGenerator>
#include <QTest>

using namespace quorvel;

class TestFaceBands : public QObject
{
    Q_OBJECT

private slots:
    void sameAsWhole_data();
    void sameAsWhole();
};

void TestFaceBands::sameAsWhole_data()
{
    QTest::addColumn<int>("bandRows");
    QTest::newRow("one row a band") << 1;
    QTest::newRow("5 rows") << 5;
    QTest::newRow("the search's 32") << 32;
    QTest::newRow("one band") << 1000;
}

void TestFaceBands::sameAsWhole()
{
    QFETCH(int, bandRows);
    const QString path = QStringLiteral("/usr/share/doc/opencv-doc/opencv4/html/230501201_1.jpg");
    const QImage portrait(path);
    if (portrait.isNull())
        QSKIP(qPrintable(path + " is missing: ./dev.sh test installs the photos' packages"));
    // Faces of about the detector's 80 pixels at heights that fall on every row of a cell,
    // on noise, 5 rows short of a whole cell at the bottom.
    QImage grey(700, 779, QImage::Format_Grayscale8);
    QRandomGenerator random(5);
    for (int y = 0; y < grey.height(); ++y)
        for (int x = 0; x < grey.width(); ++x)
            grey.scanLine(y)[x] = uchar(80 + random.bounded(60));
    QPainter painter(&grey);
    const QImage face = portrait.scaledToHeight(230, Qt::SmoothTransformation)
                            .convertToFormat(QImage::Format_Grayscale8);
    for (int i = 0; i < 8; ++i)
        painter.drawImage(10 + (i % 4) * 170, 3 + i * 67 + i % 8, face, 0, 0, 170, 230);
    painter.end();
    const std::vector<CFoundFace> whole = ScanFaceLevel(grey, -0.6, 0);
    const std::vector<CFoundFace> banded = ScanFaceLevel(grey, -0.6, bandRows);
    QVERIFY2(whole.size() >= 8, qPrintable(QString::number(whole.size())));
    QCOMPARE(banded.size(), whole.size());
    for (std::size_t i = 0; i < whole.size(); ++i) {
        const CPixelRect &a = whole[i].detection, &b = banded[i].detection;
        QCOMPARE(QRect(b.x, b.y, b.width, b.height), QRect(a.x, a.y, a.width, a.height));
        QVERIFY2(banded[i].score == whole[i].score, // to the bit, not nearly
                 qPrintable(QString::number(banded[i].score - whole[i].score)));
    }
}

QTEST_APPLESS_MAIN(TestFaceBands)
#include "tst_facebands.moc"
