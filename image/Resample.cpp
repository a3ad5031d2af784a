#include "image/Resample.h"

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <vector>

namespace quorvel {

namespace {

// Where one target pixel lies along one axis. Lengths are counted in units of
// 1 / (target extent / g) of a source pixel, g the greatest common divisor of the two extents,
// so that every overlap is a whole number: a source pixel is `sourceUnits` long, a target pixel
// `targetUnits`.
struct CSpan
{
    int first = 0;           // first source pixel touched, relative to the rectangle
    int last = 0;            // last source pixel touched
    std::uint64_t firstWeight = 0;
    std::uint64_t lastWeight = 0; // unused when first == last
};

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

void ResampleArea(const CRgbTriple *source, int sourceWidth, int sourceHeight,
                  int x, int y, int width, int height,
                  CRgbTriple *target, int targetWidth, int targetHeight)
{
    if (targetWidth <= 0 || targetHeight <= 0)
        return;
    const std::size_t targetPixels = std::size_t(targetWidth) * std::size_t(targetHeight);

    // Cut the rectangle to the picture, in 64 bits so that no corner overflows.
    const std::int64_t left = std::max<std::int64_t>(x, 0);
    const std::int64_t top = std::max<std::int64_t>(y, 0);
    const std::int64_t right = std::min<std::int64_t>(std::int64_t(x) + width, sourceWidth);
    const std::int64_t bottom = std::min<std::int64_t>(std::int64_t(y) + height, sourceHeight);
    if (!source || width <= 0 || height <= 0 || right <= left || bottom <= top) {
        std::fill(target, target + targetPixels, CRgbTriple());
        return;
    }
    const int cutWidth = int(right - left);
    const int cutHeight = int(bottom - top);

    std::uint64_t colUnits = 0, colTargetUnits = 0, rowUnits = 0, rowTargetUnits = 0;
    const std::vector<CSpan> columns = MakeSpans(cutWidth, targetWidth, colUnits, colTargetUnits);
    const std::vector<CSpan> rows = MakeSpans(cutHeight, targetHeight, rowUnits, rowTargetUnits);
    // Every target pixel covers colTargetUnits x rowTargetUnits; at most the cut's pixel count,
    // so the sums below (times 255) stay far inside 64 bits.
    const std::uint64_t area = colTargetUnits * rowTargetUnits;

    const std::size_t rowValues = std::size_t(targetWidth) * 3;
    std::vector<std::uint64_t> rowSums(rowValues);
    std::vector<std::uint64_t> acc(rowValues);
    int summedRow = -1;
    const CRgbTriple *origin = source + top * std::int64_t(sourceWidth) + left;

    auto addRow = [&](int k, std::uint64_t weight) {
        if (k != summedRow) {
            SumRow(origin + std::int64_t(k) * sourceWidth, columns, colUnits, rowSums.data());
            summedRow = k;
        }
        for (std::size_t v = 0; v < rowValues; ++v)
            acc[v] += weight * rowSums[v];
    };

    CRgbTriple *out = target;
    for (const CSpan &span : rows) {
        std::fill(acc.begin(), acc.end(), 0);
        addRow(span.first, span.firstWeight);
        if (span.last != span.first) {
            for (int k = span.first + 1; k < span.last; ++k)
                addRow(k, rowUnits);
            addRow(span.last, span.lastWeight);
        }
        for (std::size_t v = 0; v < rowValues; v += 3, ++out) {
            out->red = std::uint8_t((acc[v] + area / 2) / area);
            out->green = std::uint8_t((acc[v + 1] + area / 2) / area);
            out->blue = std::uint8_t((acc[v + 2] + area / 2) / area);
        }
    }
}

} // namespace quorvel
