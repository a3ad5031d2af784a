// The editor and the game's folder, in fake homes: the status bar says where companies go,
// a missing game is told once, and File > Game Folder... and Use the Game Found Automatically
// move the saves.

#include "app/MainFrame.h"
#include "app/QuorvelApp.h"
#include "company/QuorvelDoc.h"
#include "game/GameLookup.h"
#include "tests/support/FakeHome.h"
#include "tests/support/ScriptedPrompts.h"

#include <QAction>
#include <QStatusBar>
#include <QTest>

using namespace quorvel;
using namespace quorvel::test;

class TestGameFolder : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void noGameToldOnce();
    void chooseAndForget();
    void environmentNamed();

private:
    CQuorvelApp *App() const { return static_cast<CQuorvelApp *>(qApp); }
    QString StatusText() const { return App()->GetMainFrame()->statusBar()->currentMessage(); }
    // Starts the editor, answering as many message boxes as given; false when it did not start.
    bool Start(CScriptedPrompts &prompts, int answers = 0);
};

void TestGameFolder::cleanup()
{
    if (App()->GetDocument())
        App()->GetDocument()->SetModifiedFlag(false);
    App()->ExitInstance();
    SetChosenObjectFolder(QString());
}

bool TestGameFolder::Start(CScriptedPrompts &prompts, int answers)
{
    for (int i = 0; i < answers; ++i)
        prompts.AnswerMessage(MessageAnswer::Ok);
    return App()->InitInstance({QStringLiteral("quorvel")});
}

void TestGameFolder::noGameToldOnce()
{
    CFakeHome home;
    QVERIFY(QDir::setCurrent(home.Path()));
    const QString told = QStringLiteral("No game found: companies are saved in %1. File > Game "
                                        "Folder... changes it.").arg(home.Path());
    const QString status = QStringLiteral("No game found: companies are saved in %1").arg(home.Path());
    {
        CScriptedPrompts prompts;
        QVERIFY(Start(prompts, 1));
        QCOMPARE(prompts.Messages(), QStringList{told});
        QCOMPARE(prompts.Calls().first().icon, MessageIcon::Information);
        QCOMPARE(StatusText(), status);
        App()->ExitInstance();
    }
    {
        CScriptedPrompts prompts; // the next start only says it in the status bar
        QVERIFY(Start(prompts));
        QCOMPARE(StatusText(), status);
        App()->ExitInstance();
    }
    // Once the game was there, losing it again is told again.
    const QString wine = home.AddPrefix(QStringLiteral(".wine"), true);
    {
        CScriptedPrompts prompts;
        QVERIFY(Start(prompts));
        QCOMPARE(StatusText(), QStringLiteral("Companies are saved in %1")
                                   .arg(QDir(CFakeHome::ObjData(wine)).absolutePath()));
        App()->ExitInstance();
    }
    QVERIFY(QDir(wine).removeRecursively());
    CScriptedPrompts prompts;
    QVERIFY(Start(prompts, 1));
    QCOMPARE(prompts.Messages(), QStringList{told});
}

void TestGameFolder::chooseAndForget()
{
    CFakeHome home;
    const QString wine = home.AddPrefix(QStringLiteral(".wine"), true);
    const QString found = CFakeHome::ObjData(wine);
    QDir(home.Path()).mkpath(QStringLiteral("Other Game/ObjData"));
    const QString chosen = home.Path(QStringLiteral("Other Game/ObjData/"));
    CScriptedPrompts prompts;
    QVERIFY(Start(prompts));
    const CMainActions &actions = App()->GetMainFrame()->Actions();
    QVERIFY(!actions.useFoundGame->isEnabled());

    // A changed company would have been saved where the game was found; after the choice its
    // save goes to the chosen folder.
    CQuorvelDoc &document = *App()->GetDocument();
    document.SetOwnerName(QStringLiteral("Moved Owner"));
    QVERIFY(document.GetPathName().startsWith(QDir(found).absolutePath()));
    prompts.AnswerFile(home.Path(QStringLiteral("Other Game")));
    actions.gameFolder->trigger();
    QCOMPARE(prompts.Calls().last().kind, PromptCall::Kind::Folder);
    QCOMPARE(prompts.Calls().last().initialPath, QDir(found).absolutePath());
    QCOMPARE(ChosenObjectFolder(), chosen);
    QCOMPARE(StatusText(), QStringLiteral("Companies are saved in %1").arg(QDir(chosen).absolutePath()));
    QVERIFY(actions.useFoundGame->isEnabled());
    QVERIFY(document.GetPathName().startsWith(chosen));
    QVERIFY(document.IsModified());

    // Remembered for the next start.
    App()->GetDocument()->SetModifiedFlag(false);
    App()->ExitInstance();
    QVERIFY(Start(prompts));
    QCOMPARE(StatusText(), QStringLiteral("Companies are saved in %1").arg(QDir(chosen).absolutePath()));

    // A cancelled dialog changes nothing; forgetting the choice goes back to the game found.
    prompts.AnswerFile(std::nullopt);
    App()->GetMainFrame()->Actions().gameFolder->trigger();
    QCOMPARE(ChosenObjectFolder(), chosen);
    App()->GetMainFrame()->Actions().useFoundGame->trigger();
    QCOMPARE(ChosenObjectFolder(), QString());
    QCOMPARE(StatusText(), QStringLiteral("Companies are saved in %1").arg(QDir(found).absolutePath()));
    QVERIFY(!App()->GetMainFrame()->Actions().useFoundGame->isEnabled());
    QCOMPARE(prompts.PendingAnswers(), 0);
}

void TestGameFolder::environmentNamed()
{
    CFakeHome home;
    qputenv("QUORVEL_OBJDATA", home.Path(QStringLiteral("objects")).toUtf8());
    CScriptedPrompts prompts;
    QVERIFY(Start(prompts));
    QCOMPARE(StatusText(), QStringLiteral("Companies are saved in %1, as QUORVEL_OBJDATA says")
                               .arg(home.Path(QStringLiteral("objects"))));
    QVERIFY(App()->GetDocument()->GetPathName().startsWith(home.Path(QStringLiteral("objects/"))));
}

int main(int argc, char *argv[])
{
    // Settings go to a scratch folder, never to the user's own.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    CQuorvelApp app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    TestGameFolder test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_gamefolder.moc"
