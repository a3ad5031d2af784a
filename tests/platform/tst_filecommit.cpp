// Whole-or-nothing writes through real files: what stands at the path afterwards, what is
// left beside it, a file that takes the name during the write, failed syncs, the leftovers of
// killed writes, and a set of files whose writer is killed. (Links and modes at the path, and
// names decoded with loss, are tested through quorvel-tool and the document.)

#include "platform/FileCommit.h"
#include "tests/support/TestFiles.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_LINUX
#include <cerrno>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace quorvel;
using namespace quorvel::test;

namespace {

std::function<bool(QIODevice &)> Writes(const QByteArray &bytes)
{
    return [bytes](QIODevice &device) { return device.write(bytes) == bytes.size(); };
}

bool SetAge(const QString &path, int minutes)
{
    QFile file(path);
    return file.open(QIODevice::ReadWrite)
           && file.setFileTime(QDateTime::currentDateTime().addSecs(-60 * minutes),
                               QFileDevice::FileModificationTime);
}

#ifdef Q_OS_LINUX
// Faults put into the calls the writes make: an I/O error from the sync of a file or of a
// folder, and the end of the process (as by kill -9) at a folder's sync or before a rename.
enum class ESyncFault { None, Files, Folders };
ESyncFault g_syncFault = ESyncFault::None;
bool g_exitAtFolderSync = false;
int g_renamesBeforeExit = -1; // -1: never
#endif

} // namespace

#ifdef Q_OS_LINUX
extern "C" int fsync(int fd)
{
    struct stat status{};
    const bool folder = ::fstat(fd, &status) == 0 && S_ISDIR(status.st_mode);
    if (folder && g_exitAtFolderSync)
        ::_exit(9);
    if ((g_syncFault == ESyncFault::Files && !folder)
        || (g_syncFault == ESyncFault::Folders && folder)) {
        errno = EIO;
        return -1;
    }
    return int(::syscall(SYS_fsync, fd));
}

extern "C" int renameat2(int fromFolder, const char *from, int toFolder, const char *to,
                         unsigned flags) noexcept
{
    if (g_renamesBeforeExit == 0)
        ::_exit(9);
    if (g_renamesBeforeExit > 0)
        --g_renamesBeforeExit;
    return int(::syscall(SYS_renameat2, fromFolder, from, toFolder, to, flags));
}
#endif

class TestFileCommit : public QObject
{
    Q_OBJECT

private slots:
    void writeWholeFile_data();
    void writeWholeFile();
    void leftoversRemoved_data();
    void leftoversRemoved();
#ifdef Q_OS_LINUX
    void failedSync_data();
    void failedSync();
    void killedWhileSwitching_data();
    void killedWhileSwitching();
#endif
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

void TestFileCommit::leftoversRemoved_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("age");         // minutes
    QTest::addColumn<int>("placeholder"); // age of an empty COMP1.DAT beside it; -1: none
    QTest::addColumn<bool>("removed");
    QTest::addColumn<bool>("placeholderRemoved");

    const QString temporary = QStringLiteral(".quorvel-0a1b2c3d.COMP1.DAT.tmp");
    QTest::newRow("temporary of two hours") << temporary << 120 << -1 << true << false;
    QTest::newRow("temporary of a minute") << temporary << 1 << -1 << false << false;
    QTest::newRow("temporary without a name") << ".quorvel-0a1b2c3d.tmp" << 120 << -1 << true << false;
    QTest::newRow("placeholder taken after it") << temporary << 120 << 119 << true << true;
    QTest::newRow("empty file older than it") << temporary << 120 << 180 << true << false;
    QTest::newRow("the user's file") << ".quorvel-notes.tmp" << 120 << -1 << false << false;
    QTest::newRow("another program's") << ".COMP1.DAT.x81kd" << 120 << -1 << false << false;
}

void TestFileCommit::leftoversRemoved()
{
    QFETCH(QString, name);
    QFETCH(int, age);
    QFETCH(int, placeholder);
    QFETCH(bool, removed);
    QFETCH(bool, placeholderRemoved);

    QTemporaryDir dir;
    const QString leftover = dir.filePath(name);
    const QString taken = dir.filePath(QStringLiteral("COMP1.DAT"));
    QVERIFY(WriteFile(leftover, "half a company") && SetAge(leftover, age));
    if (placeholder >= 0)
        QVERIFY(WriteFile(taken, QByteArray()) && SetAge(taken, placeholder));

    // Any write into the folder clears what killed writes left there.
    QVERIFY(WriteWholeFile(dir.filePath(QStringLiteral("COMP2.DAT")), Writes("x")).Written());

    QCOMPARE(QFileInfo::exists(leftover), !removed);
    QCOMPARE(QFileInfo::exists(taken), placeholder >= 0 && !placeholderRemoved);
    QVERIFY(QFileInfo::exists(dir.filePath(QStringLiteral("COMP2.DAT"))));
}

#ifdef Q_OS_LINUX
void TestFileCommit::failedSync_data()
{
    QTest::addColumn<QString>("write"); // "replace", "keep" (a fresh name) or "set"
    QTest::addColumn<int>("fault");
    QTest::addColumn<QByteArray>("after"); // what the path holds afterwards

    const int files = int(ESyncFault::Files), folders = int(ESyncFault::Folders);
    QTest::newRow("file, replacing") << "replace" << files << QByteArray("old");
    QTest::newRow("file, fresh name") << "keep" << files << QByteArray("<missing>");
    QTest::newRow("file, set") << "set" << files << QByteArray("old");
    QTest::newRow("folder, fresh name") << "keep" << folders << QByteArray("<missing>");
    QTest::newRow("folder, set") << "set" << folders << QByteArray("old");
}

void TestFileCommit::failedSync()
{
    QFETCH(QString, write);
    QFETCH(int, fault);
    QFETCH(QByteArray, after);

    // A sync that fails is a write that fails: the bytes may not be on the disk.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("COMP1.DAT"));
    if (write != u"keep")
        QVERIFY(WriteFile(path, "old"));
    g_syncFault = ESyncFault(fault);
    const CWriteResult result =
        write == u"set" ? WriteWholeFiles({{path, Writes("new")},
                                           {dir.filePath(QStringLiteral("second")), Writes("2")}})
                        : WriteWholeFile(path, Writes("new"),
                                         write == u"keep" ? ExistingFile::keep : ExistingFile::replace);
    g_syncFault = ESyncFault::None;

    QCOMPARE(int(result.status), int(CWriteResult::Status::notWritten));
    QCOMPARE(result.cause, FileErrorCause::hardIO);
    QCOMPARE(ReadFile(path), after);
    QCOMPARE(Entries(dir.path()), after == "<missing>" ? QStringList() : QStringList{"COMP1.DAT"});
}

void TestFileCommit::killedWhileSwitching_data()
{
    QTest::addColumn<int>("renames");      // done before the kill; -1: killed before the commit
    QTest::addColumn<QByteArray>("after"); // the set the folder holds once the next write ran
    QTest::newRow("before the set is committed") << -1 << QByteArray("old");
    QTest::newRow("committed, no name taken yet") << 0 << QByteArray("new");
    QTest::newRow("first file moved aside") << 1 << QByteArray("new");
    QTest::newRow("first file in place") << 2 << QByteArray("new");
    QTest::newRow("second file moved aside") << 3 << QByteArray("new");
}

void TestFileCommit::killedWhileSwitching()
{
    QFETCH(int, renames);
    QFETCH(QByteArray, after);

    QTemporaryDir dir;
    const QStringList names{QStringLiteral("default-64.png"), QStringLiteral("default-24.png")};
    std::vector<CFileToWrite> files;
    for (const QString &name : names) {
        QVERIFY(WriteFile(dir.filePath(name), "old " + name.toLatin1()));
        files.push_back({dir.filePath(name), Writes("new " + name.toLatin1())});
    }
    const pid_t child = ::fork();
    if (child == 0) {
        g_exitAtFolderSync = renames < 0;
        g_renamesBeforeExit = renames;
        WriteWholeFiles(files);
        ::_exit(0); // the kill never came
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 9);

    // The next write into the folder, whatever it writes, leaves one whole set there.
    QVERIFY(WriteWholeFile(dir.filePath(QStringLiteral("other")), Writes("x")).Written());
    for (const QString &name : names)
        QCOMPARE(ReadFile(dir.filePath(name)), after + ' ' + name.toLatin1());
    QCOMPARE(Entries(dir.path()), (QStringList{"default-24.png", "default-64.png", "other"}));
}
#endif

QTEST_GUILESS_MAIN(TestFileCommit)
#include "tst_filecommit.moc"
