// The company form on the offscreen platform, driven with the mouse and keyboard: what it shows
// of a company, what each control writes into the document, and the painted face frames.
// The object folder is a temporary current directory (an empty Wine prefix finds no game).

#include "company/QuorvelDoc.h"
#include "tests/support/CompanyFiles.h"
#include "tests/support/TestDocument.h"
#include "tests/support/TestFiles.h"
#include "image/Palette.h"
#include "ui/FaceFrame.h"
#include "ui/FormTemplate.h"
#include "ui/GrabFaceDialog.h"
#include "ui/QuorvelView.h"

#include <QAccessible>
#include <QCheckBox>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSlider>
#include <QStatusTipEvent>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>

#include <functional>
#include <memory>

using namespace quorvel;
using namespace quorvel::test;

namespace {

constexpr std::uint32_t kAllWords = 0x1FFF;
const QRgb kEmptyFill = qRgb(0x7F, 0x1B, 0x1B);
const QRgb kFrameBorder = qRgb(0x23, 0x00, 0x00);

QRgb IndexColour(std::uint8_t index)
{
    const CRgbTriple &entry = PaletteEntry(index);
    return qRgb(entry.red, entry.green, entry.blue);
}

// A face whose every pixel is an index of its own.
template<class Face>
Face PatternFace(int side, int seed)
{
    Face face;
    for (std::size_t i = 0; i < face.size(); ++i)
        face[i] = std::uint8_t(10 + (int(i % side) * 3 + int(i / side) + seed) % 235);
    return face;
}

// The empty marking: dark red, crossed corner to corner, the last point of each line left out.
QImage EmptyMarking(int side)
{
    QImage image(side, side, QImage::Format_RGB32);
    image.fill(kEmptyFill);
    for (int i = 0; i < side - 1; ++i) {
        image.setPixel(i, side - 1 - i, qRgb(0, 0, 0));
        image.setPixel(side - 1 - i, side - 1 - i, qRgb(0, 0, 0));
    }
    return image;
}

// A face 1:1 inside a one-pixel border of the frame colour.
QImage FramedFace(const std::uint8_t *face, int side)
{
    QImage image(side + 2, side + 2, QImage::Format_RGB32);
    image.fill(kFrameBorder);
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x)
            image.setPixel(x + 1, y + 1, IndexColour(face[y * side + x]));
    }
    return image;
}

// The last status tip that reached the widget from its children.
class CStatusTipSpy : public QObject
{
public:
    explicit CStatusTipSpy(QWidget *widget) { widget->installEventFilter(this); }
    QString last;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::StatusTip)
            last = static_cast<QStatusTipEvent *>(event)->tip();
        return false;
    }
};

} // namespace

class TestQuorvelView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void newCompany();
    void everyControlNamedForScreenReaders();
    void loadedCompanyShownUnchanged();
    void nameParts_data();
    void nameParts();
    void sliders_data();
    void sliders();
    void typing_data();
    void typing();
    void facesOnHighDensityScreen();
    void faceClick_data();
    void faceClick();
    void emptyDefaultResult();

private:
    template<class T>
    T *Control(int id) const
    {
        T *control = qobject_cast<T *>(m_view->Control(id));
        if (!control)
            qFatal("no control %d", id);
        return control;
    }
    QCheckBox *Box(const NamePartTable &table, std::uint32_t bit) const;
    QRect FrameRect(int id) const;
    QImage GrabForm() const
    {
        return m_view->Form()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }
    // Shows the record as a company just opened: unmodified, form refreshed.
    void ShowAsOpened();
    // Opens a file of the open company with the edit applied: fields the form cannot set.
    void OpenEdited(const std::function<void(CCompanyRecord &)> &edit);

    QTemporaryDir m_workDir;
    QTemporaryDir m_winePrefix;
    std::unique_ptr<CQuorvelDoc> m_doc;
    std::unique_ptr<CQuorvelView> m_view;
};

void TestQuorvelView::initTestCase()
{
    QVERIFY(m_workDir.isValid());
    QVERIFY(m_winePrefix.isValid());
    qputenv("WINEPREFIX", m_winePrefix.path().toLocal8Bit());
    QVERIFY(QDir::setCurrent(m_workDir.path()));
}

void TestQuorvelView::init()
{
    m_doc = std::make_unique<CTestDocument>();
    m_view = std::make_unique<CQuorvelView>(m_doc.get());
    QVERIFY(m_doc->FileNew());
    m_view->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
}

void TestQuorvelView::cleanup()
{
    m_view.reset();
    m_doc.reset();
}

QCheckBox *TestQuorvelView::Box(const NamePartTable &table, std::uint32_t bit) const
{
    return Control<QCheckBox>(FindNamePart(table, bit)->m_checkBoxId);
}

QRect TestQuorvelView::FrameRect(int id) const
{
    const QWidget *frame = m_view->Control(id);
    return QRect(frame->mapTo(m_view->Form(), QPoint()), frame->size());
}

void TestQuorvelView::OpenEdited(const std::function<void(CCompanyRecord &)> &edit)
{
    CCompanyRecord record = m_doc->Record();
    edit(record);
    static int opened = 0;
    const QString path = m_workDir.filePath(QStringLiteral("edited%1.company").arg(++opened));
    QVERIFY(WriteFile(path, RecordBytes(record)));
    QVERIFY(m_doc->OpenDocumentFile(path));
    QVERIFY(!m_doc->IsModified());
}

void TestQuorvelView::ShowAsOpened()
{
    m_doc->SetModifiedFlag(false);
    m_view->OnUpdate();
    QVERIFY(!m_doc->IsModified());
}

void TestQuorvelView::newCompany()
{
    for (const NamePartTable *table : {&g_firstWordParts, &g_secondWordParts}) {
        for (const NamePart &part : *table)
            QVERIFY2(Box(*table, part.m_bit)->isChecked(), part.m_word);
    }
    for (int id : {kIntelligenceSlider, kAggressivenessSlider, kCompetitivenessSlider})
        QCOMPARE(Control<QSlider>(id)->value(), 5);
    QCOMPARE(Control<QLineEdit>(kOwnerNameEdit)->text(), QStringLiteral("Owner Name"));
    QCOMPARE(Control<QLineEdit>(kSpecificWordEdit)->text(), QStringLiteral("Owner"));
    QCOMPARE(Box(g_firstWordParts, 0x800)->text(), QStringLiteral("Owner"));
    // The refresh wrote the owner name back: the title follows, nothing changed.
    QCOMPARE(m_doc->GetTitle(), QStringLiteral("Owner Name"));
    QVERIFY(!m_doc->IsModified());

    const QImage form = GrabForm();
    for (const FaceSlotRow &row : kFaceSlotRows) {
        QCOMPARE(form.copy(FrameRect(row.m_largeFrameId)), EmptyMarking(66));
        QCOMPARE(form.copy(FrameRect(row.m_smallFrameId)), EmptyMarking(26));
    }
}

void TestQuorvelView::everyControlNamedForScreenReaders()
{
    // Every stop of the Tab chain has a name, the view around the form too, and the chain
    // reads the form as people do: owner name, faces, ratings, name words.
    QStringList order;
    QWidget *first = Control<QLineEdit>(kOwnerNameEdit);
    QWidget *widget = first;
    do {
        if ((widget->focusPolicy() & Qt::TabFocus) && widget->isVisibleTo(m_view.get())) {
            QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(widget);
            const QString name = accessible->text(QAccessible::Name);
            QVERIFY2(!name.isEmpty(), qPrintable(widget->objectName()));
            order << name;
        }
        widget = widget->nextInFocusChain();
    } while (widget != first);

    QCOMPARE(order.size(), 2 + 3 + 26 + 2 + 18);
    QCOMPARE(order.mid(0, 4), (QStringList{"Owner name", "Default face (large)",
                                           "Default face (small)", "Happy face (large)"}));
    QCOMPARE(order.mid(18, 5), (QStringList{"Repulsed face (small)", "Intelligence",
                                            "Aggressiveness", "Competitiveness", "Ebony"}));
    QCOMPARE(order.mid(33, 4),
             (QStringList{"(Town name)", "Owner", "Specific word", "Select all first words"}));
    QCOMPARE(order.mid(37, 1), QStringList{"Transport"});
    QCOMPARE(order.last(), QStringLiteral("Select all second words"));
    QCOMPARE(Control<QPushButton>(kSelectAllFirstWords)->text(), QStringLiteral("Select All"));
}

void TestQuorvelView::loadedCompanyShownUnchanged()
{
    // The longest texts a file holds, bits beyond the thirteen words and ratings no slider
    // can show: all shown as well as the controls can, and none of it changed by showing it.
    const QString owner = QString(252, QLatin1Char('n'));
    const QString word = QString(254, QLatin1Char('w'));
    OpenEdited([&](CCompanyRecord &record) {
        record.SetFirstWordMask(0xA0000005);
        record.SetSecondWordMask(0);
        record.SetIntelligence(0);
        record.SetCompetitiveness(200);
    });
    m_doc->SetOwnerName(owner);
    m_doc->SetSpecificWord(word);
    ShowAsOpened();

    QCOMPARE(Control<QLineEdit>(kOwnerNameEdit)->text(), owner);
    QCOMPARE(Control<QLineEdit>(kSpecificWordEdit)->text(), word);
    QCOMPARE(Box(g_firstWordParts, 0x800)->text(), word);
    QVERIFY(Box(g_firstWordParts, 0x4)->isChecked() && !Box(g_firstWordParts, 0x2)->isChecked());
    QCOMPARE(Control<QSlider>(kIntelligenceSlider)->value(), 1);
    QCOMPARE(Control<QSlider>(kCompetitivenessSlider)->value(), 9);
    QCOMPARE(m_doc->Record().GetOwnerName(), owner);
    QCOMPARE(m_doc->Record().GetSpecificWord(), word);
    QCOMPARE(m_doc->Record().GetFirstWordMask(), 0xA0000005u);
    QCOMPARE(m_doc->Record().GetIntelligence(), 0);
    QCOMPARE(m_doc->Record().GetCompetitiveness(), 200);
    QCOMPARE(m_doc->GetTitle(), owner);
}

void TestQuorvelView::nameParts_data()
{
    QTest::addColumn<uint>("first");
    QTest::addColumn<uint>("second");
    QTest::addColumn<int>("clicked"); // check box id, or a Select All button
    QTest::addColumn<uint>("expectFirst");
    QTest::addColumn<uint>("expectSecond");
    QTest::addColumn<bool>("modified");

    QTest::newRow("untick one of many")
        << kAllWords << kAllWords << 1089 << 0x1FFEu << kAllWords << true;
    QTest::newRow("untick the last ticked")
        << 0x4u << kAllWords << 1093 << 0x4u << kAllWords << false;
    QTest::newRow("click beside an empty group")
        << 0u << kAllWords << 1104 << 0u << 0x1FFDu << true;
    QTest::newRow("tick in an empty group") << 0u << kAllWords << 1094 << 0x8u << kAllWords << true;
    QTest::newRow("higher bits kept")
        << 0xC0001FFFu << 0x80000001u << 1115 << 0xC0001FFFu << 0x80001001u << true;
    QTest::newRow("Select All on a full group")
        << kAllWords << 0x1u << int(kSelectAllFirstWords) << kAllWords << 0x1u << false;
    QTest::newRow("Select All") << 0x40000010u << 0x1u << int(kSelectAllSecondWords)
                                << 0x40000010u << kAllWords << true;
}

void TestQuorvelView::nameParts()
{
    QFETCH(uint, first);
    QFETCH(uint, second);
    QFETCH(int, clicked);
    QFETCH(uint, expectFirst);
    QFETCH(uint, expectSecond);
    QFETCH(bool, modified);
    OpenEdited([&](CCompanyRecord &record) {
        record.SetFirstWordMask(first);
        record.SetSecondWordMask(second);
    });

    auto *control = qobject_cast<QAbstractButton *>(m_view->Control(clicked));
    QVERIFY(control);
    // On the box itself, not on its caption: the "(Specific)" box has none.
    const QPoint point = qobject_cast<QCheckBox *>(control)
        ? QPoint(control->height() / 2, control->height() / 2)
        : control->rect().center();
    QTest::mouseClick(control, Qt::LeftButton, Qt::NoModifier, point);

    QCOMPARE(m_doc->Record().GetFirstWordMask(), expectFirst);
    QCOMPARE(m_doc->Record().GetSecondWordMask(), expectSecond);
    QCOMPARE(m_doc->IsModified(), modified);
    for (const NamePart &part : g_firstWordParts)
        QCOMPARE(Box(g_firstWordParts, part.m_bit)->isChecked(), (expectFirst & part.m_bit) != 0);
    for (const NamePart &part : g_secondWordParts)
        QCOMPARE(Box(g_secondWordParts, part.m_bit)->isChecked(), (expectSecond & part.m_bit) != 0);
}

void TestQuorvelView::sliders_data()
{
    QTest::addColumn<int>("slider");
    QTest::addColumn<int>("storedBehind"); // set in the record without a refresh; -1: none
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("expected");
    QTest::addColumn<bool>("modified");
    QTest::newRow("Right") << int(kIntelligenceSlider) << -1 << int(Qt::Key_Right) << 6 << true;
    QTest::newRow("Page Up")
        << int(kAggressivenessSlider) << -1 << int(Qt::Key_PageUp) << 9 << true;
    QTest::newRow("to the stored value")
        << int(kCompetitivenessSlider) << 6 << int(Qt::Key_Right) << 6 << false;
}

void TestQuorvelView::sliders()
{
    QFETCH(int, slider);
    QFETCH(int, storedBehind);
    QFETCH(int, key);
    QFETCH(int, expected);
    QFETCH(bool, modified);
    if (storedBehind >= 0) {
        m_doc->SetCompetitiveness(storedBehind); // the form is not told
        m_doc->SetModifiedFlag(false);
    }
    QTest::keyClick(Control<QSlider>(slider), Qt::Key(key));

    const int stored = slider == kIntelligenceSlider ? m_doc->Record().GetIntelligence()
        : slider == kAggressivenessSlider            ? m_doc->Record().GetAggressiveness()
                                                     : m_doc->Record().GetCompetitiveness();
    QCOMPARE(stored, expected);
    QCOMPARE(m_doc->IsModified(), modified);
}

void TestQuorvelView::typing_data()
{
    QTest::addColumn<int>("edit");
    QTest::addColumn<QString>("loaded");
    // Each one key press with that text; "=text": set from outside, as an assistive tool does.
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("refused"); // the last character named as refused

    const QString a249(249, QLatin1Char('a'));
    const QString n252(252, QLatin1Char('n'));
    QTest::newRow("up to the limit") << int(kOwnerNameEdit) << a249 << QStringList{"b", "c"}
                                     << a249 + "b" << QString();
    QTest::newRow("a longer loaded name cannot grow")
        << int(kOwnerNameEdit) << n252 << QStringList{"x"} << n252 << QString();
    QTest::newRow("but can shrink, and then not grow back")
        << int(kOwnerNameEdit) << n252 << QStringList{"\b", "x"} << n252.left(251) << QString();
    QTest::newRow("a character the file cannot hold")
        << int(kOwnerNameEdit) << "Jan" << QStringList{"Ł"} << "Jan" << "Ł";
    QTest::newRow("characters the file cannot hold")
        << int(kSpecificWordEdit) << QString() << QStringList{"a", "Ω", "€", "é", "😀"}
        << "a€é" << "😀";
    QTest::newRow("specific word") << int(kSpecificWordEdit) << "Ow" << QStringList{"\b", "e", "n"}
                                   << "Oen" << QString();
    QTest::newRow("set from outside") << int(kOwnerNameEdit) << "Abc" << QStringList{"=Zoë €"}
                                      << "Zoë €" << QString();
    QTest::newRow("set from outside, refused")
        << int(kOwnerNameEdit) << n252
        << QStringList{"=" + QString(253, QLatin1Char('x')), "=Zoë Ω"} << n252 << "Ω";
}

void TestQuorvelView::typing()
{
    QFETCH(int, edit);
    QFETCH(QString, loaded);
    QFETCH(QStringList, keys);
    QFETCH(QString, expected);
    QFETCH(QString, refused);
    if (edit == kOwnerNameEdit)
        m_doc->SetOwnerName(loaded);
    else
        m_doc->SetSpecificWord(loaded);
    ShowAsOpened();

    auto *box = Control<QLineEdit>(edit);
    box->setFocus();
    box->end(false);
    CStatusTipSpy statusTips(m_view.get());
    QToolTip::hideText();
    for (const QString &key : keys) {
        if (key == QLatin1String("\b"))
            QTest::keyClick(box, Qt::Key_Backspace);
        else if (key.startsWith(QLatin1Char('=')))
            box->setText(key.mid(1));
        else
            QTest::sendKeyEvent(QTest::Click, box, Qt::Key_unknown, key, Qt::NoModifier);
    }

    QCOMPARE(box->text(), expected);
    // A refusal is seen at the box and heard by the window's status bar.
    const QString message = refused.isEmpty()
        ? QString()
        : QStringLiteral("%1 cannot be stored in a company file").arg(refused);
    QCOMPARE(QToolTip::isVisible() ? QToolTip::text() : QString(), message);
    QCOMPARE(statusTips.last, message);
    const QString stored =
        edit == kOwnerNameEdit ? m_doc->Record().GetOwnerName() : m_doc->Record().GetSpecificWord();
    QCOMPARE(stored, expected);
    QCOMPARE(m_doc->IsModified(), expected != loaded);
    if (edit == kSpecificWordEdit) {
        QCOMPARE(Box(g_firstWordParts, 0x800)->text(), expected);
        QCOMPARE(QAccessible::queryAccessibleInterface(Box(g_firstWordParts, 0x800))
                     ->text(QAccessible::Name),
                 expected);
    } else {
        QCOMPARE(m_doc->GetTitle(), expected);
    }
}

void TestQuorvelView::facesOnHighDensityScreen()
{
    // A dialog's copy of a slot, painted at twice the density: each face pixel becomes a
    // 2x2 block of exactly its colour, and the copy stays apart from the form's slot.
    const CSmallFace small = PatternFace<CSmallFace>(kSmallFaceSide, 3);
    const CLargeFace large = PatternFace<CLargeFace>(kLargeFaceSide, 4);
    CFaceSlot &formSlot = m_view->FaceSlots().at(2);
    formSlot.SetPictures(std::make_unique<CPaletteImage>(small.data(), 24, 24),
                         std::make_unique<CPaletteImage>(large.data(), 64, 64));

    QWidget dialog;
    auto *smallFrame = new CFaceFrame(1022, &dialog);
    auto *largeFrame = new CFaceFrame(1023, &dialog);
    smallFrame->move(4, 4);
    largeFrame->move(40, 4);
    CFaceSlot copy(formSlot, 1022, 1023);
    copy.Attach(&dialog);
    formSlot.ClearPictures();
    QCOMPARE(copy.ExpressionName(), "worried");
    QVERIFY(copy.HasFaces());
    QCOMPARE(largeFrame->size(), QSize(66, 66));
    QVERIFY(copy.HitTest(QPoint(40, 4)) && copy.HitTest(QPoint(105, 69)));
    QVERIFY(!copy.HitTest(QPoint(106, 69)) && !copy.HitTest(QPoint(39, 4)));

    QImage canvas(220, 160, QImage::Format_RGB32);
    canvas.setDevicePixelRatio(2);
    canvas.fill(Qt::white);
    {
        QPainter painter(&canvas);
        copy.PaintFaces(painter);
    }
    canvas.setDevicePixelRatio(1);
    QCOMPARE(canvas.copy(80, 8, 132, 132),
             FramedFace(large.data(), 64).scaled(132, 132, Qt::IgnoreAspectRatio,
                                                 Qt::FastTransformation));
}

void TestQuorvelView::faceClick_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("target"); // control id
    QTest::addColumn<int>("expression"); // -1: nothing opens
    QTest::addColumn<bool>("accept");

    QTest::newRow("large frame") << "mouse" << 1047 << 1 << true;
    QTest::newRow("small frame") << "mouse" << 1078 << 1 << true;
    QTest::newRow("Enter on a frame") << "enter" << 1085 << 8 << true;
    QTest::newRow("Space on a frame") << "space" << 1069 << 4 << true;
    QTest::newRow("cancelled") << "mouse" << 1077 << 8 << false;
    QTest::newRow("caption label") << "mouse" << 1020 << -1 << true;
    QTest::newRow("outside the frames") << "mouse" << int(kNameGenerationCaption) << -1 << true;
}

void TestQuorvelView::faceClick()
{
    QFETCH(QString, how);
    QFETCH(int, target);
    QFETCH(int, expression);
    QFETCH(bool, accept);

    // Stands in for the grab dialog: notes which slot it was given and, when accepted, leaves
    // new faces in it.
    const CSmallFace small = PatternFace<CSmallFace>(kSmallFaceSide, 5);
    const CLargeFace large = PatternFace<CLargeFace>(kLargeFaceSide, 6);
    QList<std::uint32_t> opened;
    m_view->SetGrabDialogRunner([&](CFaceSlot &slot, const CGrabStart &) {
        opened << slot.ExpressionBit();
        if (accept)
            slot.SetPictures(std::make_unique<CPaletteImage>(small.data(), 24, 24),
                             std::make_unique<CPaletteImage>(large.data(), 64, 64));
        return accept;
    });

    QWidget *control = m_view->Control(target);
    if (how == QLatin1String("mouse")) {
        QTest::mouseClick(control, Qt::LeftButton, Qt::NoModifier, QPoint(1, 1));
    } else {
        control->setFocus();
        QVERIFY(control->hasFocus());
        QTest::keyClick(control, how == QLatin1String("enter") ? Qt::Key_Return : Qt::Key_Space);
    }

    if (expression < 0) {
        QVERIFY(opened.isEmpty());
        QVERIFY(!m_doc->IsModified());
        return;
    }
    const std::uint32_t bit = 1u << expression;
    QCOMPARE(opened, QList<std::uint32_t>{bit});
    QCOMPARE(m_doc->IsModified(), accept);
    CSmallFace storedSmall{};
    CLargeFace storedLarge{};
    QCOMPARE(m_doc->Record().GetFaces(bit, storedSmall.data(), storedLarge.data()), accept);
    if (accept) {
        QVERIFY(storedSmall == small);
        QVERIFY(storedLarge == large);
    }
}

void TestQuorvelView::emptyDefaultResult()
{
    // The default expression keeps its face in the company when a grab empties its slot; the
    // form shows the empty marking until the next refresh paints the face again, 1:1.
    const CSmallFace small = PatternFace<CSmallFace>(kSmallFaceSide, 7);
    const CLargeFace large = PatternFace<CLargeFace>(kLargeFaceSide, 8);
    m_doc->SetFaces(0x001, small.data(), large.data());
    ShowAsOpened();
    m_view->SetGrabDialogRunner([](CFaceSlot &slot, const CGrabStart &) {
        slot.ClearPictures();
        return true;
    });

    QTest::mouseClick(m_view->Control(1035), Qt::LeftButton);
    m_view->Control(1035)->clearFocus(); // its focus mark would stand on the border
    QVERIFY(m_doc->IsModified());
    QCOMPARE(m_doc->Record().GetExpressionMask(), 0x001u);
    const QRect frame = FrameRect(1035);
    QCOMPARE(GrabForm().copy(frame), EmptyMarking(66));

    m_view->OnUpdate();
    const QImage form = GrabForm();
    QCOMPARE(form.copy(frame), FramedFace(large.data(), 64));
    QCOMPARE(form.copy(FrameRect(1046)), FramedFace(small.data(), 24));
    QCOMPARE(form.copy(FrameRect(1047)), EmptyMarking(66));
}

QTEST_MAIN(TestQuorvelView)
#include "tst_quorvelview.moc"
