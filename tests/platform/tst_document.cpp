// The document framework's new, open and save sequences through real files in a temporary
// folder, with a small document whose content is "DOC:" and a text.

#include "platform/Archive.h"
#include "platform/Document.h"
#include "tests/support/ScriptedPrompts.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <memory>

using namespace quorvel;
using namespace quorvel::test;

namespace {

class CTestDocument final : public CDocument
{
public:
    // The prompts the test installed, or the silent ones.
    CTestDocument() : CDocument(Prompts()) {}

    QByteArray content = "old";
    bool failWrite = false; // the device refuses the second half of the bytes
    int newCount = 0;
    QString titleAtNew;

    bool OnNewDocument() override
    {
        titleAtNew = GetTitle();
        if (!CDocument::OnNewDocument())
            return false;
        content = "new";
        ++newCount;
        SetTitle(QStringLiteral("Fresh"));
        return true;
    }

    void Serialize(CArchive &archive) override
    {
        if (archive.IsStoring()) {
            const QByteArray bytes = "DOC:" + content;
            const qsizetype half = bytes.size() / 2;
            archive.Write(bytes.constData(), half);
            SetModifiedFlag(false); // as a real document does, before the write is complete
            if (failWrite)
                throw CArchiveWriteError();
            archive.Write(bytes.constData() + half, bytes.size() - half);
            return;
        }
        QByteArray bytes(1 << 16, '\0');
        bytes.resize(archive.Read(bytes.data(), bytes.size()));
        if (bytes.startsWith("DOC:partial")) {
            content = "partial";
            throw CArchiveException(CArchiveException::badIndex);
        }
        if (!bytes.startsWith("DOC:"))
            throw CArchiveException(CArchiveException::badIndex);
        content = bytes.mid(4);
        SetModifiedFlag(false);
    }
};

class CCountingView final : public CView
{
public:
    int initialUpdates = 0;
    int updates = 0;
    void OnInitialUpdate() override { ++initialUpdates; }
    void OnUpdate() override { ++updates; }
};

bool WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray ReadFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QString Native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// The expected message: the file fills in %1 where the text has one.
QString Expected(const QString &text, const QString &path)
{
    return text.contains(u"%1") ? text.arg(Native(path)) : text;
}

} // namespace

class TestDocument : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void openSequence_data();
    void openSequence();
    void openRefusedBySaveModified();
    void openOfTheOpenFileOnlyActivates();
    void saveSequence_data();
    void saveSequence();
    void newSequence();
    void fileErrorTexts_data();
    void fileErrorTexts();
    void views();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_oldPath;
};

void TestDocument::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_oldPath = m_dir->filePath(QStringLiteral("old.doc"));
}

void TestDocument::cleanup()
{
    m_dir.reset();
}

void TestDocument::openSequence_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("wasModified");
    QTest::addColumn<QString>("message"); // %1 = the file; empty = none
    QTest::addColumn<QString>("outcome"); // opened, untouched, renewed

    for (bool modified : {false, true}) {
        const char *m = modified ? "modified" : "clean";
        QTest::addRow("good file, %s", m) << "good" << modified << "" << "opened";
        QTest::addRow("missing file, %s", m)
            << "missing" << modified << "%1 was not found." << "untouched";
        QTest::addRow("folder given, %s", m)
            << "folder" << modified << "Access to %1 was denied." << "untouched";
        QTest::addRow("parent is a file, %s", m)
            << "parentIsFile" << modified << "%1 contains an invalid path." << "untouched";
        QTest::addRow("rejected before change, %s", m)
            << "rejected" << modified << "Unexpected file format." << "renewed";
        QTest::addRow("rejected part-way, %s", m)
            << "partial" << modified << "Unexpected file format." << "renewed";
        QTest::addRow("empty file, %s", m)
            << "empty" << modified << "Unexpected file format." << "renewed";
        QTest::addRow("name decoded with loss, %s", m)
            << "unnamable" << modified << "The name of %1 is not valid UTF-8; rename it."
            << "untouched";
    }
}

void TestDocument::openSequence()
{
    QFETCH(QString, kind);
    QFETCH(bool, wasModified);
    QFETCH(QString, message);
    QFETCH(QString, outcome);

    QString path = m_dir->filePath(QStringLiteral("chosen.doc"));
    if (kind == u"good")
        QVERIFY(WriteFile(path, "DOC:hello"));
    else if (kind == u"rejected")
        QVERIFY(WriteFile(path, "XYZ:hello"));
    else if (kind == u"partial")
        QVERIFY(WriteFile(path, "DOC:partial"));
    else if (kind == u"empty")
        QVERIFY(WriteFile(path, ""));
    else if (kind == u"folder")
        QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("chosen.doc")));
    else if (kind == u"parentIsFile") {
        QVERIFY(WriteFile(m_dir->filePath(QStringLiteral("plain")), "x"));
        path = m_dir->filePath(QStringLiteral("plain/chosen.doc"));
    }
    else if (kind == u"unnamable")
        path = m_dir->filePath(QStringLiteral("\uFFFDchosen.doc")); // as Qt decodes "\xe9chosen.doc"

    CScriptedPrompts prompts;
    CTestDocument doc;
    CCountingView view;
    doc.AddView(&view);
    doc.SetPathName(m_oldPath);
    doc.SetTitle(QStringLiteral("Old"));
    doc.SetModifiedFlag(wasModified);
    if (wasModified)
        prompts.AnswerMessage(MessageAnswer::No); // "Save changes to Old?"
    if (!message.isEmpty())
        prompts.AnswerMessage(MessageAnswer::Ok);

    const bool opened = doc.OpenDocumentFile(path);

    QCOMPARE(opened, outcome == u"opened");
    QCOMPARE(prompts.PendingAnswers(), 0);
    const QStringList messages = prompts.Messages();
    if (message.isEmpty()) {
        QCOMPARE(messages.size(), wasModified ? 1 : 0);
    } else {
        QVERIFY(!messages.isEmpty());
        QCOMPARE(messages.last(), Expected(message, path));
        QCOMPARE(prompts.Calls().last().caption, QStringLiteral("Quorvel"));
        QCOMPARE(prompts.Calls().last().icon, MessageIcon::Warning);
    }
    QCOMPARE(prompts.WaitDepth(), 0);

    if (outcome == u"opened") {
        QCOMPARE(doc.content, QByteArray("hello"));
        QCOMPARE(doc.GetPathName(), path);
        QCOMPARE(doc.GetTitle(), QStringLiteral("chosen.doc"));
        QVERIFY(!doc.IsModified());
        QCOMPARE(view.initialUpdates, 1);
        QVERIFY(prompts.DeepestWait() > 0);
    } else if (outcome == u"untouched") {
        QCOMPARE(doc.content, QByteArray("old"));
        QCOMPARE(doc.GetPathName(), m_oldPath);
        QCOMPARE(doc.GetTitle(), QStringLiteral("Old"));
        QCOMPARE(doc.IsModified(), wasModified);
        QCOMPARE(doc.newCount, 0);
        QCOMPARE(view.initialUpdates, 0);
    } else {
        QCOMPARE(doc.newCount, 1);
        QCOMPARE(doc.titleAtNew, CDocument::DefaultTitle());
        QCOMPARE(doc.content, QByteArray("new"));
        QCOMPARE(doc.GetTitle(), QStringLiteral("Fresh"));
        QVERIFY(doc.GetPathName().isEmpty());
        QVERIFY(!doc.IsModified());
        QCOMPARE(view.initialUpdates, 0); // no refresh follows a failed open
    }
}

void TestDocument::openRefusedBySaveModified()
{
    const QString path = m_dir->filePath(QStringLiteral("chosen.doc"));
    QVERIFY(WriteFile(path, "DOC:hello"));
    CScriptedPrompts prompts;
    CTestDocument doc;
    doc.SetPathName(m_oldPath);
    doc.SetModifiedFlag(true);
    prompts.AnswerMessage(MessageAnswer::Cancel);

    QVERIFY(!doc.OpenDocumentFile(path));
    QCOMPARE(prompts.Calls().size(), 1);
    QCOMPARE(prompts.Calls().first().buttons, MessageButtons::YesNoCancel);
    QCOMPARE(doc.content, QByteArray("old"));
    QVERIFY(doc.IsModified());
    QCOMPARE(doc.GetPathName(), m_oldPath);
}

void TestDocument::openOfTheOpenFileOnlyActivates()
{
    QVERIFY(WriteFile(m_oldPath, "DOC:on disk"));
    CScriptedPrompts prompts; // any prompt fails the test
    CTestDocument doc;
    CCountingView view;
    doc.AddView(&view);
    doc.SetPathName(m_oldPath);
    doc.content = "in memory";
    doc.SetModifiedFlag(true);
    QSignalSpy activations(&doc, &CDocument::activateRequested);

    QVERIFY(doc.OpenDocumentFile(m_dir->path() + QStringLiteral("/./old.doc")));
    QCOMPARE(activations.size(), 1);
    QCOMPARE(doc.content, QByteArray("in memory"));
    QVERIFY(doc.IsModified());
    QCOMPARE(view.initialUpdates, 0);
    QVERIFY(prompts.Calls().isEmpty());
}

void TestDocument::saveSequence_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("message"); // %1 = the file; empty = saved

    QTest::newRow("new file") << "new" << "";
    QTest::newRow("replaces a file") << "existing" << "";
    QTest::newRow("folder missing") << "noFolder" << "%1 contains an invalid path.";
    QTest::newRow("parent is a file") << "parentIsFile" << "%1 contains an invalid path.";
    QTest::newRow("target is a folder") << "folder" << "Access to %1 was denied.";
    QTest::newRow("no path") << "empty" << "Invalid filename.";
    QTest::newRow("write fails half-way") << "writeFails" << "Failed to save document.";
    QTest::newRow("name decoded with loss") << "unnamable"
                                            << "The name of %1 is not valid UTF-8; rename it.";
}

void TestDocument::saveSequence()
{
    QFETCH(QString, kind);
    QFETCH(QString, message);

    QString path = m_dir->filePath(QStringLiteral("target.doc"));
    const QByteArray before = "DOC:what the user had";
    if (kind == u"existing" || kind == u"writeFails")
        QVERIFY(WriteFile(path, before));
    else if (kind == u"noFolder")
        path = m_dir->filePath(QStringLiteral("missing/target.doc"));
    else if (kind == u"parentIsFile") {
        QVERIFY(WriteFile(m_dir->filePath(QStringLiteral("plain")), "x"));
        path = m_dir->filePath(QStringLiteral("plain/target.doc"));
    } else if (kind == u"folder")
        QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("target.doc")));
    else if (kind == u"empty")
        path.clear();
    else if (kind == u"unnamable")
        path = m_dir->filePath(QStringLiteral("\uFFFDtarget.doc"));

    CScriptedPrompts prompts;
    CTestDocument doc;
    doc.SetPathName(m_oldPath);
    doc.content = "saved text";
    doc.failWrite = kind == u"writeFails";
    doc.SetModifiedFlag(true);
    if (!message.isEmpty())
        prompts.AnswerMessage(MessageAnswer::Ok);

    const bool saved = doc.DoSave(path);

    QCOMPARE(saved, message.isEmpty());
    QCOMPARE(prompts.PendingAnswers(), 0);
    QCOMPARE(prompts.WaitDepth(), 0);
    if (saved) {
        QVERIFY(prompts.Calls().isEmpty());
        QCOMPARE(ReadFile(path), QByteArray("DOC:saved text"));
        QVERIFY(!doc.IsModified());
        QCOMPARE(doc.GetPathName(), path);
        QCOMPARE(doc.GetTitle(), QStringLiteral("target.doc"));
    } else {
        QCOMPARE(prompts.Messages(), QStringList{Expected(message, path)});
        QCOMPARE(prompts.Calls().first().caption, QStringLiteral("Quorvel"));
        QVERIFY2(doc.IsModified(), "a failed save must leave the changes unsaved");
        QCOMPARE(doc.GetPathName(), m_oldPath);
        if (kind == u"writeFails")
            QCOMPARE(ReadFile(path), before);
        // Nothing half-written is left beside the target either.
        const QStringList left = QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden);
        for (const QString &name : left)
            QVERIFY2(name == u"target.doc" || name == u"plain", qPrintable(name));
    }
}

void TestDocument::newSequence()
{
    CScriptedPrompts prompts;
    CTestDocument doc;
    CCountingView view;
    doc.AddView(&view);
    doc.SetPathName(m_oldPath);
    doc.SetModifiedFlag(true);

    prompts.AnswerMessage(MessageAnswer::Cancel);
    QVERIFY(!doc.FileNew());
    QCOMPARE(doc.newCount, 0);
    QCOMPARE(doc.content, QByteArray("old"));
    QCOMPARE(view.initialUpdates, 0);

    prompts.AnswerMessage(MessageAnswer::No);
    QVERIFY(doc.FileNew());
    QCOMPARE(doc.newCount, 1);
    QCOMPARE(doc.titleAtNew, CDocument::DefaultTitle());
    QCOMPARE(doc.content, QByteArray("new"));
    QVERIFY(!doc.IsModified());
    QVERIFY(doc.GetPathName().isEmpty());
    QCOMPARE(view.initialUpdates, 1);

    // Unmodified: no prompt at all.
    QVERIFY(doc.FileNew());
    QCOMPARE(doc.newCount, 2);
    QCOMPARE(prompts.Calls().size(), 2);
}

void TestDocument::fileErrorTexts_data()
{
    QTest::addColumn<int>("systemError");
    QTest::addColumn<int>("qtError");
    QTest::addColumn<bool>("writing");
    QTest::addColumn<QString>("text");

    const int none = QFileDevice::NoError;
    QTest::newRow("too many files") << EMFILE << none << false
        << "%1 could not be opened because there are too many open files.";
    QTest::newRow("disk full") << ENOSPC << none << true << "Disk full while accessing %1.";
    QTest::newRow("file too large") << EFBIG << none << true << "Disk full while accessing %1.";
    QTest::newRow("hardware") << EIO << none << false
        << "A hardware I/O error was reported while accessing %1.";
    QTest::newRow("read-only fs") << EROFS << none << true << "Access to %1 was denied.";
    QTest::newRow("busy") << EBUSY << none << true
        << "A sharing violation occurred while accessing %1.";
    QTest::newRow("locks") << ENOLCK << none << false
        << "A locking violation occurred while accessing %1.";
    QTest::newRow("bad handle") << EBADF << none << false
        << "An invalid file handle was associated with %1.";
    QTest::newRow("name too long") << ENAMETOOLONG << none << true
        << "%1 contains an invalid path.";
    QTest::newRow("other errno") << EXDEV << none << true
        << "An unknown error occurred while accessing %1.";
    QTest::newRow("qt resource while writing") << 0 << int(QFileDevice::ResourceError) << true
        << "Disk full while accessing %1.";
    QTest::newRow("qt permissions") << 0 << int(QFileDevice::PermissionsError) << false
        << "Access to %1 was denied.";
    QTest::newRow("nothing known") << 0 << none << true << "";
}

void TestDocument::fileErrorTexts()
{
    QFETCH(int, systemError);
    QFETCH(int, qtError);
    QFETCH(bool, writing);
    QFETCH(QString, text);

    // An existing, readable, writable file: only the error numbers can tell the cause.
    QVERIFY(WriteFile(m_oldPath, "DOC:x"));
    const FileErrorCause cause = ClassifyFileError(
        m_oldPath, systemError, QFileDevice::FileError(qtError), writing);
    QCOMPARE(FileErrorText(cause, m_oldPath), Expected(text, m_oldPath));
}

void TestDocument::views()
{
    CTestDocument doc;
    CCountingView first;
    CCountingView second;
    doc.AddView(&first);
    doc.AddView(&second);
    doc.AddView(&second); // once only
    QCOMPARE(doc.Views().size(), 2);

    doc.UpdateAllViews(&first);
    QCOMPARE(first.updates, 0);
    QCOMPARE(second.updates, 1);

    {
        CCountingView passing;
        doc.AddView(&passing);
        QCOMPARE(passing.GetDocument(), &doc);
    }
    QCOMPARE(doc.Views().size(), 2); // a destroyed view leaves the list

    CTestDocument other;
    other.AddView(&second);
    QCOMPARE(doc.Views(), QList<CView *>{&first});
    QCOMPARE(second.GetDocument(), &other);

    auto shortLived = std::make_unique<CTestDocument>();
    CCountingView orphan;
    shortLived->AddView(&orphan);
    shortLived.reset();
    QCOMPARE(orphan.GetDocument(), nullptr);
}

QTEST_GUILESS_MAIN(TestDocument)
#include "tst_document.moc"
