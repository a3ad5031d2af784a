// The grab dialog's rules that need no window, from tables: the rectangle a drag selects,
// the parts of a box under the pointer, moving and resizing a box under each mode, and how far
// a drag held at the view's edge scrolls.

#include "ui/GrabSelection.h"

#include <QTest>

using namespace quorvel;

Q_DECLARE_METATYPE(std::optional<CGrabRect>)
Q_DECLARE_METATYPE(CGrabRect)
Q_DECLARE_METATYPE(EBoxPart)

namespace {

enum EMode { Free, Square, DontStretch };

} // namespace

class TestGrabSelection : public QObject
{
    Q_OBJECT

private slots:
    void selectionRules_data();
    void selectionRules();
    void boxParts_data();
    void boxParts();
    void resizeBox_data();
    void resizeBox();
    void moveAndGrow();
    void defaultBox();
    void edgeScrollSteps_data();
    void edgeScrollSteps();
};

void TestGrabSelection::selectionRules_data()
{
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QPoint>("anchor");
    QTest::addColumn<QPoint>("current");
    QTest::addColumn<int>("mode"); // 0 free, 1 square, 2 don't stretch (square ticked too)
    QTest::addColumn<bool>("dragging");
    QTest::addColumn<std::optional<CGrabRect>>("expected");

    const QSize p(200, 150);
    QTest::newRow("no drag, no faces")
        << p << QPoint(1, 1) << QPoint(50, 50) << 0 << false << std::optional<CGrabRect>();
    QTest::newRow("free, corners in any order") << p << QPoint(50, 40) << QPoint(10, 20) << 0
                                                << true << std::optional(CGrabRect{10, 20, 50, 40});
    QTest::newRow("free click") << p << QPoint(30, 30) << QPoint(30, 30) << 0 << true
                                << std::optional(CGrabRect{30, 30, 30, 30});
    QTest::newRow("square by the longer side") << p << QPoint(40, 20) << QPoint(10, 10) << 1 << true
                                               << std::optional(CGrabRect{10, 10, 40, 40});
    QTest::newRow("square cut to the picture")
        << p << QPoint(150, 120) << QPoint(190, 125) << 1 << true
        << std::optional(CGrabRect{150, 120, 179, 149});
    QTest::newRow("box centred") << p << QPoint(0, 0) << QPoint(100, 70) << 2 << true
                                 << std::optional(CGrabRect{68, 38, 132, 102});
    QTest::newRow("box kept 32 from the left and top")
        << p << QPoint() << QPoint(3, 5) << 2 << true << std::optional(CGrabRect{0, 0, 64, 64});
    QTest::newRow("box kept 33 from the right and bottom")
        << p << QPoint() << QPoint(199, 149) << 2 << true
        << std::optional(CGrabRect{135, 85, 199, 149});
    QTest::newRow("box on a 65x65 picture") << QSize(65, 65) << QPoint() << QPoint(64, 0) << 2
                                            << true << std::optional(CGrabRect{0, 0, 64, 64});
    QTest::newRow("no box on a 64x64 picture")
        << QSize(64, 64) << QPoint() << QPoint(32, 32) << 2 << true << std::optional<CGrabRect>();
}

void TestGrabSelection::selectionRules()
{
    QFETCH(QSize, picture);
    QFETCH(QPoint, anchor);
    QFETCH(QPoint, current);
    QFETCH(int, mode);
    QFETCH(bool, dragging);
    QFETCH(std::optional<CGrabRect>, expected);

    const CGrabSelection selection{anchor, current, dragging, false, mode >= 1, mode == 2};
    QCOMPARE(ComputeSelection(selection, picture), expected);
    // Faces stand for a drag; the offset moves the whole rectangle.
    const CGrabSelection idle{anchor, current, false, true, mode >= 1, mode == 2};
    const auto moved = ComputeSelection(idle, picture, QPoint(-5, 7));
    if (dragging)
        QCOMPARE(moved,
            expected ? std::optional(CGrabRect{
                expected->left - 5, expected->top + 7, expected->right - 5, expected->bottom + 7})
                     : expected);
}

void TestGrabSelection::boxParts_data()
{
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<EBoxPart>("expected");
    // A box on the screen from (100, 50) to just before (200, 110), handles 7 pixels a side.
    QTest::newRow("top-left corner") << QPoint(100, 50) << EBoxPart::TopLeft;
    QTest::newRow("three off the corner") << QPoint(97, 53) << EBoxPart::TopLeft;
    QTest::newRow("four off: outside") << QPoint(96, 50) << EBoxPart::None;
    QTest::newRow("right edge's middle") << QPoint(201, 80) << EBoxPart::Right;
    QTest::newRow("bottom edge's middle") << QPoint(150, 112) << EBoxPart::Bottom;
    QTest::newRow("bottom-right corner") << QPoint(200, 110) << EBoxPart::BottomRight;
    QTest::newRow("inside") << QPoint(120, 70) << EBoxPart::Inside;
    QTest::newRow("beside the right edge, off its handle") << QPoint(200, 60) << EBoxPart::None;
}

void TestGrabSelection::boxParts()
{
    QFETCH(QPoint, point);
    QFETCH(EBoxPart, expected);
    const QRect box(100, 50, 100, 60);
    QCOMPARE(HitBoxPart(box, point, 7), expected);
    // A box that cannot be resized is held by its handles as by its inside.
    QCOMPARE(HitBoxPart(box, point, 7, false),
             expected == EBoxPart::None ? EBoxPart::None : EBoxPart::Inside);
}

void TestGrabSelection::resizeBox_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<EBoxPart>("part");
    QTest::addColumn<QPoint>("to");
    QTest::addColumn<CGrabRect>("expected");
    // The box (40, 30) - (80, 70) on a 200 x 150 picture.
    QTest::newRow("free corner") << int(Free) << EBoxPart::BottomRight << QPoint(120, 90)
                                 << CGrabRect{40, 30, 120, 90};
    QTest::newRow("free edge moves one edge") << int(Free) << EBoxPart::Left << QPoint(10, 0)
                                              << CGrabRect{10, 30, 80, 70};
    QTest::newRow("free edge past the other turns over")
        << int(Free) << EBoxPart::Top << QPoint(0, 100) << CGrabRect{40, 70, 80, 100};
    QTest::newRow("free corner kept on the picture")
        << int(Free) << EBoxPart::BottomRight << QPoint(500, 500) << CGrabRect{40, 30, 199, 149};
    QTest::newRow("square corner: the opposite corner stays")
        << int(Square) << EBoxPart::TopLeft << QPoint(30, 25) << CGrabRect{30, 20, 80, 70};
    QTest::newRow("square corner cut to the picture")
        << int(Square) << EBoxPart::BottomRight << QPoint(190, 100) << CGrabRect{40, 30, 159, 149};
    QTest::newRow("square edge grows down too")
        << int(Square) << EBoxPart::Right << QPoint(100, 0) << CGrabRect{40, 30, 100, 90};
    QTest::newRow("don't stretch: unchanged")
        << int(DontStretch) << EBoxPart::BottomRight << QPoint(120, 90) << CGrabRect{40, 30, 80, 70};
}

void TestGrabSelection::resizeBox()
{
    QFETCH(int, mode);
    QFETCH(EBoxPart, part);
    QFETCH(QPoint, to);
    QFETCH(CGrabRect, expected);
    QCOMPARE(ResizeBox(CGrabRect{40, 30, 80, 70}, part, to, mode == Square, mode == DontStretch,
                       QSize(200, 150)),
             expected);
}

void TestGrabSelection::moveAndGrow()
{
    const QSize picture(200, 150);
    const CGrabRect box{40, 30, 80, 70};
    QCOMPARE(MoveBox(box, QPoint(-1, 10), picture), (CGrabRect{39, 40, 79, 80}));
    // Pushed back onto the picture, the last column and row out of reach as for a drag.
    QCOMPARE(MoveBox(box, QPoint(-100, 500), picture), (CGrabRect{0, 109, 40, 149}));
    QCOMPARE(GrowBox(box, 1, 0, false, false, picture), (CGrabRect{40, 30, 81, 70}));
    QCOMPARE(GrowBox(box, 0, -10, false, false, picture), (CGrabRect{40, 30, 80, 60}));
    QCOMPARE(GrowBox(box, -100, 0, false, false, picture), (CGrabRect{40, 30, 41, 70}));
    QCOMPARE(GrowBox(box, 0, 500, false, false, picture), (CGrabRect{40, 30, 80, 149}));
    QCOMPARE(GrowBox(box, 0, 10, true, false, picture), (CGrabRect{40, 30, 90, 80}));
    QCOMPARE(GrowBox(box, 500, 0, true, false, picture), (CGrabRect{40, 30, 159, 149}));
    QCOMPARE(GrowBox(box, 10, 0, true, true, picture), box);
}

void TestGrabSelection::defaultBox()
{
    QCOMPARE(DefaultBox(true, QSize(200, 150)), std::optional(CGrabRect{68, 43, 132, 107}));
    QCOMPARE(DefaultBox(false, QSize(200, 150)), std::optional(CGrabRect{25, 0, 174, 149}));
    QCOMPARE(DefaultBox(true, QSize(64, 64)), std::optional<CGrabRect>());
    QCOMPARE(DefaultBox(false, QSize(1, 1)), std::optional<CGrabRect>());
}

void TestGrabSelection::edgeScrollSteps_data()
{
    QTest::addColumn<QPoint>("pointer");
    QTest::addColumn<QPoint>("scroll");
    QTest::addColumn<QPoint>("expected");
    // A 400 x 300 view over a picture that scrolls 0 ... 1000 across and down.
    QTest::newRow("the middle") << QPoint(200, 150) << QPoint(500, 500) << QPoint(0, 0);
    QTest::newRow("just inside the band") << QPoint(23, 276) << QPoint(500, 500) << QPoint(-1, 1);
    QTest::newRow("at the edges") << QPoint(0, 299) << QPoint(500, 500) << QPoint(-10, 10);
    QTest::newRow("beyond them") << QPoint(423, -24) << QPoint(500, 500) << QPoint(20, -20);
    QTest::newRow("one axis only") << QPoint(399, 150) << QPoint(500, 500) << QPoint(10, 0);
    QTest::newRow("nothing more that way") << QPoint(0, 299) << QPoint(0, 1000) << QPoint(0, 0);
}

void TestGrabSelection::edgeScrollSteps()
{
    QFETCH(QPoint, pointer);
    QFETCH(QPoint, scroll);
    QFETCH(QPoint, expected);
    QCOMPARE(EdgeScrollStep(QSize(400, 300), pointer, scroll, QPoint(1000, 1000)), expected);
    // Where the picture fits the view, as at Fit, nothing scrolls.
    QCOMPARE(EdgeScrollStep(QSize(400, 300), pointer, QPoint(), QPoint()), QPoint());
}

QTEST_APPLESS_MAIN(TestGrabSelection)
#include "tst_grabselection.moc"
