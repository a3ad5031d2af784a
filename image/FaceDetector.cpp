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

// The detector scans a pyramid of its picture, level k at kFaceUpsample * (5/6)^k of the grey
// copy, each finding faces of about 80 pixels there. The finest levels cost the most (the
// first four three quarters of the whole) and find the smallest faces, so the search goes in
// two stages: first the levels from kFirstCoarseLevel on, then the finer ones, and these only
// when no face found first is so large that theirs would be kSmallFaceRatio times smaller.
// Each stage is cut in two parts of about equal cost, one for each thread.
constexpr double kLevelStep = 5.0 / 6.0;
constexpr unsigned long kFirstCoarseLevel = 4;
constexpr double kSmallFaceRatio = 3.0;

struct CLevels
{
    unsigned long first; // the finest level scanned
    unsigned long count; // how many levels from it, at most
};
// Levels 4 and 5 cost about what 6 and all after it do; so do 0 and 3 against 1 and 2.
constexpr CLevels kCoarseStage[2][2] = {{{4, 2}, {}}, {{6, kModelMaxLevels}, {}}};
constexpr CLevels kFineStage[2][2] = {{{0, 1}, {3, 1}}, {{1, 2}, {}}};

double LevelScale(unsigned long level)
{
    return kFaceUpsample * std::pow(kLevelStep, double(level));
}

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

// The detector's hits on a picture steps pyramid levels below one made at scale (its size
// over the grey copy's), mapped back to the grey copy's pixels; the picture's own pyramid
// scanned to its levels-th level. As dlib's detector does: every bank's hits above its
// threshold, the best first, none kept that overlaps a better one.
std::vector<CFoundFace> Scan(const CModel &model, const CGrey &picture, unsigned long steps,
                             double scale, unsigned long levels)
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
    const dlib::pyramid_down<6> down;
    for (const dlib::rect_detection &hit : kept) {
        const dlib::rectangle r = steps ? dlib::rectangle(down.rect_up(hit.rect, steps)) : hit.rect;
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

// The faces on the given levels of the grey copy's pyramid. Levels 0 and 1 come from the copy
// enlarged kFaceUpsample times, the others from it enlarged to level 2's scale, each by dlib's
// own steps from there, so that the levels are the same whichever part scans them. A level
// smaller than the detector's smallest is not scanned, as dlib's pyramid stops before it.
std::vector<CFoundFace> ScanLevels(const CModel &model, const CGrey &copy, const CLevels &levels)
{
    if (levels.count == 0)
        return {};
    const unsigned long base = levels.first < 2 ? 0 : 2;
    CGrey level = Resized(copy, LevelScale(base));
    const dlib::pyramid_down<6> down;
    for (unsigned long k = base; k < levels.first; ++k) {
        if (level.nc() < long(kModelMinLevelWidth) || level.nr() < long(kModelMinLevelHeight))
            return {};
        CGrey next;
        down(level, next);
        dlib::swap(level, next);
    }
    if (levels.first > 0
        && (level.nc() < long(kModelMinLevelWidth) || level.nr() < long(kModelMinLevelHeight)))
        return {};
    return Scan(model, level, levels.first - base, LevelScale(base), levels.count);
}

// One stage of the search: the first part's levels on another thread, the second's on this one.
std::vector<CFoundFace> ScanStage(const CModel &model, const CGrey &copy,
                                  const CLevels (&parts)[2][2])
{
    auto other = std::async(std::launch::async, [&] {
        std::vector<CFoundFace> faces = ScanLevels(model, copy, parts[0][0]);
        std::vector<CFoundFace> more = ScanLevels(model, copy, parts[0][1]);
        faces.insert(faces.end(), more.begin(), more.end());
        return faces;
    });
    std::vector<CFoundFace> faces = ScanLevels(model, copy, parts[1][0]);
    std::vector<CFoundFace> more = ScanLevels(model, copy, parts[1][1]);
    faces.insert(faces.end(), more.begin(), more.end());
    more = other.get();
    faces.insert(faces.end(), more.begin(), more.end());
    return faces;
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
        std::vector<CFoundFace> faces = ScanStage(model, copy, kCoarseStage);
        int largest = 0;
        for (const CFoundFace &face : faces)
            largest = std::max({largest, face.detection.width, face.detection.height});
        // The largest face the finer levels find: the window on the coarsest of them.
        const double finest = double(kModelWindowWidth) / LevelScale(kFirstCoarseLevel - 1);
        if (largest < kSmallFaceRatio * finest) {
            std::vector<CFoundFace> more = ScanStage(model, copy, kFineStage);
            faces.insert(faces.end(), more.begin(), more.end());
        }
        return faces;
    } catch (const std::exception &e) {
        // A search that cannot be had (memory, a thread) finds nothing; the picture still opens.
        qCWarning(lcImage) << "face search failed:" << e.what();
        return {};
    }
}

} // namespace quorvel
