// Speed of what the face grab dialog does on a large photo while the user drags:
//   previews    both live previews (24x24 and 64x64) of a selection, made in one pass
//   separately  the same two previews made one after the other, for comparison
//   paintArea   one paint of the picture area: the visible region drawn 1:1
// The photo is QUORVEL_BENCH_PHOTO, by default the 5640x3172 one from Debian's mate-backgrounds.
// Qt Test's options apply: bench_grab -median 21 previews

#include "image/RgbImage.h"

#include <QImage>
#include <QPainter>
#include <QTest>

#include <array>
#include <memory>

using namespace quorvel;

namespace {

const char DefaultPhoto[] = "/usr/share/backgrounds/mate/abstract/Elephants_5640x3172.jpg";
constexpr std::array<QSize, 2> PreviewSizes = {QSize(24, 24), QSize(64, 64)};
// What the dialog's picture area shows inside its border with Debian's default font.
constexpr QSize VisibleRegion(376, 321);

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
    void paintArea_data();
    void paintArea();

private:
    // The row's selection, centred on the photo.
    QRect Selection() const;

    std::unique_ptr<CRgbImage> m_photo;
};

void BenchGrab::initTestCase()
{
    const QByteArray path = qEnvironmentVariableIsSet("QUORVEL_BENCH_PHOTO")
        ? qgetenv("QUORVEL_BENCH_PHOTO")
        : QByteArray(DefaultPhoto);
    m_photo = std::make_unique<CRgbImage>(QString::fromLocal8Bit(path));
    if (!m_photo->IsLoaded())
        QSKIP(qPrintable(QStringLiteral("no photo at %1 (set QUORVEL_BENCH_PHOTO)")
                             .arg(QString::fromLocal8Bit(path))));
    qInfo("photo: %dx%d", m_photo->Width(), m_photo->Height());
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

void BenchGrab::paintArea_data()
{
    QTest::addColumn<int>("format");
    QTest::newRow("RGB32 window") << int(QImage::Format_RGB32);
    QTest::newRow("ARGB32 premultiplied window") << int(QImage::Format_ARGB32_Premultiplied);
}

void BenchGrab::paintArea()
{
    QFETCH(int, format);
    QImage window(VisibleRegion + QSize(2, 2), QImage::Format(format));
    window.fill(Qt::white);
    const int sx = (m_photo->Width() - VisibleRegion.width()) / 2;
    const int sy = (m_photo->Height() - VisibleRegion.height()) / 2;
    QBENCHMARK {
        QPainter painter(&window);
        m_photo->Draw(painter, 1, 1, sx, sy, VisibleRegion.width(), VisibleRegion.height(), -1, -1);
    }
    const QRgb shown = window.pixel(1, 1);
    const CRgbTriple &expected = m_photo->PixelAt(sx, sy);
    QCOMPARE(qRed(shown), int(expected.red));
    QCOMPARE(qBlue(shown), int(expected.blue));
}

QTEST_GUILESS_MAIN(BenchGrab)
#include "bench_grab.moc"
