// Speed of what the face grab dialog does on a large photo, in a 1200x850 dialog:
//   previews    both live previews (24x24 and 64x64) of a selection, made in one pass
//   separately  the same two previews made one after the other, for comparison
//   paintView   one paint of the picture area at Fit, 1:1 and 400%    target: 4 ms each
//   pyramid     the photo's halvings, made when it is opened    target: 15% of its decoding
//   zoomStep    Ctrl+= or Ctrl+-, to the painted frame                 target: 8 ms
//   keyMove     an arrow key moving the box, to the frame with both live previews: 8 ms
// The photo is QUORVEL_BENCH_PHOTO, by default the 5640x3172 one from Debian's mate-backgrounds.
// Runs on the offscreen platform. Qt Test's options apply: bench_grab -median 21 previews

#include "image/PicturePyramid.h"
#include "image/RgbImage.h"
#include "ui/GrabFaceDialog.h"

#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QTest>

#include <algorithm>
#include <array>
#include <memory>

using namespace quorvel;

namespace {

const char DefaultPhoto[] = "/usr/share/backgrounds/mate/abstract/Elephants_5640x3172.jpg";
constexpr std::array<QSize, 2> PreviewSizes = {QSize(24, 24), QSize(64, 64)};
constexpr QSize DialogSize(1200, 850);

// The median of a few runs of the function, in milliseconds.
template<class Function>
double MedianMilliseconds(int runs, Function &&function)
{
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        function();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

class BenchGrab : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void previews_data();
    void previews();
    void separately_data() { previews_data(); }
    void separately();
    void paintView_data();
    void paintView();
    void pyramid();
    void zoomStep();
    void keyMove();

private:
    // The row's selection, centred on the photo.
    QRect Selection() const;

    QString m_path;
    std::unique_ptr<CRgbImage> m_photo;
    double m_decodeMs = 0;
    std::unique_ptr<CGrabFaceDialog> m_dialog;
};

void BenchGrab::initTestCase()
{
    const QByteArray path = qEnvironmentVariableIsSet("QUORVEL_BENCH_PHOTO")
        ? qgetenv("QUORVEL_BENCH_PHOTO")
        : QByteArray(DefaultPhoto);
    m_path = QString::fromLocal8Bit(path);
    m_decodeMs = MedianMilliseconds(3, [this] { m_photo = std::make_unique<CRgbImage>(m_path); });
    if (!m_photo->IsLoaded())
        QSKIP(qPrintable(QStringLiteral("no photo at %1 (set QUORVEL_BENCH_PHOTO)").arg(m_path)));
    qInfo("photo: %dx%d, decoded in %.1f ms (median of 3)", m_photo->Width(), m_photo->Height(),
          m_decodeMs);

    const CFaceSlot slot("default", 1, 0, 0);
    m_dialog = std::make_unique<CGrabFaceDialog>(slot);
    m_dialog->resize(DialogSize);
    m_dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_dialog.get()));
    m_dialog->LoadPictureFile(m_path);
    QVERIFY(m_dialog->PictureView()->IsFit());
    qInfo("picture area: %dx%d", m_dialog->PictureView()->width(),
          m_dialog->PictureView()->height());
}

void BenchGrab::previews_data()
{
    QTest::addColumn<int>("width"); // 0: the whole photo
    QTest::addColumn<int>("height");
    QTest::newRow("whole photo") << 0 << 0;
    QTest::newRow("1000x1000") << 1000 << 1000;
    QTest::newRow("64x64") << 64 << 64;
}

QRect BenchGrab::Selection() const
{
    QFETCH(int, width);
    QFETCH(int, height);
    const int w = width > 0 ? width : m_photo->Width();
    const int h = height > 0 ? height : m_photo->Height();
    return QRect((m_photo->Width() - w) / 2, (m_photo->Height() - h) / 2, w, h);
}

void BenchGrab::previews()
{
    const QRect s = Selection();
    std::vector<std::unique_ptr<CRgbImage>> copies;
    QBENCHMARK {
        copies = m_photo->ScaledCopies(s.x(), s.y(), s.width(), s.height(), PreviewSizes);
    }
    QVERIFY(copies.size() == 2 && copies[0] && copies[1]);
}

void BenchGrab::separately()
{
    const QRect s = Selection();
    int made = 0;
    QBENCHMARK {
        for (const QSize &size : PreviewSizes) {
            const CRgbImage copy(size.width(), size.height(), m_photo.get(), s.x(), s.y(),
                                 s.width(), s.height());
            made += copy.Width();
        }
    }
    QVERIFY(made > 0);
}

void BenchGrab::paintView_data()
{
    QTest::addColumn<int>("percent"); // 0: Fit
    QTest::newRow("Fit") << 0;
    QTest::newRow("1:1") << 100;
    QTest::newRow("400%") << 400;
}

void BenchGrab::paintView()
{
    QFETCH(int, percent);
    CGrabPictureView *view = m_dialog->PictureView();
    if (percent == 0)
        view->ZoomToFit();
    else
        view->ZoomTo(CViewScale{percent / 100, 1}, view->rect().center());
    QImage frame(view->size(), QImage::Format_RGB32);
    QBENCHMARK {
        QPainter painter(&frame);
        view->PaintPicture(painter);
    }
    // The middle of the frame shows the picture pixel the view puts there.
    const QPoint middle = view->rect().center();
    const QPoint under = view->Transform().PixelUnder(middle);
    if (percent >= 100) {
        const CRgbTriple &expected = m_photo->PixelAt(under.x(), under.y());
        QCOMPARE(frame.pixel(middle), qRgb(expected.red, expected.green, expected.blue));
    }
    view->ZoomToFit();
}

void BenchGrab::pyramid()
{
    int levels = 0;
    QBENCHMARK {
        levels = CPicturePyramid(*m_photo).Levels();
    }
    const double ms = MedianMilliseconds(5, [this, &levels] { levels = CPicturePyramid(*m_photo).Levels(); });
    qInfo("pyramid: %d levels in %.1f ms (median of 5), %.1f%% of the decoding's %.1f ms", levels,
          ms, 100 * ms / m_decodeMs, m_decodeMs);
    QVERIFY(levels > 0);
}

void BenchGrab::zoomStep()
{
    CGrabPictureView *view = m_dialog->PictureView();
    view->setFocus();
    view->ZoomToActualSize();
    bool in = true;
    QBENCHMARK {
        QTest::keyClick(m_dialog.get(), in ? Qt::Key_Equal : Qt::Key_Minus, Qt::ControlModifier);
        QCoreApplication::processEvents(); // the repaint the key asked for
        in = !in;
    }
    view->ZoomToFit();
}

void BenchGrab::keyMove()
{
    CGrabPictureView *view = m_dialog->PictureView();
    view->setFocus();
    view->SetBox(CGrabRect{2000, 1000, 2600, 1600});
    bool right = true;
    QBENCHMARK {
        // Held down: the previews are live until the key is let go.
        QTest::keyPress(view, right ? Qt::Key_Right : Qt::Key_Left);
        QCoreApplication::processEvents(); // the view and the previews repainted
        right = !right;
    }
    QVERIFY(view->IsChanging());
    QTest::keyRelease(view, Qt::Key_Left);
}

QTEST_MAIN(BenchGrab)
#include "bench_grab.moc"
