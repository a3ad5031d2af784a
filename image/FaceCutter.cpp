#include "image/FaceCutter.h"

#include "image/HilbertDither.h"
#include "image/Palette.h"
#include "image/PictureRows.h"
#include "image/Loaders.h"
#include "image/PaletteImage.h"
#include "image/Resample.h"
#include "platform/LargeBuffer.h"
#include "platform/Logging.h"

#include <QFileInfo>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <limits>
#include <memory>
#include <new>
#include <system_error>
#include <variant>

namespace quorvel {

namespace {

constexpr int MaxRowsPerRead = 16;
constexpr int RowBufferPixels = 1 << 20;

QString Shown(const QString &path)
{
    return QFileInfo(path).fileName();
}

// Where one face's intermediate picture is made from the rows going by.
using CRowSink = std::variant<CAreaResampler, CBlockCopier>;

} // namespace

CFaceCutter::CFaceCutter(const QString &path, std::int64_t maxPixels)
    : m_path(path), m_maxPixels(maxPixels)
{
    const std::unique_ptr<CPictureRows> rows = OpenPictureRows(path, maxPixels, m_report, m_onlyRows);
    if (rows) {
        m_open = m_streaming = true;
        m_orientation = rows->Orientation();
        const bool swapped = SwapsAxes(m_orientation);
        m_width = swapped ? rows->Height() : rows->Width();
        m_height = swapped ? rows->Width() : rows->Height();
        return;
    }
    if (m_onlyRows)
        return;
    LoadWhole();
}

CFaceCutter::~CFaceCutter() = default;

bool CFaceCutter::LoadWhole()
{
    m_streaming = false;
    m_picture = std::make_unique<CRgbImage>(m_path, m_maxPixels);
    m_open = m_picture->IsLoaded();
    m_report = m_picture->LoadReport();
    m_width = m_open ? m_picture->Width() : 0;
    m_height = m_open ? m_picture->Height() : 0;
    if (!m_open)
        m_picture.reset();
    return m_open;
}

bool CFaceCutter::Cut(const std::vector<CFaceCut> &cuts,
                      std::vector<std::unique_ptr<CPaletteImage>> &faces)
{
    std::promise<std::optional<std::vector<CFaceCut>>> known;
    known.set_value(cuts);
    return CutAsPlaced(known.get_future(), faces);
}

bool CFaceCutter::CutAsPlaced(CPlacedCuts placed, std::vector<std::unique_ptr<CPaletteImage>> &faces,
                              std::int64_t maxHeldBytes)
{
    faces.clear();
    std::optional<std::vector<CFaceCut>> cuts;
    if (m_open && m_streaming) {
        if (CutWhileDecoding(placed, maxHeldBytes, cuts, faces))
            return true;
        faces.clear();
    }
    if (placed.valid())
        cuts = placed.get();
    if (!m_open || !cuts)
        return false;
    if (m_streaming) {
        m_report.problem = ELoadProblem::Damaged;
        // Bad data in a file that other loaders may still read: let them try, as loading
        // the picture would have.
        if (m_onlyRows || !LoadWhole())
            return false;
    }
    for (const CFaceCut &cut : *cuts)
        faces.push_back(m_picture->CropToPaletteImage(cut.x1, cut.y1, cut.x2, cut.y2, cut.tw, cut.th));
    return true;
}

namespace {

// Room for the rows decoded before the cuts are known, in large pages where the system has
// them, since tens of megabytes faulted in 4 KB pages cost milliseconds. Not cleared: every byte
// is decoded into before it is read.
struct CHeldRows
{
    CHeldRows() = default;
    CHeldRows(const CHeldRows &) = delete;
    CHeldRows &operator=(const CHeldRows &) = delete;

    std::uint8_t *bytes = nullptr;
    std::size_t size = 0;
    int rows = 0; // rows decoded into it, from the first

    bool Make(std::size_t wanted)
    {
        bytes = static_cast<std::uint8_t *>(AllocateLargePages(wanted));
        size = bytes ? wanted : 0;
        return bytes != nullptr;
    }
    void Free()
    {
        FreeLargePages(bytes, size);
        bytes = nullptr;
        size = 0;
        rows = 0;
    }
    ~CHeldRows() { Free(); }
};

} // namespace

bool CFaceCutter::CutWhileDecoding(CPlacedCuts &placed, std::int64_t maxHeldBytes,
                                   std::optional<std::vector<CFaceCut>> &cuts,
                                   std::vector<std::unique_ptr<CPaletteImage>> &faces)
{
    CLoadReport report;
    bool onlyRows = false;
    const std::unique_ptr<CPictureRows> opened = OpenPictureRows(m_path, m_maxPixels, report, onlyRows);
    if (!opened || opened->Orientation() != m_orientation
        || (SwapsAxes(m_orientation) ? QSize(opened->Height(), opened->Width())
                                     : QSize(opened->Width(), opened->Height()))
               != QSize(m_width, m_height)) {
        qCDebug(lcImage) << Shown(m_path) << "changed since it was opened";
        return false;
    }
    CPictureRows &stream = *opened;
    const int storedWidth = stream.Width();
    const int storedHeight = stream.Height();
    const std::size_t rowBytes = std::size_t(storedWidth) * 3;
    const bool swapped = SwapsAxes(m_orientation);

    // Each face's intermediate picture, black, as stored (turned upright once it is made), and
    // what fills it; null where CropToPaletteImage would give null.
    std::vector<std::unique_ptr<CRgbImage>> intermediates;
    std::vector<CRowSink> sinks;
    std::vector<std::uint8_t> rows;
    CHeldRows held;
    bool holding = true; // until there is no more room to hold rows
    // A few rows per call, fewer for a very wide picture.
    const int rowsPerRead = std::clamp(RowBufferPixels / storedWidth, 1, MaxRowsPerRead);
    std::uint8_t *rowPointers[MaxRowsPerRead];
    // Gives count rows from first to the sinks from begin to end.
    const auto feedSinks = [&](int first, int count, const std::uint8_t *bytes, std::size_t begin,
                               std::size_t end) {
        for (int r = 0; r < count; ++r) {
            const int y = first + r;
            const auto *row = reinterpret_cast<const CRgbTriple *>(bytes + std::size_t(r) * rowBytes);
            for (std::size_t i = begin; i < end; ++i) {
                std::visit([&](auto &s) {
                    if (y >= s.FirstRow() && y < s.EndRow())
                        s.AddRow(y, row);
                }, sinks[i]);
            }
        }
    };
    const auto feed = [&](int first, int count, const std::uint8_t *bytes) {
        feedSinks(first, count, bytes, 0, sinks.size());
    };
    // Takes the cuts, waiting for them, makes their faces' sinks and gives them the rows held.
    const auto place = [&]() -> bool {
        // The faces' reduction to the palette needs its lookup last: made now, while the search
        // keeps this thread waiting, rather than after the rows have gone in.
        if (placed.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
            PrepareNearestColours();
        cuts = placed.get();
        if (!cuts)
            return false;
        intermediates.resize(cuts->size());
        try {
            for (std::size_t i = 0; i < cuts->size(); ++i) {
                const CFaceCut &cut = (*cuts)[i];
                CCropPlan plan;
                if (!PlanCrop(m_width, m_height, cut.x1, cut.y1, cut.x2, cut.y2, cut.tw, cut.th, plan))
                    continue;
                // The plan is for the upright picture; the rows come as stored.
                const int width = swapped ? plan.height : plan.width;
                const int height = swapped ? plan.width : plan.height;
                auto picture = std::make_unique<CRgbImage>(0, 0);
                if (width > 0 && height > 0
                    && !picture->Reset(width, height, std::numeric_limits<std::int64_t>::max()))
                    continue;
                if (width == 0 || height == 0) // no pixels to fill or turn: upright already
                    picture = std::make_unique<CRgbImage>(plan.width, plan.height);
                if (plan.sourceWidth < 0 || plan.sourceHeight < 0) {
                    const CPixelRect block = StoredRect(m_orientation, m_width, m_height,
                                                        {plan.x, plan.y, plan.width, plan.height});
                    sinks.emplace_back(std::in_place_type<CBlockCopier>, storedWidth, storedHeight,
                                       block.x, block.y, picture->Pixels(), width, height);
                } else {
                    const CPixelRect source = StoredRect(m_orientation, m_width, m_height,
                                                         {plan.x, plan.y, plan.sourceWidth, plan.sourceHeight});
                    sinks.emplace_back(std::in_place_type<CAreaResampler>, storedWidth, storedHeight,
                                       source.x, source.y, source.width, source.height,
                                       picture->Pixels(), width, height);
                }
                intermediates[i] = std::move(picture);
            }
            rows.resize(rowBytes * std::size_t(rowsPerRead));
        } catch (const std::bad_alloc &) {
            qCDebug(lcImage) << "Not enough memory to cut faces from" << Shown(m_path);
            return false;
        }
        // The rows held are all there: half the faces take them on another thread, since
        // the search that kept them waiting has left its thread idle.
        if (held.rows > 0 && sinks.size() > 1) {
            const std::size_t half = sinks.size() / 2;
            try {
                auto other = std::async(std::launch::async,
                                        [&] { feedSinks(0, held.rows, held.bytes, half, sinks.size()); });
                feedSinks(0, held.rows, held.bytes, 0, half);
                other.get();
            } catch (const std::system_error &) { // no thread to be had
                feed(0, held.rows, held.bytes);
            }
        } else if (held.rows > 0) {
            feed(0, held.rows, held.bytes);
        }
        held.Free();
        for (int i = 0; i < rowsPerRead; ++i)
            rowPointers[i] = rows.data() + std::size_t(i) * rowBytes;
        return true;
    };

    if (!stream.Start()) {
        qCDebug(lcImage) << Shown(m_path) << "bad picture data:" << stream.Message();
        return false;
    }
    const std::size_t room = std::size_t(std::clamp<std::int64_t>(
        maxHeldBytes, 0, std::int64_t(rowBytes) * storedHeight));
    bool placedKnown = false;
    while (stream.RowsDone() < storedHeight) {
        const int first = stream.RowsDone();
        const int count = std::min(rowsPerRead, storedHeight - first);
        if (!placedKnown && holding && !held.bytes
            && placed.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
            holding = held.Make(room);
        holding = holding && std::size_t(first + count) * rowBytes <= room;
        if (!placedKnown
            && (!holding || placed.wait_for(std::chrono::seconds(0)) == std::future_status::ready)) {
            if (!place())
                return false;
            placedKnown = true;
        }
        if (!placedKnown) {
            for (int i = 0; i < count; ++i)
                rowPointers[i] = held.bytes + std::size_t(first + i) * rowBytes;
        }
        const int got = stream.ReadRows(rowPointers, count);
        if (got <= 0) {
            qCDebug(lcImage) << Shown(m_path) << "bad picture data:" << stream.Message();
            return false;
        }
        if (placedKnown)
            feed(first, got, rows.data());
        else
            held.rows = first + got;
    }
    if (!placedKnown && !place())
        return false;
    if (!stream.Finish()) {
        qCDebug(lcImage) << Shown(m_path) << "bad picture data:" << stream.Message();
        return false;
    }

    faces.resize(cuts->size());
    for (std::size_t i = 0; i < cuts->size(); ++i) {
        if (!intermediates[i] || !TurnUpright(*intermediates[i], m_orientation))
            continue;
        try {
            faces[i] = std::make_unique<CPaletteImage>(*intermediates[i]);
        } catch (const std::bad_alloc &) {
            // As CropToPaletteImage: a face that memory does not allow is null.
        }
    }
    return true;
}

} // namespace quorvel
