// What the desktop runs: `quorvel-tool thumbnail` as a file manager's thumbnailer calls it, and
// the shell's completion of the tool's command lines, run in bash as a Tab press would.

#include "company/CompanyRecord.h"
#include "image/FaceFinder.h"
#include "image/Palette.h"
#include "tests/support/CompanyFiles.h"
#include "tests/support/ToolRun.h"

#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace quorvel;
using namespace quorvel::test;

namespace {

const QString kBashCompletion = QStringLiteral("/usr/share/bash-completion/bash_completion");

// Default face 64x64 index (x + 3y) mod 256, 24x24 index (5x + y) mod 256; the default face
// only when withDefault, a happy one always.
QByteArray PatternCompany(bool withDefault)
{
    CCompanyRecord record;
    record.SetNewCompanyDefaults();
    CSmallFace small;
    CLargeFace large;
    for (int y = 0; y < kLargeFaceSide; ++y)
        for (int x = 0; x < kLargeFaceSide; ++x)
            large[std::size_t(y * kLargeFaceSide + x)] = std::uint8_t(x + 3 * y);
    for (int y = 0; y < kSmallFaceSide; ++y)
        for (int x = 0; x < kSmallFaceSide; ++x)
            small[std::size_t(y * kSmallFaceSide + x)] = std::uint8_t(5 * x + y);
    record.SetFaces(2, small.data(), large.data());
    if (withDefault)
        record.SetFaces(1, small.data(), large.data());
    return RecordBytes(record);
}

// What the completion offers for a command line typed up to its end.
QStringList Complete(const QString &line, const QString &folder)
{
    const QString script = QStringLiteral(
        ". '%1' && . '%2' && COMP_LINE=\"$1\" && COMP_POINT=${#COMP_LINE} && "
        "read -ra COMP_WORDS <<<\"$1\" && { [[ $1 != *' ' ]] || COMP_WORDS+=(''); } && "
        "COMP_CWORD=$((${#COMP_WORDS[@]} - 1)) && "
        "complete -p quorvel-tool | grep -q -- '-F _quorvel_tool' && "
        "_quorvel_tool quorvel-tool 2>/dev/null; printf '%s\\n' \"${COMPREPLY[@]}\"")
        .arg(kBashCompletion, QStringLiteral(QUORVEL_COMPLETION));
    const CToolRun run = RunProgram(QStringLiteral("bash"), {QStringLiteral("-c"), script,
                                                             QStringLiteral("bash"), line},
                                    QProcessEnvironment::systemEnvironment(), folder);
    QStringList words = run.out.split(u'\n', Qt::SkipEmptyParts);
    words.sort();
    return words;
}

} // namespace

class TestToolDesktop : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void thumbnail_data();
    void thumbnail();
    void thumbnailRefuses_data();
    void thumbnailRefuses();
    void completion_data();
    void completion();
    void completionKnowsEveryOption();

private:
    QTemporaryDir m_dir;
};

void TestToolDesktop::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(WriteFile(m_dir.filePath(QStringLiteral("face.company")), PatternCompany(true)));
    QVERIFY(WriteFile(m_dir.filePath(QStringLiteral("COMP1a.DAT")), PatternCompany(false)));
    QVERIFY(WriteFile(m_dir.filePath(QStringLiteral("bad.company")), "not a company"));
    QVERIFY(WriteFile(m_dir.filePath(QStringLiteral("photo.JPG")), "x"));
    QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("faces")));
}

void TestToolDesktop::thumbnail_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("size"); // the --size arguments
    QTest::addColumn<int>("side");         // of the face drawn
    QTest::addColumn<int>("grow");         // pixels per face pixel
    QTest::addColumn<int>("step");         // face pixels per pixel

    const QString face = QStringLiteral("face.company");
    QTest::newRow("default size") << face << QStringList{} << 64 << 2 << 1;
    QTest::newRow("the largest") << face << QStringList{"--size", "512"} << 64 << 8 << 1;
    QTest::newRow("more than the largest") << face << QStringList{"--size", "1024"} << 64 << 8 << 1;
    QTest::newRow("between steps") << face << QStringList{"--size", "200"} << 64 << 3 << 1;
    QTest::newRow("exactly the face") << face << QStringList{"--size", "64"} << 64 << 1 << 1;
    QTest::newRow("small face below 64") << face << QStringList{"--size", "63"} << 24 << 2 << 1;
    QTest::newRow("below the small face") << face << QStringList{"--size", "16"} << 24 << 1 << 2;
    QTest::newRow("one pixel") << face << QStringList{"--size", "1"} << 24 << 1 << 24;
    QTest::newRow("no default face") << "COMP1a.DAT" << QStringList{} << 64 << 2 << 1;
}

void TestToolDesktop::thumbnail()
{
    QFETCH(QString, file);
    QFETCH(QStringList, size);
    QFETCH(int, side);
    QFETCH(int, grow);
    QFETCH(int, step);

    const QString out = m_dir.filePath(QStringLiteral("thumb.png"));
    const CToolRun run = RunTool(QStringList{"thumbnail", m_dir.filePath(file), out} + size,
                                 ToolEnvironment());
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, out + u'\n');
    const QImage image(out, "png");
    const int expected = (side * grow + step - 1) / step;
    QCOMPARE(image.size(), QSize(expected, expected));

    // Every pixel is a face pixel: repeated, or every step-th, never blended.
    const bool crossed = file != u"face.company";
    for (int y = 0; y < expected; ++y) {
        for (int x = 0; x < expected; ++x) {
            const int fx = x * step / grow;
            const int fy = y * step / grow;
            CRgbTriple want;
            if (crossed) {
                // The editor's box: dark red (index 62) crossed by two black diagonals, each
                // line without its end point.
                if (!((fx == fy && fx > 0) || (fx + fy == side - 1 && fy > 0)))
                    want = PaletteEntry(62);
            } else {
                want = PaletteEntry(side == 64 ? fx + 3 * fy : 5 * fx + fy);
            }
            const QColor got = image.pixelColor(x, y);
            if (CRgbTriple(std::uint8_t(got.red()), std::uint8_t(got.green()),
                           std::uint8_t(got.blue())) != want)
                QFAIL(qPrintable(QStringLiteral("pixel %1,%2 is %3").arg(x).arg(y).arg(got.name())));
        }
    }
}

void TestToolDesktop::thumbnailRefuses_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");

    QTest::newRow("malformed") << QStringList{"bad.company", "out.png"} << 1
                               << "bad.company: Unexpected file format.";
    QTest::newRow("missing") << QStringList{"none.company", "out.png"} << 1 << "none.company was not found.";
    QTest::newRow("no output") << QStringList{"face.company"} << 2 << "a company file and an output file";
    QTest::newRow("size zero") << QStringList{"face.company", "out.png", "--size", "0"} << 2 << "--size takes";
    QTest::newRow("size not a number") << QStringList{"face.company", "out.png", "--size", "big"} << 2
                                       << "--size takes";
    QTest::newRow("over its input") << QStringList{"face.company", "./face.company"} << 2 << "face.company";
}

void TestToolDesktop::thumbnailRefuses()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    const QByteArray before = ReadFile(m_dir.filePath(QStringLiteral("face.company")));
    const CToolRun run = RunTool(QStringList{"thumbnail"} + args, ToolEnvironment(), m_dir.path());
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    QVERIFY(run.out.isEmpty());
    QVERIFY(!QFile::exists(m_dir.filePath(QStringLiteral("out.png"))));
    QCOMPARE(ReadFile(m_dir.filePath(QStringLiteral("face.company"))), before);
}

void TestToolDesktop::completion_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("words");

    QTest::newRow("a command") << "quorvel-tool n" << QStringList{"new"};
    QTest::newRow("an option") << "quorvel-tool thumbnail --s" << QStringList{"--size"};
    QTest::newRow("expression names")
        << "quorvel-tool new -o a.company --face d" << QStringList{"default=", "depressed="};
    QTest::newRow("the picture of an expression")
        << "quorvel-tool new --face happy=ph" << QStringList{"happy=photo.JPG"};
    QTest::newRow("company files, by content's names")
        << "quorvel-tool info " << QStringList{"COMP1a.DAT", "bad.company", "face.company", "faces"};
    QTest::newRow("a folder for faces") << "quorvel-tool faces face.company -o " << QStringList{"faces"};
    QTest::newRow("ratings") << "quorvel-tool new --intelligence 9" << QStringList{"9"};
}

void TestToolDesktop::completion()
{
    QFETCH(QString, line);
    QFETCH(QStringList, words);
    QVERIFY2(QFile::exists(kBashCompletion), "bash-completion is not installed (./dev.sh installs it)");
    QCOMPARE(Complete(line, m_dir.path()), words);
}

void TestToolDesktop::completionKnowsEveryOption()
{
    // The tool's own help is the list: every command, and each command's every option.
    const CToolRun help = RunTool({QStringLiteral("--help")}, ToolEnvironment());
    QStringList commands;
    static const QRegularExpression commandLine(QStringLiteral("^  ([a-z-]+)  "),
                                                QRegularExpression::MultilineOption);
    for (auto it = commandLine.globalMatch(help.out.section(QStringLiteral("Commands:"), 1)); it.hasNext();)
        commands << it.next().captured(1);
    QVERIFY(commands.size() >= 9);
    QStringList expected = commands + QStringList{"--help", "--version"};
    // The completion file is the same whether or not the face finder was built in.
    if (!FaceFinderBuiltIn())
        expected << QStringLiteral("find-faces");
    expected.sort();
    QCOMPARE(Complete(QStringLiteral("quorvel-tool "), m_dir.path()), expected);

    static const QRegularExpression option(QStringLiteral("^  (?:(-[a-z]), )?(--[a-z-]+)"),
                                           QRegularExpression::MultilineOption);
    for (const QString &command : commands) {
        const CToolRun commandHelp = RunTool({command, QStringLiteral("--help")}, ToolEnvironment());
        QStringList options;
        for (auto it = option.globalMatch(commandHelp.out); it.hasNext();) {
            const QRegularExpressionMatch match = it.next();
            options << match.captured(2);
            if (!match.captured(1).isEmpty() && match.captured(1) != u"-h")
                options << match.captured(1);
        }
        if (!FaceFinderBuiltIn() && command == u"new")
            options << QStringLiteral("--faces-from") << QStringLiteral("--whole-if-no-face");
        options.sort();
        QStringList offered = Complete(QStringLiteral("quorvel-tool %1 -").arg(command), m_dir.path());
        QCOMPARE(offered, options);
    }
}

QTEST_GUILESS_MAIN(TestToolDesktop)
#include "tst_tool_desktop.moc"
