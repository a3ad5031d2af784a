#include "image/FaceCutter.h"

#include "image/HilbertDither.h"
#include "image/PictureRows.h"
#include "image/Loaders.h"
#include "image/PaletteImage.h"
#include "image/Resample.h"
#include "platform/Logging.h"

#include <QFileInfo>

#include <algorithm>
#include <limits>
#include <memory>
#include <new>
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
    faces.clear();
    if (!m_open)
        return false;
    if (m_streaming) {
        if (CutWhileDecoding(cuts, faces))
            return true;
        faces.clear();
        m_report.problem = ELoadProblem::Damaged;
        // Bad data in a file that other loaders may still read: let them try, as loading
        // the picture would have.
        if (m_onlyRows || !LoadWhole())
            return false;
    }
    for (const CFaceCut &cut : cuts)
        faces.push_back(m_picture->CropToPaletteImage(cut.x1, cut.y1, cut.x2, cut.y2, cut.tw, cut.th));
    return true;
}

bool CFaceCutter::CutWhileDecoding(const std::vector<CFaceCut> &cuts,
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
    const bool swapped = SwapsAxes(m_orientation);

    // Each face's intermediate picture, black, as stored (turned upright once it is made), and
    // what fills it; null where CropToPaletteImage would give null.
    std::vector<std::unique_ptr<CRgbImage>> intermediates(cuts.size());
    std::vector<CRowSink> sinks;
    std::vector<std::uint8_t> rows;
    // A few rows per call, fewer for a very wide picture.
    const int rowsPerRead = std::clamp(RowBufferPixels / storedWidth, 1, MaxRowsPerRead);
    try {
        for (std::size_t i = 0; i < cuts.size(); ++i) {
            const CFaceCut &cut = cuts[i];
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
        rows.resize(std::size_t(storedWidth) * 3 * std::size_t(rowsPerRead));
    } catch (const std::bad_alloc &) {
        qCDebug(lcImage) << "Not enough memory to cut faces from" << Shown(m_path);
        return false;
    }

    if (!stream.Start()) {
        qCDebug(lcImage) << Shown(m_path) << "bad picture data:" << stream.Message();
        return false;
    }
    std::uint8_t *rowPointers[MaxRowsPerRead];
    for (int i = 0; i < rowsPerRead; ++i)
        rowPointers[i] = rows.data() + std::size_t(i) * std::size_t(storedWidth) * 3;
    while (stream.RowsDone() < storedHeight) {
        const int first = stream.RowsDone();
        const int got = stream.ReadRows(rowPointers, std::min(rowsPerRead, storedHeight - first));
        if (got <= 0) {
            qCDebug(lcImage) << Shown(m_path) << "bad picture data:" << stream.Message();
            return false;
        }
        for (int r = 0; r < got; ++r) {
            const int y = first + r;
            const auto *row = reinterpret_cast<const CRgbTriple *>(rowPointers[r]);
            for (CRowSink &sink : sinks) {
                std::visit([&](auto &s) {
                    if (y >= s.FirstRow() && y < s.EndRow())
                        s.AddRow(y, row);
                }, sink);
            }
        }
    }
    if (!stream.Finish()) {
        qCDebug(lcImage) << Shown(m_path) << "bad picture data:" << stream.Message();
        return false;
    }

    faces.resize(cuts.size());
    for (std::size_t i = 0; i < cuts.size(); ++i) {
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
