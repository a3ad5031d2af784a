#include "image/FaceDetector.h"
#include "platform/Logging.h"

#include <dlib/image_processing/frontal_face_detector.h>
#include <dlib/image_transforms.h>

#include <cmath>
#include <cstring>
#include <exception>
#include <future>

namespace quorvel {

namespace {

using CDetector = dlib::frontal_face_detector;
using CGrey = dlib::array2d<unsigned char>;

// The detector scans a pyramid of its picture, each level 5/6 of the one before. The two finest
// levels of the enlarged picture cost about as much as all the others together, so one thread
// scans those and another the rest, from a picture made at the third level's scale.
constexpr long kFineLevels = 2;
constexpr double kCoarseScale = (5.0 / 6.0) * (5.0 / 6.0);

struct CDetectors
{
    CDetector fine;
    CDetector coarse;
};

const CDetectors &Detectors()
{
    // Built once, on first use, by whichever thread comes first; C++ makes the others wait.
    static const CDetectors detectors = [] {
        CDetectors made;
        made.coarse = dlib::get_frontal_face_detector();
        CDetector::image_scanner_type scanner; // scanners cannot be copied, only configured
        scanner.copy_configuration(made.coarse.get_scanner());
        scanner.set_max_pyramid_levels(kFineLevels);
        std::vector<CDetector::feature_vector_type> weights;
        for (unsigned long i = 0; i < made.coarse.num_detectors(); ++i)
            weights.push_back(made.coarse.get_w(i));
        made.fine = CDetector(scanner, made.coarse.get_overlap_tester(), weights);
        return made;
    }();
    return detectors;
}

// The detector's hits on a picture made at scale (its size over the grey copy's), mapped back
// to the grey copy's pixels.
std::vector<CFoundFace> Scan(const CDetector &prototype, const CGrey &picture, double scale)
{
    CDetector detector = prototype; // scanning changes a detector's state; each scan has its own
    std::vector<dlib::rect_detection> hits;
    detector(picture, hits, kFaceScoreThreshold);
    std::vector<CFoundFace> faces;
    for (const dlib::rect_detection &hit : hits) {
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
        Detectors();
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
        const CDetectors &detectors = Detectors();
        CGrey copy;
        copy.set_size(height, width);
        for (int y = 0; y < height; ++y)
            std::memcpy(&copy[y][0], grey + std::size_t(y) * std::size_t(width), std::size_t(width));
        const double fineScale = kFaceUpsample;
        const double coarseScale = kFaceUpsample * kCoarseScale;
        auto coarse = std::async(std::launch::async, [&] {
            return Scan(detectors.coarse, Resized(copy, coarseScale), coarseScale);
        });
        std::vector<CFoundFace> faces = Scan(detectors.fine, Resized(copy, fineScale), fineScale);
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
