#include "image/Resample.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <numeric>
#include <vector>

namespace quorvel {

namespace {

// Lengths along an axis are counted in units of 1 / (target extent / g) of a source pixel, g the
// greatest common divisor of the two extents, so that every overlap is a whole number: a source
// pixel is `sourceUnits` long, a target pixel `targetUnits`.
using CSpan = CAreaResampler::CSpan;

std::vector<CSpan> MakeSpans(int sourceExtent, int targetExtent, std::uint64_t &sourceUnits,
                             std::uint64_t &targetUnits)
{
    const std::uint64_t g = std::gcd(std::uint64_t(sourceExtent), std::uint64_t(targetExtent));
    sourceUnits = std::uint64_t(targetExtent) / g;
    targetUnits = std::uint64_t(sourceExtent) / g;

    std::vector<CSpan> spans(static_cast<std::size_t>(targetExtent));
    for (int j = 0; j < targetExtent; ++j) {
        const std::uint64_t lo = std::uint64_t(j) * targetUnits;
        const std::uint64_t hi = lo + targetUnits;
        CSpan &span = spans[std::size_t(j)];
        span.first = int(lo / sourceUnits);
        span.last = int((hi - 1) / sourceUnits);
        if (span.first == span.last) {
            span.firstWeight = targetUnits;
        } else {
            span.firstWeight = (std::uint64_t(span.first) + 1) * sourceUnits - lo;
            span.lastWeight = hi - std::uint64_t(span.last) * sourceUnits;
        }
    }
    return spans;
}

// The longest run of whole rows summed in 16 bits: 256 * 255 still fits, 257 * 255 would not.
constexpr int MaxRunRows = 256;

static_assert(sizeof(CRgbTriple) == 3, "rows are read as packed red, green, blue bytes");

// Adds a row's bytes to the column sums. Blocks of a fixed length become vector code even
// where the compiler only vectorises loops that need no scalar remainder.
void AddColumns(std::uint16_t *__restrict sums, const std::uint8_t *__restrict bytes,
                std::size_t count)
{
    constexpr std::size_t Block = 32;
    std::size_t i = 0;
    for (; i + Block <= count; i += Block) {
        for (std::size_t j = 0; j < Block; ++j)
            sums[i + j] = std::uint16_t(sums[i + j] + bytes[i + j]);
    }
    for (; i < count; ++i)
        sums[i] = std::uint16_t(sums[i] + bytes[i]);
}

} // namespace

CAreaResampler::CAreaResampler(int sourceWidth, int sourceHeight, int x, int y, int width,
                               int height, CRgbTriple *target, int targetWidth, int targetHeight)
    : CAreaResampler(sourceWidth, sourceHeight, x, y, width, height,
                     std::array<CResampleTarget, 1>{{{target, targetWidth, targetHeight}}})
{
}

CAreaResampler::CAreaResampler(int sourceWidth, int sourceHeight, int x, int y, int width,
                               int height, std::span<const CResampleTarget> targets)
{
    // Cut the rectangle to the picture, in 64 bits so that no corner overflows.
    const std::int64_t left = std::max<std::int64_t>(x, 0);
    const std::int64_t top = std::max<std::int64_t>(y, 0);
    const std::int64_t right = std::min<std::int64_t>(std::int64_t(x) + width, sourceWidth);
    const std::int64_t bottom = std::min<std::int64_t>(std::int64_t(y) + height, sourceHeight);
    const bool nothing = width <= 0 || height <= 0 || right <= left || bottom <= top;
    const int cutWidth = nothing ? 0 : int(right - left);
    const int cutHeight = nothing ? 0 : int(bottom - top);

    for (const CResampleTarget &wanted : targets) {
        if (wanted.width <= 0 || wanted.height <= 0)
            continue;
        if (nothing) {
            std::fill_n(wanted.pixels, std::size_t(wanted.width) * std::size_t(wanted.height),
                        CRgbTriple());
            continue;
        }
        CTarget target;
        target.out = wanted.pixels;
        std::uint64_t columnTargetUnits = 0, rowTargetUnits = 0;
        target.columns = MakeSpans(cutWidth, wanted.width, target.columnUnits, columnTargetUnits);
        target.rows = MakeSpans(cutHeight, wanted.height, target.rowUnits, rowTargetUnits);
        // Every target pixel covers columnTargetUnits x rowTargetUnits; at most the cut's pixel
        // count, so the sums below (times 255) stay far inside 64 bits.
        target.area = columnTargetUnits * rowTargetUnits;
        target.rowSums.assign(std::size_t(wanted.width) * 3, 0);
        target.acc.assign(std::size_t(wanted.width) * 3, 0);
        m_targets.push_back(std::move(target));
    }
    if (m_targets.empty())
        return;
    m_left = int(left);
    m_top = int(top);
    m_bottom = int(bottom);
    m_columnSums.assign(std::size_t(cutWidth) * 3, 0);

    // A target column needs the sums of its edge pixels and of the pixels between them: the
    // running sums of a row at each edge pixel and just after it.
    for (const CTarget &target : m_targets) {
        for (const CSpan &span : target.columns) {
            for (int mark : {span.first, span.first + 1, span.last, span.last + 1})
                m_marks.push_back(mark);
        }
    }
    std::sort(m_marks.begin(), m_marks.end());
    m_marks.erase(std::unique(m_marks.begin(), m_marks.end()), m_marks.end());
    for (CTarget &target : m_targets) {
        for (const CSpan &span : target.columns) {
            for (int pixel : {span.first, span.last})
                target.columnMarks.push_back(int(
                    std::lower_bound(m_marks.begin(), m_marks.end(), pixel) - m_marks.begin()));
        }
    }
    m_runningSums.assign(m_marks.size() * 3, 0);
}

void CAreaResampler::AddRow(int y, const CRgbTriple *row)
{
    if (y < m_top || y >= m_bottom)
        return;
    const int k = y - m_top;
    if (m_runRows == 0) {
        const int end = WholeRunEnd(k);
        if (end - k < 2) {
            AddRowToTargets(k, row);
            return;
        }
        m_runEnd = std::min(end, k + MaxRunRows);
        std::fill(m_columnSums.begin(), m_columnSums.end(), std::uint16_t(0));
    }
    AddColumns(m_columnSums.data(), reinterpret_cast<const std::uint8_t *>(row + m_left),
               m_columnSums.size());
    ++m_runRows;
    if (k + 1 == m_runEnd)
        EndRun(k);
}

int CAreaResampler::WholeRunEnd(int k) const
{
    int end = m_bottom - m_top;
    for (const CTarget &target : m_targets) {
        // The first target row not yet complete is the one row k starts in.
        const CSpan &span = target.rows[target.nextRow];
        const bool firstWhole = span.firstWeight == target.rowUnits;
        const bool lastWhole = span.first == span.last ? firstWhole
                                                       : span.lastWeight == target.rowUnits;
        if ((k == span.first && !firstWhole) || (k == span.last && !lastWhole))
            return k;
        end = std::min(end, (lastWhole ? span.last : span.last - 1) + 1);
    }
    return end;
}

template<class Value>
void CAreaResampler::SumColumns(const Value *values)
{
    std::uint64_t red = 0, green = 0, blue = 0;
    int pixel = 0;
    std::uint64_t *sums = m_runningSums.data();
    for (int mark : m_marks) {
        for (const Value *p = values + 3 * std::size_t(pixel); pixel < mark; ++pixel, p += 3) {
            red += p[0];
            green += p[1];
            blue += p[2];
        }
        *sums++ = red;
        *sums++ = green;
        *sums++ = blue;
    }
    for (CTarget &target : m_targets) {
        const std::uint64_t *running = m_runningSums.data();
        std::uint64_t *out = target.rowSums.data();
        const int *marks = target.columnMarks.data();
        for (const CSpan &span : target.columns) {
            // Running sums at the first pixel, after it, at the last pixel and after it.
            const std::uint64_t *atFirst = running + 3 * std::size_t(*marks++);
            const std::uint64_t *atLast = running + 3 * std::size_t(*marks++);
            for (int c = 0; c < 3; ++c) {
                const std::uint64_t first = atFirst[3 + c] - atFirst[c];
                if (span.first == span.last) {
                    out[c] = span.firstWeight * first;
                    continue;
                }
                const std::uint64_t last = atLast[3 + c] - atLast[c];
                const std::uint64_t between = atLast[c] - atFirst[3 + c];
                out[c] = span.firstWeight * first + target.columnUnits * between
                    + span.lastWeight * last;
            }
            out += 3;
        }
    }
}

void CAreaResampler::EndRun(int k)
{
    SumColumns(m_columnSums.data());
    for (CTarget &target : m_targets) {
        AddWeighted(target, target.rowUnits);
        if (target.rows[target.nextRow].last == k)
            EmitRow(target);
    }
    m_runRows = 0;
}

void CAreaResampler::AddRowToTargets(int k, const CRgbTriple *row)
{
    SumColumns(reinterpret_cast<const std::uint8_t *>(row + m_left));
    for (CTarget &target : m_targets) {
        // A source row ends every target row it is the last of, and may begin the next; when
        // enlarging, one source row makes several target rows.
        while (target.nextRow < target.rows.size()) {
            const CSpan &span = target.rows[target.nextRow];
            if (span.first > k)
                break;
            AddWeighted(target, k == span.first ? span.firstWeight
                                : k == span.last ? span.lastWeight
                                                 : target.rowUnits);
            if (k != span.last)
                break;
            EmitRow(target);
        }
    }
}

void CAreaResampler::AddWeighted(CTarget &target, std::uint64_t weight)
{
    for (std::size_t v = 0; v < target.acc.size(); ++v)
        target.acc[v] += weight * target.rowSums[v];
}

void CAreaResampler::EmitRow(CTarget &target)
{
    const std::uint64_t area = target.area;
    for (std::size_t v = 0; v < target.acc.size(); v += 3, ++target.out) {
        target.out->red = std::uint8_t((target.acc[v] + area / 2) / area);
        target.out->green = std::uint8_t((target.acc[v + 1] + area / 2) / area);
        target.out->blue = std::uint8_t((target.acc[v + 2] + area / 2) / area);
    }
    std::fill(target.acc.begin(), target.acc.end(), 0);
    ++target.nextRow;
}

void ResampleArea(const CRgbTriple *source, int sourceWidth, int sourceHeight,
                  int x, int y, int width, int height,
                  CRgbTriple *target, int targetWidth, int targetHeight)
{
    ResampleArea(source, sourceWidth, sourceHeight, x, y, width, height,
                 std::array<CResampleTarget, 1>{{{target, targetWidth, targetHeight}}});
}

void ResampleArea(const CRgbTriple *source, int sourceWidth, int sourceHeight,
                  int x, int y, int width, int height, std::span<const CResampleTarget> targets)
{
    if (!source) {
        // Nothing to read: the no-area case, all black.
        width = 0;
    }
    CAreaResampler resampler(sourceWidth, sourceHeight, x, y, width, height, targets);
    for (int row = resampler.FirstRow(); row < resampler.EndRow(); ++row)
        resampler.AddRow(row, source + std::int64_t(row) * sourceWidth);
}

CBlockCopier::CBlockCopier(int sourceWidth, int sourceHeight, int x, int y, CRgbTriple *target,
                           int targetWidth, int targetHeight)
    : m_x(x), m_y(y), m_target(target), m_targetWidth(targetWidth)
{
    const std::int64_t left = std::max<std::int64_t>(x, 0);
    const std::int64_t top = std::max<std::int64_t>(y, 0);
    const std::int64_t right = std::min<std::int64_t>(std::int64_t(x) + targetWidth, sourceWidth);
    const std::int64_t bottom = std::min<std::int64_t>(std::int64_t(y) + targetHeight, sourceHeight);
    if (targetWidth <= 0 || targetHeight <= 0 || right <= left || bottom <= top)
        return;
    m_left = int(left);
    m_right = int(right);
    m_top = int(top);
    m_bottom = int(bottom);
}

void CBlockCopier::AddRow(int y, const CRgbTriple *row)
{
    if (y < m_top || y >= m_bottom)
        return;
    CRgbTriple *to = m_target + (std::int64_t(y) - m_y) * m_targetWidth + (std::int64_t(m_left) - m_x);
    std::copy(row + m_left, row + m_right, to);
}

} // namespace quorvel
