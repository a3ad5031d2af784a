#pragma once
// Cuts faces from a picture file without holding the picture: JPEG and PNG pictures are decoded
// a few rows at a time and each row goes straight into every face being made, in the stored
// picture's turn (rows decoded before the faces' rectangles are known wait for them); each
// face is turned upright once made. Pictures of other kinds are loaded whole. Either way the
// faces are those CRgbImage::CropToPaletteImage makes of the upright picture: area averaging
// is exact, so it gives the same pixels whichever way it runs.

#include "image/Orientation.h"
#include "image/RgbImage.h"

#include <QString>

#include <cstdint>
#include <future>
#include <memory>
#include <optional>
#include <vector>

namespace quorvel {

class CPaletteImage;

// One face to cut: CropToPaletteImage's arguments.
struct CFaceCut
{
    int x1 = 0;
    int y1 = 0;
    int x2 = 0;
    int y2 = 0;
    int tw = 0;
    int th = 0;
};

class CFaceCutter
{
public:
    // Opens the picture: a file that the loaders would decode row by row (a JPEG or a PNG, see
    // OpenPictureRows) has only its header read here; any other is loaded whole. maxPixels as
    // for the loaders. Width, height and the rectangles of Cut are the upright picture's.
    explicit CFaceCutter(const QString &path, std::int64_t maxPixels = kMaxPicturePixels);
    ~CFaceCutter();

    CFaceCutter(const CFaceCutter &) = delete;
    CFaceCutter &operator=(const CFaceCutter &) = delete;

    // False when no loader reads the picture (its header, for a streamed JPEG).
    bool IsOpen() const { return m_open; }
    // True when the faces will be cut while the picture is decoded.
    bool IsStreaming() const { return m_streaming; }
    int Width() const { return m_width; }
    // What the loaders found, for telling why a picture did not open or could not be cut.
    const CLoadReport &Report() const { return m_report; }
    int Height() const { return m_height; }

    // Cuts every face in one pass over the picture: faces[i] is what
    // CropToPaletteImage(cuts[i]...) gives on the whole picture, null where that is null. False,
    // with no faces, when the picture cannot be read whole after all (bad data after a good
    // header). A streamed picture is read anew by every call.
    bool Cut(const std::vector<CFaceCut> &cuts, std::vector<std::unique_ptr<CPaletteImage>> &faces);

    // The cuts of CutAsPlaced, once known; none to give the cut up.
    using CPlacedCuts = std::future<std::optional<std::vector<CFaceCut>>>;
    // As Cut, for rectangles still being worked out on another thread (a face search), so that
    // the picture is decoded meanwhile: the rows decoded before placed is ready are held, at
    // most maxHeldBytes of them (then decoding waits), and go to the faces once it is. False,
    // with no faces, when placed gives no cuts; placed is waited for in any case. The default
    // holds an 18-megapixel photo whole, so that a search as long as its decode costs nothing.
    static constexpr std::int64_t kMaxHeldRowBytes = std::int64_t(64) << 20;
    bool CutAsPlaced(CPlacedCuts placed, std::vector<std::unique_ptr<CPaletteImage>> &faces,
                     std::int64_t maxHeldBytes = kMaxHeldRowBytes);

private:
    bool CutWhileDecoding(CPlacedCuts &placed, std::int64_t maxHeldBytes,
                          std::optional<std::vector<CFaceCut>> &cuts,
                          std::vector<std::unique_ptr<CPaletteImage>> &faces);
    bool LoadWhole();

    QString m_path;
    std::int64_t m_maxPixels = kMaxPicturePixels;
    std::unique_ptr<CRgbImage> m_picture; // when not streaming
    bool m_open = false;
    bool m_streaming = false;
    bool m_onlyRows = false; // no other loader would be tried after the rows decoder
    EOrientation m_orientation = EOrientation::Upright;
    CLoadReport m_report;
    int m_width = 0;
    int m_height = 0;
};

} // namespace quorvel
