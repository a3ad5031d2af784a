// Whole expressions on the company form, offscreen: the clipboard round trip of both faces,
// the editing keys on a focused frame, drops of one frame onto another, the frames' context
// menu and saving an expression's faces as pictures.

#include "company/CompanyFile.h"
#include "company/QuorvelDoc.h"
#include "image/Palette.h"
#include "platform/Archive.h"
#include "tests/support/ScriptedPrompts.h"
#include "tests/support/TestDocument.h"
#include "tests/support/TestFiles.h"
#include "ui/FaceActions.h"
#include "ui/FaceClipboard.h"
#include "ui/GrabFaceDialog.h"
#include "ui/QuorvelView.h"

#include <QBuffer>
#include <QClipboard>
#include <QDropEvent>
#include <QMenu>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUndoStack>

#include <memory>

using namespace quorvel;
using namespace quorvel::test;

namespace {

// Expression index to its large frame on the form.
constexpr int kLargeFrames[] = {1035, 1047, 1048, 1049, 1069, 1074, 1075, 1076, 1077};

// Both faces, every index of its own and no two expressions alike.
CFacePair PatternFaces(int seed)
{
    CFacePair faces;
    for (std::size_t i = 0; i < faces.small.size(); ++i)
        faces.small[i] = std::uint8_t((i * 7 + std::size_t(seed) * 31) % 256);
    for (std::size_t i = 0; i < faces.large.size(); ++i)
        faces.large[i] = std::uint8_t((i * 13 + std::size_t(seed) * 17) % 256);
    return faces;
}

bool operator==(const CFacePair &a, const CFacePair &b)
{
    return a.small == b.small && a.large == b.large;
}

// The expressions the company has: their faces' seeds, or -1 for one turned off.
using Seeds = QList<int>;

} // namespace

class TestFaceActions : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void clipboardRoundTrip();
    void commands_data();
    void commands();
    void pastedPictureOpensGrabDialog();
    void contextMenu_data();
    void contextMenu();
    void contextMenuFromKeyboard();
    void saveFacesAs();

private:
    QWidget *Frame(int expression) const { return m_view->Control(kLargeFrames[expression]); }
    CFaceSlot &Slot(int expression) const { return m_view->FaceSlots().at(std::size_t(expression)); }
    // Gives the company these faces, as though it had just been opened.
    void Load(const Seeds &seeds);
    Seeds Present() const;
    // The record as the object file holds it.
    QByteArray RecordBytes() const;
    void Drop(int from, int to, Qt::KeyboardModifiers modifiers);

    QTemporaryDir m_workDir;
    QTemporaryDir m_winePrefix;
    std::unique_ptr<CQuorvelDoc> m_doc;
    std::unique_ptr<CQuorvelView> m_view;
};

void TestFaceActions::initTestCase()
{
    QVERIFY(m_workDir.isValid() && m_winePrefix.isValid());
    qputenv("WINEPREFIX", m_winePrefix.path().toLocal8Bit());
    QVERIFY(QDir::setCurrent(m_workDir.path()));
}

void TestFaceActions::init()
{
    m_doc = std::make_unique<CTestDocument>();
    m_view = std::make_unique<CQuorvelView>(m_doc.get());
    QVERIFY(m_doc->FileNew());
    m_view->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
    QGuiApplication::clipboard()->clear();
}

void TestFaceActions::cleanup()
{
    m_view.reset();
    m_doc.reset();
}

void TestFaceActions::Load(const Seeds &seeds)
{
    for (int i = 0; i < seeds.size(); ++i) {
        if (seeds[i] < 0)
            continue;
        const CFacePair faces = PatternFaces(seeds[i]);
        m_doc->SetFaces(1u << i, faces.small.data(), faces.large.data());
    }
    // As opened: the loading is no step of the history.
    m_doc->UndoStack().clear();
    m_doc->SetModifiedFlag(false);
    m_doc->UpdateAllViews();
}

Seeds TestFaceActions::Present() const
{
    Seeds seeds;
    for (int i = 0; i < kExpressionCount; ++i) {
        const std::optional<CFacePair> faces = DocumentFaces(*m_doc, 1u << i);
        int seed = -1;
        for (int s = 0; faces && s < 16 && seed < 0; ++s) {
            if (*faces == PatternFaces(s))
                seed = s;
        }
        seeds << (faces && seed < 0 ? 99 : seed);
    }
    while (!seeds.isEmpty() && seeds.last() < 0)
        seeds.removeLast();
    return seeds;
}

QByteArray TestFaceActions::RecordBytes() const
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    CArchive archive(&buffer, CArchive::store);
    WriteCompany(archive, m_doc->Record(), m_doc->Record().GetDateStamp());
    return bytes;
}

void TestFaceActions::Drop(int from, int to, Qt::KeyboardModifiers modifiers)
{
    const std::unique_ptr<QMimeData> mime = m_view->FaceActions().DragData(Slot(from));
    QVERIFY(mime);
    const QPoint point = Frame(to)->geometry().center();
    QDragEnterEvent enter(point, Qt::CopyAction | Qt::MoveAction, mime.get(), Qt::LeftButton,
                          modifiers);
    QApplication::sendEvent(m_view->Form(), &enter);
    QVERIFY(enter.isAccepted());
    QCOMPARE(enter.dropAction(), modifiers & Qt::ShiftModifier ? Qt::MoveAction : Qt::CopyAction);
    QDropEvent drop(point, Qt::CopyAction | Qt::MoveAction, mime.get(), Qt::LeftButton, modifiers);
    QApplication::sendEvent(m_view->Form(), &drop);
    QVERIFY(drop.isAccepted());
}

void TestFaceActions::clipboardRoundTrip()
{
    // Ctrl+C on "default", Ctrl+V on "happy": both faces arrive index for index; other
    // programs are offered the large face as a PNG in the game's colours.
    Load({3});
    Frame(0)->setFocus();
    QTest::keyClick(Frame(0), Qt::Key_C, Qt::ControlModifier);
    const QMimeData *mime = QGuiApplication::clipboard()->mimeData();
    QVERIFY(mime && mime->hasFormat(QLatin1String(kFacesMimeType)));
    const QImage png = QImage::fromData(mime->data(QStringLiteral("image/png")), "PNG");
    QCOMPARE(png.size(), QSize(kLargeFaceSide, kLargeFaceSide));
    QCOMPARE(png.format(), QImage::Format_Indexed8);
    const CFacePair faces = PatternFaces(3);
    for (int y = 0; y < kLargeFaceSide; ++y) {
        for (int x = 0; x < kLargeFaceSide; ++x) {
            const CRgbTriple &colour = PaletteEntry(faces.large[std::size_t(y * kLargeFaceSide + x)]);
            QCOMPARE(png.pixel(x, y), qRgb(colour.red, colour.green, colour.blue));
        }
    }

    Frame(1)->setFocus();
    QTest::keyClick(Frame(1), Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(Present(), (Seeds{3, 3}));
    QVERIFY(m_doc->IsModified());
    QCOMPARE(m_doc->UndoStack().undoText(), QStringLiteral("Paste Happy Face"));
    QVERIFY(Slot(1).HasFaces());

    // Shift+Insert pastes too, and data cut short is no faces at all.
    Frame(2)->setFocus();
    QTest::keyClick(Frame(2), Qt::Key_Insert, Qt::ShiftModifier);
    QCOMPARE(Present(), (Seeds{3, 3, 3}));
    auto *broken = new QMimeData;
    broken->setData(QLatin1String(kFacesMimeType), mime->data(QLatin1String(kFacesMimeType)).chopped(1));
    QGuiApplication::clipboard()->setMimeData(broken);
    QVERIFY(!m_view->FaceActions().CanPaste());
    Frame(3)->setFocus();
    QTest::keyClick(Frame(3), Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(Present(), (Seeds{3, 3, 3}));
}

void TestFaceActions::commands_data()
{
    QTest::addColumn<Seeds>("before");
    QTest::addColumn<QString>("command"); // "cut N", "drop A B", "swap A B", "turn off N"
    QTest::addColumn<Seeds>("after");
    QTest::addColumn<int>("copied"); // seed of the faces on the clipboard, -1: nothing
    QTest::addColumn<QString>("step"); // the undo step it makes, if any

    QTest::newRow("cut") << Seeds{1, 2} << "cut 1" << Seeds{1} << 2 << "Cut Happy Face";
    QTest::newRow("cut default refused") << Seeds{1, 2} << "cut 0" << Seeds{1, 2} << -1 << "";
    QTest::newRow("cut nothing") << Seeds{1} << "cut 4" << Seeds{1} << -1 << "";
    QTest::newRow("drop copies") << Seeds{1} << "drop 0 1" << Seeds{1, 1} << -1
                                 << "Copy Default Face to Happy";
    QTest::newRow("drop over faces") << Seeds{1, 2, 3} << "drop 2 1" << Seeds{1, 3, 3} << -1
                                     << "Copy Worried Face to Happy";
    QTest::newRow("drop on itself") << Seeds{1, 2} << "drop 1 1" << Seeds{1, 2} << -1 << "";
    QTest::newRow("Shift swaps") << Seeds{1, 2} << "swap 0 1" << Seeds{2, 1} << -1
                                 << "Swap Default and Happy Faces";
    QTest::newRow("swap with none") << Seeds{1, 2} << "swap 1 5" << Seeds{1, -1, -1, -1, -1, 2}
                                    << -1 << "Swap Happy and Surprised Faces";
    QTest::newRow("swap leaving default empty")
        << Seeds{1, -1, 2} << "swap 0 1" << Seeds{1, -1, 2} << -1 << "";
    QTest::newRow("turn off") << Seeds{1, 2, 3} << "turn off 2" << Seeds{1, 2} << -1
                              << "Turn Off Worried Face";
    QTest::newRow("turn off default refused") << Seeds{1} << "turn off 0" << Seeds{1} << -1
                                              << "";
}

void TestFaceActions::commands()
{
    QFETCH(Seeds, before);
    QFETCH(QString, command);
    QFETCH(Seeds, after);
    QFETCH(int, copied);
    QFETCH(QString, step);
    Load(before);
    const QByteArray bytesBefore = RecordBytes();

    const QStringList words = command.split(QLatin1Char(' '));
    const int first = words.last().toInt();
    if (words[0] == u"cut") {
        Frame(first)->setFocus();
        QTest::keyClick(Frame(first), Qt::Key_X, Qt::ControlModifier);
    } else if (words[0] == u"turn") {
        m_view->FaceActions().TurnOff(Slot(first));
    } else {
        Drop(words[1].toInt(), words[2].toInt(),
             words[0] == u"swap" ? Qt::ShiftModifier : Qt::NoModifier);
    }

    QCOMPARE(Present(), after);
    QCOMPARE(m_doc->IsModified(), after != before);
    // The form shows what the company holds.
    for (int i = 0; i < kExpressionCount; ++i)
        QCOMPARE(Slot(i).HasFaces(), i < after.size() && after[i] >= 0);
    const std::optional<CFacePair> clipboard =
        FacesFromMimeData(QGuiApplication::clipboard()->mimeData());
    QCOMPARE(clipboard.has_value(), copied >= 0);
    if (clipboard)
        QVERIFY(*clipboard == PatternFaces(copied));

    // One step, named for what it did; undone and redone, the record is exactly as before
    // and after, and back at the opened state the company is unchanged again.
    QUndoStack &history = m_doc->UndoStack();
    QCOMPARE(history.count(), step.isEmpty() ? 0 : 1);
    if (step.isEmpty())
        return;
    QCOMPARE(history.undoText(), step);
    const QByteArray bytesAfter = RecordBytes();
    history.undo();
    QCOMPARE(RecordBytes(), bytesBefore);
    QCOMPARE(Present(), before);
    QVERIFY(!m_doc->IsModified());
    QCOMPARE(Slot(1).HasFaces(), before.size() > 1 && before[1] >= 0);
    history.redo();
    QCOMPARE(RecordBytes(), bytesAfter);
    QCOMPARE(Present(), after);
    QVERIFY(m_doc->IsModified());
}

void TestFaceActions::pastedPictureOpensGrabDialog()
{
    // A picture on the clipboard is no face yet: the grab dialog opens to cut one from it.
    QList<std::pair<std::uint32_t, bool>> opened;
    m_view->SetGrabDialogRunner([&](CFaceSlot &slot, const CGrabStart &start) {
        opened.append({slot.ExpressionBit(), start.fromClipboard});
        return false;
    });
    QImage picture(40, 30, QImage::Format_RGB32);
    picture.fill(Qt::green);
    QGuiApplication::clipboard()->setImage(picture);
    Frame(4)->setFocus();
    QTest::keyClick(Frame(4), Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(opened, (QList<std::pair<std::uint32_t, bool>>{{16u, true}}));

    // Text is neither faces nor a picture: nothing opens and nothing changes.
    QGuiApplication::clipboard()->setText(QStringLiteral("not a face"));
    QVERIFY(!m_view->FaceActions().CanPaste());
    QTest::keyClick(Frame(4), Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(opened.size(), 1);
    QVERIFY(!m_doc->IsModified());
}

void TestFaceActions::contextMenu_data()
{
    QTest::addColumn<int>("expression");
    QTest::addColumn<Seeds>("before");
    QTest::addColumn<bool>("clipboardFaces");
    QTest::addColumn<QString>("enabled"); // per item: Grab, Copy, Paste, Turn Off, Save

    QTest::newRow("default") << 0 << Seeds{1} << false << "11001";
    QTest::newRow("happy with faces") << 1 << Seeds{1, 2} << true << "11111";
    QTest::newRow("happy without") << 1 << Seeds{1} << false << "10000";
}

void TestFaceActions::contextMenu()
{
    QFETCH(int, expression);
    QFETCH(Seeds, before);
    QFETCH(bool, clipboardFaces);
    QFETCH(QString, enabled);
    Load(before);
    if (clipboardFaces)
        QGuiApplication::clipboard()->setMimeData(FacesToMimeData(PatternFaces(5)).release());

    const std::unique_ptr<QMenu> menu = m_view->FaceActions().ContextMenu(Slot(expression));
    QStringList texts;
    QString states;
    QList<QAction *> items;
    for (QAction *action : menu->actions()) {
        if (action->isSeparator())
            continue;
        texts << action->text();
        states += action->isEnabled() ? u'1' : u'0';
        items << action;
    }
    QCOMPARE(texts, (QStringList{"&Grab Face...", "&Copy", "&Paste", "&Turn Off",
                                 "&Save Faces As..."}));
    QCOMPARE(states, enabled);
    QCOMPARE(items.at(1)->shortcut(), QKeySequence(QKeySequence::Copy));

    // An item acts once the menu is gone.
    QList<std::uint32_t> grabbed;
    m_view->SetGrabDialogRunner([&](CFaceSlot &slot, const CGrabStart &) {
        grabbed << slot.ExpressionBit();
        return false;
    });
    items.at(0)->trigger();
    QVERIFY(grabbed.isEmpty());
    QTRY_COMPARE(grabbed, QList<std::uint32_t>{1u << expression});
    if (clipboardFaces) {
        items.at(3)->trigger();
        QTRY_COMPARE(Present(), Seeds{1});
        items.at(2)->trigger();
        QTRY_COMPARE(Present(), (Seeds{1, 5}));
    }
}

void TestFaceActions::contextMenuFromKeyboard()
{
    // Shift+F10 on a focused frame opens that expression's menu at the frame.
    QString opened;
    QTimer::singleShot(0, this, [&] {
        if (auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget())) {
            opened = menu->accessibleName();
            menu->close();
        }
    });
    Frame(6)->setFocus();
    QTest::keyClick(Frame(6), Qt::Key_F10, Qt::ShiftModifier);
    QCOMPARE(opened, QStringLiteral("Frightened face"));
}

void TestFaceActions::saveFacesAs()
{
    // Both sizes, named and written as `quorvel-tool faces` does; a replace is asked first.
    Load({1, -1, 7});
    QTemporaryDir out;
    const QString large = out.filePath(QStringLiteral("worried-64.png"));
    const QString small = out.filePath(QStringLiteral("worried-24.png"));
    {
        CScriptedPrompts prompts;
        prompts.AnswerFile(out.path());
        m_view->FaceActions().SaveFacesAs(Slot(2));
        QCOMPARE(prompts.Calls().size(), 1);
        QCOMPARE(prompts.Calls().first().kind, PromptCall::Kind::Folder);
        QCOMPARE(prompts.Calls().first().title, QStringLiteral("Save Worried Faces As"));
    }
    const CFacePair faces = PatternFaces(7);
    const std::pair<QString, int> pictures[] = {{large, kLargeFaceSide}, {small, kSmallFaceSide}};
    for (const auto &[path, side] : pictures) {
        const QImage image(path);
        QCOMPARE(image.format(), QImage::Format_Indexed8);
        QCOMPARE(image.size(), QSize(side, side));
        QCOMPARE(image.colorTable().size(), 256);
        const std::uint8_t *indices = side == kLargeFaceSide ? faces.large.data() : faces.small.data();
        for (int y = 0; y < side; ++y)
            QVERIFY(std::equal(indices + y * side, indices + (y + 1) * side, image.constScanLine(y)));
    }
    QVERIFY(!m_doc->IsModified());

    // Declining the replace leaves the pictures there as they were.
    QVERIFY(WriteFile(small, "mine"));
    {
        CScriptedPrompts prompts;
        prompts.AnswerFile(out.path());
        prompts.AnswerMessage(MessageAnswer::No);
        m_view->FaceActions().SaveFacesAs(Slot(2));
        QCOMPARE(prompts.Messages(),
                 QStringList{"worried-64.png and worried-24.png are in "
                             + QDir::toNativeSeparators(out.path()) + " already. Replace them?"});
    }
    QCOMPARE(ReadFile(small), QByteArray("mine"));
}

QTEST_MAIN(TestFaceActions)
#include "tst_faceactions.moc"
