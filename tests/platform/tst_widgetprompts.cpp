// The real message boxes and file dialogs on the offscreen platform: each is answered by
// finding the modal window once it is up, as a user would.

#include "platform/widgets/WidgetPrompts.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

using namespace quorvel;

namespace {

// Runs the action on the modal window as soon as it shows; records it for the checks.
void WhenModalShows(std::function<void(QWidget *)> action)
{
    auto *timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, action] {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            action(modal);
        }
    });
    timer->start();
}

} // namespace

class TestWidgetPrompts : public QObject
{
    Q_OBJECT

private slots:
    void messageBox_data();
    void messageBox();
    void saveDialog();
    void openDialogWithPattern();
    void waitCursorNests();
};

void TestWidgetPrompts::messageBox_data()
{
    QTest::addColumn<int>("buttons");
    QTest::addColumn<int>("icon");
    QTest::addColumn<bool>("owned");
    QTest::addColumn<int>("click"); // a QMessageBox::StandardButton, or 0 to press Escape
    QTest::addColumn<int>("answer");

    const int ok = int(MessageButtons::Ok), yn = int(MessageButtons::YesNo),
              ync = int(MessageButtons::YesNoCancel);
    const int warning = int(MessageIcon::Warning), question = int(MessageIcon::Question);
    QTest::newRow("ok") << ok << warning << true << int(QMessageBox::Ok) << int(MessageAnswer::Ok);
    QTest::newRow("yes of three") << ync << question << false << int(QMessageBox::Yes)
                                  << int(MessageAnswer::Yes);
    QTest::newRow("no of three") << ync << question << false << int(QMessageBox::No)
                                 << int(MessageAnswer::No);
    QTest::newRow("escape on three") << ync << question << false << 0 << int(MessageAnswer::Cancel);
    QTest::newRow("escape on two") << yn << question << false << 0 << int(MessageAnswer::No);
}

void TestWidgetPrompts::messageBox()
{
    QFETCH(int, buttons);
    QFETCH(int, icon);
    QFETCH(bool, owned);
    QFETCH(int, click);
    QFETCH(int, answer);

    QWidget mainWindow;
    mainWindow.show();
    CWidgetPrompts prompts(&mainWindow);
    QString seenText, seenCaption;
    QMessageBox::Icon seenIcon = QMessageBox::NoIcon;
    QWidget *seenParent = nullptr;
    Qt::WindowModality seenModality = Qt::NonModal;
    bool onTop = false;
    WhenModalShows([&](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        QVERIFY(box);
        seenText = box->text();
        seenCaption = box->windowTitle();
        seenIcon = box->icon();
        seenParent = box->parentWidget();
        seenModality = box->windowModality();
        onTop = box->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
        if (click)
            box->button(QMessageBox::StandardButton(click))->click();
        else
            QTest::keyClick(box, Qt::Key_Escape);
    });

    const MessageAnswer result = prompts.ShowMessage(
        QStringLiteral("Body"), QStringLiteral("Caption"), MessageButtons(buttons),
        MessageIcon(icon), owned);

    QCOMPARE(int(result), answer);
    QCOMPARE(seenText, QStringLiteral("Body"));
    QCOMPARE(seenCaption, QStringLiteral("Caption"));
    QCOMPARE(seenIcon, icon == int(MessageIcon::Warning) ? QMessageBox::Warning
                                                          : QMessageBox::Question);
    QCOMPARE(seenParent, owned ? &mainWindow : nullptr);
    QCOMPARE(seenModality, Qt::ApplicationModal);
    QVERIFY(onTop);
}

void TestWidgetPrompts::saveDialog()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    CWidgetPrompts prompts;
    QFileDialog::AcceptMode mode = QFileDialog::AcceptOpen;
    QString title, suffix, folder;
    QStringList filters;
    bool confirms = false;
    WhenModalShows([&](QWidget *modal) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        QVERIFY(dialog);
        mode = dialog->acceptMode();
        title = dialog->windowTitle();
        suffix = dialog->defaultSuffix();
        folder = dialog->directory().absolutePath();
        filters = dialog->nameFilters();
        confirms = !dialog->testOption(QFileDialog::DontConfirmOverwrite);
        static_cast<QDialog *>(dialog)->accept(); // takes the offered name
    });

    const auto chosen = prompts.GetSaveFileName(QStringLiteral("Export the company to a file"),
                                                dir.filePath(QStringLiteral("A B 2004-06-14.company")),
                                                QStringLiteral("All Files (*.*)"));
    QVERIFY(chosen.has_value());
    QCOMPARE(*chosen, dir.filePath(QStringLiteral("A B 2004-06-14.company")));
    QCOMPARE(mode, QFileDialog::AcceptSave);
    QCOMPARE(title, QStringLiteral("Export the company to a file"));
    QVERIFY(suffix.isEmpty());
    QCOMPARE(folder, QDir(dir.path()).absolutePath());
    QCOMPARE(filters, QStringList{QStringLiteral("All Files (*.*)")});
    QVERIFY(confirms);
}

void TestWidgetPrompts::openDialogWithPattern()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    CWidgetPrompts prompts;
    QString folder;
    QStringList filters;
    QFileDialog::FileMode fileMode = QFileDialog::AnyFile;
    WhenModalShows([&](QWidget *modal) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        QVERIFY(dialog);
        folder = dialog->directory().absolutePath();
        filters = dialog->nameFilters();
        fileMode = dialog->fileMode();
        static_cast<QDialog *>(dialog)->reject();
    });

    const auto chosen = prompts.GetOpenFileName(QStringLiteral("Open"),
                                                dir.filePath(QStringLiteral("*.company")),
                                                QStringLiteral("All Files (*.*)"));
    QVERIFY(!chosen.has_value());
    QCOMPARE(folder, QDir(dir.path()).absolutePath());
    QCOMPARE(filters, (QStringList{QStringLiteral("*.company"), QStringLiteral("All Files (*.*)")}));
    QCOMPARE(fileMode, QFileDialog::ExistingFile);
}

void TestWidgetPrompts::waitCursorNests()
{
    CWidgetPrompts prompts;
    prompts.BeginWaitCursor();
    prompts.BeginWaitCursor();
    QVERIFY(QGuiApplication::overrideCursor());
    QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    prompts.EndWaitCursor();
    QVERIFY(QGuiApplication::overrideCursor());
    prompts.EndWaitCursor();
    prompts.EndWaitCursor(); // one too many does not take someone else's cursor
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
}

QTEST_MAIN(TestWidgetPrompts)
#include "tst_widgetprompts.moc"
