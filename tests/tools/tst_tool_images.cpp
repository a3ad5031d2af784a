// quorvel-tool's reduce, new and faces, run as a separate process on pictures made here.

#include "company/CompanyFile.h"
#include "company/CompanyRecord.h"
#include "image/HilbertDither.h"
#include "image/PaletteImage.h"
#include "image/RgbImage.h"
#include "platform/Archive.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/ToolRun.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace quorvel;

namespace {

CToolRun RunTool(const QStringList &args)
{
    // 2004-06-14 15:27:00 UTC
    return ::RunTool(args, ToolEnvironment(QStringLiteral("1087226820")));
}

// A photo-like picture: smooth gradients with some noise, so the reduction has work to do.
QImage MakePicture(int width, int height, quint32 seed)
{
    QRandomGenerator random(seed);
    QImage image(width, height, QImage::Format_RGB888);
    for (int y = 0; y < height; ++y) {
        uchar *line = image.scanLine(y);
        for (int x = 0; x < width; ++x) {
            line[3 * x] = uchar(x * 255 / std::max(width - 1, 1));
            line[3 * x + 1] = uchar(y * 255 / std::max(height - 1, 1));
            line[3 * x + 2] = uchar(random.bounded(256));
        }
    }
    return image;
}

bool SavePicture(const QImage &image, const QString &path, const char *format)
{
    if (qstrcmp(format, "PPM-by-hand") == 0) {
        // Raw PPM with a comment in the header, written without Qt's writer.
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return false;
        QByteArray bytes = QByteArrayLiteral("P6\n# made by the test\n") + QByteArray::number(image.width())
                           + ' ' + QByteArray::number(image.height()) + "\n255\n";
        for (int y = 0; y < image.height(); ++y)
            bytes.append(reinterpret_cast<const char *>(image.constScanLine(y)), image.width() * 3);
        return file.write(bytes) == bytes.size();
    }
    if (qstrcmp(format, "PNG-bad-text-CRC") == 0) {
        // A PNG whose text chunk fails its check: libpng warns and reads on.
        QImage tagged = image;
        tagged.setText(QStringLiteral("Comment"), QStringLiteral("made by the test"));
        if (!tagged.save(path, "PNG"))
            return false;
        QFile file(path);
        if (!file.open(QIODevice::ReadWrite))
            return false;
        QByteArray bytes = file.readAll();
        const qsizetype text = bytes.indexOf("tEXt");
        if (text < 0)
            return false;
        const quint32 length = (quint32(uchar(bytes[text - 4])) << 24) | (uchar(bytes[text - 3]) << 16)
            | (uchar(bytes[text - 2]) << 8) | uchar(bytes[text - 1]);
        bytes[text + 4 + qsizetype(length)] = char(~bytes[text + 4 + qsizetype(length)]);
        return file.seek(0) && file.write(bytes) == bytes.size();
    }
    return image.save(path, format, 90);
}

// What the editor makes of the picture: its loaders, then the given cut.
std::vector<std::uint8_t> ExpectedReduction(const QString &path, int &width, int &height)
{
    const CRgbImage picture(path);
    width = picture.Width();
    height = picture.Height();
    return ReduceToPalette(picture.Pixels(), width, height);
}

QString CheckPalettePng(const QString &path, const std::uint8_t *indices, int width, int height)
{
    QImage image(path, "PNG");
    if (image.isNull())
        return QStringLiteral("no PNG at %1").arg(path);
    if (image.format() != QImage::Format_Indexed8)
        return QStringLiteral("format %1, not 8-bit indexed").arg(int(image.format()));
    if (image.colorTable() != GamePaletteColorTable())
        return QStringLiteral("the colour table is not the game palette (%1 entries)").arg(image.colorCount());
    if (image.width() != width || image.height() != height)
        return QStringLiteral("%1x%2, expected %3x%4").arg(image.width()).arg(image.height()).arg(width).arg(height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (image.pixelIndex(x, y) != indices[std::size_t(y) * std::size_t(width) + std::size_t(x)])
                return QStringLiteral("index at (%1, %2) differs").arg(x).arg(y);
        }
    }
    return QString();
}

bool ReadCompanyFile(const QString &path, CCompanyRecord &record)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    try {
        CArchive archive(&file, CArchive::load);
        ReadCompany(archive, record);
    } catch (const CArchiveException &) {
        return false;
    }
    return true;
}

} // namespace

class TestToolImages : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void reduce_data();
    void reduce();
    void usage_data();
    void usage();
    void newCompany();
    void newFaceCuts_data();
    void newFaceCuts();
    void newRefuses_data();
    void newRefuses();
    void faces();
    void facesAllOrNothing_data();
    void facesAllOrNothing();
    void outputIsAnInput_data();
    void outputIsAnInput();
    void outOfMemory();

private:
    QString Path(const QString &name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
    QString m_photo;     // 100 x 60 PNG
    QString m_notPicture;
    QString m_truncated; // a PPM whose pixels stop early
};

void TestToolImages::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_photo = Path(QStringLiteral("photo.png"));
    QVERIFY(SavePicture(MakePicture(100, 60, 1), m_photo, "PNG"));
    m_notPicture = Path(QStringLiteral("notes.jpg"));
    QFile notes(m_notPicture);
    QVERIFY(notes.open(QIODevice::WriteOnly));
    notes.write("these are notes, not a picture\n");
    notes.close();
    m_truncated = Path(QStringLiteral("truncated.ppm"));
    QFile truncated(m_truncated);
    QVERIFY(truncated.open(QIODevice::WriteOnly));
    truncated.write(QByteArrayLiteral("P6 40 40 255\n") + QByteArray(40 * 20 * 3, '\x55'));
    truncated.close();
    QFile deep(Path(QStringLiteral("deep.ppm")));
    QVERIFY(deep.open(QIODevice::WriteOnly));
    deep.write(QByteArrayLiteral("P6 1 1 65535\n") + QByteArray(6, '\x55'));
    deep.close();
    // A photo saved under the wrong name, as browsers and cameras' tools do.
    QVERIFY(SavePicture(MakePicture(30, 20, 2), Path(QStringLiteral("jpeg.bmp")), "JPEG"));
    QVERIFY(SavePicture(MakePicture(30, 20, 3), Path(QStringLiteral("png.jpg")), "PNG"));
}

void TestToolImages::reduce_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::newRow("PPM") << "a.ppm" << QByteArray("PPM-by-hand") << 37 << 23;
    QTest::newRow("BMP") << "b.bmp" << QByteArray("BMP") << 64 << 64;
    QTest::newRow("PNG") << "c.png" << QByteArray("PNG") << 130 << 7;
    // libpng's warning goes to the log, not to standard error.
    QTest::newRow("PNG with a damaged text chunk") << "t.png" << QByteArray("PNG-bad-text-CRC") << 20 << 10;
    QTest::newRow("JPEG") << "d.jpg" << QByteArray("JPEG") << 200 << 150;
    QTest::newRow("JPEG under another name") << "e.picture" << QByteArray("JPEG") << 33 << 65;
    QTest::newRow("one pixel") << "f.ppm" << QByteArray("PPM-by-hand") << 1 << 1;
}

void TestToolImages::reduce()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, format);
    QFETCH(int, width);
    QFETCH(int, height);
    const QString source = Path(name);
    QVERIFY(SavePicture(MakePicture(width, height, quint32(width * height)), source, format.constData()));
    const QString out = Path(name + QStringLiteral(".png"));

    const CToolRun run = RunTool({QStringLiteral("reduce"), source, out});
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.err.isEmpty(), qPrintable(run.err));
    QCOMPARE(run.out, QDir::toNativeSeparators(out) + QLatin1Char('\n'));

    int loadedWidth = 0, loadedHeight = 0;
    const std::vector<std::uint8_t> expected = ExpectedReduction(source, loadedWidth, loadedHeight);
    QCOMPARE(loadedWidth, width);
    QCOMPARE(loadedHeight, height);
    const QString problem = CheckPalettePng(out, expected.data(), width, height);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}

void TestToolImages::usage_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("outHas");
    QTest::addColumn<QString>("errHas");
    const QString out = QStringLiteral("out.png");
    QTest::newRow("reduce help") << QStringList{"reduce", "--help"} << 0
                                 << QStringLiteral("Usage: quorvel-tool reduce PICTURE OUT.png") << QString();
    QTest::newRow("new help") << QStringList{"new", "-h"} << 0 << QStringLiteral("--face <EXPR=PICTURE[@X1,Y1,X2,Y2")
                              << QString();
    // The formats are looked up only for the help, which must still name them.
    QTest::newRow("new help, formats") << QStringList{"new", "--help"} << 0
                                       << QStringLiteral("(BMP, JPEG, PPM, PNG") << QString();
    QTest::newRow("reduce help, formats") << QStringList{"reduce", "-h"} << 0
                                          << QStringLiteral("(BMP, JPEG, PPM, PNG") << QString();
    QTest::newRow("faces help") << QStringList{"faces", "--help"} << 0
                                << QStringLiteral("Usage: quorvel-tool faces FILE -o DIR") << QString();
    QTest::newRow("reduce without output") << QStringList{"reduce", "x.ppm"} << 2 << QString()
                                           << QStringLiteral("Try 'quorvel-tool reduce --help'");
    QTest::newRow("reduce, too many") << QStringList{"reduce", "a", "b", "c"} << 2 << QString() << QStringLiteral("too many");
    QTest::newRow("reduce, unknown option") << QStringList{"reduce", "--fast", "a", "b"} << 2 << QString()
                                            << QStringLiteral("quorvel-tool reduce: unknown option '--fast'.");
    QTest::newRow("reduce, missing picture") << QStringList{"reduce", "missing.ppm", out} << 1 << QString()
                                             << QStringLiteral("missing.ppm: missing.ppm was not found.");
    QTest::newRow("reduce, a folder") << QStringList{"reduce", ".", out} << 1 << QString()
                                      << QStringLiteral(".: is a folder, not a file.");
    // The loader is chosen by the name; the message says what the content is.
    QTest::newRow("reduce, JPEG named .bmp") << QStringList{"reduce", "jpeg.bmp", out} << 1 << QString()
                                             << QStringLiteral("jpeg.bmp: not a BMP file; its content looks like JPEG.");
    QTest::newRow("reduce, PNG named .jpg") << QStringList{"reduce", "png.jpg", out} << 1 << QString()
                                            << QStringLiteral("png.jpg: not a JPEG file; its content looks like PNG.");
    QTest::newRow("reduce, text named .jpg") << QStringList{"reduce", "notes.jpg", out} << 1 << QString()
                                             << QStringLiteral("notes.jpg: not a JPEG file.");
    QTest::newRow("reduce, cut-short PPM") << QStringList{"reduce", "truncated.ppm", out} << 1 << QString()
                                           << QStringLiteral("truncated.ppm: the PPM picture could not be read whole.");
    QTest::newRow("reduce, 16-bit PPM") << QStringList{"reduce", "deep.ppm", out} << 1 << QString()
                                        << QStringLiteral("deep.ppm: PPM picture, but its samples have more than 8 bits (maxval 65535).");
    QTest::newRow("reduce to a JPEG name") << QStringList{"reduce", "photo.png", "out.jpg"} << 2 << QString()
                                           << QStringLiteral("out.jpg: reduce writes a PNG picture, not a JPEG one");
    QTest::newRow("reduce, output folder missing") << QStringList{"reduce", "photo.png", "nowhere/out.png"} << 1
                                                   << QString() << QDir::toNativeSeparators(QStringLiteral("nowhere/out.png: nowhere was not found."));
    QTest::newRow("faces without folder") << QStringList{"faces", "a.company"} << 2 << QString()
                                          << QStringLiteral("-o DIR");
    QTest::newRow("faces of a missing file") << QStringList{"faces", "missing.company", "-o", "x"} << 1 << QString()
                                             << QStringLiteral("missing.company was not found.");
}

void TestToolImages::usage()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, outHas);
    QFETCH(QString, errHas);
    QProcess process;
    process.setWorkingDirectory(m_dir.path());
    process.start(QStringLiteral(QUORVEL_TOOL), args);
    QVERIFY(process.waitForFinished(60000));
    const QString out = QString::fromUtf8(process.readAllStandardOutput());
    const QString err = QString::fromUtf8(process.readAllStandardError());
    QCOMPARE(process.exitCode(), exitCode);
    QVERIFY2(out.contains(outHas), qPrintable(out));
    QVERIFY2(err.contains(errHas), qPrintable(err));
    QVERIFY(!QFile::exists(Path(QStringLiteral("out.png"))));
}

void TestToolImages::newCompany()
{
    const QString out = Path(QStringLiteral("smith.company"));
    const CToolRun run = RunTool({QStringLiteral("new"), QStringLiteral("-o"), out,
                              QStringLiteral("--owner"), QStringLiteral("J. Smith & Sons \u20ac"),
                              QStringLiteral("--word"), QStringLiteral("Smith"),
                              QStringLiteral("--intelligence"), QStringLiteral("1"),
                              QStringLiteral("--aggressiveness"), QStringLiteral("9"),
                              QStringLiteral("--competitiveness"), QStringLiteral("3"),
                              QStringLiteral("--first-words"), QStringLiteral("0x1F0F"),
                              QStringLiteral("--second-words"), QStringLiteral("12"),
                              QStringLiteral("--face"), QStringLiteral("default=") + m_photo,
                              QStringLiteral("--face"), QStringLiteral("Enraged=") + m_photo + QStringLiteral("@10,5,30,25")});
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.err.isEmpty(), qPrintable(run.err));
    QVERIFY(run.out.trimmed().endsWith(QStringLiteral("smith.company")));

    CCompanyRecord record;
    QVERIFY(ReadCompanyFile(out, record));
    QCOMPARE(record.GetOwnerName(), QStringLiteral("J. Smith & Sons \u20ac"));
    QCOMPARE(record.GetSpecificWord(), QStringLiteral("Smith"));
    QCOMPARE(record.GetIntelligence(), 1);
    QCOMPARE(record.GetAggressiveness(), 9);
    QCOMPARE(record.GetCompetitiveness(), 3);
    QCOMPARE(record.GetFirstWordMask(), 0x1F0Fu);
    QCOMPARE(record.GetSecondWordMask(), 12u);
    QCOMPARE(record.GetExpressionMask(), 0x81u);
    // Written as a modified company: stamped with the (fixed) current time.
    QCOMPARE(FormatDateStamp(record.GetDateStamp()), QStringLiteral("2004/06/14 15:26"));

    // Without options: the new-company defaults.
    const QString plain = Path(QStringLiteral("plain.company"));
    QCOMPARE(RunTool({QStringLiteral("new"), QStringLiteral("--face"), QStringLiteral("default=") + m_photo,
                      QStringLiteral("-o"), plain}).exitCode, 0);
    CCompanyRecord defaults;
    QVERIFY(ReadCompanyFile(plain, defaults));
    QCOMPARE(defaults.GetOwnerName(), QStringLiteral("Owner Name"));
    QCOMPARE(defaults.GetSpecificWord(), QStringLiteral("Owner"));
    QCOMPARE(defaults.GetIntelligence(), 5);
    QCOMPARE(defaults.GetFirstWordMask(), 0x1FFFu);
    QCOMPARE(defaults.GetSecondWordMask(), 0x1FFFu);
    QCOMPARE(defaults.GetExpressionMask(), 0x1u);
}

void TestToolImages::newFaceCuts_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QRect>("cut"); // x, y, width, height of what is cut
    QTest::newRow("whole picture") << QString() << QRect();
    QTest::newRow("64x64 box, copied as it is") << QStringLiteral("@20,0,84,64") << QRect();
    QTest::newRow("rectangle") << QStringLiteral("@3,4,53,44") << QRect(3, 4, 50, 40);
    QTest::newRow("corners given the other way round") << QStringLiteral("@53,44,3,4") << QRect(3, 4, 50, 40);
    QTest::newRow("up to the far edges") << QStringLiteral("@90,50,100,60") << QRect(90, 50, 10, 10);
}

void TestToolImages::newFaceCuts()
{
    QFETCH(QString, suffix);
    QFETCH(QRect, cut);
    // A taller picture, so that a 64x64 box fits.
    const QString picture = Path(QStringLiteral("tall.ppm"));
    if (!QFile::exists(picture))
        QVERIFY(SavePicture(MakePicture(100, 64, 5), picture, "PPM-by-hand"));
    if (cut.isNull())
        cut = suffix.isEmpty() ? QRect(0, 0, 100, 64) : QRect(20, 0, 64, 64);

    const QString out = Path(QStringLiteral("cut.company"));
    const CToolRun run = RunTool({QStringLiteral("new"), QStringLiteral("-o"), out, QStringLiteral("--face"),
                              QStringLiteral("default=") + picture + suffix});
    QCOMPARE(run.exitCode, 0);
    CCompanyRecord record;
    QVERIFY(ReadCompanyFile(out, record));

    // The grab dialog's corners: right and bottom just outside the cut.
    const CRgbImage source(picture);
    const int right = cut.x() + cut.width();
    const int bottom = cut.y() + cut.height();
    const auto large = source.CropToPaletteImage(cut.x(), cut.y(), right, bottom, 64, 64);
    const auto small = source.CropToPaletteImage(cut.x(), cut.y(), right, bottom, 24, 24);
    QVERIFY(large && small);
    QVERIFY(std::equal(record.LargeFace(0).begin(), record.LargeFace(0).end(), large->Indices()));
    QVERIFY(std::equal(record.SmallFace(0).begin(), record.SmallFace(0).end(), small->Indices()));
    if (cut.width() == 64 && cut.height() == 64) {
        // A 64x64 box keeps the picture's own pixels before reduction.
        const CRgbImage box(64, 64, &source, cut.x(), cut.y(), -1, -1);
        QCOMPARE(std::vector<std::uint8_t>(record.LargeFace(0).begin(), record.LargeFace(0).end()),
                 ReduceToPalette(box.Pixels(), 64, 64));
    }
}

void TestToolImages::newRefuses_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("errHas");
    const QString photo = m_photo;
    const QString face = QStringLiteral("default=") + photo;
    auto args = [&](std::initializer_list<QString> extra) {
        QStringList list{QStringLiteral("new"), QStringLiteral("-o"), Path(QStringLiteral("refused.company"))};
        for (const QString &a : extra)
            list.append(a);
        return list;
    };
    QTest::newRow("no default face") << args({"--face", "happy=" + photo}) << 1
        << QStringLiteral("You must provide an image for the default face expression before you can save or export!");
    QTest::newRow("no faces at all") << args({}) << 1 << QStringLiteral("You must provide an image for the default face");
    QTest::newRow("no output") << QStringList{"new", "--face", face} << 2 << QStringLiteral("-o OUT");
    QTest::newRow("unknown expression") << args({"--face", face, "--face", "grumpy=" + photo}) << 2
                                        << QStringLiteral("unknown expression 'grumpy'");
    QTest::newRow("expression twice") << args({"--face", face, "--face", face}) << 2 << QStringLiteral("given twice");
    QTest::newRow("face without picture") << args({"--face", "default="}) << 2 << QStringLiteral("EXPR=PICTURE");
    QTest::newRow("rating not a number") << args({"--face", face, "--intelligence", "high"}) << 2
                                         << QStringLiteral("--intelligence");
    QTest::newRow("rating out of range") << args({"--face", face, "--competitiveness", "10"}) << 2
                                         << QStringLiteral("from 1 to 9");
    QTest::newRow("rating in hex") << args({"--face", face, "--aggressiveness", "0x5"}) << 2
                                   << QStringLiteral("--aggressiveness");
    QTest::newRow("mask too wide") << args({"--face", face, "--first-words", "0x100000000"}) << 2
                                   << QStringLiteral("--first-words");
    QTest::newRow("first mask without a word") << args({"--face", face, "--first-words", "0"}) << 2
                                               << QStringLiteral("--first-words 0 allows none of the words");
    QTest::newRow("second mask without a word") << args({"--face", face, "--second-words", "0x2000"}) << 2
                                                << QStringLiteral("--second-words 0x2000 allows none");
    QTest::newRow("mask negative") << args({"--face", face, "--second-words", "-1"}) << 2
                                   << QStringLiteral("--second-words");
    QTest::newRow("rectangle of three numbers") << args({"--face", face + "@1,2,3"}) << 2 << QStringLiteral("X1,Y1,X2,Y2");
    QTest::newRow("rectangle without area") << args({"--face", face + "@5,5,5,40"}) << 2 << QStringLiteral("no area");
    QTest::newRow("rectangle off the picture") << args({"--face", face + "@50,10,101,20"}) << 2
                                               << QStringLiteral("100x60 pixels");
    QTest::newRow("owner the game cannot show") << args({"--face", face, "--owner", "\u4e2d\u6587"}) << 2
                                                << QStringLiteral("owner name");
    QTest::newRow("owner too long") << args({"--face", face, "--owner", QString(251, QLatin1Char('a'))}) << 2
                                    << QStringLiteral("250");
    QTest::newRow("missing picture") << args({"--face", "default=" + Path("gone.ppm")}) << 1 << QStringLiteral("was not found.");
    QTest::newRow("not a picture") << args({"--face", "default=" + m_notPicture}) << 1
                                   << QStringLiteral("notes.jpg: not a JPEG file.");
    QTest::newRow("truncated picture") << args({"--face", "default=" + m_truncated}) << 1
                                       << QStringLiteral("could not be read whole");
    QTest::newRow("bad second picture") << args({"--face", face, "--face", "happy=" + m_truncated}) << 1
                                        << QStringLiteral("truncated.ppm");
    QTest::newRow("unwritable folder") << QStringList{"new", "-o", Path("no/such/folder/x.company"), "--face", face} << 1
                                       << QStringLiteral("x.company");
    QTest::newRow("output is a face's picture") << args({"--face", face, "--face", "happy=" + Path("./refused.company")})
                                                << 2 << QStringLiteral("is the same file as the input");
}

void TestToolImages::newRefuses()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, errHas);
    // Whatever stood at the output path before stays as it was.
    const QString out = Path(QStringLiteral("refused.company"));
    QFile previous(out);
    QVERIFY(previous.open(QIODevice::WriteOnly));
    previous.write("earlier contents");
    previous.close();

    const CToolRun run = RunTool(args);
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(run.err.contains(errHas), qPrintable(run.err));
    QVERIFY(run.out.isEmpty());
    QFile after(out);
    QVERIFY(after.open(QIODevice::ReadOnly));
    QCOMPARE(after.readAll(), QByteArray("earlier contents"));
}

void TestToolImages::faces()
{
    const QString company = Path(QStringLiteral("faces.company"));
    QCOMPARE(RunTool({QStringLiteral("new"), QStringLiteral("-o"), company,
                      QStringLiteral("--face"), QStringLiteral("default=") + m_photo + QStringLiteral("@0,0,50,50"),
                      QStringLiteral("--face"), QStringLiteral("surprised=") + m_photo}).exitCode, 0);
    CCompanyRecord record;
    QVERIFY(ReadCompanyFile(company, record));

    const QString folder = Path(QStringLiteral("faces/out")); // made by the command
    // Twice: the second run replaces the first one's faces and leaves nothing beside them.
    for (int pass = 0; pass < 2; ++pass) {
        const CToolRun run = RunTool({QStringLiteral("faces"), company, QStringLiteral("-o"), folder});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out, QDir::toNativeSeparators(folder + QStringLiteral("/default-64.png\n") + folder
                                                   + QStringLiteral("/default-24.png\n") + folder
                                                   + QStringLiteral("/surprised-64.png\n") + folder
                                                   + QStringLiteral("/surprised-24.png\n")));
        QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name),
                 (QStringList{"default-24.png", "default-64.png", "surprised-24.png", "surprised-64.png"}));
    }
    for (int index : {0, 5}) {
        const QString name = QLatin1String(ExpressionName(index));
        QString problem = CheckPalettePng(QDir(folder).filePath(name + QStringLiteral("-64.png")),
                                          record.LargeFace(index).data(), 64, 64);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        problem = CheckPalettePng(QDir(folder).filePath(name + QStringLiteral("-24.png")),
                                  record.SmallFace(index).data(), 24, 24);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }

    // A file that is no company, and a folder that cannot be made.
    CToolRun bad = RunTool({QStringLiteral("faces"), m_photo, QStringLiteral("-o"), folder});
    QCOMPARE(bad.exitCode, 1);
    QVERIFY2(bad.err.contains(QStringLiteral("Unexpected file format.")), qPrintable(bad.err));
    bad = RunTool({QStringLiteral("faces"), company, QStringLiteral("-o"), m_photo + QStringLiteral("/inside")});
    QCOMPARE(bad.exitCode, 1);
    QVERIFY2(bad.err.contains(QStringLiteral("photo.png is not a folder.")), qPrintable(bad.err));
}

void TestToolImages::facesAllOrNothing_data()
{
    QTest::addColumn<bool>("blocked"); // a later face's name is taken by a folder
    QTest::addColumn<int>("sizeLimit"); // bytes the tool may write to a file; 0: no limit
    QTest::newRow("a later face's name taken") << true << 0;
#ifdef Q_OS_UNIX
    QTest::newRow("the disk fills, in a folder the command makes") << false << 1000;
#endif
}

void TestToolImages::facesAllOrNothing()
{
    QFETCH(bool, blocked);
    QFETCH(int, sizeLimit);
    const QString company = Path(QStringLiteral("two.company"));
    if (!QFile::exists(company))
        QCOMPARE(RunTool({QStringLiteral("new"), QStringLiteral("-o"), company, QStringLiteral("--face"),
                          QStringLiteral("default=") + m_photo, QStringLiteral("--face"),
                          QStringLiteral("worried=") + m_photo}).exitCode, 0);
    QTemporaryDir dir;
    const QString folder = blocked ? dir.path() : dir.filePath(QStringLiteral("made/here"));
    if (blocked) {
        QFile earlier(dir.filePath(QStringLiteral("default-64.png")));
        QVERIFY(earlier.open(QIODevice::WriteOnly));
        earlier.write("earlier face");
        earlier.close();
        QVERIFY(QDir(folder).mkdir(QStringLiteral("worried-24.png")));
    }
    const QStringList before = QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);

    const QStringList args{QStringLiteral("faces"), company, QStringLiteral("-o"), folder};
    CToolRun run;
#ifdef Q_OS_UNIX
    if (sizeLimit > 0) {
        CFileSizeLimit limit{rlim_t(sizeLimit)};
        run = RunTool(args);
    }
#endif
    if (sizeLimit == 0)
        run = RunTool(args);
    QCOMPARE(run.exitCode, 1);
    QVERIFY(run.out.isEmpty());
    QVERIFY2(run.err.startsWith(QDir::toNativeSeparators(folder)), qPrintable(run.err));
    // No face, no temporary file and no folder made is left; an earlier face stays as it was.
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), before);
    if (blocked) {
        QFile earlier(dir.filePath(QStringLiteral("default-64.png")));
        QVERIFY(earlier.open(QIODevice::ReadOnly));
        QCOMPARE(earlier.readAll(), QByteArray("earlier face"));
    }
}

void TestToolImages::outputIsAnInput_data()
{
    // Run in a folder holding in.png, company.company and faces/default-64.png (a company).
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("output");
    QTest::newRow("reduce onto itself") << QStringList{"reduce", "in.png", "in.png"} << "in.png";
    QTest::newRow("reduce, named otherwise") << QStringList{"reduce", "in.png", "faces/../in.png"} << "faces/../in.png";
#ifdef Q_OS_UNIX
    QTest::newRow("reduce, through a link") << QStringList{"reduce", "in.png", "link.png"} << "link.png";
#endif
    QTest::newRow("new onto a face's picture")
        << QStringList{"new", "-o", "./in.png", "--face", "default=company.company", "--face", "happy=in.png"} << "./in.png";
    QTest::newRow("export onto itself") << QStringList{"export", "company.company", "-o", "./company.company"}
                                        << "./company.company";
    QTest::newRow("faces onto the company") << QStringList{"faces", "faces/default-64.png", "-o", "faces"}
                                            << "faces/default-64.png";
}

void TestToolImages::outputIsAnInput()
{
    QFETCH(QStringList, args);
    QFETCH(QString, output);
    QTemporaryDir dir;
    QVERIFY(QFile::copy(m_photo, dir.filePath(QStringLiteral("in.png"))));
    QCOMPARE(RunTool({QStringLiteral("new"), QStringLiteral("-o"), dir.filePath(QStringLiteral("company.company")),
                      QStringLiteral("--face"), QStringLiteral("default=") + m_photo}).exitCode, 0);
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("faces")));
    QVERIFY(QFile::copy(dir.filePath(QStringLiteral("company.company")), dir.filePath(QStringLiteral("faces/default-64.png"))));
#ifdef Q_OS_UNIX
    QVERIFY(QFile::link(QStringLiteral("in.png"), dir.filePath(QStringLiteral("link.png"))));
#endif
    const auto snapshot = [&dir] {
        QStringList files;
        for (const QString &name : {QStringLiteral("in.png"), QStringLiteral("company.company"), QStringLiteral("faces/default-64.png")}) {
            QFile file(dir.filePath(name));
            files << name + QLatin1Char('=') + (file.open(QIODevice::ReadOnly) ? QString::number(qHash(file.readAll())) : QString());
        }
        files << QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
              << QDir(dir.filePath(QStringLiteral("faces"))).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        return files;
    };
    const QStringList before = snapshot();

    const CToolRun run = ::RunTool(args, ToolEnvironment(), dir.path());
    QCOMPARE(run.exitCode, 2);
    QVERIFY(run.out.isEmpty());
    QVERIFY2(run.err.startsWith(QDir::toNativeSeparators(output) + QStringLiteral(": is the same file as the input ")),
             qPrintable(run.err));
    QCOMPARE(snapshot(), before);
}

void TestToolImages::outOfMemory()
{
#if defined(__SANITIZE_ADDRESS__)
    QSKIP("the address sanitizer needs more address space than the limit leaves");
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    QSKIP("the address sanitizer needs more address space than the limit leaves");
#endif
#endif
#ifndef Q_OS_UNIX
    QSKIP("address space limits are set through the shell here");
#else
    // Within the loaders' size limit, beyond the memory the tool may have.
    QFile big(Path(QStringLiteral("big.ppm")));
    QVERIFY(big.open(QIODevice::WriteOnly));
    big.write("P6 20000 17000 255\nABC");
    big.close();
    const CToolRun run = RunProgram(
        QStringLiteral("/bin/sh"),
        {QStringLiteral("-c"), QStringLiteral("ulimit -v 800000 && exec \"$0\" reduce big.ppm out.png"),
         QStringLiteral(QUORVEL_TOOL)},
        ToolEnvironment(), m_dir.path());
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.err, QStringLiteral("big.ppm: not enough memory for the PPM picture (20000x17000 pixels).\n"));
#endif
}

QTEST_MAIN(TestToolImages)
#include "tst_tool_images.moc"
