// The face grab dialog on the offscreen platform, driven with the mouse, the keyboard, its
// buttons and the prompts, alone and from the company form: drags at several scales, the box's
// handles and keys, zooming, edge scrolling, resizing and pictures that cannot be read. The
// edge-scroll timer never fires by itself; tests tick it by hand.

#include "company/QuorvelDoc.h"
#include "image/Loaders.h"
#include "tests/support/ScriptedPrompts.h"
#include "tests/support/TestDocument.h"
#include "ui/DialogTemplate.h"
#include "ui/GrabFaceDialog.h"
#include "ui/QuorvelView.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QLabel>
#include <QTest>

#include <array>

using namespace quorvel;
using namespace quorvel::test;
using Id = CGrabFaceDialog::ControlId;

Q_DECLARE_METATYPE(std::optional<CGrabRect>)

namespace {

constexpr std::array<QSize, 2> kFaceSizes = {QSize(64, 64), QSize(24, 24)};

QImage RandomPicture(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    QRandomGenerator random(quint32(width * 7 + height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, random.generate() | 0xFF000000u);
    return image;
}

bool SameIndices(const CPaletteImage *a, const CPaletteImage *b)
{
    return a && b && a->Width() == b->Width() && a->Height() == b->Height()
        && std::equal(a->Indices(), a->Indices() + a->Width() * a->Height(), b->Indices());
}

// The faces CropToPaletteImage makes of that rectangle, large then small.
void ExpectFaces(const CFaceSlot &result, const CRgbImage &picture, const CGrabRect &rect)
{
    const auto large
        = picture.CropToPaletteImage(rect.left, rect.top, rect.right, rect.bottom, 64, 64);
    const auto small
        = picture.CropToPaletteImage(rect.left, rect.top, rect.right, rect.bottom, 24, 24);
    QVERIFY(SameIndices(result.LargeFace(), large.get()));
    QVERIFY(SameIndices(result.SmallFace(), small.get()));
}

void WriteFile(const QString &path, const QByteArray &contents)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(contents) != contents.size())
        qFatal("cannot write %s", qPrintable(path));
}

// A drag with the left button from one point of the view to another, by way of their middle.
void Drag(QWidget *view, QPoint from, QPoint to)
{
    QTest::mousePress(view, Qt::LeftButton, {}, from);
    QTest::mouseMove(view, (from + to) / 2);
    QTest::mouseMove(view, to);
    QTest::mouseRelease(view, Qt::LeftButton, {}, to);
}

template<class T>
T *Control(const QWidget *owner, int id)
{
    T *control = FindControl<T>(owner, id);
    if (!control)
        qFatal("no control %d", id);
    return control;
}

} // namespace

class TestGrabFaceDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void grabAtOnce_data();
    void grabAtOnce();
    void drag_data();
    void drag();
    void handles();
    void keyboard();
    void zoom();
    void shrunkPaint_data();
    void shrunkPaint();
    void modeClicksEmptyTheResult_data();
    void modeClicksEmptyTheResult();
    void edgeScrolling();
    void openImage_data();
    void openImage();
    void failedReadKeepsThePicture();
    void resizing();
    void pasteAndDrop();
    void formTakesTheResult_data();
    void formTakesTheResult();

private:
    // A shown dialog for a slot, its edge-scroll timer stilled, with a picture if one is given.
    std::unique_ptr<CGrabFaceDialog> OpenDialog(const CFaceSlot &slot, const QImage &picture = {});
};

void TestGrabFaceDialog::initTestCase()
{
    // The dialog's remembered size goes to a settings file of the tests' own.
    QStandardPaths::setTestModeEnabled(true);
    QSettings().remove(QStringLiteral("GrabFaceDialog"));
}

std::unique_ptr<CGrabFaceDialog> TestGrabFaceDialog::OpenDialog(
    const CFaceSlot &slot, const QImage &picture)
{
    auto dialog = std::make_unique<CGrabFaceDialog>(slot);
    dialog->PictureView()->ScrollTimer().setInterval(24 * 3600 * 1000);
    dialog->show();
    if (!QTest::qWaitForWindowExposed(dialog.get()))
        qFatal("dialog not shown");
    if (!picture.isNull())
        dialog->LoadPicture(picture, QStringLiteral("test"));
    return dialog;
}

void TestGrabFaceDialog::grabAtOnce_data()
{
    QTest::addColumn<int>("expression");
    QTest::addColumn<bool>("hasFace");
    QTest::newRow("default with a face") << 0 << true;
    QTest::newRow("happy without one") << 1 << false;
}

void TestGrabFaceDialog::grabAtOnce()
{
    QFETCH(int, expression);
    QFETCH(bool, hasFace);
    CFaceSlot slot(ExpressionName(expression), 1u << expression, 1, 2);
    std::array<std::uint8_t, 64 * 64> indices;
    for (std::size_t i = 0; i < indices.size(); ++i)
        indices[i] = std::uint8_t(i * 7 % 256); // reserved indices too: reduced again, not kept
    if (hasFace)
        slot.SetPictures(std::make_unique<CPaletteImage>(indices.data(), 24, 24),
            std::make_unique<CPaletteImage>(indices.data(), 64, 64));
    const auto dialog = OpenDialog(slot);

    QCOMPARE(dialog->windowTitle(),
        QStringLiteral("Grabbing %1 image.").arg(ExpressionName(expression)));
    QVERIFY(Control<QCheckBox>(dialog.get(), Id::kSquare)->isChecked());
    QVERIFY(!Control<QCheckBox>(dialog.get(), Id::kSquare)->isEnabled());
    QVERIFY(Control<QCheckBox>(dialog.get(), Id::kDontStretch)->isChecked());
    QCOMPARE(Control<QPushButton>(dialog.get(), Id::kTurnOff)->isEnabled(), expression != 0);

    const CPaletteImage face(indices.data(), 64, 64);
    const auto picture
        = hasFace ? std::make_unique<CRgbImage>(face) : std::make_unique<CRgbImage>(64, 64);
    QVERIFY(std::equal(picture->Pixels(), picture->Pixels() + 64 * 64, dialog->Picture().Pixels()));
    QTest::mouseClick(Control<QPushButton>(dialog.get(), Id::kGrab), Qt::LeftButton);
    QCOMPARE(dialog->result(), int(QDialog::Accepted));
    ExpectFaces(dialog->Result(), *picture, CGrabRect{0, 0, 64, 64});
}

void TestGrabFaceDialog::drag_data()
{
    QTest::addColumn<int>("mode");  // 0 free, 1 square, 2 don't stretch
    QTest::addColumn<int>("scale"); // screen pixels a picture pixel
    QTest::addColumn<QPoint>("press"); // in picture pixels
    QTest::addColumn<QPoint>("release");
    QTest::addColumn<std::optional<CGrabRect>>("expected"); // none: no drag
    QTest::newRow("free") << 0 << 1 << QPoint(150, 90) << QPoint(20, 10)
                          << std::optional(CGrabRect{20, 10, 150, 90});
    QTest::newRow("free at 200%") << 0 << 2 << QPoint(31, 17) << QPoint(90, 70)
                                  << std::optional(CGrabRect{31, 17, 90, 70});
    QTest::newRow("square") << 1 << 1 << QPoint(20, 30) << QPoint(100, 50)
                            << std::optional(CGrabRect{20, 30, 100, 110});
    QTest::newRow("fixed box") << 2 << 1 << QPoint(10, 10) << QPoint(100, 60)
                               << std::optional(CGrabRect{68, 28, 132, 92});
    QTest::newRow("press beside the picture")
        << 0 << 1 << QPoint(-20, 10) << QPoint(20, 10) << std::optional<CGrabRect>();
}

void TestGrabFaceDialog::drag()
{
    QFETCH(int, mode);
    QFETCH(int, scale);
    QFETCH(QPoint, press);
    QFETCH(QPoint, release);
    QFETCH(std::optional<CGrabRect>, expected);
    const auto dialog = OpenDialog(CFaceSlot("happy", 2, 1, 2), RandomPicture(200, 120));
    if (mode < 2)
        QTest::mouseClick(Control<QCheckBox>(dialog.get(), Id::kDontStretch), Qt::LeftButton);
    if (mode == 0)
        QTest::mouseClick(Control<QCheckBox>(dialog.get(), Id::kSquare), Qt::LeftButton);
    CGrabPictureView *view = dialog->PictureView();
    QVERIFY(!view->IsFit()); // it fits: shown 1:1
    view->ZoomTo(CViewScale{scale, 1}, QPoint(0, 0));

    // One origin: the view shows under each screen pixel the picture pixel the mapping names.
    const CViewTransform &transform = view->Transform();
    const QImage shown = view->grab().toImage().convertToFormat(QImage::Format_RGB888);
    for (const QPoint pixel : {QPoint(13, 1), QPoint(101, 57), QPoint(150, 100)}) {
        const QPoint point = transform.ScreenAt(pixel) + QPoint(scale - 1, 0);
        const QPoint under = transform.PixelUnder(point);
        QCOMPARE(under, pixel);
        const CRgbTriple &colour = dialog->Picture().PixelAt(under.x(), under.y());
        QCOMPARE(shown.pixel(point), qRgb(colour.red, colour.green, colour.blue));
    }
    // The drag from A to B takes exactly the picture pixels under the screen pixels A ... B - 1.
    const QPoint a = transform.ScreenAt(press);
    const QPoint b = transform.ScreenAt(release);
    if (expected && mode == 0) {
        const QPoint first = transform.PixelUnder(QPoint(std::min(a.x(), b.x()), std::min(a.y(), b.y())));
        const QPoint last = transform.PixelUnder(QPoint(std::max(a.x(), b.x()) - 1, std::max(a.y(), b.y()) - 1));
        QCOMPARE((CGrabRect{first.x(), first.y(), last.x() + 1, last.y() + 1}), *expected);
    }
    QTest::mousePress(view, Qt::LeftButton, {}, a);
    QTest::mouseMove(view, (a + b) / 2);
    QTest::mouseMove(view, b);
    QCOMPARE(view->IsDragging(), bool(expected));
    if (expected) {
        // While dragging, the previews show the box stretched from the picture itself.
        QCOMPARE(view->Box(), expected);
        const QImage painted = dialog->grab().toImage().convertToFormat(QImage::Format_RGB888);
        const auto previews = dialog->Picture().ScaledCopies(expected->left, expected->top,
            expected->right - expected->left, expected->bottom - expected->top, kFaceSizes);
        const int frames[] = {Id::kLargePreview, Id::kSmallPreview};
        for (int i = 0; i < 2; ++i) {
            const QRect inside
                = FindControl(dialog.get(), frames[i])->geometry().adjusted(1, 1, -1, -1);
            QCOMPARE(painted.copy(inside), previews[std::size_t(i)]->AsQImage());
        }
    }
    QTest::mouseRelease(view, Qt::LeftButton, {}, b);
    QVERIFY(!view->IsDragging());
    if (expected) {
        QCOMPARE(view->Box(), expected); // it stays
        ExpectFaces(dialog->Result(), dialog->Picture(), *expected);
        QVERIFY(view->accessibleDescription().endsWith(
            QStringLiteral("Faces cut from %1, %2 to %3, %4.")
                .arg(expected->left).arg(expected->top).arg(expected->right).arg(expected->bottom)));
    } else {
        QVERIFY(!dialog->Result().HasFaces()); // as the mode clicks left it
    }
}

void TestGrabFaceDialog::handles()
{
    const auto dialog = OpenDialog(CFaceSlot("happy", 2, 1, 2), RandomPicture(300, 200));
    QTest::mouseClick(Control<QCheckBox>(dialog.get(), Id::kDontStretch), Qt::LeftButton);
    QTest::mouseClick(Control<QCheckBox>(dialog.get(), Id::kSquare), Qt::LeftButton);
    CGrabPictureView *view = dialog->PictureView();
    const CViewTransform &at = view->Transform();
    Drag(view, at.ScreenAt(QPoint(40, 30)), at.ScreenAt(QPoint(100, 80)));
    QCOMPARE(view->Box(), std::optional(CGrabRect{40, 30, 100, 80}));

    // The bottom-right handle, then the top edge's, then the inside.
    Drag(view, at.ScreenAt(QPoint(100, 80)) + QPoint(2, -1), at.ScreenAt(QPoint(130, 95)));
    QCOMPARE(view->Box(), std::optional(CGrabRect{40, 30, 130, 95}));
    Drag(view, at.ScreenAt(QPoint(84, 30)), at.ScreenAt(QPoint(84, 20)));
    QCOMPARE(view->Box(), std::optional(CGrabRect{40, 20, 130, 95}));
    Drag(view, at.ScreenAt(QPoint(60, 60)), at.ScreenAt(QPoint(50, 70)));
    QCOMPARE(view->Box(), std::optional(CGrabRect{30, 30, 120, 105}));
    ExpectFaces(dialog->Result(), dialog->Picture(), CGrabRect{30, 30, 120, 105});
    // A press elsewhere starts a new box.
    Drag(view, at.ScreenAt(QPoint(200, 150)), at.ScreenAt(QPoint(210, 160)));
    QCOMPARE(view->Box(), std::optional(CGrabRect{200, 150, 210, 160}));
}

void TestGrabFaceDialog::keyboard()
{
    const auto dialog = OpenDialog(CFaceSlot("happy", 2, 1, 2), RandomPicture(300, 200));
    CGrabPictureView *view = dialog->PictureView();
    QVERIFY(view->focusPolicy() & Qt::TabFocus);
    view->setFocus();
    const auto box = [&] { return view->Box().value_or(CGrabRect{-1, -1, -1, -1}); };
    // The first arrow makes the 64x64 box in the middle; the next ones move it.
    QTest::keyClick(view, Qt::Key_Left);
    QCOMPARE(box(), (CGrabRect{118, 68, 182, 132}));
    QTest::keyClick(view, Qt::Key_Left);
    QTest::keyClick(view, Qt::Key_Down, Qt::ShiftModifier);
    QCOMPARE(box(), (CGrabRect{117, 78, 181, 142}));
    QTest::keyClick(view, Qt::Key_Right, Qt::AltModifier); // it cannot grow
    QCOMPARE(box(), (CGrabRect{117, 78, 181, 142}));
    ExpectFaces(dialog->Result(), dialog->Picture(), box());
    QVERIFY(view->accessibleDescription().endsWith(
        QStringLiteral("Faces cut from 117, 78 to 181, 142.")));
    QCOMPARE(dialog->StatusLine().section(QLatin1Char('\n'), 1),
             QStringLiteral("117, 78 – 181, 142 (64 × 64) at 100%"));

    // Free, the largest centred square, then its right and bottom edges.
    QTest::mouseClick(Control<QCheckBox>(dialog.get(), Id::kDontStretch), Qt::LeftButton);
    QTest::mouseClick(Control<QCheckBox>(dialog.get(), Id::kSquare), Qt::LeftButton);
    QVERIFY(!view->Box());
    QTest::keyClick(view, Qt::Key_Up);
    QCOMPARE(box(), (CGrabRect{50, 0, 249, 199}));
    QTest::keyClick(view, Qt::Key_Left, Qt::AltModifier | Qt::ShiftModifier);
    QTest::keyClick(view, Qt::Key_Up, Qt::AltModifier);
    QCOMPARE(box(), (CGrabRect{50, 0, 239, 198}));
    ExpectFaces(dialog->Result(), dialog->Picture(), box());
    // Enter in the picture area grabs.
    QTest::keyClick(view, Qt::Key_Return);
    QCOMPARE(dialog->result(), int(QDialog::Accepted));
}

void TestGrabFaceDialog::shrunkPaint_data()
{
    QTest::addColumn<int>("denominator");
    QTest::addColumn<int>("level");
    QTest::newRow("1/3, from level 1, made once shown") << 3 << 1;
    QTest::newRow("1/6, from level 2") << 6 << 2;
}

void TestGrabFaceDialog::shrunkPaint()
{
    // Below 1:1 the view paints its level in bands of rows: the same pixels as one draw of the
    // whole level, so no band edge shows.
    QFETCH(int, denominator);
    QFETCH(int, level);
    const auto dialog = OpenDialog(CFaceSlot("happy", 2, 1, 2), RandomPicture(901, 661));
    CGrabPictureView *view = dialog->PictureView();
    view->ZoomTo(CViewScale{1, denominator}, QPoint(0, 0));
    const CViewTransform &transform = view->Transform();
    QVERIFY(transform.ScreenAt(QPoint(0, 0)).y() >= 0); // all of it shown
    QVERIFY(transform.ScreenAt(QPoint(901, 661)).y() <= view->height());
    QImage painted(view->size(), QImage::Format_RGB32);
    {
        QPainter painter(&painted);
        view->PaintPicture(painter);
    }
    const QImage source = view->Pyramid().Level(level).convertToFormat(QImage::Format_RGB32);
    QVERIFY(!source.isNull());
    QImage expected(view->size(), QImage::Format_RGB32);
    QPainter painter(&expected);
    painter.fillRect(expected.rect(), view->palette().color(QPalette::Mid));
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    const double unit = 1 << level;
    painter.drawImage(QRectF(transform.ScreenAt(QPoint(0, 0)), transform.ScreenAt(QPoint(901, 661))),
                      source, QRectF(0, 0, 901 / unit, 661 / unit));
    painter.end();
    QCOMPARE(painted, expected);
}

void TestGrabFaceDialog::zoom()
{
    const auto dialog = OpenDialog(CFaceSlot("happy", 2, 1, 2), RandomPicture(3000, 2000));
    CGrabPictureView *view = dialog->PictureView();
    auto *zoom = Control<QComboBox>(dialog.get(), Id::kZoom);
    // Named "Zoom" for a screen reader whatever it shows, its text given as the value.
    QAccessibleInterface *reader = QAccessible::queryAccessibleInterface(zoom);
    QCOMPARE(reader->text(QAccessible::Name), QStringLiteral("Zoom"));
    const auto expectFit = [&] {
        QVERIFY(view->IsFit());
        const QSize shown = view->Transform().ScaledSize(QSize(3000, 2000));
        QVERIFY(shown.width() == view->width() || shown.height() == view->height());
        QCOMPARE(zoom->currentText(), QStringLiteral("Fit (%1%)").arg(ScalePercent(view->Scale())));
        QCOMPARE(reader->text(QAccessible::Value), zoom->currentText());
    };
    expectFit();

    QTest::keyClick(dialog.get(), Qt::Key_1, Qt::ControlModifier);
    QCOMPARE(view->Scale(), (CViewScale{1, 1}));
    QCOMPARE(zoom->currentText(), QStringLiteral("100%"));
    QTest::keyClick(dialog.get(), Qt::Key_Equal, Qt::ControlModifier);
    QCOMPARE(view->Scale(), (CViewScale{2, 1}));
    QTest::keyClick(dialog.get(), Qt::Key_Minus, Qt::ControlModifier);
    QTest::keyClick(dialog.get(), Qt::Key_Minus, Qt::ControlModifier);
    QCOMPARE(zoom->currentText(), QStringLiteral("67%"));
    QTest::keyClick(dialog.get(), Qt::Key_0, Qt::ControlModifier);
    expectFit();

    // The zoom box offers the same; the wheel with Ctrl zooms about the pointer.
    zoom->setCurrentIndex(zoom->findText(QStringLiteral("400%")));
    emit zoom->activated(zoom->currentIndex());
    QCOMPARE(view->Scale(), (CViewScale{4, 1}));
    const QPoint pointer(100, 80);
    const QPoint before = view->Transform().PixelUnder(pointer);
    QWheelEvent wheel(pointer, view->mapToGlobal(QPointF(pointer)), QPoint(), QPoint(0, 120),
        Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view, &wheel);
    QCOMPARE(view->Scale(), (CViewScale{6, 1}));
    QVERIFY((view->Transform().PixelUnder(pointer) - before).manhattanLength() <= 1);
    QCOMPARE(dialog->StatusLine().section(QLatin1Char('\n'), 1),
             QStringLiteral("The whole picture, at 600%"));
}

void TestGrabFaceDialog::modeClicksEmptyTheResult_data()
{
    QTest::addColumn<QList<int>>("clicks");
    QTest::addColumn<bool>("squareEnabled");
    QTest::newRow("Don't stretch off") << QList<int>{Id::kDontStretch} << true;
    QTest::newRow("and on again") << QList<int>{Id::kDontStretch, Id::kDontStretch} << false;
    QTest::newRow("Square") << QList<int>{Id::kDontStretch, Id::kSquare} << true;
}

void TestGrabFaceDialog::modeClicksEmptyTheResult()
{
    QFETCH(QList<int>, clicks);
    QFETCH(bool, squareEnabled);
    const auto dialog = OpenDialog(CFaceSlot("worried", 4, 1, 2), RandomPicture(90, 90));
    QVERIFY(dialog->Result().HasFaces());
    for (int id : clicks)
        QTest::mouseClick(Control<QCheckBox>(dialog.get(), id), Qt::LeftButton);
    QCOMPARE(Control<QCheckBox>(dialog.get(), Id::kSquare)->isEnabled(), squareEnabled);
    QVERIFY(!dialog->Result().HasFaces());
    QTest::mouseClick(Control<QPushButton>(dialog.get(), Id::kGrab), Qt::LeftButton);
    QCOMPARE(dialog->result(), int(QDialog::Accepted));
    QVERIFY(!dialog->Result().HasFaces());
}

void TestGrabFaceDialog::edgeScrolling()
{
    const auto dialog = OpenDialog(CFaceSlot("thinking", 8, 1, 2), RandomPicture(1200, 900));
    CGrabPictureView *view = dialog->PictureView();
    auto *horizontal = Control<QScrollBar>(dialog.get(), Id::kHorizontalOffset);
    // At Fit nothing scrolls.
    QVERIFY(view->IsFit());
    QCOMPARE(view->MaxScroll(), QPoint(0, 0));
    const QPoint corner(view->width() - 1, view->height() - 1);
    QTest::mousePress(view, Qt::LeftButton, {}, QPoint(100, 100));
    QTest::mouseMove(view, corner);
    view->RunScrollTick();
    QCOMPARE(view->Scroll(), QPoint(0, 0));
    QTest::mouseRelease(view, Qt::LeftButton, {}, corner);

    view->ZoomTo(CViewScale{1, 1}, QPoint(0, 0));
    QCOMPARE(view->MaxScroll(), QPoint(1200 - view->width(), 900 - view->height()));
    // The wheel scrolls down, and sideways with Shift; the scroll bars follow.
    for (const auto modifiers : {Qt::NoModifier, Qt::ShiftModifier}) {
        QWheelEvent wheel(QPointF(10, 10), view->mapToGlobal(QPointF(10, 10)), QPoint(),
            QPoint(0, -120), Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
        QApplication::sendEvent(view, &wheel);
    }
    const QPoint wheeled = view->Scroll();
    QVERIFY(wheeled.y() > 0 && wheeled.x() == wheeled.y());
    QCOMPARE(horizontal->value(), wheeled.x());
    // A middle-button drag pans, the picture following the pointer; the box stays.
    const std::optional<CGrabRect> drawn = view->Box();
    QTest::mousePress(view, Qt::MiddleButton, {}, QPoint(200, 200));
    QTest::mouseMove(view, QPoint(150, 180));
    QTest::mouseRelease(view, Qt::MiddleButton, {}, QPoint(150, 180));
    QCOMPARE(view->Scroll(), wheeled + QPoint(50, 20));
    QCOMPARE(view->Box(), drawn);
    horizontal->setValue(0);
    Control<QScrollBar>(dialog.get(), Id::kVerticalOffset)->setValue(0);
    QCOMPARE(view->Scroll(), QPoint(0, 0));

    // Drawing a box well inside the view scrolls nothing.
    const QPoint press(60, 50);
    QTest::mousePress(view, Qt::LeftButton, {}, press);
    QTest::mouseMove(view, QPoint(view->width() - 40, view->height() - 30));
    view->RunScrollTick();
    QCOMPARE(view->Scroll(), QPoint(0, 0));
    // At the corner, 10 pixels a tick each way, the box following the picture under it.
    QTest::mouseMove(view, corner);
    for (int tick = 1; tick <= 3; ++tick) {
        view->RunScrollTick();
        QCOMPARE(view->Scroll(), QPoint(10 * tick, 10 * tick));
    }
    QCOMPARE(horizontal->value(), 30);
    const CGrabSelection held{press, corner + QPoint(30, 30), true, false, true, true};
    QCOMPARE(view->Box(), ComputeSelection(held, QSize(1200, 900)));
    for (int tick = 0; tick < 100; ++tick)
        view->RunScrollTick();
    QCOMPARE(view->Scroll(), view->MaxScroll());
    QTest::mouseRelease(view, Qt::LeftButton, {}, corner);
}

void TestGrabFaceDialog::openImage_data()
{
    QTest::addColumn<QByteArray>("contents"); // written to the file chosen
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("size"); // the picture afterwards
    QTest::addColumn<QString>("status");
    QTest::newRow("PPM") << QByteArray("P6 2 1 255\n\xff\0\0\0\0\xff", 17) << "a.ppm"
                         << QSize(2, 1) << "a.ppm, 2 × 1 pixels.";
    QTest::newRow("cut short") << QByteArray("P6 3 2 255\n\x10\x20", 13) << "c.ppm" << QSize(3, 2)
                               << "c.ppm could be read only in part: 3 × 2 pixels, the rest black.";
}

void TestGrabFaceDialog::openImage()
{
    QFETCH(QByteArray, contents);
    QFETCH(QString, name);
    QFETCH(QSize, size);
    QFETCH(QString, status);
    QTemporaryDir folder;
    WriteFile(folder.filePath(name), contents);
    const auto dialog = OpenDialog(CFaceSlot("depressed", 16, 1, 2));
    test::CScriptedPrompts prompts;
    prompts.AnswerFile(folder.filePath(name));

    QTest::mouseClick(Control<QPushButton>(dialog.get(), Id::kOpenImage), Qt::LeftButton);
    QCOMPARE(prompts.Calls().size(), 1);
    QCOMPARE(prompts.Calls().first().title, QStringLiteral("Open"));
    // Every format the loaders read, those of old first.
    QCOMPARE(prompts.Calls().first().filter, PictureFileFilter());
    QVERIFY(PictureFileFilter().startsWith(QStringLiteral("Image files (*.bmp *.jpg *.jpeg *.ppm *.png *.gif ")));
    QCOMPARE(prompts.DeepestWait(), 1);
    QCOMPARE(QSize(dialog->Picture().Width(), dialog->Picture().Height()), size);
    QCOMPARE(dialog->LoadStatus(), status);
    QVERIFY(dialog->PictureView()->accessibleDescription().startsWith(status));
    // Whatever was read, the faces are the whole picture's.
    ExpectFaces(dialog->Result(), dialog->Picture(), CGrabRect{0, 0, size.width(), size.height()});
}

void TestGrabFaceDialog::failedReadKeepsThePicture()
{
    const auto dialog = OpenDialog(CFaceSlot("happy", 2, 1, 2), RandomPicture(300, 200));
    CGrabPictureView *view = dialog->PictureView();
    view->SetBox(CGrabRect{10, 20, 74, 84});
    const CRgbImage *picture = &dialog->Picture();
    const CPaletteImage large(*dialog->Result().LargeFace());
    const QString description = view->accessibleDescription();

    QTemporaryDir folder;
    WriteFile(folder.filePath(QStringLiteral("notes.jpg")), "These are notes, not a photo.\n");
    dialog->LoadPictureFile(folder.filePath(QStringLiteral("notes.jpg")));
    QCOMPARE(&dialog->Picture(), picture);
    QCOMPARE(view->Box(), std::optional(CGrabRect{10, 20, 74, 84}));
    QVERIFY(SameIndices(dialog->Result().LargeFace(), &large));
    QCOMPARE(dialog->LoadStatus(), QStringLiteral("notes.jpg could not be read as a picture: not a JPEG file."));
    // Shortened to the line's width where it shows; whole for a screen reader.
    QVERIFY(dialog->StatusLine().startsWith(QStringLiteral("notes.jpg could")));
    QVERIFY(dialog->findChild<QLabel *>(QStringLiteral("pictureStatus"))->accessibleName().startsWith(dialog->LoadStatus()));
    QVERIFY(description.endsWith(QStringLiteral("Faces cut from 10, 20 to 74, 84.")));
    QVERIFY(view->accessibleDescription().endsWith(QStringLiteral("Faces cut from 10, 20 to 74, 84.")));
    // Nor does an empty picture pasted replace it.
    dialog->LoadPicture(QImage(), QStringLiteral("Pasted picture"));
    QCOMPARE(&dialog->Picture(), picture);
}

void TestGrabFaceDialog::resizing()
{
    QSize larger;
    {
        const auto dialog = OpenDialog(CFaceSlot("happy", 2, 1, 2), RandomPicture(2000, 1500));
        CGrabPictureView *view = dialog->PictureView();
        QCOMPARE(dialog->minimumSize(), dialog->size()); // the template's size is the smallest
        const QSize area = view->size();
        const QPoint grab = Control<QPushButton>(dialog.get(), Id::kGrab)->pos();
        auto *bar = Control<QScrollBar>(dialog.get(), Id::kVerticalOffset);
        const QRect barPlace = bar->geometry();
        const int fitted = view->Transform().ScaledSize(QSize(2000, 1500)).width();
        larger = dialog->size() + QSize(400, 250);
        dialog->resize(larger);
        QCOMPARE(view->size(), area + QSize(400, 250));
        QCOMPARE(Control<QPushButton>(dialog.get(), Id::kGrab)->pos(), grab + QPoint(400, 0));
        QCOMPARE(bar->geometry(), barPlace.adjusted(400, 0, 400, 250));
        QVERIFY(view->Transform().ScaledSize(QSize(2000, 1500)).width() > fitted); // more picture
        QTest::mouseClick(Control<QPushButton>(dialog.get(), Id::kCancel), Qt::LeftButton);
    }
    // The next dialog opens at the size the last one had.
    const auto dialog = OpenDialog(CFaceSlot("happy", 2, 1, 2));
    QCOMPARE(dialog->size(), larger);
    dialog->reject();
}

void TestGrabFaceDialog::pasteAndDrop()
{
    // Ctrl+V in the dialog takes the clipboard's picture.
    const QImage picture = RandomPicture(70, 80);
    QGuiApplication::clipboard()->setImage(picture);
    const auto dialog = OpenDialog(CFaceSlot("surprised", 32, 1, 2));
    QTest::keyClick(dialog.get(), Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(dialog->Picture().Width(), 70);
    QCOMPARE(dialog->Picture().PixelAt(5, 6).ToColorRef(),
        CRgbTriple(
            qRed(picture.pixel(5, 6)), qGreen(picture.pixel(5, 6)), qBlue(picture.pixel(5, 6)))
            .ToColorRef());

    // A file dropped on a face frame of the form opens that expression's dialog with it.
    CTestDocument document;
    QVERIFY(document.FileNew());
    CQuorvelView view(&document);
    QList<std::pair<std::uint32_t, QString>> opened;
    view.SetGrabDialogRunner([&](CFaceSlot &slot, const CGrabStart &start) {
        opened.append({slot.ExpressionBit(), start.picturePath});
        return false;
    });
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/face.jpg"))});
    const QPointF point = view.Control(1079)->geometry().center();
    QDragEnterEvent enter(point.toPoint(), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view.Form(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(point, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view.Form(), &drop);
    QTRY_COMPARE(
        opened, (QList<std::pair<std::uint32_t, QString>>{{4u, QStringLiteral("/tmp/face.jpg")}}));
}

void TestGrabFaceDialog::formTakesTheResult_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<bool>("modified");
    QTest::addColumn<bool>("present"); // the happy expression afterwards
    QTest::newRow("Grab") << int(Id::kGrab) << true << true;
    QTest::newRow("Turn off") << int(Id::kTurnOff) << true << false;
    QTest::newRow("Cancel") << int(Id::kCancel) << false << true;
}

void TestGrabFaceDialog::formTakesTheResult()
{
    QFETCH(int, button);
    QFETCH(bool, modified);
    QFETCH(bool, present);
    QTemporaryDir workDir;
    QVERIFY(QDir::setCurrent(workDir.path()));
    CTestDocument document;
    QVERIFY(document.FileNew());
    CQuorvelView view(&document);
    std::array<std::uint8_t, 4096> large;
    for (std::size_t i = 0; i < large.size(); ++i)
        large[i] = std::uint8_t(10 + i % 200);
    document.SetFaces(2, large.data(), large.data());
    document.SetModifiedFlag(false);
    view.OnUpdate();

    // The program's own dialog, answered once it runs.
    QTimer::singleShot(0, [button] {
        auto *dialog = qobject_cast<CGrabFaceDialog *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        QTest::mouseClick(Control<QPushButton>(dialog, button), Qt::LeftButton);
    });
    QTest::mouseClick(view.Control(1047), Qt::LeftButton);
    QCOMPARE(document.IsModified(), modified);
    std::array<std::uint8_t, 576> smallStored{};
    std::array<std::uint8_t, 4096> largeStored{};
    QCOMPARE(document.Record().GetFaces(2, smallStored.data(), largeStored.data()), present);
    if (present && modified) {
        // Grabbed at once: the face made again from its own colours.
        const CRgbImage colours(CPaletteImage(large.data(), 64, 64));
        ExpectFaces(view.FaceSlots().at(1), colours, CGrabRect{0, 0, 64, 64});
        QVERIFY(std::equal(
            largeStored.begin(), largeStored.end(), view.FaceSlots().at(1).LargeFace()->Indices()));
    }
}

QTEST_MAIN(TestGrabFaceDialog)
#include "tst_grabfacedialog.moc"
