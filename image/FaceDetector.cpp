#include "image/FaceDetector.h"
#include "platform/Logging.h"

#include <dlib/image_processing/scan_fhog_pyramid.h>
#include <dlib/image_processing/box_overlap_testing.h>
#include <dlib/image_processing/object_detector.h>
#include <dlib/image_transforms.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>
#include <future>

namespace quorvel {

namespace {

using CScanner = dlib::scan_fhog_pyramid<dlib::pyramid_down<6>>;
using CGrey = dlib::array2d<unsigned char>;

#include "FaceModel.inc"

// The detector scans a pyramid of its picture, each level 5/6 of the one before. The two finest
// levels of the enlarged picture cost about as much as all the others together, so one thread
// scans those and another the rest, from a picture made at the third level's scale.
constexpr unsigned long kFineLevels = 2;
constexpr double kCoarseScale = (5.0 / 6.0) * (5.0 / 6.0);

// dlib's frontal-face detector: five filter banks (frontal, turned left and right, tilted left
// and right), each with the threshold its scores are measured against.
struct CModel
{
    std::vector<CScanner::fhog_filterbank> banks;
    dlib::test_box_overlap overlap{kModelOverlapIou, kModelOverlapCovered};
};

CModel MakeModel()
{
    CModel model;
    const float *filter = kModelFilters;
    const float *rowPart = kModelRowParts;
    const float *columnPart = kModelColumnParts;
    const unsigned char *parts = kModelSeparableParts;
    for (unsigned long detector = 0; detector < kModelDetectors; ++detector) {
        CScanner::fhog_filterbank bank;
        bank.filters.resize(kModelPlanes);
        bank.row_filters.resize(kModelPlanes);
        bank.col_filters.resize(kModelPlanes);
        for (unsigned long plane = 0; plane < kModelPlanes; ++plane) {
            bank.filters[plane] = dlib::mat(filter, long(kModelFilterRows), long(kModelFilterColumns));
            filter += kModelFilterRows * kModelFilterColumns;
            for (unsigned part = 0; part < *parts; ++part) {
                bank.row_filters[plane].push_back(dlib::mat(rowPart, long(kModelFilterColumns)));
                bank.col_filters[plane].push_back(dlib::mat(columnPart, long(kModelFilterRows)));
                rowPart += kModelFilterColumns;
                columnPart += kModelFilterRows;
            }
            ++parts;
        }
        model.banks.push_back(std::move(bank));
    }
    return model;
}

const CModel &Model()
{
    // Built once, on first use, by whichever thread comes first; C++ makes the others wait.
    static const CModel model = MakeModel();
    return model;
}

// A scanner set up as the detector's, scanning at most levels levels of its pyramid.
void Configure(CScanner &scanner, unsigned long levels)
{
    scanner.set_detection_window_size(kModelWindowWidth, kModelWindowHeight);
    scanner.set_cell_size(kModelCellSize);
    scanner.set_padding(kModelPadding);
    scanner.set_min_pyramid_layer_size(kModelMinLevelWidth, kModelMinLevelHeight);
    scanner.set_max_pyramid_levels(levels);
}

// The detector's hits on a picture made at scale (its size over the grey copy's), mapped back
// to the grey copy's pixels; the pyramid's levels up to the levels-th. As dlib's detector
// does: every bank's hits above its threshold, the best first, none kept that overlaps a
// better one.
std::vector<CFoundFace> Scan(const CModel &model, const CGrey &picture, double scale,
                             unsigned long levels)
{
    CScanner scanner;
    Configure(scanner, levels);
    scanner.load(picture);
    std::vector<dlib::rect_detection> hits;
    std::vector<std::pair<double, dlib::rectangle>> found;
    for (unsigned long i = 0; i < model.banks.size(); ++i) {
        const double threshold = kModelThresholds[i];
        scanner.detect(model.banks[i], found, threshold + kFaceScoreThreshold);
        for (const auto &[score, rect] : found)
            hits.push_back({score - threshold, i, rect});
    }
    std::sort(hits.rbegin(), hits.rend());
    std::vector<dlib::rect_detection> kept;
    for (const dlib::rect_detection &hit : hits) {
        if (std::none_of(kept.begin(), kept.end(), [&](const dlib::rect_detection &k) {
                return model.overlap(k.rect, hit.rect);
            }))
            kept.push_back(hit);
    }
    std::vector<CFoundFace> faces;
    for (const dlib::rect_detection &hit : kept) {
        const dlib::rectangle &r = hit.rect;
        CFoundFace face;
        face.detection.x = int(std::lround(double(r.left()) / scale));
        face.detection.y = int(std::lround(double(r.top()) / scale));
        face.detection.width = int(std::lround(double(r.width()) / scale));
        face.detection.height = int(std::lround(double(r.height()) / scale));
        face.score = hit.detection_confidence;
        faces.push_back(face);
    }
    return faces;
}

CGrey Resized(const CGrey &source, double scale)
{
    CGrey target;
    target.set_size(std::max(1L, std::lround(double(source.nr()) * scale)),
                    std::max(1L, std::lround(double(source.nc()) * scale)));
    dlib::resize_image(source, target);
    return target;
}

} // namespace

void PrepareFaceDetector()
{
    try {
        Model();
    } catch (const std::exception &e) {
        // Not set up now, the first search tries again and finds nothing if it fails too.
        qCWarning(lcImage) << "face detector setup failed:" << e.what();
    }
}

std::vector<CFoundFace> DetectFaces(const std::uint8_t *grey, int width, int height)
{
    if (!grey || width < 1 || height < 1)
        return {};
    try {
        const CModel &model = Model();
        CGrey copy;
        copy.set_size(height, width);
        for (int y = 0; y < height; ++y)
            std::memcpy(&copy[y][0], grey + std::size_t(y) * std::size_t(width), std::size_t(width));
        const double fineScale = kFaceUpsample;
        const double coarseScale = kFaceUpsample * kCoarseScale;
        auto coarse = std::async(std::launch::async, [&] {
            return Scan(model, Resized(copy, coarseScale), coarseScale, kModelMaxLevels);
        });
        std::vector<CFoundFace> faces = Scan(model, Resized(copy, fineScale), fineScale, kFineLevels);
        std::vector<CFoundFace> more = coarse.get();
        faces.insert(faces.end(), more.begin(), more.end());
        return faces;
    } catch (const std::exception &e) {
        // A search that cannot be had (memory, a thread) finds nothing; the picture still opens.
        qCWarning(lcImage) << "face search failed:" << e.what();
        return {};
    }
}

} // namespace quorvel
