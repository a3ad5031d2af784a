// quorvel-tool's face finding, run as a user would: find-faces and its JSON, new with @face and
// @faceN, and new --faces-from a folder named by expression. Photos from opencv-doc and
// mate-backgrounds.

#include "image/FaceFinder.h"
#include "tests/support/ToolRun.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

using namespace quorvel;

namespace {

const QString kPortrait = QStringLiteral("/usr/share/doc/opencv-doc/opencv4/html/227943776_1.jpg");
const QString kTwelveFaces = QStringLiteral("/usr/share/doc/opencv-doc/opencv4/html/3.jpg");
const QString kLandscape = QStringLiteral("/usr/share/backgrounds/mate/nature/Aqua.jpg");

CToolRun Run(const QStringList &args)
{
    return RunTool(args, ToolEnvironment(QStringLiteral("1087225620")));
}

QByteArray Contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestToolFaces : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void findFaces();
    void cutAtFace_data();
    void cutAtFace();
    void facesFrom_data();
    void facesFrom();

private:
    QString Path(const QString &name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
};

void TestToolFaces::initTestCase()
{
    if (!FaceFinderBuiltIn())
        QSKIP("built without the face finder (QUORVEL_FACES off)");
    for (const QString &path : {kPortrait, kTwelveFaces, kLandscape}) {
        if (!QFileInfo::exists(path))
            QSKIP(qPrintable(path + " is missing: ./dev.sh test installs the photos' packages"));
    }
    QVERIFY(m_dir.isValid());
    // Large enough that the search decodes it small while new decodes it whole for the cut.
    const QImage portrait(kPortrait);
    QVERIFY(portrait.scaled(2170, 2170, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                .save(Path("large.jpg"), "jpeg", 90));
}

void TestToolFaces::findFaces()
{
    const CToolRun json = Run({"find-faces", "--json", kPortrait, kLandscape, kTwelveFaces});
    QCOMPARE(json.exitCode, 0);
    const QJsonArray rows = QJsonDocument::fromJson(json.out.toUtf8()).array();
    QVERIFY(rows.size() >= 11); // one face in the portrait, none in the landscape, most of twelve
    const QJsonObject first = rows.first().toObject();
    QCOMPARE(first.value("file").toString(), kPortrait);
    QVERIFY(first.value("score").toDouble() > kFaceScoreThreshold);
    const QJsonArray square = first.value("square").toArray();
    const QJsonArray detection = first.value("detection").toArray();
    QCOMPARE(square.size(), 4);
    QCOMPARE(detection.size(), 4);
    // The head, hair to chin and ear to ear, is about (125, 30) to (290, 300) by eye: the square
    // holds it whole and is not much larger.
    QVERIFY(square[0].toInt() <= 125 && square[1].toInt() <= 30);
    QVERIFY(square[2].toInt() >= 290 && square[3].toInt() >= 300);
    QVERIFY(square[2].toInt() - square[0].toInt() <= 2.5 * 270);
    QCOMPARE(square[2].toInt() - square[0].toInt(), square[3].toInt() - square[1].toInt());
    for (const QJsonValue &row : rows)
        QVERIFY(row.toObject().value("file").toString() != kLandscape);

    // The text says the same, and names the picture without a face.
    const CToolRun text = Run({"find-faces", kPortrait, kLandscape});
    QCOMPARE(text.exitCode, 0);
    const QStringList lines = text.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    const QStringList fields = lines[0].split(QLatin1Char('\t'));
    QCOMPARE(fields[1], QStringLiteral("%1,%2,%3,%4").arg(square[0].toInt()).arg(square[1].toInt())
                            .arg(square[2].toInt()).arg(square[3].toInt()));
    QCOMPARE(lines[1], kLandscape + QStringLiteral("\tno face found"));

    // An unreadable picture is reported; the others are still searched.
    const CToolRun missing = Run({"find-faces", Path("gone.jpg"), kPortrait});
    QCOMPARE(missing.exitCode, 1);
    QVERIFY(missing.err.contains("gone.jpg"));
    QVERIFY(missing.out.startsWith(kPortrait));
}

void TestToolFaces::cutAtFace_data()
{
    QTest::addColumn<QString>("face");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("errHas");
    QTest::newRow("largest") << kPortrait + "@face" << 0 << QString();
    QTest::newRow("largest, of a large JPEG") << Path("large.jpg") + "@face" << 0 << QString();
    QTest::newRow("a second of one, large JPEG") << Path("large.jpg") + "@face2" << 1
                                                 << QStringLiteral("large.jpg: only 1 face found.");
    QTest::newRow("the second of many") << kTwelveFaces + "@face2" << 0 << QString();
    QTest::newRow("a second of one") << kPortrait + "@face2" << 1 << QStringLiteral("227943776_1.jpg: only 1 face found.");
    QTest::newRow("none there") << kLandscape + "@face" << 1 << QStringLiteral("Aqua.jpg: no face found.");
    QTest::newRow("face zero") << kPortrait + "@face0" << 2 << QStringLiteral("@faceN");
}

void TestToolFaces::cutAtFace()
{
    // @face cuts exactly what the printed square cuts; a missing face writes nothing.
    QFETCH(QString, face);
    QFETCH(int, exitCode);
    QFETCH(QString, errHas);
    const QString out = Path("face.company");
    QFile::remove(out);
    const CToolRun run = Run({"new", "-o", out, "--face", "default=" + face});
    QCOMPARE(run.exitCode, exitCode);
    if (exitCode != 0) {
        QVERIFY2(run.err.contains(errHas), qPrintable(run.err));
        QVERIFY(!QFileInfo::exists(out));
        return;
    }
    const QString picture = face.section(QLatin1Char('@'), 0, 0);
    const int number = qMax(1, face.section(QStringLiteral("@face"), 1).toInt());
    const CToolRun found = Run({"find-faces", picture});
    const QString square = found.out.split(QLatin1Char('\n'))[number - 1].section(QLatin1Char('\t'), 1, 1);
    const QString byRectangle = Path("rectangle.company");
    QCOMPARE(Run({"new", "-o", byRectangle, "--face", "default=" + picture + "@" + square}).exitCode, 0);
    QCOMPARE(Contents(out), Contents(byRectangle));
}

void TestToolFaces::facesFrom_data()
{
    QTest::addColumn<QStringList>("files");   // name=picture copied into the folder
    QTest::addColumn<bool>("wholeIfNoFace");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("errHas");
    QTest::newRow("a face missing") << QStringList{"default.jpg=" + kPortrait, "happy.jpg=" + kLandscape}
                                    << false << 1 << QStringLiteral("happy.jpg: no face found.");
    QTest::newRow("a face missing, whole") << QStringList{"default.jpg=" + kPortrait, "happy.jpg=" + kLandscape}
                                           << true << 0 << QString();
    QTest::newRow("a stray file") << QStringList{"default.jpg=" + kPortrait, "notes.jpg=" + kPortrait}
                                  << false << 1 << QStringLiteral("notes.jpg named after no expression");
    QTest::newRow("one expression twice") << QStringList{"default.jpg=" + kPortrait, "Default.jpeg=" + kPortrait}
                                          << false << 1 << QStringLiteral("Default.jpeg, default.jpg are all for the default");
    QTest::newRow("no default") << QStringList{"happy.jpg=" + kPortrait} << false << 1
                                << QStringLiteral("You must provide an image for the default face");
}

void TestToolFaces::facesFrom()
{
    QFETCH(QStringList, files);
    QFETCH(bool, wholeIfNoFace);
    QFETCH(int, exitCode);
    QFETCH(QString, errHas);
    const QString folder = Path(QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY(QDir().mkpath(folder));
    QStringList faces;
    for (const QString &file : files) {
        const QString name = file.section(QLatin1Char('='), 0, 0);
        const QString picture = file.section(QLatin1Char('='), 1);
        QVERIFY(QFile::copy(picture, folder + "/" + name));
        const QString expression = name.section(QLatin1Char('.'), 0, 0).toLower();
        const bool hasFace = picture != kLandscape;
        faces << "--face" << expression + "=" + picture + (hasFace ? "@face" : "");
    }
    const QString out = Path("folder.company");
    QFile::remove(out);
    QStringList args{"new", "-o", out, "--faces-from", folder};
    if (wholeIfNoFace)
        args << "--whole-if-no-face";
    const CToolRun run = Run(args);
    QCOMPARE(run.exitCode, exitCode);
    if (exitCode != 0) {
        QVERIFY2(run.err.contains(errHas), qPrintable(run.err));
        QVERIFY(!QFileInfo::exists(out));
        return;
    }
    // The same company as the faces named one by one.
    const QString named = Path("named.company");
    QCOMPARE(Run(QStringList{"new", "-o", named} + faces).exitCode, 0);
    QCOMPARE(Contents(out), Contents(named));
}

QTEST_GUILESS_MAIN(TestToolFaces)
#include "tst_tool_faces.moc"
