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

namespace {

// Detections on a search copy at scale (its size over the picture's) back in the picture's
// pixels, cut to the picture: a face at the edge can stick out.
void ToPicture(const std::vector<CFoundFace> &detections, double scale, int width, int height,
               std::vector<CFoundFace> &faces)
{
    for (const CFoundFace &found : detections) {
        const CPixelRect &d = found.detection;
        const int left = std::max(0, int(std::lround(d.x / scale)));
        const int top = std::max(0, int(std::lround(d.y / scale)));
        const int right = std::min(width, int(std::lround((d.x + d.width) / scale)));
        const int bottom = std::min(height, int(std::lround((d.y + d.height) / scale)));
        if (right <= left || bottom <= top)
            continue;
        faces.push_back({CPixelRect{left, top, right - left, bottom - top}, found.score});
    }
}

} // namespace

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
    ToPicture(DetectFaces(std::move(grey)), scale, picture.Width(), picture.Height(), faces);
    return MergeFaces(std::move(faces));
#else
    (void)pyramid;
    return {};
#endif
}

namespace {

// A JPEG file decoded small by DCT scaling, upright, in grey where it can be; null when it is
// no JPEG or will not decode (then it is loaded whole, which says why).
std::unique_ptr<CRgbImage> ScaledJpeg(const QString &path, std::int64_t maxPixels, int denominator)
{
    CLoadReport report;
    bool onlyChoice = false;
    std::unique_ptr<CPictureRows> rows = OpenPictureRows(path, maxPixels, report, onlyChoice);
    auto *jpeg = dynamic_cast<CJpegStream *>(rows.get());
    if (!jpeg || !jpeg->ScaleDown(denominator))
        return nullptr;
    // The search sees grey only: the luma as stored saves decoding and converting the colours.
    jpeg->DecodeLuma();
    auto small = std::make_unique<CRgbImage>(1, 1, nullptr);
    if (!DecodeRows(*small, *jpeg, maxPixels))
        return nullptr;
    return small;
}

// The picture in grey, each block x block square of it averaged (those at the right and
// bottom edges over the pixels they have).
QImage BlockGrey(const CRgbImage &picture, int block)
{
    const int width = picture.Width(), height = picture.Height();
    const int outWidth = (width + block - 1) / block, outHeight = (height + block - 1) / block;
    QImage grey(outWidth, outHeight, QImage::Format_Grayscale8);
    if (grey.isNull())
        return {};
    // Whole blocks of a row summed in one run each, the last, partial one after them.
    std::vector<std::uint32_t> sums(static_cast<std::size_t>(outWidth));
    const int wholeBlocks = width / block;
    for (int oy = 0; oy < outHeight; ++oy) {
        std::fill(sums.begin(), sums.end(), 0);
        const int top = oy * block, bottom = std::min(height, top + block);
        for (int y = top; y < bottom; ++y) {
            const CRgbTriple *row = picture.Pixels() + std::size_t(y) * std::size_t(width);
            for (int ox = 0; ox < outWidth; ++ox) {
                const CRgbTriple *p = row + std::size_t(ox) * std::size_t(block);
                const int n = ox < wholeBlocks ? block : width - ox * block;
                std::uint32_t sum = 0;
                for (int i = 0; i < n; ++i)
                    sum += std::uint32_t(77 * p[i].red + 150 * p[i].green + 29 * p[i].blue);
                sums[std::size_t(ox)] += sum;
            }
        }
        std::uint8_t *out = grey.scanLine(oy);
        const int rows = bottom - top;
        for (int ox = 0; ox < outWidth; ++ox) {
            const std::uint32_t n = std::uint32_t(rows * (ox < wholeBlocks ? block : width - ox * block));
            out[ox] = std::uint8_t((sums[std::size_t(ox)] / n + 128) >> 8);
        }
    }
    return grey;
}

// How a large JPEG is searched: the whole upright picture's size, the DCT scale its search
// copy is made from and the coarser one, if any, that holds the coarse stage's levels.
struct CJpegSearch
{
    int width = 0;
    int height = 0;
    int fine = 1;  // 1 when the file is no JPEG or too small to gain from decoding it small
    int block = 1; // the blocks of the decode averaged for the coarse stage; 1: no coarse pass
    int copyWidth = 0;
    int copyHeight = 0;
    double copyScale = 1; // the search copy's size over the fine decode's
};

int Scaled(int side, int denominator)
{
    return (side + denominator - 1) / denominator; // as libjpeg rounds
}

CJpegSearch PlanJpegSearch(const QString &path, std::int64_t maxPixels)
{
    CJpegSearch plan;
    CLoadReport report;
    bool onlyChoice = false;
    std::unique_ptr<CPictureRows> rows = OpenPictureRows(path, maxPixels, report, onlyChoice);
    auto *jpeg = dynamic_cast<CJpegStream *>(rows.get());
    if (!jpeg)
        return plan;
    const bool swapped = SwapsAxes(jpeg->Orientation());
    plan.width = swapped ? jpeg->Height() : jpeg->Width();
    plan.height = swapped ? jpeg->Width() : jpeg->Height();
    while (plan.fine < 8 && std::max(plan.width, plan.height) / (2 * plan.fine) >= kFaceSearchSide)
        plan.fine *= 2;
#if QUORVEL_FACES
    // The search copy's size as FaceSearchCopy makes it from the fine decode.
    const int fineWidth = Scaled(plan.width, plan.fine);
    const int fineHeight = Scaled(plan.height, plan.fine);
    const int longSide = std::max(fineWidth, fineHeight);
    plan.copyWidth = fineWidth;
    plan.copyHeight = fineHeight;
    if (longSide > kFaceSearchSide) {
        plan.copyScale = double(kFaceSearchSide) / double(longSide);
        plan.copyWidth = std::max(1, int(std::lround(fineWidth * plan.copyScale)));
        plan.copyHeight = std::max(1, int(std::lround(fineHeight * plan.copyScale)));
    }
    const QSize coarse = CoarseFaceSearchSize(plan.copyWidth, plan.copyHeight);
    while (Scaled(fineWidth, 2 * plan.block) >= coarse.width()
           && Scaled(fineHeight, 2 * plan.block) >= coarse.height())
        plan.block *= 2;
#endif
    return plan;
}

bool SearchedSmall(const CJpegSearch &plan)
{
    return QUORVEL_FACES && plan.fine > 1
           && std::min(Scaled(plan.width, plan.fine), Scaled(plan.height, plan.fine))
                  >= kSmallestFaceSearchSide;
}

} // namespace

bool FacesSearchedSmall(const QString &path, std::int64_t maxPixels)
{
    return SearchedSmall(PlanJpegSearch(path, maxPixels));
}

bool FindFacesInFile(const QString &path, CFacesInFile &found, std::int64_t maxPixels)
{
    found = {};
    const CJpegSearch plan = PlanJpegSearch(path, maxPixels);
#if QUORVEL_FACES
    if (SearchedSmall(plan)) {
        // One decode serves both: the coarse stage first, on its blocks averaged, since a
        // large face, as a portrait's, leaves nothing for the finer stages to find; the copy
        // and its finer levels are made only when they may find more.
        std::unique_ptr<CRgbImage> small = ScaledJpeg(path, maxPixels, plan.fine);
        if (small) {
            std::vector<CFoundFace> inCopy;
            found.report = small->LoadReport();
            int largest = 0;
            const bool coarse = plan.block > 1
                                && DetectLargeFaces(BlockGrey(*small, plan.block), plan.copyWidth,
                                                    plan.copyHeight, inCopy);
            if (coarse) {
                for (const CFoundFace &face : inCopy)
                    largest = std::max({largest, face.detection.width, face.detection.height});
            }
            if (!coarse || FinerFacesWanted(largest)) {
                double scale = 1;
                std::vector<CFoundFace> more = DetectFaces(FaceSearchCopy(*small, nullptr, scale),
                                                           largest, coarse);
                inCopy.insert(inCopy.end(), more.begin(), more.end());
            }
            small.reset();
            found.width = plan.width;
            found.height = plan.height;
            // Back to the fine decode's pixels, then to the whole picture's, whose blocks
            // they stand for.
            const int fineWidth = Scaled(plan.width, plan.fine);
            const int fineHeight = Scaled(plan.height, plan.fine);
            std::vector<CFoundFace> faces;
            ToPicture(inCopy, plan.copyScale, fineWidth, fineHeight, faces);
            const double sx = double(plan.width) / fineWidth;
            const double sy = double(plan.height) / fineHeight;
            for (const CFoundFace &face : faces) {
                const CPixelRect &d = face.detection;
                const int left = std::clamp(int(std::lround(d.x * sx)), 0, plan.width);
                const int top = std::clamp(int(std::lround(d.y * sy)), 0, plan.height);
                const int right = std::clamp(int(std::lround((d.x + d.width) * sx)), 0, plan.width);
                const int bottom = std::clamp(int(std::lround((d.y + d.height) * sy)), 0, plan.height);
                if (right > left && bottom > top)
                    found.faces.push_back({CPixelRect{left, top, right - left, bottom - top}, face.score});
            }
            found.faces = MergeFaces(std::move(found.faces));
            return true;
        }
    }
#endif
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
