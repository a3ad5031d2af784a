// The document's undo history, on a document built here with scripted prompts and folders of
// the test's own: each kind of change, its undo and its redo, compared as the bytes the
// company would be written as; the clean state and the fresh path after it.

#include "company/CompanyFile.h"
#include "company/QuorvelDoc.h"
#include "tests/support/CompanyFiles.h"
#include "tests/support/ScriptedPrompts.h"
#include "tests/support/TestDocument.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

using namespace quorvel;
using namespace quorvel::test;

namespace {

using Change = std::function<void(CQuorvelDoc &)>;

void Faces(CQuorvelDoc &doc, std::uint32_t bit, std::uint8_t value)
{
    CSmallFace small;
    CLargeFace large;
    small.fill(value);
    large.fill(std::uint8_t(value + 1));
    doc.SetFaces(bit, small.data(), large.data());
}

} // namespace

class TestUndo : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void steps_data();
    void steps();
    void cleanStateAndFreshPath();
    void newAndOpenClearTheHistory();

private:
    QTemporaryDir m_objects;
    QTemporaryDir m_documents;
    std::unique_ptr<CFixedFolders> m_folders;
};

void TestUndo::init()
{
    qputenv("SOURCE_DATE_EPOCH", "1087226820"); // 2004-06-14 15:27 UTC
    m_folders = std::make_unique<CFixedFolders>(m_objects.path(), m_documents.path());
}

void TestUndo::steps_data()
{
    QTest::addColumn<Change>("change");
    QTest::addColumn<QString>("step"); // the undo action's name for it
    QTest::addColumn<int>("steps");    // how many undos take the company back

    QTest::newRow("typing in one box is one step") << Change([](CQuorvelDoc &doc) {
        for (const char *text : {"B", "Br", "Bre"})
            doc.SetOwnerName(QString::fromLatin1(text));
    }) << "Typing in Owner Name" << 1;
    QTest::newRow("typing in two boxes is two") << Change([](CQuorvelDoc &doc) {
        doc.SetSpecificWord(QStringLiteral("Va"));
        doc.SetSpecificWord(QStringLiteral("Val"));
        doc.SetOwnerName(QStringLiteral("B"));
    }) << "Typing in Owner Name" << 2;
    QTest::newRow("a slider's drag is one step") << Change([](CQuorvelDoc &doc) {
        for (int value : {6, 7, 8})
            doc.SetIntelligence(value, EStepMerge::SameControl);
    }) << "Change Intelligence" << 1;
    QTest::newRow("two drags are two") << Change([](CQuorvelDoc &doc) {
        doc.SetAggressiveness(6, EStepMerge::SameControl);
        doc.CloseLastStep();
        doc.SetAggressiveness(2, EStepMerge::SameControl);
    }) << "Change Aggressiveness" << 2;
    QTest::newRow("key steps of a slider stay apart") << Change([](CQuorvelDoc &doc) {
        doc.SetCompetitiveness(6);
        doc.SetCompetitiveness(7);
    }) << "Change Competitiveness" << 2;
    QTest::newRow("a tick") << Change([](CQuorvelDoc &doc) {
        doc.SetSecondWordAllowed(0x4, false);
    }) << "Change Second Words" << 1;
    QTest::newRow("a named step of many changes") << Change([](CQuorvelDoc &doc) {
        doc.SetFirstWordAllowed(0x1, false);
        const CQuorvelDoc::CStep step(doc, QStringLiteral("Select All First Words"));
        for (std::uint32_t bit = 1; bit <= 0x1000; bit <<= 1)
            doc.SetFirstWordAllowed(bit, true);
    }) << "Select All First Words" << 2;
    QTest::newRow("a grabbed face") << Change([](CQuorvelDoc &doc) {
        const CQuorvelDoc::CStep step(doc, QStringLiteral("Grab Happy Face"));
        Faces(doc, 0x2, 40);
        doc.SetOwnerName(doc.Record().GetOwnerName()); // the rest of the form, unchanged
    }) << "Grab Happy Face" << 1;
    QTest::newRow("turn off") << Change([](CQuorvelDoc &doc) {
        doc.SetFaces(0x100, nullptr, nullptr);
    }) << "Turn Off Repulsed Face" << 1;
    QTest::newRow("a face set again unchanged is still a step") << Change([](CQuorvelDoc &doc) {
        Faces(doc, 0x1, 10);
    }) << "Set Default Face" << 1;
}

void TestUndo::steps()
{
    QFETCH(Change, change);
    QFETCH(QString, step);
    QFETCH(int, steps);

    CScriptedPrompts prompts;
    CQuorvelDoc doc(prompts, *m_folders);
    QVERIFY(doc.FileNew());
    // A company with faces to change and to turn off, its history cleared as an opened one's.
    Faces(doc, 0x1, 10);
    Faces(doc, 0x100, 20);
    doc.UndoStack().clear();
    const QByteArray before = RecordBytes(doc.Record());

    change(doc);
    const QByteArray after = RecordBytes(doc.Record());
    QCOMPARE(doc.UndoStack().count(), steps);
    QCOMPARE(doc.UndoStack().undoText(), step);
    QVERIFY(doc.IsModified());

    for (int i = 0; i < steps; ++i)
        doc.UndoStack().undo();
    QCOMPARE(RecordBytes(doc.Record()), before);
    for (int i = 0; i < steps; ++i)
        doc.UndoStack().redo();
    QCOMPARE(RecordBytes(doc.Record()), after);
    QVERIFY(prompts.Calls().isEmpty());
}

void TestUndo::cleanStateAndFreshPath()
{
    CScriptedPrompts prompts;
    CQuorvelDoc doc(prompts, *m_folders);
    QVERIFY(doc.FileNew());
    Faces(doc, 0x1, 10);
    doc.SetOwnerName(QStringLiteral("Brenda Vale"));
    doc.OnFileSave();
    const QString saved = doc.GetPathName();
    QVERIFY(QFileInfo(saved).isFile());
    QVERIFY(!doc.IsModified());
    QVERIFY(doc.UndoStack().isClean());

    // A change takes a fresh path; undoing it is the saved company again.
    doc.SetIntelligence(9);
    const QString first = doc.GetPathName();
    QVERIFY(first != saved);
    QVERIFY(doc.IsModified());
    doc.UndoStack().undo();
    QVERIFY(!doc.IsModified());
    QCOMPARE(doc.Record().GetIntelligence(), 5);
    QCOMPARE(doc.GetTitle(), QStringLiteral("Brenda Vale"));
    doc.OnFileSave(); // nothing to save
    QCOMPARE(QDir(m_objects.path()).entryList(QDir::Files).size(), 1);

    // Going forward again is a change like any other, and takes a path of its own.
    QVERIFY(WriteFile(first, "someone else's")); // a file took the first one meanwhile
    doc.UndoStack().redo();
    QVERIFY(doc.IsModified());
    QVERIFY(doc.GetPathName() != first && doc.GetPathName() != saved);

    // Undoing past the save leaves the company changed from what is on the disk.
    doc.UndoStack().undo();
    doc.UndoStack().undo();
    QVERIFY(doc.IsModified());
    QCOMPARE(doc.Record().GetOwnerName(), QStringLiteral("Owner Name"));
    QVERIFY(prompts.Calls().isEmpty());
}

void TestUndo::newAndOpenClearTheHistory()
{
    CScriptedPrompts prompts;
    CQuorvelDoc doc(prompts, *m_folders);
    QVERIFY(doc.FileNew());
    doc.SetOwnerName(QStringLiteral("Gone"));
    prompts.AnswerMessage(MessageAnswer::Yes); // "Continue?" without a default face
    QVERIFY(doc.FileNew());
    QCOMPARE(doc.UndoStack().count(), 0);
    QVERIFY(!doc.IsModified());

    const QString file = QDir(m_documents.path()).filePath(QStringLiteral("other.company"));
    QVERIFY(WriteFile(file, CompanyBytes(QStringLiteral("Other"))));
    doc.SetIntelligence(2);
    prompts.AnswerMessage(MessageAnswer::Yes);
    QVERIFY(doc.OpenDocumentFile(file));
    QCOMPARE(doc.UndoStack().count(), 0);
    QCOMPARE(doc.Record().GetOwnerName(), QStringLiteral("Other"));
}

QTEST_GUILESS_MAIN(TestUndo)
#include "tst_undo.moc"
