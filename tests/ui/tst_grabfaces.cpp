// The grab dialog's face finding on the offscreen platform: a dropped portrait gets its box
// around the face, a landscape is said to have none, "Find face" walks the faces, and a box the
// user drew first is left alone. Photos from opencv-doc and mate-backgrounds.

#include "image/FaceFinder.h"
#include "ui/DialogTemplate.h"
#include "ui/GrabFaceDialog.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace quorvel;
using Id = CGrabFaceDialog::ControlId;

namespace {

const QString kPortrait = QStringLiteral("/usr/share/doc/opencv-doc/opencv4/html/227943776_1.jpg");
const QString kTwelveFaces = QStringLiteral("/usr/share/doc/opencv-doc/opencv4/html/3.jpg");
const QString kLandscape = QStringLiteral("/usr/share/backgrounds/mate/nature/Aqua.jpg");

void Drop(CGrabFaceDialog &dialog, const QString &path)
{
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(path)});
    const QPoint point = dialog.rect().center();
    QDragEnterEvent enter(point, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&dialog, &enter);
    QDropEvent drop(point, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&dialog, &drop);
}

} // namespace

class TestGrabFaces : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void droppedPortrait();
    void landscape();
    void findFaceWalksTheFaces();
    void usersBoxStays();
    void searchWaitsForThePaint();
    void longNameShortenedFirst_data();
    void longNameShortenedFirst();

private:
    std::unique_ptr<CGrabFaceDialog> OpenDialog();
    // Loads the picture and waits for the search that its arrival started.
    void Load(CGrabFaceDialog &dialog, const QString &path);
};

void TestGrabFaces::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    if (!FaceFinderBuiltIn())
        QSKIP("built without the face finder (QUORVEL_FACES off)");
    for (const QString &path : {kPortrait, kTwelveFaces, kLandscape}) {
        if (!QFileInfo::exists(path))
            QSKIP(qPrintable(path + " is missing: ./dev.sh test installs the photos' packages"));
    }
}

std::unique_ptr<CGrabFaceDialog> TestGrabFaces::OpenDialog()
{
    auto dialog = std::make_unique<CGrabFaceDialog>(CFaceSlot("default", 1, 1, 2));
    dialog->show();
    if (!QTest::qWaitForWindowExposed(dialog.get()))
        qFatal("dialog not shown");
    return dialog;
}

void TestGrabFaces::Load(CGrabFaceDialog &dialog, const QString &path)
{
    dialog.LoadPictureFile(path);
    QVERIFY(dialog.IsFindingFaces()); // the dialog did not wait for it
    QTRY_VERIFY_WITH_TIMEOUT(!dialog.IsFindingFaces(), 20000);
    QCoreApplication::processEvents(); // the watcher's report
}

void TestGrabFaces::droppedPortrait()
{
    const auto dialog = OpenDialog();
    auto *findFace = FindControl<QPushButton>(dialog.get(), Id::kFindFace);
    QVERIFY(!findFace->isEnabled()); // the slot's own first picture is not searched
    QVERIFY(!dialog->IsFindingFaces());

    Drop(*dialog, kPortrait);
    QTRY_VERIFY_WITH_TIMEOUT(dialog->Picture().Width() == 434 && !dialog->IsFindingFaces()
                                 && dialog->PictureView()->Box().has_value(), 20000);
    const CGrabRect box = *dialog->PictureView()->Box();
    QCOMPARE(box, dialog->FaceBoxes().front());
    // The head lies about (120, 60) to (300, 300): the box holds it, with a little room.
    QVERIFY(box.left <= 120 && box.top <= 60 && box.right >= 300 && box.bottom >= 290);
    QVERIFY(box.right - box.left <= 320);
    QCOMPARE(box.right - box.left, box.bottom - box.top);
    QVERIFY(findFace->isEnabled());
    QVERIFY(FindControl<QCheckBox>(dialog.get(), Id::kSquare)->isChecked());
    QVERIFY(FindControl<QCheckBox>(dialog.get(), Id::kSquare)->isEnabled());
    QVERIFY(!FindControl<QCheckBox>(dialog.get(), Id::kDontStretch)->isChecked());
    QVERIFY(dialog->StatusLine().contains(QStringLiteral("1 face found.")));
    const CGrabPictureView *view = dialog->PictureView();
    QVERIFY(view->rect().contains(view->Transform().ScreenRect(box)));
    QVERIFY(view->accessibleDescription().endsWith(
        QStringLiteral("Faces cut from %1, %2 to %3, %4.").arg(box.left).arg(box.top)
            .arg(box.right).arg(box.bottom)));

    // "Grab" takes the box as it is.
    FindControl<QPushButton>(dialog.get(), Id::kGrab)->click();
    const auto faces = dialog->Picture().CropToPaletteImages(
        box.left, box.top, box.right, box.bottom, std::array{QSize(64, 64), QSize(24, 24)});
    QVERIFY(dialog->Result().LargeFace());
    QVERIFY(std::equal(faces[0]->Indices(), faces[0]->Indices() + 64 * 64,
                       dialog->Result().LargeFace()->Indices()));
}

void TestGrabFaces::landscape()
{
    const auto dialog = OpenDialog();
    Load(*dialog, kLandscape);
    QVERIFY(dialog->FaceBoxes().empty());
    QVERIFY(!dialog->PictureView()->Box());
    QVERIFY(!FindControl<QPushButton>(dialog.get(), Id::kFindFace)->isEnabled());
    QVERIFY(FindControl<QCheckBox>(dialog.get(), Id::kDontStretch)->isChecked());
    QVERIFY2(dialog->StatusLine().section(QLatin1Char('\n'), 0, 0).endsWith(QStringLiteral("No face found.")),
             qPrintable(dialog->StatusLine()));
    QVERIFY(dialog->PictureView()->accessibleDescription().contains(QStringLiteral("No face found.")));

    // What was found in the last picture is not said of the next one while it is searched.
    Load(*dialog, kPortrait);
    dialog->LoadPictureFile(kLandscape);
    QVERIFY(!dialog->StatusLine().contains(QStringLiteral("found")));
    QVERIFY(!dialog->PictureView()->accessibleDescription().contains(QStringLiteral("found")));
    QVERIFY(FindControl<QPushButton>(dialog.get(), Id::kFindFace)->accessibleDescription().isEmpty());
}

void TestGrabFaces::findFaceWalksTheFaces()
{
    const auto dialog = OpenDialog();
    Load(*dialog, kTwelveFaces);
    const std::vector<CGrabRect> boxes = dialog->FaceBoxes();
    QVERIFY(boxes.size() >= 2);
    auto *findFace = FindControl<QPushButton>(dialog.get(), Id::kFindFace);
    QCOMPARE(*dialog->PictureView()->Box(), boxes[0]);
    for (std::size_t i = 1; i <= boxes.size(); ++i) {
        QTest::mouseClick(findFace, Qt::LeftButton);
        QCOMPARE(*dialog->PictureView()->Box(), boxes[i % boxes.size()]); // wraps around
    }
    QCOMPARE(findFace->accessibleDescription(),
             QStringLiteral("Box on face 1 of %1.").arg(boxes.size()));
}

void TestGrabFaces::usersBoxStays()
{
    // A box drawn before the search ends is the user's: the proposal does not move it.
    const auto dialog = OpenDialog();
    dialog->LoadPictureFile(kPortrait);
    const CGrabRect mine{10, 10, 74, 74};
    dialog->PictureView()->SetBox(mine);
    QTRY_VERIFY_WITH_TIMEOUT(!dialog->IsFindingFaces(), 20000);
    QCoreApplication::processEvents();
    QCOMPARE(dialog->FaceBoxes().size(), std::size_t(1));
    QCOMPARE(*dialog->PictureView()->Box(), mine);
    QVERIFY(FindControl<QPushButton>(dialog.get(), Id::kFindFace)->isEnabled());
}

void TestGrabFaces::searchWaitsForThePaint()
{
    // A photo arriving in a dialog not yet on screen (as one started with a dropped photo) is
    // searched once it is painted, not while it is decoded and halved.
    CGrabFaceDialog dialog(CFaceSlot("default", 1, 1, 2));
    dialog.LoadPictureFile(kPortrait);
    QTest::qWait(200);
    QVERIFY(dialog.IsFindingFaces());
    QVERIFY(dialog.FaceBoxes().empty());
    dialog.show();
    QTRY_VERIFY_WITH_TIMEOUT(!dialog.IsFindingFaces(), 20000);
    QTRY_VERIFY(dialog.PictureView()->Box().has_value());
    QCOMPARE(dialog.FaceBoxes().size(), std::size_t(1));
}

void TestGrabFaces::longNameShortenedFirst_data()
{
    QTest::addColumn<QString>("photo");
    QTest::addColumn<QString>("note");
    QTest::newRow("portrait") << kPortrait << QStringLiteral("1 face found.");
    QTest::newRow("landscape") << kLandscape << QStringLiteral("No face found.");
}

void TestGrabFaces::longNameShortenedFirst()
{
    // The size and the faces found stay readable however long the name; the name is cut.
    QFETCH(QString, photo);
    QFETCH(QString, note);
    QTemporaryDir folder;
    const QString name = QString(120, QLatin1Char('n')) + QStringLiteral(" holiday.jpg");
    QVERIFY(QFile::copy(photo, folder.filePath(name)));
    const auto dialog = OpenDialog();
    Load(*dialog, folder.filePath(name));
    const QString size = QStringLiteral("%1 × %2 pixels.").arg(dialog->Picture().Width())
                             .arg(dialog->Picture().Height());
    const QString first = dialog->StatusLine().section(QLatin1Char('\n'), 0, 0);
    QVERIFY2(first.endsWith(size + QLatin1Char(' ') + note), qPrintable(first));
    // Cut in its middle, so its start and its extension show.
    QVERIFY2(first.contains(QRegularExpression(QStringLiteral("^n+…[a-z ]*\\.jpg, "))),
             qPrintable(first));
    const auto *line = dialog->findChild<QLabel *>(QStringLiteral("pictureStatus"));
    QVERIFY(line->fontMetrics().horizontalAdvance(first) <= line->width());
    QVERIFY(line->accessibleName().startsWith(name)); // a screen reader hears it whole
}

QTEST_MAIN(TestGrabFaces)
#include "tst_grabfaces.moc"
