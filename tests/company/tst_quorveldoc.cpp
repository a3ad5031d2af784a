// The company document through real files: the object folder is a temporary current directory
// (an empty Wine prefix finds no game), the documents folder a temporary home, and the clock
// fixed at 2004-06-14 15:27 UTC. Message boxes and dialogs are answered from a script.

#include "company/CompanyFile.h"
#include "company/QuorvelDoc.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/ScriptedPrompts.h"
#include "tests/support/TestDocument.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace quorvel;
using namespace quorvel::test;

namespace {

const QString kNow = QStringLiteral("2004/06/14 15:26");

QByteArray ReadFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

bool WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

void GiveDefaultFace(CQuorvelDoc &doc)
{
    CSmallFace small;
    CLargeFace large;
    small.fill(7);
    large.fill(9);
    doc.SetFaces(1, small.data(), large.data());
}

// Refreshes from the document as the company form does, which retitles it.
class CFormLikeView final : public CView
{
public:
    void OnUpdate() override
    {
        auto *doc = static_cast<CQuorvelDoc *>(GetDocument());
        doc->SetOwnerName(doc->Record().GetOwnerName());
    }
};


} // namespace

class TestQuorvelDoc : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void newCompanyAndFreshPaths();
    void openChangeSave();
    void defaultFaceRequired_data();
    void defaultFaceRequired();
    void failedOpen_data();
    void failedOpen();
    void exportName_data();
    void exportName();
    void exportCountsAsSaved();
    void saveModified_data();
    void saveModified();
    void failedWriteLosesNothing_data();
    void failedWriteLosesNothing();
    void fullObjectFolderNeverOverwrites();
    void saveLeavesAFileThatTookItsPath();

private:
    QString ObjectPath(const QString &name) const { return m_objects.filePath(name); }
    QString Documents() const { return m_home->filePath(QStringLiteral("Documents")); }
    // A new company with its default face, saved into the object folder; returns its path.
    QString SavedCompany(const QString &owner);

    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<QTemporaryDir> m_wine;
    std::unique_ptr<QTemporaryDir> m_objectsDir;
    QDir m_objects;
    QString m_startDir;
};

void TestQuorvelDoc::initTestCase()
{
    m_startDir = QDir::currentPath();
}

void TestQuorvelDoc::init()
{
    qputenv("SOURCE_DATE_EPOCH", "1087226820"); // 2004-06-14 15:27:00 UTC
    m_home = std::make_unique<QTemporaryDir>();
    m_wine = std::make_unique<QTemporaryDir>();
    m_objectsDir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_home->isValid() && m_wine->isValid() && m_objectsDir->isValid());
    QVERIFY(QDir(m_home->path()).mkdir(QStringLiteral("Documents")));
    qputenv("HOME", m_home->path().toUtf8());
    qputenv("XDG_CONFIG_HOME", m_home->filePath(QStringLiteral("config")).toUtf8());
    qputenv("WINEPREFIX", m_wine->path().toUtf8());
    m_objects = QDir(m_objectsDir->path());
    QVERIFY(QDir::setCurrent(m_objects.path()));
}

void TestQuorvelDoc::cleanup()
{
    QDir::setCurrent(m_startDir);
    m_objectsDir.reset();
    m_wine.reset();
    m_home.reset();
}

QString TestQuorvelDoc::SavedCompany(const QString &owner)
{
    CScriptedPrompts prompts;
    CTestDocument doc;
    doc.FileNew();
    doc.SetOwnerName(owner);
    GiveDefaultFace(doc);
    doc.OnFileSave();
    return QFile::exists(doc.GetPathName()) ? doc.GetPathName() : QString();
}

void TestQuorvelDoc::newCompanyAndFreshPaths()
{
    CScriptedPrompts prompts; // any prompt fails the test
    CTestDocument doc;
    QVERIFY(doc.FileNew());
    QCOMPARE(doc.GetTitle(), QStringLiteral("New company"));
    QVERIFY(!doc.IsModified());
    QCOMPARE(doc.Record().GetOwnerName(), QStringLiteral("Owner Name"));
    QCOMPARE(FormatDateStamp(doc.Record().GetDateStamp()), kNow);
    const QFileInfo created(doc.GetPathName());
    QCOMPARE(created.absolutePath(), m_objects.absolutePath());
    QVERIFY(QRegularExpression(QStringLiteral("^COMP[0-9a-f]{1,4}\\.DAT$"))
                .match(created.fileName()).hasMatch());
    QVERIFY(!created.exists());

    // Two changes take one path; an unchanged value is no change.
    doc.SetIntelligence(7);
    QVERIFY(doc.IsModified());
    QCOMPARE(doc.GetTitle(), QStringLiteral("Owner Name"));
    const QString first = doc.GetPathName();
    QVERIFY(!QFile::exists(first));
    doc.SetOwnerName(QStringLiteral("Ann"));
    GiveDefaultFace(doc);
    QCOMPARE(doc.GetPathName(), first);
    QCOMPARE(doc.GetTitle(), QStringLiteral("Ann"));

    doc.OnFileSave();
    QVERIFY(QFile::exists(first));
    QVERIFY(!doc.IsModified());
    QCOMPARE(doc.GetPathName(), first);
    QCOMPARE(doc.GetTitle(), QStringLiteral("Ann"));
    const QByteArray saved = ReadFile(first);

    doc.SetIntelligence(7);
    QVERIFY(!doc.IsModified());
    doc.OnFileSave(); // unmodified: nothing is written
    QCOMPARE(m_objects.entryList(QDir::Files).size(), 1);

    // After a save the next change takes another path and leaves the saved file alone.
    doc.SetCompetitiveness(9);
    QVERIFY(doc.IsModified());
    QVERIFY(doc.GetPathName() != first);
    QVERIFY(!QFile::exists(doc.GetPathName()));
    QCOMPARE(ReadFile(first), saved);
    QCOMPARE(prompts.WaitDepth(), 0);
}

void TestQuorvelDoc::openChangeSave()
{
    const QString installed = SavedCompany(QStringLiteral("Installed Owner"));
    QVERIFY(!installed.isEmpty());
    const QByteArray original = ReadFile(installed);

    CScriptedPrompts prompts;
    CTestDocument doc;
    CFormLikeView form;
    doc.AddView(&form);
    QVERIFY(doc.FileNew());
    QVERIFY(doc.OpenDocumentFile(installed));
    QCOMPARE(doc.GetPathName(), installed);
    QCOMPARE(doc.GetTitle(), QStringLiteral("Installed Owner"));
    QVERIFY(!doc.IsModified());

    doc.SetAggressiveness(1);
    const QString fresh = doc.GetPathName();
    QVERIFY(fresh != installed);
    doc.OnFileSave();
    QCOMPARE(ReadFile(installed), original);

    CTestDocument reread;
    QVERIFY(reread.OpenDocumentFile(fresh));
    QCOMPARE(reread.Record().GetAggressiveness(), 1);
    QCOMPARE(reread.Record().GetOwnerName(), QStringLiteral("Installed Owner"));
    QVERIFY(prompts.Calls().isEmpty());
}

void TestQuorvelDoc::defaultFaceRequired_data()
{
    QTest::addColumn<bool>("exporting");
    QTest::addColumn<bool>("modified");
    QTest::newRow("save, unchanged") << false << false;
    QTest::newRow("save, changed") << false << true;
    QTest::newRow("export, unchanged") << true << false;
    QTest::newRow("export, changed") << true << true;
}

void TestQuorvelDoc::defaultFaceRequired()
{
    QFETCH(bool, exporting);
    QFETCH(bool, modified);

    CScriptedPrompts prompts;
    CTestDocument doc;
    QVERIFY(doc.FileNew());
    if (modified)
        doc.SetIntelligence(2);
    prompts.AnswerMessage(MessageAnswer::Ok);
    if (exporting)
        doc.OnFileExport();
    else
        doc.OnFileSave();

    QCOMPARE(prompts.Calls().size(), 1); // no file dialog follows
    const PromptCall &call = prompts.Calls().first();
    QCOMPARE(call.text, QStringLiteral("You must provide an image for the default face "
                                       "expression before you can save or export!"));
    QCOMPARE(call.caption, QStringLiteral("Unable to save document."));
    QCOMPARE(call.icon, MessageIcon::Warning);
    QCOMPARE(call.buttons, MessageButtons::Ok);
    QCOMPARE(call.ownedByMainWindow, !exporting);
    QCOMPARE(doc.IsModified(), modified);
    QVERIFY(m_objects.entryList(QDir::Files).isEmpty());
}

void TestQuorvelDoc::failedOpen_data()
{
    QTest::addColumn<bool>("fileExists");
    QTest::addColumn<bool>("modified");
    QTest::newRow("rejected file, clean") << true << false;
    QTest::newRow("rejected file, changed") << true << true;
    QTest::newRow("missing file, clean") << false << false;
    QTest::newRow("missing file, changed") << false << true;
}

void TestQuorvelDoc::failedOpen()
{
    QFETCH(bool, fileExists);
    QFETCH(bool, modified);

    const QString path = m_objects.filePath(QStringLiteral("COMP1.DAT"));
    if (fileExists)
        QVERIFY(WriteFile(path, QByteArray(200, '\x20')));

    CScriptedPrompts prompts;
    CTestDocument doc;
    QVERIFY(doc.FileNew());
    GiveDefaultFace(doc);
    doc.SetOwnerName(QStringLiteral("Kept"));
    if (!modified)
        doc.OnFileSave();
    const QString pathBefore = doc.GetPathName();
    if (modified)
        prompts.AnswerMessage(MessageAnswer::No); // "Save?"
    prompts.AnswerMessage(MessageAnswer::Ok);

    QVERIFY(!doc.OpenDocumentFile(path));
    QCOMPARE(prompts.PendingAnswers(), 0);
    QCOMPARE(prompts.Calls().last().caption, QStringLiteral("Quorvel"));
    if (fileExists) {
        QCOMPARE(prompts.Messages().last(), QStringLiteral("Unexpected file format."));
        QCOMPARE(doc.GetTitle(), QStringLiteral("New company"));
        QCOMPARE(doc.Record().GetOwnerName(), QStringLiteral("Owner Name"));
        QVERIFY(!doc.HasDefaultFace());
        QVERIFY(!doc.IsModified());
        QVERIFY(doc.GetPathName() != path);
    } else {
        QCOMPARE(prompts.Messages().last(),
                 QStringLiteral("%1 was not found.").arg(QDir::toNativeSeparators(path)));
        QCOMPARE(doc.GetTitle(), QStringLiteral("Kept"));
        QCOMPARE(doc.Record().GetOwnerName(), QStringLiteral("Kept"));
        QVERIFY(doc.HasDefaultFace());
        QCOMPARE(doc.IsModified(), modified);
        QCOMPARE(doc.GetPathName(), pathBefore);
    }
}

void TestQuorvelDoc::exportName_data()
{
    QTest::addColumn<QString>("owner");
    QTest::addColumn<QString>("fileName");
    QTest::newRow("plain") << "Owner Name" << "Owner Name 2004-06-14.company";
    QTest::newRow("stop and ampersand") << "J. Smith & Sons" << "J  Smith   Sons 2004-06-14.company";
    QTest::newRow("run of colons") << "A::B" << "A B 2004-06-14.company";
    QTest::newRow("slashes") << "AC/DC\\X" << "AC-DC-X 2004-06-14.company";
}

void TestQuorvelDoc::exportName()
{
    QFETCH(QString, owner);
    QFETCH(QString, fileName);

    CScriptedPrompts prompts;
    CTestDocument doc;
    QVERIFY(doc.FileNew());
    GiveDefaultFace(doc);
    doc.SetOwnerName(owner);
    prompts.AnswerFile(std::nullopt); // cancelled
    doc.OnFileExport();

    QCOMPARE(prompts.Calls().size(), 1);
    const PromptCall &call = prompts.Calls().first();
    QCOMPARE(call.kind, PromptCall::Kind::SaveFile);
    QCOMPARE(call.title, QStringLiteral("Export the company to a file"));
    QCOMPARE(call.filter, QStringLiteral("All Files (*.*)"));
    QCOMPARE(QDir::fromNativeSeparators(call.initialPath), Documents() + u'/' + fileName);
    QVERIFY(doc.IsModified());
    QVERIFY(QDir(Documents()).isEmpty());
}

void TestQuorvelDoc::exportCountsAsSaved()
{
    CScriptedPrompts prompts;
    CTestDocument doc;
    QVERIFY(doc.FileNew());
    GiveDefaultFace(doc);
    doc.SetOwnerName(QStringLiteral("Exporter"));
    const QString path = doc.GetPathName();
    const QString target = Documents() + QStringLiteral("/mine.company");
    prompts.AnswerFile(target);
    doc.OnFileExport();

    QVERIFY(QFile::exists(target));
    QVERIFY(!doc.IsModified());
    QCOMPARE(doc.GetPathName(), path);
    QCOMPARE(doc.GetTitle(), QStringLiteral("Exporter"));
    doc.OnFileSave();
    QVERIFY(!QFile::exists(path));
    QVERIFY(doc.SaveModified()); // asks nothing
    QCOMPARE(prompts.Calls().size(), 1);

    // An unchanged company exports with the stamp it was read with: the same bytes.
    qputenv("SOURCE_DATE_EPOCH", "1120000000"); // 2005
    CTestDocument reread;
    QVERIFY(reread.OpenDocumentFile(target));
    const QString again = Documents() + QStringLiteral("/again.company");
    prompts.AnswerFile(again);
    reread.OnFileExport();
    QCOMPARE(QFileInfo(prompts.Calls().last().initialPath).fileName(),
             QStringLiteral("Exporter 2004-06-14.company"));
    QCOMPARE(ReadFile(again), ReadFile(target));
    QCOMPARE(FormatDateStamp(reread.Record().GetDateStamp()), kNow);
}

void TestQuorvelDoc::saveModified_data()
{
    QTest::addColumn<bool>("hasFace");
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("brokenPath"); // the save that Yes starts fails
    QTest::addColumn<bool>("goesOn");
    QTest::addColumn<bool>("saved");

    const int yes = int(MessageAnswer::Yes), no = int(MessageAnswer::No),
              cancel = int(MessageAnswer::Cancel);
    QTest::newRow("Save? Yes") << true << yes << false << true << true;
    QTest::newRow("Save? Yes, save fails") << true << yes << true << false << false;
    QTest::newRow("Save? No") << true << no << false << true << false;
    QTest::newRow("Save? Cancel") << true << cancel << false << false << false;
    QTest::newRow("Continue? Yes") << false << yes << false << true << false;
    QTest::newRow("Continue? No") << false << no << false << false << false;
}

void TestQuorvelDoc::saveModified()
{
    QFETCH(bool, hasFace);
    QFETCH(int, answer);
    QFETCH(bool, brokenPath);
    QFETCH(bool, goesOn);
    QFETCH(bool, saved);

    CScriptedPrompts prompts;
    CTestDocument doc;
    QVERIFY(doc.FileNew());
    QVERIFY(doc.SaveModified()); // unmodified: no prompt
    if (hasFace)
        GiveDefaultFace(doc);
    doc.SetOwnerName(QStringLiteral("Pending"));
    if (brokenPath) {
        QVERIFY(WriteFile(ObjectPath(QStringLiteral("plain")), "x"));
        doc.SetPathName(ObjectPath(QStringLiteral("plain/COMP1.DAT")), false);
    }
    const QString path = doc.GetPathName();
    prompts.AnswerMessage(MessageAnswer(answer));
    if (brokenPath)
        prompts.AnswerMessage(MessageAnswer::Ok);

    QCOMPARE(doc.FileNew(), goesOn);

    QCOMPARE(prompts.PendingAnswers(), 0);
    const PromptCall &call = prompts.Calls().first();
    if (hasFace) {
        QCOMPARE(call.text, QStringLiteral("Would you like to save Pending (%1) first?").arg(kNow));
        QCOMPARE(call.caption, QStringLiteral("Save?"));
        QCOMPARE(call.buttons, MessageButtons::YesNoCancel);
    } else {
        QCOMPARE(call.text, QStringLiteral("Warning: Pending (%1) has not been saved. "
                                           "Continue anyway?").arg(kNow));
        QCOMPARE(call.caption, QStringLiteral("Continue?"));
        QCOMPARE(call.buttons, MessageButtons::YesNo);
    }
    QCOMPARE(call.icon, MessageIcon::Question);
    QVERIFY(!call.ownedByMainWindow);
    if (brokenPath)
        QVERIFY(prompts.Messages().last().endsWith(QStringLiteral("contains an invalid path.")));

    QCOMPARE(QFile::exists(path), saved);
    QCOMPARE(doc.Record().GetOwnerName(), goesOn ? QStringLiteral("Owner Name") : QStringLiteral("Pending"));
    QCOMPARE(doc.IsModified(), !goesOn);
}

void TestQuorvelDoc::failedWriteLosesNothing_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("message"); // %1 = the file
    QTest::newRow("save, folder gone") << "saveNoFolder" << "%1 contains an invalid path.";
    QTest::newRow("save, parent is a file") << "saveParentFile" << "%1 contains an invalid path.";
#ifdef Q_OS_UNIX
    QTest::newRow("save, file too large") << "saveLimit" << "Disk full while accessing %1.";
    QTest::newRow("export over the user's file") << "exportLimit" << "Disk full while accessing %1.";
#endif
}

void TestQuorvelDoc::failedWriteLosesNothing()
{
    QFETCH(QString, how);
    QFETCH(QString, message);

    CScriptedPrompts prompts;
    CTestDocument doc;
    QVERIFY(doc.FileNew());
    GiveDefaultFace(doc);
    doc.SetOwnerName(QStringLiteral("Fragile"));

    QString target = doc.GetPathName();
    if (how == u"saveNoFolder") {
        target = ObjectPath(QStringLiteral("gone/COMP1.DAT"));
        doc.SetPathName(target, false);
    } else if (how == u"saveParentFile") {
        QVERIFY(WriteFile(ObjectPath(QStringLiteral("plain")), "x"));
        target = ObjectPath(QStringLiteral("plain/COMP1.DAT"));
        doc.SetPathName(target, false);
    }
    doc.SetTitle(QStringLiteral("Fragile"));
    const QByteArray users(6000, 'u');
    const QString usersFile = Documents() + QStringLiteral("/mine.company");
    QVERIFY(WriteFile(usersFile, users));
    if (how == u"exportLimit")
        prompts.AnswerFile(usersFile);
    prompts.AnswerMessage(MessageAnswer::Ok);

    if (how == u"exportLimit") {
#ifdef Q_OS_UNIX
        CFileSizeLimit limit(1024);
        doc.OnFileExport();
#endif
        target = usersFile;
    } else if (how == u"saveLimit") {
#ifdef Q_OS_UNIX
        CFileSizeLimit limit(1024);
        doc.OnFileSave();
#endif
    } else {
        doc.OnFileSave();
    }

    QCOMPARE(prompts.PendingAnswers(), 0);
    QCOMPARE(prompts.Messages().last(), message.arg(QDir::toNativeSeparators(target)));
    QVERIFY2(doc.IsModified(), "a failed write must leave the changes unsaved");
    QCOMPARE(doc.GetTitle(), QStringLiteral("Fragile"));
    QCOMPARE(ReadFile(usersFile), users);
    if (how != u"exportLimit")
        QCOMPARE(doc.GetPathName(), target);
    // No half-written file anywhere.
    QCOMPARE(QDir(Documents()).entryList(QDir::Files | QDir::Hidden), QStringList{"mine.company"});
    const QStringList objects = m_objects.entryList(QDir::Files | QDir::Hidden);
    QVERIFY2(objects.isEmpty() || objects == QStringList{"plain"}, qPrintable(objects.join(u' ')));
}

void TestQuorvelDoc::fullObjectFolderNeverOverwrites()
{
    // Every company name but one is taken; the one left goes to the company saved below.
    for (int number = 1; number < 32768; ++number)
        QVERIFY(WriteFile(ObjectPath(QStringLiteral("COMP%1.DAT").arg(number, 0, 16)), {}));
    const QString installed = SavedCompany(QStringLiteral("Last One"));
    QCOMPARE(QFileInfo(installed).fileName(), QStringLiteral("COMP0.DAT"));
    const QByteArray original = ReadFile(installed);

    CScriptedPrompts prompts;
    CTestDocument doc;
    QVERIFY(doc.OpenDocumentFile(installed));
    doc.SetIntelligence(1);
    QVERIFY(doc.GetPathName().isEmpty());
    QCOMPARE(doc.GetTitle(), QStringLiteral("Last One"));
    prompts.AnswerMessage(MessageAnswer::Ok);
    doc.OnFileSave();
    QCOMPARE(prompts.Messages(), QStringList{QStringLiteral("Invalid filename.")});
    QVERIFY(doc.IsModified());
    QCOMPARE(ReadFile(installed), original);
}

void TestQuorvelDoc::saveLeavesAFileThatTookItsPath()
{
    CScriptedPrompts prompts;
    CTestDocument doc;
    QVERIFY(doc.FileNew());
    GiveDefaultFace(doc);
    doc.SetOwnerName(QStringLiteral("Second Editor"));
    const QString drawn = doc.GetPathName();

    // Another editor, drawing in the same second, saved its company there first.
    const QByteArray theirs = "another editor's company";
    QVERIFY(WriteFile(drawn, theirs));
    doc.OnFileSave();

    QCOMPARE(ReadFile(drawn), theirs);
    QVERIFY(doc.GetPathName() != drawn);
    QVERIFY(!doc.IsModified());
    QCOMPARE(doc.GetTitle(), QStringLiteral("Second Editor"));
    CTestDocument reread;
    QVERIFY(reread.OpenDocumentFile(doc.GetPathName()));
    QCOMPARE(reread.Record().GetOwnerName(), QStringLiteral("Second Editor"));
    QCOMPARE(m_objects.entryList(QDir::Files | QDir::Hidden).size(), 2);
    QVERIFY(prompts.Calls().isEmpty());
}

QTEST_GUILESS_MAIN(TestQuorvelDoc)
#include "tst_quorveldoc.moc"
