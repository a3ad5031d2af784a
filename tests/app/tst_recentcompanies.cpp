// File > Recent Companies on the offscreen platform: the remembered files it lists, an entry
// opening its company behind the same save prompt as Open, and a file that has gone.

#include "app/MainFrame.h"
#include "app/QuorvelApp.h"
#include "app/RecentCompaniesMenu.h"
#include "company/QuorvelDoc.h"
#include "tests/support/CompanyFiles.h"
#include "tests/support/ScriptedPrompts.h"

#include <QAction>
#include <QDir>
#include <QMenu>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace quorvel;
using namespace quorvel::test;

class TestRecentCompanies : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void listsRememberedFiles();
    void opensEntry_data();
    void opensEntry();
    void goneFileTakenOff();

private:
    CQuorvelApp *App() const { return static_cast<CQuorvelApp *>(qApp); }
    CQuorvelDoc *Document() const { return App()->GetDocument(); }
    CRecentCompaniesMenu *Menu() const { return App()->GetMainFrame()->RecentCompanies(); }
    // Starts the editor with these files remembered, newest first.
    void StartRemembering(const QStringList &paths);
    // A company file of that owner in the scratch folder.
    QString CompanyFile(const QString &owner);
    QList<QAction *> Items() const
    {
        Menu()->Rebuild();
        return Menu()->actions();
    }

    QTemporaryDir m_workDir;
    QTemporaryDir m_winePrefix;
    std::unique_ptr<CScriptedPrompts> m_prompts;
};

void TestRecentCompanies::initTestCase()
{
    QVERIFY(m_workDir.isValid() && m_winePrefix.isValid());
    // No game here: the object folder falls back to the working folder, a scratch one.
    qputenv("WINEPREFIX", m_winePrefix.path().toLocal8Bit());
    QVERIFY(QDir::setCurrent(m_workDir.path()));
    // The first start without a game says so, once.
    m_prompts = std::make_unique<CScriptedPrompts>();
    m_prompts->AnswerMessage(MessageAnswer::Ok);
    QVERIFY(App()->InitInstance({QStringLiteral("quorvel")}));
    App()->ExitInstance();
    m_prompts.reset();
}

void TestRecentCompanies::cleanup()
{
    if (Document())
        Document()->SetModifiedFlag(false);
    App()->ExitInstance();
    QCOMPARE(m_prompts->PendingAnswers(), 0);
    m_prompts.reset();
}

void TestRecentCompanies::StartRemembering(const QStringList &paths)
{
    {
        QSettings settings;
        settings.remove(QStringLiteral("Recent File List"));
        for (int i = 0; i < paths.size(); ++i)
            settings.setValue(QStringLiteral("Recent File List/File%1").arg(i + 1), paths.at(i));
    }
    m_prompts = std::make_unique<CScriptedPrompts>();
    QVERIFY(App()->InitInstance({QStringLiteral("quorvel")}));
}

QString TestRecentCompanies::CompanyFile(const QString &owner)
{
    const QString path = m_workDir.filePath(QStringLiteral("%1.company").arg(owner));
    return WriteFile(path, CompanyBytes(owner)) ? path : QString();
}

void TestRecentCompanies::listsRememberedFiles()
{
    StartRemembering({});
    QVERIFY(Items().isEmpty());
    QVERIFY(!Menu()->menuAction()->isEnabled());
    App()->ExitInstance();

    // Numbered in the list's order, each number its mnemonic; an ampersand in a path shows
    // as itself; the status bar gives the whole path.
    const QStringList paths = {"/a/COMP1.DAT", "/b/Fish & Chips.company", "/c/COMP3.DAT",
                               "/d/COMP4.DAT"};
    StartRemembering(paths);
    const QList<QAction *> items = Items();
    QVERIFY(Menu()->menuAction()->isEnabled());
    QStringList texts;
    for (const QAction *item : items)
        texts << item->text();
    QCOMPARE(texts, (QStringList{"&1 " + QDir::toNativeSeparators(paths[0]),
                                 "&2 " + QDir::toNativeSeparators("/b/Fish && Chips.company"),
                                 "&3 " + QDir::toNativeSeparators(paths[2]),
                                 "&4 " + QDir::toNativeSeparators(paths[3])}));
    QCOMPARE(items.at(1)->statusTip(), "Open " + QDir::toNativeSeparators(paths[1]));
    // A file opened by any other way comes first, and the oldest leaves a full list.
    const QString opened = CompanyFile(QStringLiteral("Newest"));
    QVERIFY(Document()->OpenDocumentFile(opened));
    QCOMPARE(Items().size(), 4);
    QCOMPARE(Items().first()->text(), "&1 " + QDir::toNativeSeparators(opened));
    QCOMPARE(Items().last()->text(), "&4 " + QDir::toNativeSeparators(paths[2]));
}

void TestRecentCompanies::opensEntry_data()
{
    QTest::addColumn<bool>("changed");   // the open company has unsaved changes
    QTest::addColumn<int>("answer");     // to "Would you like to save ... first?"
    QTest::addColumn<bool>("opened");

    QTest::newRow("unchanged company") << false << -1 << true;
    QTest::newRow("changes not saved") << true << int(MessageAnswer::No) << true;
    QTest::newRow("cancelled") << true << int(MessageAnswer::Cancel) << false;
}

void TestRecentCompanies::opensEntry()
{
    QFETCH(bool, changed);
    QFETCH(int, answer);
    QFETCH(bool, opened);

    const QString first = CompanyFile(QStringLiteral("First Owner"));
    const QString second = CompanyFile(QStringLiteral("Second Owner"));
    StartRemembering({first, second});
    if (changed) {
        const CSmallFace small{};
        const CLargeFace large{};
        Document()->SetFaces(1, small.data(), large.data());
        Document()->SetOwnerName(QStringLiteral("Unsaved Owner"));
        m_prompts->AnswerMessage(MessageAnswer(answer));
    }

    Items().at(1)->trigger();
    QTRY_COMPARE(m_prompts->PendingAnswers(), 0);
    if (changed)
        QVERIFY(m_prompts->Messages().first().startsWith("Would you like to save Unsaved Owner ("));
    else
        QVERIFY(m_prompts->Calls().isEmpty());
    QCOMPARE(Document()->Record().GetOwnerName(), opened ? "Second Owner" : "Unsaved Owner");
    QCOMPARE(Document()->IsModified(), !opened);
    QCOMPARE(App()->RecentFiles().Entries(),
             opened ? (QStringList{second, first}) : (QStringList{first, second}));
    if (opened)
        QCOMPARE(Document()->GetPathName(), second);
}

void TestRecentCompanies::goneFileTakenOff()
{
    const QString kept = CompanyFile(QStringLiteral("Kept Owner"));
    const QString gone = m_workDir.filePath(QStringLiteral("COMPGONE.DAT"));
    StartRemembering({gone, kept});
    m_prompts->AnswerMessage(MessageAnswer::Ok);

    Items().first()->trigger();
    QTRY_COMPARE(m_prompts->PendingAnswers(), 0);
    QCOMPARE(m_prompts->Messages(),
             QStringList{QDir::toNativeSeparators(gone)
                         + " is no longer there; it has been taken off the recent companies."});
    QCOMPARE(App()->RecentFiles().Entries(), QStringList{kept});
    QCOMPARE(Items().size(), 1);
    // Nothing was opened, and nothing was asked of the company that stays open.
    QCOMPARE(Document()->Record().GetOwnerName(), QStringLiteral("Owner Name"));
    QVERIFY(!Document()->IsModified());
}

int main(int argc, char *argv[])
{
    // Settings go to a scratch folder, never to the user's own.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    CQuorvelApp app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    TestRecentCompanies test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_recentcompanies.moc"
