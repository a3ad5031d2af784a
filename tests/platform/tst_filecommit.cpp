// Whole-or-nothing writes that keep an existing file, through real files: what stands at the
// path afterwards, what is left beside it, and a file that takes the name during the write.

#include "platform/FileCommit.h"
#include "tests/support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace quorvel;
using namespace quorvel::test;

class TestFileCommit : public QObject
{
    Q_OBJECT

private slots:
    void writeWholeFile_data();
    void writeWholeFile();
};

void TestFileCommit::writeWholeFile_data()
{
    QTest::addColumn<QString>("before"); // "": nothing at the path; "file": another's file there
    QTest::addColumn<bool>("appears");   // another's file takes the path during the write
    QTest::addColumn<bool>("gives_up");  // the writer abandons the file half-way
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("after"); // what the path holds afterwards

    using S = CWriteResult::Status;
    const QByteArray ours = "ours";
    const QByteArray theirs = "theirs";
    QTest::newRow("free") << "" << false << false << int(S::written) << ours;
    QTest::newRow("taken before") << "file" << false << false << int(S::pathTaken) << theirs;
    QTest::newRow("taken while writing") << "" << true << false << int(S::pathTaken) << theirs;
    QTest::newRow("abandoned") << "" << false << true << int(S::notWritten) << QByteArray("<missing>");
}

void TestFileCommit::writeWholeFile()
{
    QFETCH(QString, before);
    QFETCH(bool, appears);
    QFETCH(bool, gives_up);
    QFETCH(int, status);
    QFETCH(QByteArray, after);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("COMP1a.DAT"));
    if (before == u"file")
        QVERIFY(WriteFile(path, "theirs"));

    const CWriteResult result = WriteWholeFile(
        path,
        [&](QIODevice &device) {
            device.write("our");
            if (appears && !WriteFile(path, "theirs"))
                return false;
            if (gives_up)
                return false;
            return device.write("s") == 1;
        },
        ExistingFile::keep);

    QCOMPARE(int(result.status), status);
    QCOMPARE(ReadFile(path), after);
    // Nothing but the one file at the path, and no temporary file beside it.
    const QStringList left = QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden
                                                         | QDir::NoDotAndDotDot);
    QCOMPARE(left, after == "<missing>" ? QStringList() : QStringList{"COMP1a.DAT"});

#ifdef Q_OS_UNIX
    // A name taken without replacing gets the permissions of any other saved file.
    if (result.Written()) {
        const QString other = dir.filePath(QStringLiteral("other"));
        QVERIFY(WriteWholeFile(other, [](QIODevice &d) { return d.write("x") == 1; }).Written());
        QCOMPARE(QFileInfo(path).permissions(), QFileInfo(other).permissions());
    }
#endif
}

QTEST_GUILESS_MAIN(TestFileCommit)
#include "tst_filecommit.moc"
