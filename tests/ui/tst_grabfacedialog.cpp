// The face grab dialog on the offscreen platform: its selection rules and edge-scroll steps
// from tables, and the dialog driven with the mouse, its buttons and the prompts, alone and
// from the company form. The scroll timer is stopped; tests tick it by hand.

#include "company/QuorvelDoc.h"
#include "tests/support/ScriptedPrompts.h"
#include "ui/DialogTemplate.h"
#include "ui/GrabFaceDialog.h"
#include "ui/GrabSelection.h"
#include "ui/QuorvelView.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QMimeData>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include <array>

using namespace quorvel;
using Id = CGrabFaceDialog::ControlId;

Q_DECLARE_METATYPE(std::optional<CGrabRect>)
Q_DECLARE_METATYPE(std::optional<QPoint>)

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
    void selectionRules_data();
    void selectionRules();
    void edgeScrollSteps_data();
    void edgeScrollSteps();
    void grabAtOnce_data();
    void grabAtOnce();
    void drag_data();
    void drag();
    void modeClicksEmptyTheResult_data();
    void modeClicksEmptyTheResult();
    void edgeScrolling();
    void openImage_data();
    void openImage();
    void pasteAndDrop();
    void formTakesTheResult_data();
    void formTakesTheResult();

private:
    // A shown dialog for a slot, its timer stopped, with a picture if one is given.
    std::unique_ptr<CGrabFaceDialog> OpenDialog(const CFaceSlot &slot, const QImage &picture = {});
};

std::unique_ptr<CGrabFaceDialog> TestGrabFaceDialog::OpenDialog(
    const CFaceSlot &slot, const QImage &picture)
{
    auto dialog = std::make_unique<CGrabFaceDialog>(slot);
    dialog->ScrollTimer().stop();
    dialog->show();
    if (!QTest::qWaitForWindowExposed(dialog.get()))
        qFatal("dialog not shown");
    if (!picture.isNull())
        dialog->LoadPicture(picture, QStringLiteral("test"));
    return dialog;
}

void TestGrabFaceDialog::selectionRules_data()
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

void TestGrabFaceDialog::selectionRules()
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

void TestGrabFaceDialog::edgeScrollSteps_data()
{
    QTest::addColumn<QPoint>("fromCentre");
    QTest::addColumn<std::optional<QPoint>>("expected");
    // An area whose half sizes are 160.
    QTest::newRow("inside the dead band") << QPoint(16, -16) << std::optional<QPoint>();
    QTest::newRow("just outside it") << QPoint(17, -17) << std::optional(QPoint(1, -1));
    QTest::newRow("halfway") << QPoint(-50, 100) << std::optional(QPoint(-5, 8));
    QTest::newRow("at the edge") << QPoint(160, 160) << std::optional(QPoint(10, 10));
    QTest::newRow("beyond it") << QPoint(-320, 320) << std::optional(QPoint(-12, 12));
    QTest::newRow("on a centre line") << QPoint(0, 160) << std::optional(QPoint(0, 10));
    QTest::newRow("one axis in the band") << QPoint(5, 300) << std::optional<QPoint>();
}

void TestGrabFaceDialog::edgeScrollSteps()
{
    QFETCH(QPoint, fromCentre);
    QFETCH(std::optional<QPoint>, expected);
    const QRect area(30, 20, 321, 320);
    QCOMPARE(EdgeScrollStep(area, QPoint(30 + 160, 20 + 160) + fromCentre), expected);
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
    QTest::addColumn<int>("mode"); // as in selectionRules
    QTest::addColumn<QPoint>("press"); // in the picture area
    QTest::addColumn<QPoint>("release");
    QTest::addColumn<std::optional<CGrabRect>>("expected"); // none: no drag
    QTest::newRow("free") << 0 << QPoint(150, 90) << QPoint(20, 10)
                          << std::optional(CGrabRect{20, 10, 150, 90});
    QTest::newRow("square") << 1 << QPoint(20, 30) << QPoint(100, 50)
                            << std::optional(CGrabRect{20, 30, 100, 110});
    QTest::newRow("fixed box") << 2 << QPoint(10, 10) << QPoint(100, 60)
                               << std::optional(CGrabRect{68, 28, 132, 92});
    QTest::newRow("press beside the picture")
        << 0 << QPoint(250, 10) << QPoint(20, 10) << std::optional<CGrabRect>();
}

void TestGrabFaceDialog::drag()
{
    QFETCH(int, mode);
    QFETCH(QPoint, press);
    QFETCH(QPoint, release);
    QFETCH(std::optional<CGrabRect>, expected);
    const auto dialog = OpenDialog(CFaceSlot("happy", 2, 1, 2), RandomPicture(200, 120));
    auto *dontStretch = Control<QCheckBox>(dialog.get(), Id::kDontStretch);
    if (mode < 2)
        QTest::mouseClick(dontStretch, Qt::LeftButton);
    auto *square = Control<QCheckBox>(dialog.get(), Id::kSquare);
    if (mode == 0)
        QTest::mouseClick(square, Qt::LeftButton);

    QWidget *area = dialog->PictureArea();
    QTest::mousePress(area, Qt::LeftButton, {}, press);
    QTest::mouseMove(area, (press + release) / 2);
    QTest::mouseMove(area, release);
    QCOMPARE(dialog->IsDragging(), bool(expected));
    if (expected) {
        // While dragging, the previews show the selection stretched from the picture itself.
        QCOMPARE(dialog->Selection(), expected);
        const QImage shown = dialog->grab().toImage().convertToFormat(QImage::Format_RGB888);
        const auto previews = dialog->Picture().ScaledCopies(expected->left, expected->top,
            expected->right - expected->left, expected->bottom - expected->top, kFaceSizes);
        const int frames[] = {Id::kLargePreview, Id::kSmallPreview};
        for (int i = 0; i < 2; ++i) {
            const QRect inside
                = FindControl(dialog.get(), frames[i])->geometry().adjusted(1, 1, -1, -1);
            QCOMPARE(shown.copy(inside), previews[std::size_t(i)]->AsQImage());
        }
    }
    QTest::mouseRelease(area, Qt::LeftButton, {}, release);
    QVERIFY(!dialog->IsDragging());
    if (expected)
        ExpectFaces(dialog->Result(), dialog->Picture(), *expected);
    else
        QVERIFY(!dialog->Result().HasFaces()); // as the mode clicks left it
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
    QWidget *area = dialog->PictureArea();
    const QSize half = area->size() / 2;
    const QPoint max = dialog->MaxScrollOffset();
    QCOMPARE(max, QPoint(1200 - area->width(), 900 - area->height()));

    // The wheel scrolls down, and sideways with Shift; back to the start for the drag.
    for (const auto modifiers : {Qt::NoModifier, Qt::ShiftModifier}) {
        QWheelEvent wheel(QPointF(10, 10), area->mapToGlobal(QPointF(10, 10)), QPoint(),
            QPoint(0, -120), Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
        QApplication::sendEvent(area, &wheel);
    }
    const QPoint wheeled = dialog->ScrollOffset();
    QVERIFY(wheeled.y() > 0 && wheeled.x() == wheeled.y());
    Control<QScrollBar>(dialog.get(), Id::kHorizontalOffset)->setValue(0);
    Control<QScrollBar>(dialog.get(), Id::kVerticalOffset)->setValue(0);

    // Held on a centre line's band, nothing scrolls.
    QTest::mousePress(area, Qt::LeftButton, {}, QPoint(half.width() + 100, half.height() + 10));
    dialog->RunScrollTick();
    QCOMPARE(dialog->ScrollOffset(), QPoint(0, 0));

    // Held at the corner, one half size off-centre on each axis: 10 pixels a tick each way,
    // within the scroll range, the selection following the picture under the pointer.
    const QPoint corner(2 * half.width(), 2 * half.height());
    QTest::mouseMove(area, corner);
    QTest::mouseMove(area, corner + QPoint(2000, 0)); // off the picture: changes nothing
    for (int tick = 1; tick <= 3; ++tick) {
        dialog->RunScrollTick();
        QCOMPARE(dialog->ScrollOffset(), QPoint(10 * tick, 10 * tick));
    }
    QCOMPARE(Control<QScrollBar>(dialog.get(), Id::kHorizontalOffset)->value(), 30);
    const CGrabSelection expected{
        QPoint(half.width() + 100, half.height() + 10), corner + QPoint(30, 30), true};
    QCOMPARE(dialog->Selection(), ComputeSelection(expected, QSize(1200, 900)));
    for (int tick = 0; tick < 100; ++tick)
        dialog->RunScrollTick();
    QCOMPARE(dialog->ScrollOffset(), max);
}

void TestGrabFaceDialog::openImage_data()
{
    QTest::addColumn<QByteArray>("contents"); // written to the file chosen
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QString>("status");
    QTest::newRow("PPM") << QByteArray("P6 2 1 255\n\xff\0\0\0\0\xff", 17) << "a.ppm" << QSize(2, 1)
                         << "a.ppm, 2 × 1 pixels.";
    QTest::newRow("not a picture")
        << QByteArray("hello") << "b.jpg" << QSize(1, 1) << "b.jpg could not be read as a picture.";
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
    QFile file(folder.filePath(name));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size());
    file.close();
    const auto dialog = OpenDialog(CFaceSlot("depressed", 16, 1, 2));
    test::CScriptedPrompts prompts;
    prompts.AnswerFile(file.fileName());

    QTest::mouseClick(Control<QPushButton>(dialog.get(), Id::kOpenImage), Qt::LeftButton);
    QCOMPARE(prompts.Calls().size(), 1);
    QCOMPARE(prompts.Calls().first().title, QStringLiteral("Open"));
    QCOMPARE(prompts.Calls().first().filter,
        QStringLiteral("Image files (*.bmp *.jpg *.jpeg *.ppm *.png *.gif);;All files (*)"));
    QCOMPARE(prompts.DeepestWait(), 1);
    QCOMPARE(QSize(dialog->Picture().Width(), dialog->Picture().Height()), size);
    QCOMPARE(dialog->LoadStatus(), status);
    QVERIFY(dialog->PictureArea()->accessibleDescription().startsWith(status));
    // Whatever was read, the faces are the whole picture's.
    ExpectFaces(dialog->Result(), dialog->Picture(), CGrabRect{0, 0, size.width(), size.height()});
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
    CQuorvelDoc document;
    QVERIFY(document.FileNew());
    CQuorvelView view(&document);
    QList<std::pair<std::uint32_t, QString>> opened;
    view.SetGrabDialogRunner([&](CFaceSlot &slot, const QString &path) {
        opened.append({slot.ExpressionBit(), path});
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
    CQuorvelDoc document;
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
    QCOMPARE(document.GetFaces(2, smallStored.data(), largeStored.data()), present);
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
