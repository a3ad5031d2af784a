// Speed of the face finder, the photos decoded beforehand:
//   large     FindFaces on the 5640x3172 mate-backgrounds photo, warm       target: 120 ms
//   pyramid   the same from the halvings the grab dialog has made anyway
//   portrait  FindFaces on a 1024x768 portrait (opencv-doc's, scaled)       target: 60 ms
//   setup     the detector's one-time setup (PrepareFaceFinder); run it first or alone
//   dialog    in the grab dialog, from the photo painted to the box placed  target: 150 ms,
//             and the interface thread's longest stall meanwhile; run it alone
//             (bench_faces dialog) for the first photo's figure in a fresh process
// Runs on the offscreen platform. Qt Test's options apply: bench_faces -median 9 large

#include "image/FaceFinder.h"
#include "image/PicturePyramid.h"
#include "ui/GrabFaceDialog.h"

#include <QElapsedTimer>
#include <QPainter>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <ctime>
#include <cstring>
#include <vector>

using namespace quorvel;

namespace {

const char kLargePhoto[] = "/usr/share/backgrounds/mate/abstract/Elephants_5640x3172.jpg";
const char kPortrait[] = "/usr/share/doc/opencv-doc/opencv4/html/230501201_1.jpg";

// The portrait scaled into the middle of a 1024x768 picture, grey around it.
std::unique_ptr<CRgbImage> Portrait1024()
{
    const QImage face(QString::fromLatin1(kPortrait));
    QImage canvas(1024, 768, QImage::Format_RGB888);
    canvas.fill(QColor(90, 90, 90));
    QPainter painter(&canvas);
    const QImage scaled = face.scaledToHeight(768, Qt::SmoothTransformation);
    painter.drawImage((1024 - scaled.width()) / 2, 0, scaled);
    painter.end();
    auto picture = std::make_unique<CRgbImage>(1024, 768);
    for (int y = 0; y < 768; ++y)
        std::memcpy(picture->Pixels() + std::size_t(y) * 1024, canvas.constScanLine(y), 1024 * 3);
    return picture;
}

} // namespace

class BenchFaces : public QObject
{
    Q_OBJECT

private slots:
    void setup();
    void large();
    void pyramid();
    void portrait();
    void dialog();
};

void BenchFaces::setup()
{
    QElapsedTimer timer;
    timer.start();
    PrepareFaceFinder(); // the one-time setup, when this case runs first or alone
    const qint64 setup = timer.nsecsElapsed();
    const std::unique_ptr<CRgbImage> picture = Portrait1024();
    timer.restart();
    const std::size_t found = FindFaces(*picture).size();
    const qint64 search = timer.nsecsElapsed();
    QCOMPARE(found, std::size_t(1));
    qInfo("setup: %.1f ms (then the first search %.1f ms)", double(setup) / 1e6,
          double(search) / 1e6);
}

void BenchFaces::large()
{
    const CRgbImage picture{QString::fromLatin1(kLargePhoto)};
    QVERIFY(picture.IsLoaded());
    FindFaces(picture); // warm
    QBENCHMARK {
        FindFaces(picture);
    }
}

void BenchFaces::pyramid()
{
    const CRgbImage picture{QString::fromLatin1(kLargePhoto)};
    const CPicturePyramid halvings(picture);
    FindFaces(picture, &halvings);
    QBENCHMARK {
        FindFaces(picture, &halvings);
    }
}

void BenchFaces::portrait()
{
    const std::unique_ptr<CRgbImage> picture = Portrait1024();
    QCOMPARE(FindFaces(*picture).size(), std::size_t(1));
    QBENCHMARK {
        FindFaces(*picture);
    }
}

namespace {

// The interface thread's own processor time: a stall it spent working, not waiting for a core.
qint64 ThreadCpuNs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// The picture painted, then events handled until the box is placed: that time, the longest
// the interface thread went without handling a 1 ms timer while the search ran and how much
// of that it was working itself, and the time the dialog took to place the box once told.
struct CDialogRun
{
    double toBox = 0;
    double longestStall = 0;
    double stallWorking = 0;
    double placing = 0;
};

CDialogRun PaintedToBox(CGrabFaceDialog &dialog)
{
    QElapsedTimer clock;
    qint64 lastTick = 0;
    qint64 lastCpu = 0;
    qint64 longest = 0;
    qint64 working = 0;
    QTimer ticks;
    ticks.setInterval(1);
    QObject::connect(&ticks, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        const qint64 cpu = ThreadCpuNs();
        if (dialog.IsFindingFaces() && now - lastTick > longest) {
            longest = now - lastTick;
            working = cpu - lastCpu;
        }
        lastTick = now;
        lastCpu = cpu;
    });
    clock.start();
    dialog.PictureView()->repaint(); // the photo painted
    lastTick = clock.nsecsElapsed();
    lastCpu = ThreadCpuNs();
    ticks.start();
    while (dialog.IsFindingFaces() || !dialog.PictureView()->Box()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (clock.elapsed() > 10000)
            return {};
    }
    const qint64 end = clock.nsecsElapsed();
    return {double(end) / 1e6, double(longest) / 1e6, double(working) / 1e6,
            double(end - lastTick) / 1e6};
}

} // namespace

void BenchFaces::dialog()
{
    CGrabFaceDialog dialog(CFaceSlot("default", 1, 1, 2));
    dialog.resize(1200, 850);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    // The first photo comes a second after the dialog opened, as one a user picks would; the
    // dialog has been setting the finder up meanwhile (unless an earlier case did it).
    QTest::qWait(1000);
    dialog.LoadPictureFile(QString::fromLatin1(kPortrait));
    const CDialogRun first = PaintedToBox(dialog);
    QVERIFY(first.toBox > 0);
    std::vector<double> times;
    CDialogRun worst = first;
    for (int run = 0; run < 9; ++run) {
        dialog.LoadPictureFile(QString::fromLatin1(kPortrait));
        const CDialogRun next = PaintedToBox(dialog);
        QVERIFY(next.toBox > 0);
        times.push_back(next.toBox);
        if (next.longestStall > worst.longestStall) {
            worst.longestStall = next.longestStall;
            worst.stallWorking = next.stallWorking;
        }
        worst.placing = std::max(worst.placing, next.placing);
    }
    // The same ticks for as long with nothing searching: what the machine's load alone costs.
    QElapsedTimer clock;
    clock.start();
    qint64 lastTick = 0;
    qint64 idleStall = 0;
    while (clock.elapsed() < 300) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        const qint64 now = clock.nsecsElapsed();
        idleStall = std::max(idleStall, now - lastTick);
        lastTick = now;
    }
    std::sort(times.begin(), times.end());
    qInfo("dialog: with no search, the longest stall in 300 ms is %.1f ms", double(idleStall) / 1e6);
    qInfo("dialog: photo painted to box placed: first photo %.1f ms, then median of 9 %.1f ms; "
          "longest interface-thread stall while searching %.1f ms (%.1f ms of it working), "
          "placing the box at most %.1f ms",
          first.toBox, times[times.size() / 2], worst.longestStall, worst.stallWorking,
          worst.placing);
}

QTEST_MAIN(BenchFaces)
#include "bench_faces.moc"
