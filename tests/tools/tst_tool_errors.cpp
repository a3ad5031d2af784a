// quorvel-tool's writing commands when writing goes wrong or the output's name is taken: a full
// disk (a small tmpfs of the tool's own), a standard output that cannot be written, names the
// system cannot carry in Qt's strings, and links and modes at the output's name.

#include "tests/support/CompanyFiles.h"
#include "tests/support/ToolRun.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

using namespace quorvel;
using namespace quorvel::test;

namespace {

// "new" writes its company, "faces" its pictures, into OUT; "import" installs into it.
QStringList CommandInto(const QString &command, const QString &out, const QString &company,
                        const QString &photo)
{
    if (command == u"export")
        return {command, company, QStringLiteral("-o"), out};
    if (command == u"new") {
        QStringList args{command, QStringLiteral("-o"), out};
        for (const char *expression : {"default", "happy", "worried", "thinking"})
            args << QStringLiteral("--face") << QLatin1String(expression) + u'=' + photo;
        return args;
    }
    if (command == u"reduce")
        return {command, photo, out};
    if (command == u"faces")
        return {command, company, QStringLiteral("-o"), out};
    return {command, company, QStringLiteral("--objdata"), out};
}

} // namespace

class TestToolErrors : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void fullDisk_data();
    void fullDisk();
    void outputErrors_data();
    void outputErrors();
    void unnamableNames_data();
    void unnamableNames();
    void linksAndModes_data();
    void linksAndModes();

private:
    QTemporaryDir m_dir;
    QString m_company;
    QString m_photo; // 160 x 160, so that its reduced PNG does not fit in 4 KiB
    bool m_canMount = false;
};

void TestToolErrors::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_company = m_dir.filePath(QStringLiteral("brenda.company"));
    // Every expression: larger than Qt's write buffer, so a full disk cuts a write short.
    QVERIFY(WriteFile(m_company, CompanyBytes(QStringLiteral("Brenda Vale"), 0x1FF)));
    m_photo = m_dir.filePath(QStringLiteral("photo.ppm"));
    QByteArray pixels;
    for (int i = 0; i < 160 * 160 * 3; ++i)
        pixels += char((i * 37) % 251);
    QVERIFY(WriteFile(m_photo, QByteArrayLiteral("P6 160 160 255\n") + pixels));
    // A tmpfs needs a mount namespace, which a user namespace gives without privileges.
    m_canMount = RunProgram(QStringLiteral("unshare"),
                            {"-rm", "sh", "-c", "mount -t tmpfs tmpfs \"$0\"", m_dir.path()},
                            ToolEnvironment()).exitCode == 0;
}

void TestToolErrors::fullDisk_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("kib");    // the size of the disk written to
    QTest::addColumn<bool>("limit"); // a file size limit instead (ulimit -f, in blocks)
    for (const char *command : {"export", "new", "reduce", "import"})
        QTest::newRow(command) << QString::fromLatin1(command) << 4 << false;
    // Room for the first picture, not for the second.
    QTest::newRow("faces") << "faces" << 8 << false;
    // The limit's signal would end the tool and leave its temporary behind.
    QTest::newRow("export past the file size limit") << "export" << 8 << true;
}

void TestToolErrors::fullDisk()
{
    QFETCH(QString, command);
    QFETCH(int, kib);
    QFETCH(bool, limit);
    if (!m_canMount && !limit)
        QSKIP("no mount namespace to make a small tmpfs in");

    QTemporaryDir disk;
    const QString out = command == u"faces" || command == u"import"
                            ? disk.path()
                            : disk.filePath(command == u"reduce" ? QStringLiteral("out.png")
                                                                 : QStringLiteral("out.company"));
    // The tool runs with the disk mounted; what it leaves there is listed after a marker.
    const QString script =
        (limit ? QStringLiteral("ulimit -f \"$1\"; ")
               : QStringLiteral("mount -t tmpfs -o size=\"$1\"k tmpfs \"$2\" || exit 97; "))
        + QStringLiteral("disk=$2; shift 2; \"$@\"; status=$?; echo '-- left:' >&2; "
                         "ls -A \"$disk\" >&2; exit $status");
    const QStringList program = limit ? QStringList{"sh"} : QStringList{"unshare", "-rm", "sh"};
    const CToolRun run = RunProgram(
        program.first(),
        program.mid(1)
            + QStringList{"-c", script, "sh", QString::number(kib), disk.path(), QStringLiteral(QUORVEL_TOOL)}
            + CommandInto(command, out, m_company, m_photo),
        ToolEnvironment());

    QCOMPARE(run.exitCode, 1);
    const QStringList said = run.err.split(QStringLiteral("-- left:\n"));
    QCOMPARE(said.size(), 2);
    QVERIFY2(said[0].contains(QStringLiteral("Disk full while accessing ")), qPrintable(said[0]));
    QCOMPARE(said[0].count(u'\n'), 1);
    QVERIFY(run.out.isEmpty());
    QCOMPARE(said[1], QString()); // nothing left on the disk
}

void TestToolErrors::outputErrors_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("redirection");
    QTest::addColumn<QString>("reason");
    QTest::newRow("list to a full device") << QStringList{"list", "--json", "--objdata", "."}
                                           << ">/dev/full" << "No space left on device";
    QTest::newRow("info with no standard output") << QStringList{"info", "brenda.company"}
                                                  << ">&-" << "Bad file descriptor";
    QTest::newRow("export with no standard output")
        << QStringList{"export", "brenda.company", "-o", "copy.company"} << ">&-"
        << "Bad file descriptor";
}

void TestToolErrors::outputErrors()
{
    QFETCH(QStringList, args);
    QFETCH(QString, redirection);
    QFETCH(QString, reason);

    const CToolRun run = RunProgram(
        QStringLiteral("sh"),
        QStringList{"-c", QStringLiteral("\"$@\" %1").arg(redirection), "sh",
                    QStringLiteral(QUORVEL_TOOL)} + args,
        ToolEnvironment(), m_dir.path());
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.err, QStringLiteral("quorvel-tool: could not write to standard output: %1.\n")
                          .arg(reason));
    // The file a command wrote is written all the same, and did not take the stream's place.
    if (args.contains(QStringLiteral("copy.company")))
        QCOMPARE(ReadFile(m_dir.filePath(QStringLiteral("copy.company"))), ReadFile(m_company));
}

void TestToolErrors::unnamableNames_data()
{
    // Shell words after the tool's name; $C is the company file. \351 is é in Latin-1.
    QTest::addColumn<QString>("words");
    QTest::addColumn<QString>("shown");
    QTest::newRow("faces into such a folder")
        << "faces \"$C\" -o \"$(printf '\\351t\\351/f')\"" << "\\xe9t\\xe9/f";
    QTest::newRow("export to such a file")
        << "export \"$C\" -o \"$(printf 'x\\377.company')\"" << "x\\xff.company";
    QTest::newRow("info of such a file")
        << "info \"$(printf '\\351.company')\"" << "\\xe9.company";
    QTest::newRow("a face of such a picture")
        << "new -o out.company --face \"default=$(printf '\\351.ppm')\"" << "default=\\xe9.ppm";
}

void TestToolErrors::unnamableNames()
{
    QFETCH(QString, words);
    QFETCH(QString, shown);

    QTemporaryDir work;
    QProcessEnvironment env = ToolEnvironment();
    env.insert(QStringLiteral("C"), m_company);
    const QString setUp = QStringLiteral("cp \"$C\" \"$(printf '\\351.company')\" && "
                                         "cp \"$C\" \"$(printf '\\357\\277\\275.company')\" && ");
    const CToolRun run = RunProgram(
        QStringLiteral("sh"),
        {"-c", setUp + QStringLiteral("exec \"$0\" ") + words,
         QStringLiteral(QUORVEL_TOOL)},
        env, work.path());

    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.err, shown + QStringLiteral(": the name of this file is not valid UTF-8; rename it.\n"));
    QVERIFY(run.out.isEmpty());
    // Nothing is written, under the name given or the one Qt would have made of it: the
    // folder holds the two companies it started with. Qt shows both names alike and cannot
    // remove the first, so the file system is asked directly.
    namespace fs = std::filesystem;
    std::vector<std::string> left;
    for (const fs::directory_entry &entry : fs::directory_iterator(work.path().toStdString()))
        left.push_back(entry.path().filename().native());
    std::sort(left.begin(), left.end());
    fs::remove_all(work.path().toStdString());
    QCOMPARE(left, (std::vector<std::string>{"\xe9.company", "\xef\xbf\xbd.company"}));
}

void TestToolErrors::linksAndModes_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("before"); // at the output's name: a link, a dangling link, a private file
    for (const char *command : {"export", "new", "reduce", "faces"}) {
        for (const char *before : {"link", "dangling", "private"})
            QTest::addRow("%s, %s", command, before) << QString::fromLatin1(command)
                                                      << QString::fromLatin1(before);
    }
}

void TestToolErrors::linksAndModes()
{
    QFETCH(QString, command);
    QFETCH(QString, before);

    // The one rule for every write: a link is replaced itself, never written through, and a
    // file's permissions pass to the file that replaces it.
    QTemporaryDir out;
    QTemporaryDir elsewhere;
    const bool faces = command == u"faces";
    const QString target = out.filePath(faces ? QStringLiteral("default-64.png") : QStringLiteral("out"));
    const QString theirs = elsewhere.filePath(QStringLiteral("theirs"));
    if (before == u"link")
        QVERIFY(WriteFile(theirs, "theirs"));
    if (before == u"private")
        QVERIFY(WriteFile(target, "old") && QFile::setPermissions(target, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    else
        QVERIFY(QFile::link(theirs, target));
    const QFileDevice::Permissions permissions = QFileInfo(target).permissions();

    const CToolRun run = RunTool(CommandInto(command, faces ? out.path() : target, m_company, m_photo),
                                 ToolEnvironment());
    QCOMPARE(run.exitCode, 0);
    QVERIFY(!QFileInfo(target).isSymLink() && QFileInfo(target).size() > 100);
    QCOMPARE(Entries(elsewhere.path()), before == u"link" ? QStringList{"theirs"} : QStringList());
    if (before == u"link")
        QCOMPARE(ReadFile(theirs), QByteArray("theirs"));
    if (before == u"private")
        QCOMPARE(QFileInfo(target).permissions(), permissions);
}

QTEST_GUILESS_MAIN(TestToolErrors)
#include "tst_tool_errors.moc"
