#include "image/FaceDetector.h"
#include "image/FaceBands.h"
#include "image/FaceLevels.h"
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

#include "FaceModel.inc"

// The search's three stages (FaceLevels.h): a level is scanned only while its faces would be
// at least a kSmallFaceRatio-th of the largest found so far. Each stage is cut in two parts of
// about equal cost, one for each thread.
constexpr double kSmallFaceRatio = 3.0;

struct CStage
{
    CLevels parts[2][2];
};
// Levels 7 and 8 cost about what 9 and all after it do, 4 what 5 and 6 do, 0 and 3 what 1
// and 2 do.
constexpr CStage kStages[] = {
    {{{{7, 2}, {}}, {{9, kModelMaxLevels}, {}}}},
    {{{{4, 1}, {}}, {{5, 1}, {6, 1}}}},
    {{{{0, 1}, {3, 1}}, {{1, 1}, {2, 1}}}},
};

// dlib's frontal-face detector: five filter banks (frontal, turned left and right, tilted left
// and right), each with the threshold its scores are measured against.
struct CModel
{
    std::vector<CScanner::fhog_filterbank> banks;
    std::vector<double> thresholds; // each bank's, raised by kFaceScoreThreshold
    dlib::test_box_overlap overlap{kModelOverlapIou, kModelOverlapCovered};
    CFhogWindow window;
};

void Configure(CScanner &scanner, unsigned long levels);

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
        model.thresholds.push_back(kModelThresholds[detector] + kFaceScoreThreshold);
    }
    CScanner scanner;
    Configure(scanner, 1);
    model.window.filterRows = long(scanner.get_fhog_window_height());
    model.window.filterColumns = long(scanner.get_fhog_window_width());
    model.window.boxRows = model.window.filterRows - 2 * long(scanner.get_padding());
    model.window.boxColumns = model.window.filterColumns - 2 * long(scanner.get_padding());
    model.window.cellSize = int(scanner.get_cell_size());
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

// The faces of each bank's hits on a picture steps pyramid levels below one made at scale (its
// size over the grey copy's), mapped back to the grey copy's pixels. As dlib's detector does:
// every bank's hits above its threshold, the best first, none kept that overlaps a better one.
std::vector<CFoundFace> Kept(const CModel &model, const std::vector<CFhogHits> &found,
                             unsigned long steps, double scale);

// The detector's faces on a picture, as Kept maps them; the picture's own pyramid scanned to
// its levels-th level. The picture is freed once its features are made: the scan needs only
// them.
std::vector<CFoundFace> Scan(const CModel &model, CGrey &picture, unsigned long steps,
                             double scale, unsigned long levels)
{
    CScanner scanner;
    Configure(scanner, levels);
    scanner.load(picture);
    picture.clear();
    std::vector<CFhogHits> found(model.banks.size());
    for (unsigned long i = 0; i < model.banks.size(); ++i)
        scanner.detect(model.banks[i], found[i], model.thresholds[i]);
    return Kept(model, found, steps, scale);
}

// The same as Scan on a one-level pyramid of the picture, its feature rows made and scanned in
// bands, half of them on another thread, so that the features are never held whole.
std::vector<CFoundFace> ScanInBands(const CModel &model, const CGrey &picture,
                                    unsigned long steps, double scale)
{
    long first = 0, end = 0;
    FhogScanRows(picture, model.window, first, end);
    const long middle = first + (end - first) / 2;
    // Bands of about 1 MB of features with the filters' rows around them: 21 feature rows
    // for the finest level of a 1024-pixel copy, more for the narrower coarser levels, which
    // then make fewer rows twice. Larger bands are faster and hold more: 32 rows peak 0.3 MB
    // higher for 1.3% fewer instructions.
    constexpr long kBandBytes = 1000000;
    const long rowBytes = (picture.nc() / model.window.cellSize + model.window.filterColumns)
                          * long(sizeof(float) * kModelPlanes);
    const long bandRows = std::max(8L, kBandBytes / rowBytes - model.window.filterRows + 1);
    std::vector<CFhogHits> upper, lower;
    auto other = std::async(std::launch::async, [&] {
        ScanFhogBands(picture, model.window, model.banks, model.thresholds, middle, end,
                      bandRows, lower);
    });
    ScanFhogBands(picture, model.window, model.banks, model.thresholds, first, middle, bandRows,
                  upper);
    other.get();
    for (std::size_t i = 0; i < upper.size(); ++i) {
        // Row by row, as dlib's scan finds them, then sorted as it sorts them.
        upper[i].insert(upper[i].end(), lower[i].begin(), lower[i].end());
        std::sort(upper[i].rbegin(), upper[i].rend(), dlib::impl::compare_pair_rect);
    }
    return Kept(model, upper, steps, scale);
}

std::vector<CFoundFace> Kept(const CModel &model, const std::vector<CFhogHits> &found,
                             unsigned long steps, double scale)
{
    std::vector<dlib::rect_detection> hits;
    for (unsigned long i = 0; i < found.size(); ++i) {
        for (const auto &[score, rect] : found[i])
            hits.push_back({score - kModelThresholds[i], i, rect});
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

// The faces on the given levels of the grey copy's pyramid.
std::vector<CFoundFace> ScanLevels(const CModel &model, CLevelPictures &pictures,
                                   const CLevels &levels)
{
    if (levels.count == 0 || levels.first >= kKeptLevels || !pictures.made[levels.first])
        return {};
    // Rectangles go back to the copy as dlib's pyramid maps them, from the picture it starts at.
    const unsigned long base = levels.first < 2 ? 0 : 2;
    return Scan(model, pictures.pictures[levels.first], levels.first - base, LevelScale(base),
                levels.count);
}

// The face side that level finds, in the grey copy's pixels.
double LevelFace(unsigned long level)
{
    return double(kModelWindowWidth) / LevelScale(level);
}

// Those of levels worth scanning next to a face of side largest: the coarser end of them,
// whose faces are at least a kSmallFaceRatio-th of it.
CLevels WorthScanning(CLevels levels, int largest)
{
    while (levels.count > 0 && LevelFace(levels.first) * kSmallFaceRatio < largest) {
        ++levels.first;
        --levels.count;
    }
    return levels;
}

// One stage of the search: the first part's levels on another thread, the second's on this
// one; only those worth scanning next to the largest face found before.
std::vector<CFoundFace> ScanStage(const CModel &model, CLevelPictures &pictures,
                                  const CStage &stage, int largest)
{
    const auto scanPart = [&](const CLevels (&part)[2]) {
        std::vector<CFoundFace> faces = ScanLevels(model, pictures, WorthScanning(part[0], largest));
        std::vector<CFoundFace> more = ScanLevels(model, pictures, WorthScanning(part[1], largest));
        faces.insert(faces.end(), more.begin(), more.end());
        return faces;
    };
    auto other = std::async(std::launch::async, [&] { return scanPart(stage.parts[0]); });
    std::vector<CFoundFace> faces = scanPart(stage.parts[1]);
    std::vector<CFoundFace> more = other.get();
    faces.insert(faces.end(), more.begin(), more.end());
    return faces;
}

// The last stage, levels 0 to 3, each on both threads in bands, one level after the other, so
// that one level's picture is held with a band's features for each thread: levels 0 and 1 are
// made only once 2 and 3 are scanned, and level 1 from level 0 once that is scanned. The faces
// come in the order of kStages[2]'s parts.
std::vector<CFoundFace> ScanFinest(const CModel &model, CLevelPictures &pictures, int largest)
{
    const auto worth = [&](unsigned long level) {
        return WorthScanning({level, 1}, largest).count > 0;
    };
    const auto scan = [&](unsigned long level) {
        std::vector<CFoundFace> faces;
        if (worth(level) && pictures.made[level]) {
            const unsigned long base = level < 2 ? 0 : 2;
            faces = ScanInBands(model, pictures.pictures[level], level - base, LevelScale(base));
        }
        pictures.pictures[level].clear();
        return faces;
    };
    const std::vector<CFoundFace> second = scan(2), third = scan(3);
    std::vector<CFoundFace> zeroth, first;
    if (worth(1)) { // level 0 finds smaller faces: worth scanning only if 1 is
        pictures.Make(0, 1);
        pictures.copy.clear();
        if (worth(0))
            zeroth = ScanInBands(model, pictures.pictures[0], 0, LevelScale(0));
        pictures.StepDownTo(1); // from level 0, before it goes
        pictures.pictures[0].clear();
        first = scan(1);
    }
    std::vector<CFoundFace> faces = first;
    faces.insert(faces.end(), second.begin(), second.end());
    faces.insert(faces.end(), zeroth.begin(), zeroth.end());
    faces.insert(faces.end(), third.begin(), third.end());
    return faces;
}

} // namespace

std::vector<CFoundFace> ScanFaceLevel(const QImage &grey, double threshold, long bandRows)
{
    CModel model = Model();
    for (std::size_t i = 0; i < model.thresholds.size(); ++i)
        model.thresholds[i] = kModelThresholds[i] + threshold;
    CGrey picture;
    picture.set_size(grey.height(), grey.width());
    for (int y = 0; y < grey.height(); ++y)
        std::memcpy(&picture[y][0], grey.constScanLine(y), std::size_t(grey.width()));
    if (bandRows == 0)
        return Scan(model, picture, 0, 1, 1);
    long first = 0, end = 0;
    FhogScanRows(picture, model.window, first, end);
    std::vector<CFhogHits> found;
    ScanFhogBands(picture, model.window, model.banks, model.thresholds, first, end, bandRows, found);
    for (CFhogHits &hits : found)
        std::sort(hits.rbegin(), hits.rend(), dlib::impl::compare_pair_rect);
    return Kept(model, found, 0, 1);
}

void PrepareFaceDetector()
{
    try {
        Model();
    } catch (const std::exception &e) {
        // Not set up now, the first search tries again and finds nothing if it fails too.
        qCWarning(lcImage) << "face detector setup failed:" << e.what();
    }
}

namespace {

// The grey picture as dlib's, the QImage freed.
CGrey DlibGrey(QImage &grey)
{
    CGrey copy;
    copy.set_size(grey.height(), grey.width());
    for (int y = 0; y < grey.height(); ++y)
        std::memcpy(&copy[y][0], grey.constScanLine(y), std::size_t(grey.width()));
    grey = QImage();
    return copy;
}

// The stages from the first-th on, each scanning only what the faces found so far leave.
void RunStages(const CModel &model, CLevelPictures &pictures, std::size_t first, int &largest,
               std::vector<CFoundFace> &faces)
{
    for (std::size_t s = first; s < std::size(kStages); ++s) {
        const CStage &stage = kStages[s];
        const std::vector<CFoundFace> found = s == 2 ? ScanFinest(model, pictures, largest)
                                                     : ScanStage(model, pictures, stage, largest);
        for (const CFoundFace &face : found) {
            faces.push_back(face);
            largest = std::max({largest, face.detection.width, face.detection.height});
        }
        for (const auto &part : stage.parts)
            for (const CLevels &levels : part)
                pictures.Free(levels);
    }
}

bool IsGrey(const QImage &grey)
{
    return !grey.isNull() && grey.format() == QImage::Format_Grayscale8;
}

} // namespace

std::vector<CFoundFace> DetectFaces(QImage grey, int largest, bool finerOnly)
{
    if (!IsGrey(grey))
        return {};
    try {
        const CModel &model = Model();
        CGrey copy = DlibGrey(grey);
        std::vector<CFoundFace> faces;
        CLevelPictures pictures(copy);
        pictures.Make(2, finerOnly ? kCoarseLevel : kKeptLevels);
        RunStages(model, pictures, finerOnly ? 1 : 0, largest, faces);
        return faces;
    } catch (const std::exception &e) {
        // A search that cannot be had (memory, a thread) finds nothing; the picture still opens.
        qCWarning(lcImage) << "face search failed:" << e.what();
        return {};
    }
}

QSize CoarseFaceSearchSize(int copyWidth, int copyHeight)
{
    return CoarseLevelSize(copyWidth, copyHeight);
}

bool DetectLargeFaces(QImage grey, int copyWidth, int copyHeight, std::vector<CFoundFace> &faces)
{
    faces.clear();
    if (!IsGrey(grey) || copyWidth < 1 || copyHeight < 1)
        return false;
    try {
        const CModel &model = Model();
        const CGrey source = DlibGrey(grey);
        CGrey none;
        CLevelPictures pictures(none);
        pictures.MakeCoarse(source, copyHeight, copyWidth);
        ScanStage(model, pictures, kStages[0], 0).swap(faces);
        return true;
    } catch (const std::exception &e) {
        qCWarning(lcImage) << "coarse face search failed:" << e.what();
        faces.clear();
        return false;
    }
}

bool FinerFacesWanted(int largest)
{
    return WorthScanning({0, kCoarseLevel}, largest).count > 0;
}

} // namespace quorvel
