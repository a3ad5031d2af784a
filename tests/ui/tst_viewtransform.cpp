// The zoomable view's one transform, from tables: screen to picture and back at every kind of
// scale, rounding included, the zoom steps and the fitted scale.

#include "ui/GrabSelection.h"
#include "ui/ViewTransform.h"

#include <QTest>

using namespace quorvel;

Q_DECLARE_METATYPE(CViewScale)

class TestViewTransform : public QObject
{
    Q_OBJECT

private slots:
    void mapping_data();
    void mapping();
    void zoomKeepsThePointUnderThePointer_data();
    void zoomKeepsThePointUnderThePointer();
    void steps();
    void fitScale_data();
    void fitScale();
    void offsetRange();
};

void TestViewTransform::mapping_data()
{
    QTest::addColumn<int>("num");
    QTest::addColumn<int>("den");
    QTest::addColumn<QPoint>("offset");
    QTest::addColumn<QPoint>("screen");
    QTest::addColumn<QPoint>("pictureAt");  // the nearest grid line
    QTest::addColumn<QPoint>("pixelUnder"); // the pixel at the screen pixel's centre
    QTest::addColumn<QPoint>("backOnScreen"); // where pictureAt shows

    QTest::newRow("1:1") << 1 << 1 << QPoint(0, 0) << QPoint(10, 7) << QPoint(10, 7)
                         << QPoint(10, 7) << QPoint(10, 7);
    QTest::newRow("1:1 scrolled") << 1 << 1 << QPoint(300, 40) << QPoint(5, 0)
                                  << QPoint(305, 40) << QPoint(305, 40) << QPoint(5, 0);
    QTest::newRow("200%, on a line") << 2 << 1 << QPoint(0, 0) << QPoint(10, 30)
                                     << QPoint(5, 15) << QPoint(5, 15) << QPoint(10, 30);
    QTest::newRow("200%, between lines, halves up")
        << 2 << 1 << QPoint(0, 0) << QPoint(11, 31) << QPoint(6, 16) << QPoint(5, 15)
        << QPoint(12, 32);
    QTest::newRow("400% scrolled") << 4 << 1 << QPoint(6, 0) << QPoint(1, 5) << QPoint(2, 1)
                                   << QPoint(1, 1) << QPoint(2, 4);
    QTest::newRow("1/3") << 1 << 3 << QPoint(0, 0) << QPoint(10, 0) << QPoint(30, 0)
                         << QPoint(31, 1) << QPoint(10, 0);
    QTest::newRow("2/3") << 2 << 3 << QPoint(0, 0) << QPoint(3, 1) << QPoint(5, 2)
                         << QPoint(5, 2) << QPoint(3, 1);
    QTest::newRow("fitted, 47/1000") << 47 << 1000 << QPoint(0, 0) << QPoint(47, 3)
                                     << QPoint(1000, 64) << QPoint(1010, 74) << QPoint(47, 3);
    QTest::newRow("centred: the offset is negative")
        << 1 << 2 << QPoint(-20, -5) << QPoint(19, 4) << QPoint(-2, -2) << QPoint(-1, -1)
        << QPoint(19, 4);
}

void TestViewTransform::mapping()
{
    QFETCH(int, num);
    QFETCH(int, den);
    QFETCH(QPoint, offset);
    QFETCH(QPoint, screen);
    QFETCH(QPoint, pictureAt);
    QFETCH(QPoint, pixelUnder);
    QFETCH(QPoint, backOnScreen);
    const CViewTransform transform{CViewScale{num, den}, offset};
    QCOMPARE(transform.PictureAt(screen), pictureAt);
    QCOMPARE(transform.PixelUnder(screen), pixelUnder);
    QCOMPARE(transform.ScreenAt(pictureAt), backOnScreen);
    // A rectangle shows from the screen line of one corner to that of the other.
    const QRect shown = transform.ScreenRect(
        CGrabRect{pictureAt.x(), pictureAt.y(), pictureAt.x() + den, pictureAt.y() + den});
    QCOMPARE(shown.topLeft(), backOnScreen);
    QCOMPARE(shown.size(), QSize(num, num));
}

void TestViewTransform::zoomKeepsThePointUnderThePointer_data()
{
    QTest::addColumn<CViewScale>("from");
    QTest::addColumn<CViewScale>("to");
    QTest::addColumn<QPoint>("offset");
    QTest::newRow("1:1 to 200%") << CViewScale{1, 1} << CViewScale{2, 1} << QPoint(100, 60);
    QTest::newRow("fitted to 1/12") << CViewScale{47, 1000} << CViewScale{1, 12} << QPoint(0, -9);
    QTest::newRow("16 to 1/32") << CViewScale{16, 1} << CViewScale{1, 32} << QPoint(9000, 4000);
}

void TestViewTransform::zoomKeepsThePointUnderThePointer()
{
    QFETCH(CViewScale, from);
    QFETCH(CViewScale, to);
    QFETCH(QPoint, offset);
    const CViewTransform before{from, offset};
    for (const QPoint pointer : {QPoint(0, 0), QPoint(123, 45), QPoint(377, 320)}) {
        const CViewTransform after{to, before.OffsetKeeping(pointer, to)};
        // Within half a screen pixel, and so within one picture pixel's worth of the scale.
        const double wasX = (pointer.x() + offset.x()) / from.Value();
        const double isX = (pointer.x() + after.offset.x()) / to.Value();
        QVERIFY2(std::abs(wasX - isX) <= 0.5 / to.Value() + 1e-9,
                 qPrintable(QStringLiteral("%1 became %2").arg(wasX).arg(isX)));
    }
}

void TestViewTransform::steps()
{
    const auto steps = ZoomSteps();
    QCOMPARE(steps.front(), (CViewScale{1, 32}));
    QCOMPARE(steps.back(), (CViewScale{16, 1}));
    QVERIFY(std::is_sorted(steps.begin(), steps.end()));
    QCOMPARE(NextZoomStep(CViewScale{1, 1}, 1), (CViewScale{2, 1}));
    QCOMPARE(NextZoomStep(CViewScale{1, 1}, -1), (CViewScale{2, 3}));
    QCOMPARE(NextZoomStep(CViewScale{2, 2}, -1), (CViewScale{2, 3})); // equal as fractions
    QCOMPARE(NextZoomStep(CViewScale{47, 1000}, 1), (CViewScale{1, 16}));
    QCOMPARE(NextZoomStep(CViewScale{47, 1000}, -1), (CViewScale{1, 24}));
    QCOMPARE(NextZoomStep(CViewScale{16, 1}, 1), (CViewScale{16, 1}));
    QCOMPARE(NextZoomStep(CViewScale{1, 100}, -1), (CViewScale{1, 32}));
    QCOMPARE(ScalePercent(CViewScale{1, 8}), 13);
    QCOMPARE(ScalePercent(CViewScale{4, 1}), 400);
    QCOMPARE(ScalePercent(CViewScale{1, 1000}), 1);
}

void TestViewTransform::fitScale_data()
{
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QSize>("view");
    QTest::addColumn<CViewScale>("expected");
    QTest::newRow("wide photo") << QSize(5640, 3172) << QSize(376, 321) << CViewScale{1, 15};
    QTest::newRow("tall photo") << QSize(1000, 4000) << QSize(500, 400) << CViewScale{1, 10};
    QTest::newRow("small picture, at most 16") << QSize(10, 10) << QSize(376, 321)
                                               << CViewScale{16, 1};
    QTest::newRow("no-picture image") << QSize(64, 64) << QSize(376, 321) << CViewScale{321, 64};
}

void TestViewTransform::fitScale()
{
    QFETCH(QSize, picture);
    QFETCH(QSize, view);
    QFETCH(CViewScale, expected);
    const CViewScale fit = FitScale(picture, view);
    QCOMPARE(fit, expected);
    const QSize shown = CViewTransform{fit, QPoint()}.ScaledSize(picture);
    QVERIFY(shown.width() <= view.width() && shown.height() <= view.height());
}

void TestViewTransform::offsetRange()
{
    // Larger than the view: from its edge to the far one; smaller: centred, and only that.
    QCOMPARE(OffsetRange(QSize(1000, 100), QSize(400, 300)),
             QRect(QPoint(0, -100), QPoint(600, -100)));
    QCOMPARE(OffsetRange(QSize(400, 300), QSize(400, 300)), QRect(QPoint(0, 0), QPoint(0, 0)));
}

QTEST_APPLESS_MAIN(TestViewTransform)
#include "tst_viewtransform.moc"
