// The editor's shell on the offscreen platform: start-up, caption, menus, status bar, About
// box, the frame's commands and the keys that must reach the form's text boxes.

#include "app/AboutDialog.h"
#include "app/Actions.h"
#include "app/MainFrame.h"
#include "app/QuorvelApp.h"
#include "app/RecentFileList.h"
#include "company/QuorvelDoc.h"
#include "game/ObjectFolder.h"
#include "tests/support/CompanyFiles.h"
#include "tests/support/ScriptedPrompts.h"
#include "ui/QuorvelView.h"
#include "ui/SelectCompanyDlg.h"

#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollBar>
#include <QSettings>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTemporaryDir>
#include <QSlider>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace quorvel;
using namespace quorvel::test;

namespace {

const QString kNoDefaultFace = QStringLiteral(
    "You must provide an image for the default face expression before you can save or export!");

// The caption as the window shows it: "*" for the placeholder while modified.
QString ShownTitle(const QWidget *window)
{
    QString title = window->windowTitle();
    return title.replace(QStringLiteral("[*]"), window->isWindowModified() ? QStringLiteral("*") : QString());
}

// "text\tshortcut" for an item, "-" for a separator: the way the menu resource reads.
QStringList MenuItems(const QMenu *menu)
{
    QStringList items;
    const auto actions = menu->actions();
    for (const QAction *action : actions) {
        if (action->isSeparator()) {
            items << QStringLiteral("-");
            continue;
        }
        QString text = action->text();
        if (!action->shortcut().isEmpty())
            text += QLatin1Char('\t') + action->shortcut().toString(QKeySequence::PortableText);
        items << text;
    }
    return items;
}

// Notes whether a key press reached the widget itself rather than ending as a shortcut.
class CKeySpy : public QObject
{
public:
    CKeySpy(QWidget *widget, QKeyCombination key)
        : m_key(key)
    {
        widget->installEventFilter(this);
    }
    bool delivered = false;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress
            && static_cast<QKeyEvent *>(event)->keyCombination() == m_key)
            delivered = true;
        return false;
    }

private:
    QKeyCombination m_key;
};

// A fresh object folder for one test: with no game, the current directory.
struct CScratchObjectFolder : QTemporaryDir
{
    const QString previous = QDir::currentPath();
    CScratchObjectFolder() { QDir::setCurrent(path()); }
    ~CScratchObjectFolder() { QDir::setCurrent(previous); }
    QStringList Files() const { return QDir(path()).entryList(QDir::Files | QDir::Hidden); }
};

void GiveDefaultFace(CQuorvelDoc &document)
{
    const CSmallFace small{};
    const CLargeFace large{};
    document.SetFaces(1, small.data(), large.data());
}

} // namespace

class TestMainFrame : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void captionFollowsTitle_data();
    void captionFollowsTitle();
    void menuBar();
    void editMenu();
    void statusPrompts_data();
    void statusPrompts();
    void saveAndExportWithoutDefaultFace_data();
    void saveAndExportWithoutDefaultFace();
    void aboutBox();
    void statusBarToggle();
    void closeAsksFirst_data();
    void closeAsksFirst();
    void editingKeysReachTextBox_data();
    void editingKeysReachTextBox();
    void editingKeysActAsInLoneTextBox_data();
    void editingKeysActAsInLoneTextBox();
    void firstSizeShowsWholeForm();
    void frameShrinksToForm_data();
    void frameShrinksToForm();
    void startUpWithFile_data();
    void startUpWithFile();
    void recentFileList_data();
    void recentFileList();
    void openCompany();
    void importCompany_data();
    void importCompany();

private:
    CQuorvelApp *App() const { return static_cast<CQuorvelApp *>(qApp); }
    CMainFrame *Frame() const { return App()->GetMainFrame(); }
    CQuorvelDoc *Document() const { return App()->GetDocument(); }
    void ShowAndActivate();
    // A company file written by the editor's own Save, in the working folder.
    QString SavedCompanyFile(const QString &ownerName);
    // Ctrl+O, and Edit on the company of that owner in the "Select company" dialog.
    void OpenThroughDialog(const QString &ownerName);

    QTemporaryDir m_workDir;
    QTemporaryDir m_winePrefix;
    std::unique_ptr<CScriptedPrompts> m_prompts;
};

void TestMainFrame::initTestCase()
{
    QVERIFY(m_workDir.isValid());
    QVERIFY(m_winePrefix.isValid());
    // No game here: the object folder falls back to the working folder, a scratch one.
    qputenv("WINEPREFIX", m_winePrefix.path().toLocal8Bit());
    QVERIFY(QDir::setCurrent(m_workDir.path()));
    // The first start without a game says so, once: no later start of these tests asks.
    m_prompts = std::make_unique<CScriptedPrompts>();
    m_prompts->AnswerMessage(MessageAnswer::Ok);
    QVERIFY(App()->InitInstance({QStringLiteral("quorvel")}));
    QCOMPARE(m_prompts->Messages().size(), 1);
    QVERIFY(m_prompts->Messages().first().startsWith(QStringLiteral("No game found:")));
    App()->ExitInstance();
    m_prompts.reset();
}

void TestMainFrame::init()
{
    m_prompts = std::make_unique<CScriptedPrompts>();
    QVERIFY(App()->InitInstance({QStringLiteral("quorvel")}));
    QVERIFY(Frame());
    QVERIFY(Frame()->isVisible());
}

void TestMainFrame::cleanup()
{
    // Leave nothing modified behind, so tearing down asks nothing.
    if (Document())
        Document()->SetModifiedFlag(false);
    App()->ExitInstance();
    QCOMPARE(m_prompts->PendingAnswers(), 0);
    m_prompts.reset();
}

void TestMainFrame::ShowAndActivate()
{
    Frame()->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(Frame()));
}

QString TestMainFrame::SavedCompanyFile(const QString &ownerName)
{
    CQuorvelDoc &document = *Document();
    GiveDefaultFace(document);
    document.SetOwnerName(ownerName);
    document.OnFileSave();
    if (document.IsModified() || !QFile::exists(document.GetPathName()))
        return {};
    return document.GetPathName();
}

void TestMainFrame::captionFollowsTitle_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("caption");
    QTest::newRow("new company") << "New company" << "New company - Quorvel";
    QTest::newRow("owner name") << "Owner Name" << "Owner Name - Quorvel";
    QTest::newRow("punctuation") << "J. Smith & Sons" << "J. Smith & Sons - Quorvel";
}

void TestMainFrame::captionFollowsTitle()
{
    QFETCH(QString, title);
    QFETCH(QString, caption);
    // The view's refresh after New fills the owner name from the record, which retitles.
    QCOMPARE(ShownTitle(Frame()), QStringLiteral("Owner Name - Quorvel"));
    Document()->SetTitle(title);
    QCOMPARE(ShownTitle(Frame()), caption);

    // Editing the owner name retitles the document, and with it the window.
    Document()->SetOwnerName(title + QStringLiteral(" Ltd"));
    QCOMPARE(ShownTitle(Frame()), title + QStringLiteral(" Ltd* - Quorvel"));
    // Undone, the company is as it was, and the caption says so.
    Document()->UndoStack().undo();
    QCOMPARE(ShownTitle(Frame()), QStringLiteral("Owner Name - Quorvel"));
}

void TestMainFrame::menuBar()
{
    QStringList popups;
    const auto top = Frame()->menuBar()->actions();
    for (const QAction *action : top)
        popups << action->text();
    QCOMPARE(popups, (QStringList{"&File", "&Edit", "&View", "&Help"}));

    QCOMPARE(MenuItems(top.at(0)->menu()),
             (QStringList{"&New\tCtrl+N", "&Open...\tCtrl+O", "&Save\tCtrl+S", "-", "Import..",
                          "Export...", "-", "Game Folder...", "Use the Game Found Automatically",
                          "-", "&Recent Companies", "-", "E&xit"}));
    QCOMPARE(MenuItems(top.at(1)->menu()),
             (QStringList{"&Undo\tCtrl+Z", "&Redo\tCtrl+Shift+Z", "-", "Cu&t\tCtrl+X",
                          "&Copy\tCtrl+C", "&Paste\tCtrl+V"}));
    QCOMPARE(MenuItems(top.at(2)->menu()), QStringList{"&Status Bar"});
    QCOMPARE(MenuItems(top.at(3)->menu()), QStringList{"&About Quorvel..."});

    // The command ids travel with the items, so others can find them by role.
    const QList<CommandId> fileCommands = {
        CommandId::New,    CommandId::Open,       CommandId::Save,         CommandId::Import,
        CommandId::Export, CommandId::GameFolder, CommandId::UseFoundGame, CommandId::Exit};
    QList<CommandId> seen;
    const auto fileActions = top.at(0)->menu()->actions();
    for (const QAction *action : fileActions) {
        if (!action->isSeparator() && !action->menu())
            seen << CommandId(action->data().toInt());
    }
    QVERIFY(seen == fileCommands);
    QCOMPARE(findCommandAction(Frame(), CommandId::About), Frame()->Actions().about);

    // Without a chosen game folder there is none to forget; a new company has no history.
    const CMainActions &actions = Frame()->Actions();
    const QList<const QAction *> off = {actions.useFoundGame, actions.undo, actions.redo};
    for (const QAction *action : actions.all()) {
        if (action != actions.cut && action != actions.copy && action != actions.paste)
            QVERIFY2(action->isEnabled() == !off.contains(action), qPrintable(action->text()));
    }
}

void TestMainFrame::editMenu()
{
    const CMainActions &actions = Frame()->Actions();
    auto *owner = qobject_cast<QLineEdit *>(Frame()->GetActiveView()->Control(1086));
    QVERIFY(owner);
    Frame()->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(Frame()));
    owner->setFocus();
    QVERIFY(actions.copy->isEnabled() && actions.paste->isEnabled());
    QTest::keyClick(owner, Qt::Key_End);
    QTest::keyClicks(owner, QStringLiteral(" Ltd"));
    QCOMPARE(Document()->Record().GetOwnerName(), QStringLiteral("Owner Name Ltd"));
    QCOMPARE(actions.undo->text(), QStringLiteral("&Undo Typing in Owner Name"));
    QCOMPARE(ShownTitle(Frame()), QStringLiteral("Owner Name Ltd* - Quorvel"));

    // Ctrl+Z in the box is the document's undo, which the box then shows.
    QTest::keyClick(owner, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(owner->text(), QStringLiteral("Owner Name"));
    QCOMPARE(Document()->Record().GetOwnerName(), QStringLiteral("Owner Name"));
    QVERIFY(!Document()->IsModified());
    QCOMPARE(ShownTitle(Frame()), QStringLiteral("Owner Name - Quorvel"));
    QCOMPARE(actions.redo->text(), QStringLiteral("&Redo Typing in Owner Name"));
    QTest::keyClick(owner, Qt::Key_Y, Qt::ControlModifier);
    QCOMPARE(owner->text(), QStringLiteral("Owner Name Ltd"));

    // A slider's key step is one of its own; the menu names it.
    auto *slider = Frame()->GetActiveView()->Control(1044);
    slider->setFocus();
    QVERIFY(!actions.copy->isEnabled());
    QTest::keyClick(slider, Qt::Key_Right);
    QCOMPARE(actions.undo->text(), QStringLiteral("&Undo Change Intelligence"));
    actions.undo->trigger();
    QCOMPARE(Document()->Record().GetIntelligence(), 5);
    QCOMPARE(qobject_cast<QSlider *>(slider)->value(), 5);

    // New starts a history of its own.
    m_prompts->AnswerMessage(MessageAnswer::Yes); // "Continue?": no default face to save
    actions.newCompany->trigger();
    QVERIFY(!actions.undo->isEnabled() && !actions.redo->isEnabled());
}

void TestMainFrame::statusPrompts_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<QString>("prompt");
    QTest::newRow("new") << int(CommandId::New) << "Create a new company";
    QTest::newRow("open") << int(CommandId::Open) << "Open an existing company";
    QTest::newRow("save") << int(CommandId::Save) << "Save current company";
    QTest::newRow("import") << int(CommandId::Import) << "Import a company from a file";
    QTest::newRow("export") << int(CommandId::Export) << "Export the active company as a new file";
    QTest::newRow("game folder") << int(CommandId::GameFolder)
                                 << "Choose the game's folder, or its object folder, to save "
                                    "companies in";
    QTest::newRow("use found game") << int(CommandId::UseFoundGame)
                                    << "Forget the chosen game folder and save companies where "
                                       "the game was found";
    QTest::newRow("exit") << int(CommandId::Exit) << "Quit the Company Editor; prompts to save company";
    QTest::newRow("status bar") << int(CommandId::ToggleStatusBar) << "Show or hide the status bar";
    QTest::newRow("about") << int(CommandId::About)
                           << "Display program information, version number and copyright";
}

void TestMainFrame::statusPrompts()
{
    QFETCH(int, command);
    QFETCH(QString, prompt);
    QStatusBar *bar = Frame()->statusBar();
    QCOMPARE(bar->currentMessage(),
             QStringLiteral("No game found: companies are saved in %1")
                 .arg(QDir::toNativeSeparators(QDir::currentPath())));

    QAction *action = findCommandAction(Frame(), static_cast<CommandId>(command));
    QVERIFY(action);
    // Highlighting the item in its menu is what a user does with the mouse or the arrow keys.
    QMenu *menu = nullptr;
    const auto top = Frame()->menuBar()->actions();
    for (QAction *popup : top) {
        if (popup->menu()->actions().contains(action))
            menu = popup->menu();
    }
    QVERIFY(menu);
    menu->setActiveAction(action);
    QCOMPARE(bar->currentMessage(), prompt);

    // Leaving the item takes the prompt away and the idle text comes back.
    QStatusTipEvent leave{QString()};
    QCoreApplication::sendEvent(Frame(), &leave);
    QCOMPARE(bar->currentMessage(), QStringLiteral("Ready"));

    // The three lock-key panes stand right of the message pane, in order.
    const auto panes = bar->findChildren<QLabel *>(QString(), Qt::FindDirectChildrenOnly);
    QStringList names;
    for (const QLabel *pane : panes)
        names << pane->objectName();
    QCOMPARE(names.filter(QStringLiteral("indicator")),
             (QStringList{"indicatorCAP", "indicatorNUM", "indicatorSCRL"}));
}

void TestMainFrame::saveAndExportWithoutDefaultFace_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("ownedByMainWindow");
    QTest::newRow("Ctrl+S") << "key" << true;
    QTest::newRow("Save item") << "save" << true;
    QTest::newRow("Export item") << "export" << false;
}

void TestMainFrame::saveAndExportWithoutDefaultFace()
{
    QFETCH(QString, how);
    QFETCH(bool, ownedByMainWindow);
    ShowAndActivate();
    const QString path = Document()->GetPathName();

    m_prompts->AnswerMessage(MessageAnswer::Ok);
    if (how == QLatin1String("key"))
        QTest::keyClick(Frame(), Qt::Key_S, Qt::ControlModifier);
    else if (how == QLatin1String("save"))
        Frame()->Actions().save->trigger();
    else
        Frame()->Actions().exportCompany->trigger();

    QCOMPARE(m_prompts->Calls().size(), 1);
    const PromptCall &call = m_prompts->Calls().first();
    QCOMPARE(call.caption, QStringLiteral("Unable to save document."));
    QCOMPARE(call.text, kNoDefaultFace);
    QCOMPARE(call.icon, MessageIcon::Warning);
    QCOMPARE(call.buttons, MessageButtons::Ok);
    QCOMPARE(call.ownedByMainWindow, ownedByMainWindow);
    QVERIFY(!QFile::exists(path));
}

void TestMainFrame::aboutBox()
{
    // The box tells the version the program says it is (the build's, as --version prints).
    const QString version = QCoreApplication::applicationVersion();
    QCoreApplication::setApplicationVersion(QStringLiteral("2.7.1"));
    const auto restore = qScopeGuard([&] { QCoreApplication::setApplicationVersion(version); });
    bool checked = false;
    QTimer::singleShot(0, this, [&] {
        auto *about = qobject_cast<CAboutDlg *>(QApplication::activeModalWidget());
        QVERIFY(about);
        QCOMPARE(about->windowTitle(), QStringLiteral("About Quorvel"));
        QStringList texts;
        const auto labels = about->findChildren<QLabel *>();
        bool hasIcon = false;
        for (const QLabel *label : labels) {
            if (!label->text().isEmpty())
                texts << label->text();
            hasIcon = hasIcon || !label->pixmap().isNull();
        }
        QVERIFY(hasIcon);
        QCOMPARE(texts.size(), 2);
        QCOMPARE(texts.first(), QStringLiteral("Quorvel Version 2.7.1"));
        const auto buttons = about->findChildren<QPushButton *>();
        QCOMPARE(buttons.size(), 1);
        QCOMPARE(buttons.first()->text(), QStringLiteral("OK"));
        QVERIFY(buttons.first()->isDefault());
        checked = true;
        QTest::mouseClick(buttons.first(), Qt::LeftButton);
    });
    Frame()->Actions().about->trigger();
    QVERIFY(checked);
    QVERIFY(!QApplication::activeModalWidget());
    QVERIFY(Frame()->isVisible());
}

void TestMainFrame::statusBarToggle()
{
    QAction *toggle = Frame()->Actions().toggleStatusBar;
    QStatusBar *bar = Frame()->statusBar();
    QVERIFY(toggle->isCheckable());
    QVERIFY(toggle->isChecked());
    QVERIFY(bar->isVisible());
    const int withBar = Frame()->centralWidget()->height();

    toggle->trigger();
    QVERIFY(!bar->isVisible());
    QVERIFY(!toggle->isChecked());
    QTRY_VERIFY(Frame()->centralWidget()->height() > withBar);

    toggle->trigger();
    QVERIFY(bar->isVisible());
    QVERIFY(toggle->isChecked());

    // The mark follows the bar even when something else hides it.
    bar->hide();
    QVERIFY(!toggle->isChecked());
    bar->show();
    QVERIFY(toggle->isChecked());
}

void TestMainFrame::closeAsksFirst_data()
{
    QTest::addColumn<bool>("modify");
    QTest::addColumn<bool>("defaultFace");
    QTest::addColumn<int>("answer"); // -1: no box expected
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("saveFails"); // Yes starts a save into a folder that is gone
    QTest::addColumn<bool>("closes");
    const int yes = int(MessageAnswer::Yes), no = int(MessageAnswer::No);
    QTest::newRow("unchanged") << false << false << -1 << QString() << false << true;
    QTest::newRow("cannot save, No") << true << false << no << "Continue?" << false << false;
    QTest::newRow("cannot save, Yes") << true << false << yes << "Continue?" << false << true;
    QTest::newRow("can save, Cancel") << true << true << int(MessageAnswer::Cancel) << "Save?"
                                      << false << false;
    QTest::newRow("can save, No") << true << true << no << "Save?" << false << true;
    QTest::newRow("can save, Yes, save fails") << true << true << yes << "Save?" << true << false;
}

void TestMainFrame::closeAsksFirst()
{
    QFETCH(bool, modify);
    QFETCH(bool, defaultFace);
    QFETCH(int, answer);
    QFETCH(QString, caption);
    QFETCH(bool, saveFails);
    QFETCH(bool, closes);

    if (defaultFace)
        GiveDefaultFace(*Document());
    if (modify)
        Document()->SetIntelligence(7);
    Document()->SetModifiedFlag(modify);
    if (saveFails)
        Document()->SetPathName(QDir::current().filePath(QStringLiteral("gone/COMP1.DAT")), false);
    if (answer >= 0)
        m_prompts->AnswerMessage(static_cast<MessageAnswer>(answer));
    if (saveFails)
        m_prompts->AnswerMessage(MessageAnswer::Ok);

    // Exit goes through the same close as the window manager's close button.
    Frame()->Actions().exit->trigger();
    QCOMPARE(Frame()->isVisible(), !closes);
    QCOMPARE(m_prompts->Calls().size(), answer < 0 ? 0 : saveFails ? 2 : 1);
    if (answer >= 0)
        QCOMPARE(m_prompts->Calls().first().caption, caption);
    if (saveFails)
        QVERIFY(m_prompts->Messages().last().endsWith(QStringLiteral("contains an invalid path.")));
    if (!closes) {
        // The company stays as it was, still waiting to be saved.
        QVERIFY(Document()->IsModified());
        QCOMPARE(Document()->Record().GetIntelligence(), 7);
    }
}

void TestMainFrame::editingKeysReachTextBox_data()
{
    QTest::addColumn<QKeyCombination>("copyKey");
    QTest::addColumn<QKeyCombination>("pasteKey");
    QTest::addColumn<bool>("cut");
    QTest::newRow("Ctrl+C, Ctrl+V") << QKeyCombination(Qt::ControlModifier, Qt::Key_C)
                                    << QKeyCombination(Qt::ControlModifier, Qt::Key_V) << false;
    QTest::newRow("Ctrl+Insert, Shift+Insert")
        << QKeyCombination(Qt::ControlModifier, Qt::Key_Insert)
        << QKeyCombination(Qt::ShiftModifier, Qt::Key_Insert) << false;
    QTest::newRow("Ctrl+X, Ctrl+V") << QKeyCombination(Qt::ControlModifier, Qt::Key_X)
                                    << QKeyCombination(Qt::ControlModifier, Qt::Key_V) << true;
    QTest::newRow("Shift+Delete, Ctrl+V") << QKeyCombination(Qt::ShiftModifier, Qt::Key_Delete)
                                          << QKeyCombination(Qt::ControlModifier, Qt::Key_V)
                                          << true;
}

void TestMainFrame::editingKeysReachTextBox()
{
    QFETCH(QKeyCombination, copyKey);
    QFETCH(QKeyCombination, pasteKey);
    QFETCH(bool, cut);

    auto *edit = new QLineEdit(Frame()->GetActiveView()->Form());
    edit->show();
    ShowAndActivate();
    edit->setFocus();
    QTRY_VERIFY(edit->hasFocus());
    QApplication::clipboard()->clear();

    QTest::keyClicks(edit, QStringLiteral("Acme"));
    edit->selectAll();
    QTest::keyClick(edit, copyKey.key(), copyKey.keyboardModifiers());
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("Acme"));
    QCOMPARE(edit->text(), cut ? QString() : QStringLiteral("Acme"));

    edit->end(false);
    QTest::keyClick(edit, pasteKey.key(), pasteKey.keyboardModifiers());
    QCOMPARE(edit->text(), cut ? QStringLiteral("Acme") : QStringLiteral("AcmeAcme"));

    QTest::keyClick(edit, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(edit->text(), cut ? QString() : QStringLiteral("Acme"));

    // The frame's own keys still work from inside the text box.
    m_prompts->AnswerMessage(MessageAnswer::Ok);
    QTest::keyClick(edit, Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(m_prompts->Messages(), QStringList{kNoDefaultFace});
    delete edit;
}

void TestMainFrame::editingKeysActAsInLoneTextBox_data()
{
    QTest::addColumn<QKeyCombination>("key");
    const QList<std::pair<const char *, QKeyCombination>> keys = {
        {"Ctrl+C", QKeyCombination(Qt::ControlModifier, Qt::Key_C)},
        {"Ctrl+Insert", QKeyCombination(Qt::ControlModifier, Qt::Key_Insert)},
        {"Ctrl+V", QKeyCombination(Qt::ControlModifier, Qt::Key_V)},
        {"Shift+Insert", QKeyCombination(Qt::ShiftModifier, Qt::Key_Insert)},
        {"Ctrl+X", QKeyCombination(Qt::ControlModifier, Qt::Key_X)},
        {"Shift+Delete", QKeyCombination(Qt::ShiftModifier, Qt::Key_Delete)},
        {"Ctrl+Z", QKeyCombination(Qt::ControlModifier, Qt::Key_Z)},
        {"Alt+Backspace", QKeyCombination(Qt::AltModifier, Qt::Key_Backspace)},
        {"F6", QKeyCombination(Qt::NoModifier, Qt::Key_F6)},
        {"Shift+F6", QKeyCombination(Qt::ShiftModifier, Qt::Key_F6)},
    };
    for (const auto &[name, key] : keys)
        QTest::newRow(name) << key;
}

void TestMainFrame::editingKeysActAsInLoneTextBox()
{
    QFETCH(QKeyCombination, key);
    // The same key, the same text box state: the main window must add nothing of its own.
    struct Outcome
    {
        QString text;
        int cursor = 0;
        QString clipboard;
        bool delivered = false;
    };
    const auto press = [&](QLineEdit *edit) {
        QApplication::clipboard()->setText(QStringLiteral("Clip"));
        edit->setText(QStringLiteral("Acme"));
        QTest::keyClicks(edit, QStringLiteral(" Works"));
        edit->setSelection(5, 5);
        CKeySpy spy(edit, key);
        QTest::keyClick(edit, key.key(), key.keyboardModifiers());
        return Outcome{edit->text(), edit->cursorPosition(), QApplication::clipboard()->text(),
                       spy.delivered};
    };

    QLineEdit lone;
    lone.show();
    lone.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&lone));
    const Outcome expected = press(&lone);
    lone.hide();

    auto *edit = new QLineEdit(Frame()->GetActiveView()->Form());
    edit->show();
    ShowAndActivate();
    edit->setFocus();
    QTRY_VERIFY(edit->hasFocus());
    const Outcome inFrame = press(edit);
    delete edit;

    QVERIFY(expected.delivered);
    QVERIFY2(inFrame.delivered, "a shortcut of the main window took the key");
    QCOMPARE(inFrame.text, expected.text);
    QCOMPARE(inFrame.cursor, expected.cursor);
    QCOMPARE(inFrame.clipboard, expected.clipboard);
}

void TestMainFrame::firstSizeShowsWholeForm()
{
    // The window opens on the whole form, neither cut off nor with an empty margin, and within
    // the screen.
    CQuorvelView *view = Frame()->GetActiveView();
    QTRY_COMPARE(view->viewport()->size(), view->Form()->size());
    QVERIFY(Frame()->screen()->availableGeometry().size().expandedTo(Frame()->size())
            == Frame()->screen()->availableGeometry().size());
}

void TestMainFrame::frameShrinksToForm_data()
{
    QTest::addColumn<QSize>("before");
    QTest::addColumn<bool>("fits");
    QTest::newRow("larger than the form") << QSize(1400, 1000) << true;
    QTest::newRow("narrower than the form") << QSize(300, 1000) << false;
    QTest::newRow("smaller than the form") << QSize(300, 200) << false;
}

void TestMainFrame::frameShrinksToForm()
{
    QFETCH(QSize, before);
    QFETCH(bool, fits);
    Frame()->resize(before);
    QTRY_COMPARE(Frame()->size(), before);

    QVERIFY(Document()->FileNew());
    const QSize after = Frame()->size();
    QVERIFY(after.width() <= before.width());
    QVERIFY(after.height() <= before.height());

    CQuorvelView *view = Frame()->GetActiveView();
    const QSize form = view->Form()->size();
    if (fits) {
        // Exactly the form: nothing cut off and no empty margin.
        QTRY_COMPARE(view->viewport()->size(), form);
    } else {
        // Never enlarged; where it is too small the form scrolls, and a roomy height
        // still shrinks to the form.
        QCOMPARE(after.width(), before.width());
        QVERIFY(view->viewport()->height() <= form.height() + view->horizontalScrollBar()->height());
    }
}

void TestMainFrame::startUpWithFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("byName"); // given by its name in the current folder
    QTest::newRow("company file") << "good" << QString() << false;
    QTest::newRow("malformed file") << "bad" << "%1: Unexpected file format." << false;
    QTest::newRow("malformed file by name") << "bad" << "%1: Unexpected file format." << true;
    QTest::newRow("missing file") << "missing" << "%1 was not found." << false;
}

void TestMainFrame::startUpWithFile()
{
    QFETCH(QString, kind);
    QFETCH(QString, message);
    QFETCH(bool, byName);

    QString path = SavedCompanyFile(QStringLiteral("Brenda Vale"));
    QVERIFY(!path.isEmpty());
    App()->ExitInstance();
    if (kind == QLatin1String("bad")) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("not a company");
    } else if (kind == QLatin1String("missing")) {
        QVERIFY(QFile::remove(path));
    }

    if (!message.isEmpty())
        m_prompts->AnswerMessage(MessageAnswer::Ok);
    const QString given = byName ? QFileInfo(path).fileName() : path;
    QVERIFY(App()->InitInstance({QStringLiteral("quorvel"), given}));
    QVERIFY(Frame()->isVisible());
    if (message.isEmpty()) {
        QCOMPARE(Document()->GetPathName(), path);
        QCOMPARE(Document()->Record().GetOwnerName(), QStringLiteral("Brenda Vale"));
        QCOMPARE(ShownTitle(Frame()), QStringLiteral("Brenda Vale - Quorvel"));
        QVERIFY(!Document()->IsModified());
        QVERIFY(App()->RecentFiles().Entries().contains(path));
        return;
    }
    // The message names the file as it was given, and the editor stays open on a new company,
    // to end normally.
    QCOMPARE(m_prompts->Messages(), QStringList{message.arg(QDir::toNativeSeparators(given))});
    QCOMPARE(Document()->Record().GetOwnerName(), QStringLiteral("Owner Name"));
    QVERIFY(!Document()->IsModified());
    if (kind == QLatin1String("bad"))
        QVERIFY(Document()->GetPathName() != QFileInfo(path).absoluteFilePath());
    QCOMPARE(App()->ExitInstance(), 0);
    QVERIFY(App()->InitInstance({QStringLiteral("quorvel")}));
}

void TestMainFrame::recentFileList_data()
{
    QTest::addColumn<QStringList>("added");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("newest first") << QStringList{"/a", "/b"} << QStringList{"/b", "/a"};
    QTest::newRow("again moves to front")
        << QStringList{"/a", "/b", "/a"} << QStringList{"/a", "/b"};
    QTest::newRow("four kept") << QStringList{"/a", "/b", "/c", "/d", "/e"}
                               << QStringList{"/e", "/d", "/c", "/b"};
    QTest::newRow("empty ignored") << QStringList{"/a", ""} << QStringList{"/a"};
}

void TestMainFrame::recentFileList()
{
    QFETCH(QStringList, added);
    QFETCH(QStringList, expected);

    // The list survives a run: written back at exit, read at the next start.
    App()->ExitInstance();
    {
        QSettings settings;
        settings.remove(QStringLiteral("Recent File List"));
    }
    CRecentFileList list(CQuorvelApp::kRecentFileCount);
    for (const QString &path : added)
        list.Add(path);
    QCOMPARE(list.Entries(), expected);
    {
        QSettings settings;
        list.WriteList(settings);
    }
    QVERIFY(App()->InitInstance({QStringLiteral("quorvel")}));
    QCOMPARE(App()->RecentFiles().Entries(), expected);

    // A saved company joins the list and is in the settings after the run.
    const QString saved = SavedCompanyFile(QStringLiteral("Recent Owner"));
    QVERIFY(!saved.isEmpty());
    App()->ExitInstance();
    QSettings settings(QStringLiteral("Local AppWizard-Generated Applications"),
                       QStringLiteral("Quorvel"));
    QCOMPARE(settings.value(QStringLiteral("Recent File List/File1")).toString(),
             QDir::toNativeSeparators(saved));
    QVERIFY(App()->InitInstance({QStringLiteral("quorvel")}));
}

void TestMainFrame::OpenThroughDialog(const QString &ownerName)
{
    ShowAndActivate();
    bool picked = false;
    QTimer::singleShot(0, this, [&] {
        auto *dialog = qobject_cast<CSelectCompanyDlg *>(QApplication::activeModalWidget());
        if (!dialog) {
            if (QApplication::activeModalWidget())
                QApplication::activeModalWidget()->close();
            return;
        }
        auto *list = dialog->findChild<QListWidget *>();
        list->setCurrentItem(list->findItems(ownerName + QStringLiteral(" ("), Qt::MatchStartsWith).value(0));
        for (QPushButton *button : dialog->findChildren<QPushButton *>()) {
            if (button->text() == u"Edit")
                QTest::mouseClick(button, Qt::LeftButton);
        }
        picked = true;
    });
    QTest::keyClick(Frame(), Qt::Key_O, Qt::ControlModifier);
    QVERIFY2(picked, "Ctrl+O showed no \"Select company\" dialog");
    QVERIFY(!QApplication::activeModalWidget());
}

void TestMainFrame::openCompany()
{
    // The save prompt and the open company only coming forward are the document's own.
    CScratchObjectFolder objects;
    const QString saved = SavedCompanyFile(QStringLiteral("Opened Owner"));
    QVERIFY(Document()->FileNew());
    OpenThroughDialog(QStringLiteral("Opened Owner"));
    QCOMPARE(Document()->GetPathName(), saved);
    QCOMPARE(Document()->Record().GetOwnerName(), QStringLiteral("Opened Owner"));
    QCOMPARE(ShownTitle(Frame()), QStringLiteral("Opened Owner - Quorvel"));
    QVERIFY(!Document()->IsModified());
}

void TestMainFrame::importCompany_data()
{
    QTest::addColumn<QString>("exported"); // "good" or "malformed"
    QTest::addColumn<bool>("installed");   // an identical copy is in the object folder already
    QTest::addColumn<int>("written");      // files the imports add to the object folder

    QTest::newRow("new company, imported twice") << "good" << false << 1;
    QTest::newRow("installed already") << "good" << true << 0;
    QTest::newRow("malformed") << "malformed" << false << 0;
}

void TestMainFrame::importCompany()
{
    QFETCH(QString, exported);
    QFETCH(bool, installed);
    QFETCH(int, written);

    CScratchObjectFolder objects;
    QTemporaryDir elsewhere;
    const QByteArray bytes = CompanyBytes(QStringLiteral("Imported Owner"), 0x3);
    const QString file = elsewhere.filePath(QStringLiteral("Imported Owner 2004-06-14.company"));
    QVERIFY(WriteFile(file, exported == u"malformed" ? bytes.left(200) : bytes));
    const QString copy = objects.filePath(QStringLiteral("COMP1.DAT"));
    if (installed)
        QVERIFY(WriteFile(copy, bytes));

    for (int i = 0; i < (written ? 2 : 1); ++i) {
        m_prompts->AnswerFile(file);
        if (exported == u"malformed")
            m_prompts->AnswerMessage(MessageAnswer::Ok);
        Frame()->Actions().import->trigger();
    }

    const PromptCall &dialog = m_prompts->Calls().first();
    QString documents = GetDocumentsFolder();
    if (!documents.isEmpty())
        AddTrailingSeparator(documents);
    QCOMPARE(dialog.kind, PromptCall::Kind::OpenFile);
    QCOMPARE(dialog.title, QStringLiteral("Open"));
    QCOMPARE(dialog.initialPath, documents + QStringLiteral("*.company"));
    QCOMPARE(dialog.filter, QStringLiteral("All Files (*.*)"));
    const QStringList files = objects.Files();
    QCOMPARE(files.size(), (installed ? 1 : 0) + written);
    if (exported != u"good") {
        QCOMPARE(Document()->Record().GetOwnerName(), QStringLiteral("Owner Name"));
        QCOMPARE(m_prompts->Messages(), QStringList{"Unexpected file format."});
        return;
    }
    // The document is the installed file, unchanged, under its owner's name.
    const QString path = installed ? copy : objects.filePath(files.first());
    QCOMPARE(Document()->GetPathName(), path);
    QCOMPARE(ReadFile(path), bytes);
    QVERIFY(!Document()->IsModified());
    QCOMPARE(ShownTitle(Frame()), QStringLiteral("Imported Owner - Quorvel"));
    // Imported twice or installed before, the last import found the company in the folder.
    QCOMPARE(Frame()->statusBar()->currentMessage(),
             QStringLiteral("Imported Owner 2004-06-14.company is installed already as %1 in %2")
                 .arg(QFileInfo(path).fileName(),
                      QDir::toNativeSeparators(QFileInfo(path).absolutePath())));
}

int main(int argc, char *argv[])
{
    // Settings go to a scratch folder, never to the user's own.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    CQuorvelApp app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    TestMainFrame test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_mainframe.moc"
