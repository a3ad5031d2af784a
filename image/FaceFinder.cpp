#include "image/FaceFinder.h"

#include "image/JpegStream.h"
#include "image/Loaders.h"
#include "image/PicturePyramid.h"
#include "image/Resample.h"

#if QUORVEL_FACES
#include "image/FaceDetector.h"
#endif

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace quorvel {

bool FaceFinderBuiltIn()
{
    return QUORVEL_FACES != 0;
}

void PrepareFaceFinder()
{
#if QUORVEL_FACES
    PrepareFaceDetector();
#endif
}

QImage FaceSearchCopy(const CRgbImage &picture, const CPicturePyramid *pyramid, double &scale)
{
    const int width = picture.Width();
    const int height = picture.Height();
    const int longSide = std::max(width, height);
    scale = 1;
    if (width < 1 || height < 1)
        return {};
    int targetWidth = width, targetHeight = height;
    if (longSide > kFaceSearchSide) {
        scale = double(kFaceSearchSide) / double(longSide);
        targetWidth = std::max(1, int(std::lround(width * scale)));
        targetHeight = std::max(1, int(std::lround(height * scale)));
    }
    QImage grey(targetWidth, targetHeight, QImage::Format_Grayscale8);
    if (grey.isNull())
        return {};
    const auto toGrey = [&](int y, const CRgbTriple *row) {
        std::uint8_t *out = grey.scanLine(y);
        for (int x = 0; x < targetWidth; ++x)
            out[x] = std::uint8_t((77 * row[x].red + 150 * row[x].green + 29 * row[x].blue) >> 8);
    };
    if (longSide <= kFaceSearchSide) {
        for (int y = 0; y < height; ++y)
            toGrey(y, picture.Pixels() + std::size_t(y) * std::size_t(width));
        return grey;
    }
    // The averaged colours live only until they are grey, before the detector needs memory.
    std::vector<CRgbTriple> pixels(std::size_t(targetWidth) * std::size_t(targetHeight));
    int level = 0;
    if (pyramid) {
        while (level < pyramid->Levels()) {
            const QSize next = pyramid->LevelSize(level + 1);
            if (std::max(next.width(), next.height()) < kFaceSearchSide)
                break;
            ++level;
        }
    }
    if (level == 0) {
        ResampleArea(picture.Pixels(), width, height, 0, 0, width, height, pixels.data(),
                     targetWidth, targetHeight);
    } else if (pyramid->Level(level).isNull()) {
        // Level 1 not made (the view has not shown it): its rows halved here as they are used.
        const QSize size = pyramid->LevelSize(level);
        CAreaResampler resampler(size.width(), size.height(), 0, 0, size.width(), size.height(),
                                 pixels.data(), targetWidth, targetHeight);
        ForEachHalvedRow(picture, [&](int y, const std::uint8_t *row) {
            if (y >= resampler.FirstRow() && y < resampler.EndRow())
                resampler.AddRow(y, reinterpret_cast<const CRgbTriple *>(row));
        });
    } else {
        // A level's rows are padded, so they go to the resampler one by one.
        const QImage &source = pyramid->Level(level);
        CAreaResampler resampler(source.width(), source.height(), 0, 0, source.width(),
                                 source.height(), pixels.data(), targetWidth, targetHeight);
        for (int y = resampler.FirstRow(); y < resampler.EndRow(); ++y)
            resampler.AddRow(y, reinterpret_cast<const CRgbTriple *>(source.constScanLine(y)));
    }
    for (int y = 0; y < targetHeight; ++y)
        toGrey(y, pixels.data() + std::size_t(y) * std::size_t(targetWidth));
    return grey;
}

std::vector<CFoundFace> FindFaces(const CRgbImage &picture, const CPicturePyramid *pyramid)
{
    if (!FaceFinderBuiltIn() || std::min(picture.Width(), picture.Height()) < kSmallestFaceSearchSide)
        return {};
#if QUORVEL_FACES
    double scale = 1;
    QImage grey = FaceSearchCopy(picture, pyramid, scale);
    if (grey.isNull())
        return {};
    std::vector<CFoundFace> faces;
    for (const CFoundFace &found : DetectFaces(std::move(grey))) {
        // Back to picture pixels, then cut to the picture: a face at the edge can stick out.
        const CPixelRect &d = found.detection;
        const int left = std::max(0, int(std::lround(d.x / scale)));
        const int top = std::max(0, int(std::lround(d.y / scale)));
        const int right = std::min(picture.Width(), int(std::lround((d.x + d.width) / scale)));
        const int bottom = std::min(picture.Height(), int(std::lround((d.y + d.height) / scale)));
        if (right <= left || bottom <= top)
            continue;
        faces.push_back({CPixelRect{left, top, right - left, bottom - top}, found.score});
    }
    return MergeFaces(std::move(faces));
#else
    (void)pyramid;
    return {};
#endif
}

namespace {

// The JPEG file decoded small for the search, with the whole upright picture's size; null
// when it is no JPEG, too small to gain from it, or will not decode small.
std::unique_ptr<CRgbImage> SmallJpeg(const QString &path, std::int64_t maxPixels, int &width,
                                     int &height)
{
    CLoadReport report;
    bool onlyChoice = false;
    std::unique_ptr<CPictureRows> rows = OpenPictureRows(path, maxPixels, report, onlyChoice);
    auto *jpeg = dynamic_cast<CJpegStream *>(rows.get());
    if (!jpeg)
        return nullptr;
    const bool swapped = SwapsAxes(jpeg->Orientation());
    width = swapped ? jpeg->Height() : jpeg->Width();
    height = swapped ? jpeg->Width() : jpeg->Height();
    int denominator = 1;
    while (denominator < 8 && std::max(width, height) / (2 * denominator) >= kFaceSearchSide)
        denominator *= 2;
    if (denominator == 1 || !jpeg->ScaleDown(denominator))
        return nullptr;
    auto small = std::make_unique<CRgbImage>(1, 1, nullptr);
    if (!DecodeRows(*small, *jpeg, maxPixels))
        return nullptr;
    return small;
}

} // namespace

bool FindFacesInFile(const QString &path, CFacesInFile &found, std::int64_t maxPixels)
{
    found = {};
    int width = 0, height = 0;
    if (std::unique_ptr<CRgbImage> small = SmallJpeg(path, maxPixels, width, height)) {
        found.width = width;
        found.height = height;
        found.report = small->LoadReport();
        // The small picture's pixels stand for blocks of the whole one's.
        const double sx = double(width) / small->Width();
        const double sy = double(height) / small->Height();
        for (const CFoundFace &face : FindFaces(*small)) {
            const CPixelRect &d = face.detection;
            const int left = std::clamp(int(std::lround(d.x * sx)), 0, width);
            const int top = std::clamp(int(std::lround(d.y * sy)), 0, height);
            const int right = std::clamp(int(std::lround((d.x + d.width) * sx)), 0, width);
            const int bottom = std::clamp(int(std::lround((d.y + d.height) * sy)), 0, height);
            if (right > left && bottom > top)
                found.faces.push_back({CPixelRect{left, top, right - left, bottom - top}, face.score});
        }
        return true;
    }
    auto picture = std::make_unique<CRgbImage>(path, maxPixels);
    found.report = picture->LoadReport();
    if (!picture->IsLoaded())
        return false;
    found.width = picture->Width();
    found.height = picture->Height();
    found.faces = FindFaces(*picture);
    found.picture = std::move(picture);
    return true;
}

std::optional<CPixelRect> FaceSquare(const CPixelRect &detection, int pictureWidth,
                                     int pictureHeight)
{
    if (pictureWidth < 2 || pictureHeight < 2 || detection.width <= 0 || detection.height <= 0)
        return std::nullopt;
    const double face = std::max(detection.width, detection.height);
    const double centreX = detection.x + detection.width / 2.0;
    const double centreY = detection.y + detection.height / 2.0 - kFaceSquareRaise * face;
    // Right and bottom stay below the picture's width and height, so at most one pixel less.
    const int most = std::min(pictureWidth, pictureHeight) - 1;
    const int side = std::clamp(int(std::lround(kFaceSquareSide * face)), 1, most);
    const int x = std::clamp(int(std::lround(centreX - side / 2.0)), 0, pictureWidth - 1 - side);
    const int y = std::clamp(int(std::lround(centreY - side / 2.0)), 0, pictureHeight - 1 - side);
    return CPixelRect{x, y, side, side};
}

namespace {

std::int64_t Area(const CPixelRect &r)
{
    return std::int64_t(r.width) * std::int64_t(r.height);
}

bool SameFace(const CPixelRect &a, const CPixelRect &b)
{
    const int left = std::max(a.x, b.x);
    const int right = std::min(a.x + a.width, b.x + b.width);
    const int top = std::max(a.y, b.y);
    const int bottom = std::min(a.y + a.height, b.y + b.height);
    if (right <= left || bottom <= top)
        return false;
    const std::int64_t common = std::int64_t(right - left) * std::int64_t(bottom - top);
    const std::int64_t smaller = std::min(Area(a), Area(b));
    return common * 10 > (Area(a) + Area(b) - common) * 4 || common * 5 >= smaller * 4;
}

} // namespace

std::vector<CFoundFace> MergeFaces(std::vector<CFoundFace> faces)
{
    std::stable_sort(faces.begin(), faces.end(),
                     [](const CFoundFace &a, const CFoundFace &b) { return a.score > b.score; });
    std::vector<CFoundFace> kept;
    for (const CFoundFace &face : faces) {
        const bool seen = std::any_of(kept.begin(), kept.end(), [&](const CFoundFace &k) {
            return SameFace(k.detection, face.detection);
        });
        if (!seen)
            kept.push_back(face);
    }
    std::stable_sort(kept.begin(), kept.end(), [](const CFoundFace &a, const CFoundFace &b) {
        return Area(a.detection) > Area(b.detection);
    });
    return kept;
}

} // namespace quorvel
