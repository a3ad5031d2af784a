#include "image/Resample.h"

#include <algorithm>
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

// Horizontal pass over one source row: per target column and channel, the weighted sum.
void SumRow(const CRgbTriple *row, const std::vector<CSpan> &spans, std::uint64_t sourceUnits,
            std::uint64_t *sums)
{
    for (const CSpan &span : spans) {
        const CRgbTriple &a = row[span.first];
        std::uint64_t r = span.firstWeight * a.red;
        std::uint64_t g = span.firstWeight * a.green;
        std::uint64_t b = span.firstWeight * a.blue;
        if (span.last != span.first) {
            std::uint64_t mr = 0, mg = 0, mb = 0;
            // 32-bit sums are faster and cannot overflow within 16 M pixels.
            for (int i = span.first + 1; i < span.last;) {
                const int end = std::min(span.last, i + (1 << 24));
                std::uint32_t r32 = 0, g32 = 0, b32 = 0;
                for (; i < end; ++i) {
                    r32 += row[i].red;
                    g32 += row[i].green;
                    b32 += row[i].blue;
                }
                mr += r32;
                mg += g32;
                mb += b32;
            }
            const CRgbTriple &z = row[span.last];
            r += mr * sourceUnits + span.lastWeight * z.red;
            g += mg * sourceUnits + span.lastWeight * z.green;
            b += mb * sourceUnits + span.lastWeight * z.blue;
        }
        *sums++ = r;
        *sums++ = g;
        *sums++ = b;
    }
}

} // namespace

CAreaResampler::CAreaResampler(int sourceWidth, int sourceHeight, int x, int y, int width,
                               int height, CRgbTriple *target, int targetWidth, int targetHeight)
    : m_out(target)
{
    if (targetWidth <= 0 || targetHeight <= 0)
        return;
    const std::size_t targetPixels = std::size_t(targetWidth) * std::size_t(targetHeight);

    // Cut the rectangle to the picture, in 64 bits so that no corner overflows.
    const std::int64_t left = std::max<std::int64_t>(x, 0);
    const std::int64_t top = std::max<std::int64_t>(y, 0);
    const std::int64_t right = std::min<std::int64_t>(std::int64_t(x) + width, sourceWidth);
    const std::int64_t bottom = std::min<std::int64_t>(std::int64_t(y) + height, sourceHeight);
    if (width <= 0 || height <= 0 || right <= left || bottom <= top) {
        std::fill(target, target + targetPixels, CRgbTriple());
        return;
    }
    const int cutWidth = int(right - left);
    const int cutHeight = int(bottom - top);
    m_left = int(left);
    m_top = int(top);
    m_bottom = int(bottom);

    std::uint64_t colTargetUnits = 0, rowTargetUnits = 0;
    m_columns = MakeSpans(cutWidth, targetWidth, m_columnUnits, colTargetUnits);
    m_rows = MakeSpans(cutHeight, targetHeight, m_rowUnits, rowTargetUnits);
    // Every target pixel covers colTargetUnits x rowTargetUnits; at most the cut's pixel count,
    // so the sums below (times 255) stay far inside 64 bits.
    m_area = colTargetUnits * rowTargetUnits;
    m_rowSums.assign(std::size_t(targetWidth) * 3, 0);
    m_acc.assign(std::size_t(targetWidth) * 3, 0);
}

void CAreaResampler::AddRow(int y, const CRgbTriple *row)
{
    if (y < m_top || y >= m_bottom)
        return;
    const int k = y - m_top;
    SumRow(row + m_left, m_columns, m_columnUnits, m_rowSums.data());
    const std::size_t rowValues = m_acc.size();
    // A source row ends every target row it is the last of, and may begin the next; when
    // enlarging, one source row makes several target rows.
    while (m_nextTargetRow < m_rows.size()) {
        const CSpan &span = m_rows[m_nextTargetRow];
        if (span.first > k)
            break;
        const std::uint64_t weight = k == span.first ? span.firstWeight
                                     : k == span.last ? span.lastWeight
                                                      : m_rowUnits;
        for (std::size_t v = 0; v < rowValues; ++v)
            m_acc[v] += weight * m_rowSums[v];
        if (k != span.last)
            break;
        for (std::size_t v = 0; v < rowValues; v += 3, ++m_out) {
            m_out->red = std::uint8_t((m_acc[v] + m_area / 2) / m_area);
            m_out->green = std::uint8_t((m_acc[v + 1] + m_area / 2) / m_area);
            m_out->blue = std::uint8_t((m_acc[v + 2] + m_area / 2) / m_area);
        }
        std::fill(m_acc.begin(), m_acc.end(), 0);
        ++m_nextTargetRow;
    }
}

void ResampleArea(const CRgbTriple *source, int sourceWidth, int sourceHeight,
                  int x, int y, int width, int height,
                  CRgbTriple *target, int targetWidth, int targetHeight)
{
    if (!source) {
        // Nothing to read: the no-area case, all black.
        width = 0;
    }
    CAreaResampler resampler(sourceWidth, sourceHeight, x, y, width, height, target, targetWidth,
                             targetHeight);
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
