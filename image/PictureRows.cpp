#include "image/PictureRows.h"

#include "image/LoaderSupport.h"
#include "image/Loaders.h"
#include "image/RgbImage.h"
#include "platform/Logging.h"

#include <algorithm>
#include <new>
#include <vector>

namespace quorvel {

using loaders::Refuse;
using loaders::ResetPicture;
using loaders::Succeed;

namespace {

// Rows decoded straight into the picture, which keeps the stored turn.
bool ReadInPlace(CRgbImage &image, CPictureRows &rows)
{
    constexpr int RowsPerRead = 16;
    std::uint8_t *pointers[RowsPerRead];
    const std::size_t width = std::size_t(rows.Width());
    while (rows.RowsDone() < rows.Height()) {
        const int first = rows.RowsDone();
        const int count = std::min(RowsPerRead, rows.Height() - first);
        for (int i = 0; i < count; ++i)
            pointers[i] = reinterpret_cast<std::uint8_t *>(image.Pixels() + std::size_t(first + i) * width);
        if (rows.ReadRows(pointers, count) <= 0)
            return false;
    }
    return true;
}

// Rows decoded a batch at a time and written upright.
bool ReadTurned(CRgbImage &image, CPictureRows &rows)
{
    const int batch = CUprightWriter::RowsPerBatch(rows.Width(), rows.Orientation());
    const std::size_t width = std::size_t(rows.Width());
    std::vector<CRgbTriple> buffer;
    try {
        buffer.resize(width * std::size_t(batch));
    } catch (const std::bad_alloc &) {
        return false;
    }
    std::vector<std::uint8_t *> pointers(static_cast<std::size_t>(batch));
    std::vector<const CRgbTriple *> stored(static_cast<std::size_t>(batch));
    for (int i = 0; i < batch; ++i) {
        stored[std::size_t(i)] = buffer.data() + std::size_t(i) * width;
        pointers[std::size_t(i)] = reinterpret_cast<std::uint8_t *>(buffer.data() + std::size_t(i) * width);
    }
    CUprightWriter writer(image.Pixels(), rows.Width(), rows.Height(), rows.Orientation());
    while (rows.RowsDone() < rows.Height()) {
        const int first = rows.RowsDone();
        const int got = rows.ReadRows(pointers.data(), std::min(batch, rows.Height() - first));
        if (got <= 0)
            return false;
        writer.PutRows(first, got, stored.data());
    }
    return true;
}

// A picture whose rows come whole only at the end, decoded as stored and then turned.
bool DecodeWhole(CRgbImage &image, CPictureRows &rows, std::int64_t maxPixels)
{
    const EPictureFormat format = rows.Format();
    if (!ResetPicture(image, format, rows.Width(), rows.Height(), maxPixels))
        return false;
    if (!rows.Start() || !rows.ReadWhole(reinterpret_cast<std::uint8_t *>(image.Pixels()))
        || !rows.Finish()) {
        qCDebug(lcImage) << PictureFormatName(format) << "bad picture data:" << rows.Message();
        image.Reset(rows.Width(), rows.Height(), maxPixels);
        return Refuse(image, format, ELoadProblem::Damaged);
    }
    if (!TurnUpright(image, rows.Orientation()))
        return Refuse(image, format, ELoadProblem::OutOfMemory);
    image.LoadReport().notes.append(rows.Notes());
    return Succeed(image, format);
}

} // namespace

bool DecodeRows(CRgbImage &image, CPictureRows &rows, std::int64_t maxPixels)
{
    if (!rows.IsOpen()) {
        if (rows.Problem() != ELoadProblem::None) {
            Refuse(image, rows.Format(), rows.Problem());
            image.LoadReport().width = rows.HeaderWidth();
            image.LoadReport().height = rows.HeaderHeight();
        }
        return false;
    }
    if (rows.WholeOnly())
        return DecodeWhole(image, rows, maxPixels);
    const EPictureFormat format = rows.Format();
    const EOrientation orientation = rows.Orientation();
    const bool swapped = SwapsAxes(orientation);
    const int width = swapped ? rows.Height() : rows.Width();
    const int height = swapped ? rows.Width() : rows.Height();
    if (!ResetPicture(image, format, width, height, maxPixels))
        return false;
    const bool good = rows.Start()
        && (orientation == EOrientation::Upright ? ReadInPlace(image, rows) : ReadTurned(image, rows))
        && rows.Finish();
    if (!good) {
        qCDebug(lcImage) << PictureFormatName(format) << "bad picture data:" << rows.Message();
        // Part of the picture may have been written; the result is all black, in fresh pages.
        if (!image.Reset(width, height, maxPixels))
            std::fill(image.Pixels(), image.Pixels() + std::size_t(width) * std::size_t(height),
                      CRgbTriple());
        return Refuse(image, format, ELoadProblem::Damaged);
    }
    image.LoadReport().notes.append(rows.Notes());
    return Succeed(image, format);
}

} // namespace quorvel
