// The face finder: the square proposed for a detection, the merging of one face found twice,
// the search copy, and the finder on portraits and landscapes that Debian ships.

#include "image/FaceFinder.h"
#include "image/PicturePyramid.h"
#include "tests/support/ExifJpeg.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>
#include <memory>
#include <thread>

using namespace quorvel;

Q_DECLARE_METATYPE(CPixelRect)

namespace {

const QString kOpenCvPictures = QStringLiteral("/usr/share/doc/opencv-doc/opencv4/html/");
const QString kOpenCvData = QStringLiteral("/usr/share/doc/opencv-doc/examples/data/");
const QString kLandscapes = QStringLiteral("/usr/share/backgrounds/mate/nature/");

double Overlap(const CPixelRect &a, const CPixelRect &b)
{
    const int w = std::min(a.x + a.width, b.x + b.width) - std::max(a.x, b.x);
    const int h = std::min(a.y + a.height, b.y + b.height) - std::max(a.y, b.y);
    if (w <= 0 || h <= 0)
        return 0;
    const double common = double(w) * h;
    return common / (double(a.width) * a.height + double(b.width) * b.height - common);
}

// The tall portrait twice on a grey picture: large at the bottom right and small at the top
// left, their faces about that many pixels (0: left out). Null when the photo is missing.
QImage TwoPortraits(int width, int height, int large, int small)
{
    const QImage portrait(kOpenCvPictures + QStringLiteral("230501201_1.jpg"));
    if (portrait.isNull())
        return {};
    QImage canvas(width, height, QImage::Format_RGB888);
    canvas.fill(QColor(90, 90, 90));
    QPainter painter(&canvas);
    constexpr double kFaceShare = 322.0 / 824.0; // the face's side over the portrait's height
    if (large > 0) {
        const QImage big = portrait.scaledToHeight(int(large / kFaceShare), Qt::SmoothTransformation);
        painter.drawImage(width - big.width(), height - big.height(), big);
    }
    if (small > 0)
        painter.drawImage(20, 20, portrait.scaledToHeight(int(small / kFaceShare), Qt::SmoothTransformation));
    painter.end();
    return canvas;
}

std::unique_ptr<CRgbImage> RgbOf(const QImage &canvas)
{
    auto picture = std::make_unique<CRgbImage>(canvas.width(), canvas.height(), nullptr);
    for (int y = 0; y < canvas.height(); ++y)
        std::memcpy(picture->Pixels() + std::size_t(y) * std::size_t(canvas.width()),
                    canvas.constScanLine(y), std::size_t(canvas.width()) * 3);
    return picture;
}

} // namespace

class TestFaceFinder : public QObject
{
    Q_OBJECT

private slots:
    void square_data();
    void square();
    void merge();
    void searchCopy();
    void prepareFromThreads(); // before any search, so that it is the setup
    void photos_data();
    void photos();
    void smallPicture();
    void smallFaceBesideLarge_data();
    void smallFaceBesideLarge();
    void largeJpeg_data();
    void largeJpeg();
    void largeJpegStages_data();
    void largeJpegStages();
};

void TestFaceFinder::square_data()
{
    QTest::addColumn<CPixelRect>("detection");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<CPixelRect>("square"); // width 0: none
    // 1.8 x 100 = 180, centred 20 above the detection's centre (450, 350).
    QTest::newRow("room all round") << CPixelRect{400, 300, 100, 100} << 1000 << 1000
                                    << CPixelRect{360, 240, 180, 180};
    QTest::newRow("longer side counts") << CPixelRect{400, 300, 100, 60} << 1000 << 1000
                                        << CPixelRect{360, 220, 180, 180};
    QTest::newRow("moved off the top left") << CPixelRect{0, 0, 100, 100} << 1000 << 1000
                                            << CPixelRect{0, 0, 180, 180};
    // The right and bottom stay below the picture's width and height: 500 - 1 - 144 = 355.
    QTest::newRow("moved off the bottom right") << CPixelRect{420, 330, 80, 70} << 500 << 400
                                                << CPixelRect{355, 255, 144, 144};
    QTest::newRow("shrunk to a small picture") << CPixelRect{10, 10, 90, 90} << 120 << 100
                                               << CPixelRect{6, 0, 99, 99};
    QTest::newRow("no area") << CPixelRect{10, 10, 0, 40} << 100 << 100 << CPixelRect{};
    QTest::newRow("one pixel wide picture") << CPixelRect{0, 0, 1, 1} << 1 << 100 << CPixelRect{};
}

void TestFaceFinder::square()
{
    QFETCH(CPixelRect, detection);
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(CPixelRect, square);
    const std::optional<CPixelRect> got = FaceSquare(detection, width, height);
    QCOMPARE(got.has_value(), square.width > 0);
    if (!got)
        return;
    QCOMPARE(got->x, square.x);
    QCOMPARE(got->y, square.y);
    QCOMPARE(got->width, square.width);
    QCOMPARE(got->height, square.height);
}

void TestFaceFinder::merge()
{
    // One face at two neighbouring scales, one small face inside a large hit, and two apart.
    const std::vector<CFoundFace> faces = MergeFaces({
        {{100, 100, 50, 50}, 0.9},
        {{400, 100, 80, 80}, 0.5},
        {{102, 98, 60, 60}, 1.4},
        {{410, 110, 40, 40}, 2.0},
        {{600, 300, 30, 30}, 0.6},
    });
    QCOMPARE(int(faces.size()), 3);
    // Largest first; of the pairs the higher score stays.
    QCOMPARE(faces[0].detection.x, 102);
    QCOMPARE(faces[0].score, 1.4);
    QCOMPARE(faces[1].detection.x, 410);
    QCOMPARE(faces[2].detection.x, 600);
}

void TestFaceFinder::searchCopy()
{
    // From the picture and from its pyramid the copy is the same size and nearly the same
    // pixels (the halvings round on the way).
    CRgbImage picture(3001, 1201, nullptr);
    QRandomGenerator random(7);
    for (int i = 0; i < picture.Width() * picture.Height(); ++i) {
        const int shade = (i % picture.Width()) / 13 + random.bounded(8); // 0 ... 237
        picture.Pixels()[i] = CRgbTriple(std::uint8_t(shade), std::uint8_t(255 - shade), 90);
    }
    double scale = 0, pyramidScale = 0;
    const QImage whole = FaceSearchCopy(picture, nullptr, scale);
    const CPicturePyramid pyramid(picture);
    const QImage fromPyramid = FaceSearchCopy(picture, &pyramid, pyramidScale);
    QCOMPARE(whole.size(), QSize(1024, 410));
    QCOMPARE(fromPyramid.size(), whole.size());
    QCOMPARE(pyramidScale, scale);
    QCOMPARE(whole.format(), QImage::Format_Grayscale8);
    int worst = 0;
    for (int y = 0; y < whole.height(); ++y)
        for (int x = 0; x < whole.width(); ++x)
            worst = std::max(worst, std::abs(whole.constScanLine(y)[x] - fromPyramid.constScanLine(y)[x]));
    QVERIFY2(worst <= 3, qPrintable(QString::number(worst)));
    // Level 1, the copy's source here, gives the same copy whether the view has made it or
    // the search halves its rows as it goes.
    CPicturePyramid made = pyramid;
    made.MakeFirstLevel(picture);
    QVERIFY(pyramid.Level(1).isNull() && !made.Level(1).isNull());
    QCOMPARE(FaceSearchCopy(picture, &made, pyramidScale), fromPyramid);
    // A picture no larger than the copy is searched as it is, each pixel turned grey.
    CRgbImage small(640, 480, nullptr);
    small.Pixels()[641] = CRgbTriple(200, 100, 50);
    const QImage grey = FaceSearchCopy(small, nullptr, scale);
    QCOMPARE(grey.size(), QSize(640, 480));
    QCOMPARE(scale, 1.0);
    QCOMPARE(int(grey.constScanLine(1)[1]), (77 * 200 + 150 * 100 + 29 * 50) >> 8);
    for (int y = 0; y < 480; y += 7) {
        for (int x = 0; x < 640; x += 5) {
            const CRgbTriple &c = small.Pixels()[y * 640 + x];
            QCOMPARE(int(grey.constScanLine(y)[x]), (77 * c.red + 150 * c.green + 29 * c.blue) >> 8);
        }
    }
}

void TestFaceFinder::photos_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("fewest");
    QTest::addColumn<int>("most");
    QTest::addColumn<CPixelRect>("largest"); // a head found by eye, loosely
    QTest::newRow("portrait, smiling") << kOpenCvPictures + "227943776_1.jpg" << 1 << 1
                                       << CPixelRect{132, 116, 156, 156};
    QTest::newRow("portrait, tall") << kOpenCvPictures + "230501201_1.jpg" << 1 << 1
                                    << CPixelRect{134, 241, 322, 322};
    QTest::newRow("footballer, small in a crowd") << kOpenCvData + "messi5.jpg" << 1 << 1
                                                  << CPixelRect{225, 94, 37, 37};
    // Tightly cut faces, some with their chins at the edge: most are found.
    QTest::newRow("twelve faces in a grid") << kOpenCvPictures + "3.jpg" << 10 << 12 << CPixelRect{};
    QTest::newRow("landscape, water") << kLandscapes + "Aqua.jpg" << 0 << 0 << CPixelRect{};
    QTest::newRow("landscape, ladybird") << kLandscapes + "LadyBird.jpg" << 0 << 0 << CPixelRect{};
    QTest::newRow("texture, wood") << kLandscapes + "Wood.jpg" << 0 << 0 << CPixelRect{};
}

void TestFaceFinder::prepareFromThreads()
{
    if (!FaceFinderBuiltIn())
        QSKIP("built without the face finder (QUORVEL_FACES off)");
    const QString path = kOpenCvPictures + QStringLiteral("227943776_1.jpg");
    if (!QFileInfo::exists(path))
        QSKIP(qPrintable(path + " is missing: ./dev.sh test installs the photos' packages"));
    const CRgbImage picture(path);
    QVERIFY(picture.IsLoaded());
    // Setup racing setup and a search: each waits for the one setup, none finds less.
    std::vector<std::thread> threads;
    std::vector<std::size_t> found(2);
    threads.emplace_back(PrepareFaceFinder);
    threads.emplace_back(PrepareFaceFinder);
    for (std::size_t &count : found)
        threads.emplace_back([&picture, &count] { count = FindFaces(picture).size(); });
    for (std::thread &thread : threads)
        thread.join();
    PrepareFaceFinder();
    QCOMPARE(found, std::vector<std::size_t>(2, 1));
}

void TestFaceFinder::photos()
{
    if (!FaceFinderBuiltIn())
        QSKIP("built without the face finder (QUORVEL_FACES off)");
    QFETCH(QString, path);
    QFETCH(int, fewest);
    QFETCH(int, most);
    QFETCH(CPixelRect, largest);
    if (!QFileInfo::exists(path))
        QSKIP(qPrintable(path + " is missing: ./dev.sh test installs the photos' packages"));
    const CRgbImage picture(path);
    QVERIFY(picture.IsLoaded());
    const std::vector<CFoundFace> faces = FindFaces(picture);
    QVERIFY2(int(faces.size()) >= fewest && int(faces.size()) <= most,
             qPrintable(QString::number(faces.size())));
    if (largest.width > 0)
        QVERIFY2(Overlap(faces[0].detection, largest) > 0.6,
                 qPrintable(QString("%1,%2 %3x%4").arg(faces[0].detection.x).arg(faces[0].detection.y)
                                .arg(faces[0].detection.width).arg(faces[0].detection.height)));
    for (std::size_t i = 1; i < faces.size(); ++i) {
        QVERIFY(std::int64_t(faces[i].detection.width) * faces[i].detection.height
                <= std::int64_t(faces[i - 1].detection.width) * faces[i - 1].detection.height);
    }
}

void TestFaceFinder::smallPicture()
{
    // Too small to hold a face the size of the game's: not searched at all.
    CRgbImage picture(200, 47, nullptr);
    QVERIFY(FindFaces(picture).empty());
}

void TestFaceFinder::smallFaceBesideLarge_data()
{
    // The tall portrait twice on a 1024x768 grey picture: large on the right, its face about
    // 270 pixels, and small at the left, its face `small` pixels.
    QTest::addColumn<int>("small");
    QTest::addColumn<int>("faces");
    QTest::newRow("under a third of the large face: not looked for") << 45 << 1;
    QTest::newRow("over a third: found") << 110 << 2;
}

void TestFaceFinder::smallFaceBesideLarge()
{
    if (!FaceFinderBuiltIn())
        QSKIP("built without the face finder (QUORVEL_FACES off)");
    QFETCH(int, small);
    QFETCH(int, faces);
    constexpr int large = 270;
    const QImage canvas = TwoPortraits(1024, 768, large, small);
    if (canvas.isNull())
        QSKIP("230501201_1.jpg is missing: ./dev.sh test installs the photos' packages");
    const std::unique_ptr<CRgbImage> picture = RgbOf(canvas);
    const std::vector<CFoundFace> found = FindFaces(*picture);
    QCOMPARE(int(found.size()), faces);
    QVERIFY2(std::abs(found[0].detection.width - large) < large / 5,
             qPrintable(QString::number(found[0].detection.width)));
}

void TestFaceFinder::largeJpeg_data()
{
    QTest::addColumn<int>("height");      // of the upright picture
    QTest::addColumn<int>("orientation"); // EXIF, 6: stored turned a quarter to the left
    QTest::newRow("decoded at a quarter") << 4400 << 1;
    QTest::newRow("decoded at a half, stored turned") << 2600 << 6;
    QTest::newRow("too small to decode smaller") << 1600 << 1;
}

void TestFaceFinder::largeJpeg()
{
    // A large JPEG is searched decoded small, and finds the face the whole picture does.
    if (!FaceFinderBuiltIn())
        QSKIP("built without the face finder (QUORVEL_FACES off)");
    QFETCH(int, height);
    QFETCH(int, orientation);
    const QString source = kOpenCvPictures + QStringLiteral("230501201_1.jpg");
    const QImage portrait(source);
    if (portrait.isNull())
        QSKIP(qPrintable(source + " is missing: ./dev.sh test installs the photos' packages"));
    const QImage upright = portrait.scaledToHeight(height, Qt::SmoothTransformation);
    const QImage stored = orientation == 6 ? upright.transformed(QTransform().rotate(-90)) : upright;
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("photo.jpg"));
    QBuffer encoded;
    encoded.open(QIODevice::WriteOnly);
    QVERIFY(stored.save(&encoded, "JPEG", 90));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(orientation == 1 ? encoded.data()
                                : test::WithExif(encoded.data(), test::ExifBlock(orientation, false)));
    file.close();

    CFacesInFile found;
    QVERIFY(FindFacesInFile(path, found));
    const CRgbImage whole(path);
    QVERIFY(whole.IsLoaded());
    QCOMPARE(QSize(found.width, found.height), QSize(whole.Width(), whole.Height()));
    QCOMPARE(QSize(found.width, found.height), upright.size());
    const std::vector<CFoundFace> expected = FindFaces(whole);
    QCOMPARE(found.faces.size(), std::size_t(1));
    QCOMPARE(expected.size(), std::size_t(1));
    QVERIFY2(Overlap(found.faces[0].detection, expected[0].detection) > 0.8,
             qPrintable(QString::number(Overlap(found.faces[0].detection, expected[0].detection))));
    // A file that is no picture is refused, saying so.
    const QString notes = folder.filePath(QStringLiteral("notes.jpg"));
    QFile text(notes);
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.write("not a picture");
    text.close();
    QVERIFY(!FindFacesInFile(notes, found));
    QVERIFY(found.faces.empty());
}

void TestFaceFinder::largeJpegStages_data()
{
    // A 2600x2600 JPEG, searched from its decode at a half: the coarse stage on its blocks
    // averaged, the finer ones on the search copy only when they may find more. Faces in
    // picture pixels, 2.54 of them to one of the copy.
    QTest::addColumn<int>("large");
    QTest::addColumn<int>("small");
    QTest::addColumn<int>("faces");
    QTest::newRow("a large face alone: the coarse stage only") << 1000 << 0 << 1;
    QTest::newRow("under a third of a large face: the coarse stage only") << 1000 << 220 << 1;
    QTest::newRow("over a third beside a large face: the finer stages follow") << 690 << 280 << 2;
    QTest::newRow("under a third beside a smaller face: not looked for") << 690 << 115 << 1;
    QTest::newRow("a small face alone: the finer stages find it") << 0 << 200 << 1;
}

void TestFaceFinder::largeJpegStages()
{
    // The faces found in the file are those the whole picture gives.
    if (!FaceFinderBuiltIn())
        QSKIP("built without the face finder (QUORVEL_FACES off)");
    QFETCH(int, large);
    QFETCH(int, small);
    QFETCH(int, faces);
    const QImage canvas = TwoPortraits(2600, 2600, large, small);
    if (canvas.isNull())
        QSKIP("230501201_1.jpg is missing: ./dev.sh test installs the photos' packages");
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("photo.jpg"));
    QVERIFY(canvas.save(path, "JPEG", 92));
    CFacesInFile found;
    QVERIFY(FindFacesInFile(path, found));
    QCOMPARE(QSize(found.width, found.height), canvas.size());
    QVERIFY(!found.picture); // searched from the small decode
    const std::vector<CFoundFace> expected = FindFaces(
        *RgbOf(QImage(path).convertToFormat(QImage::Format_RGB888)));
    QCOMPARE(int(found.faces.size()), faces);
    QCOMPARE(found.faces.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const double overlap = Overlap(found.faces[i].detection, expected[i].detection);
        QVERIFY2(overlap > 0.8, qPrintable(QString::number(overlap)));
    }
    const int side = std::max(found.faces[0].detection.width, found.faces[0].detection.height);
    const int wanted = large > 0 ? large : small;
    QVERIFY2(std::abs(side - wanted) < wanted / 4, qPrintable(QString::number(side)));
}

QTEST_GUILESS_MAIN(TestFaceFinder)
#include "tst_facefinder.moc"
