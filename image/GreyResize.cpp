#include "image/GreyResize.h"

#include <algorithm>
#include <cmath>
#include <future>
#include <vector>

namespace quorvel {

// dlib's bilinear resize of a grey picture (resize_image), to the same bytes: the columns'
// sample positions and weights are worked out once for all rows, in the same float steps as
// dlib's four-wide loop and its double tail, instead of again for every pixel.
void ResizeGrey(const CGrey &in, CGrey &out, long firstRow, long endRow)
{
    const long inRows = in.nr(), inColumns = in.nc();
    const long rows = out.nr(), columns = out.nc();
    if (rows == 0 || columns == 0 || inRows == 0 || inColumns == 0)
        return;
    const double xScale = double(inColumns - 1) / double(std::max<long>(columns - 1, 1));
    const double yScale = double(inRows - 1) / double(std::max<long>(rows - 1, 1));
    const std::size_t n = std::size_t(columns);
    std::vector<long> left(n), right(n);
    std::vector<float> fraction(n), rest(n);
    long fourWide = 0; // the columns dlib's four-wide loop does
    {
        const double x = -4 * xScale;
        float lane[4] = {float(x), float(x + xScale), float(x + 2 * xScale), float(x + 3 * xScale)};
        const float step = float(4 * xScale);
        for (;; fourWide += 4) {
            long l[4];
            for (int j = 0; j < 4; ++j) {
                lane[j] += step;
                l[j] = long(int(lane[j])); // truncated, as _mm_cvttps_epi32
            }
            if (l[3] + 1 >= inColumns)
                break;
            for (int j = 0; j < 4; ++j) {
                const std::size_t c = std::size_t(fourWide + j);
                left[c] = l[j];
                right[c] = l[j] + 1;
                fraction[c] = lane[j] - float(int(l[j]));
                rest[c] = 1 - fraction[c];
            }
        }
    }
    double x = -xScale + double(fourWide) * xScale;
    for (long c = fourWide; c < columns; ++c) {
        x += xScale;
        left[std::size_t(c)] = long(std::floor(x));
        right[std::size_t(c)] = std::min(left[std::size_t(c)] + 1, inColumns - 1);
        fraction[std::size_t(c)] = float(x - double(left[std::size_t(c)]));
    }
    // The two input rows in use, as floats, converted once however many output rows use them.
    const std::size_t inWidth = std::size_t(inColumns);
    std::vector<float> rowA(inWidth), rowB(inWidth);
    long rowAIndex = -1, rowBIndex = -1;
    const auto floats = [&](long index) -> const float * {
        if (index == rowAIndex)
            return rowA.data();
        if (index == rowBIndex)
            return rowB.data();
        // Replace the row that is not needed next: the lower-numbered one.
        std::vector<float> &target = rowAIndex < rowBIndex ? rowA : rowB;
        (rowAIndex < rowBIndex ? rowAIndex : rowBIndex) = index;
        const unsigned char *source = &in[index][0];
        for (long c = 0; c < inColumns; ++c)
            target[std::size_t(c)] = float(source[c]);
        return target.data();
    };
    // The rows' positions are dlib's running sum, so a later first row sums its way there.
    double y = -yScale;
    for (long r = 0; r < firstRow; ++r)
        y += yScale;
    for (long r = firstRow; r < std::min(endRow, rows); ++r) {
        y += yScale;
        const long top = long(std::floor(y));
        const long bottom = std::min(top + 1, inRows - 1);
        const double tb = y - double(top);
        const float down = float(tb);
        const float up = float(1 - tb);
        const float *above = floats(top);
        const float *below = floats(bottom);
        unsigned char *row = &out[r][0];
        for (long c = 0; c < fourWide; ++c) {
            const std::size_t i = std::size_t(c);
            const float value = up * rest[i] * above[left[i]] + up * fraction[i] * above[right[i]]
                                + down * rest[i] * below[left[i]]
                                + down * fraction[i] * below[right[i]];
            row[c] = static_cast<unsigned char>(double(value) + 0.5);
        }
        for (long c = fourWide; c < columns; ++c) {
            const std::size_t i = std::size_t(c);
            const float lr = fraction[i];
            const float value = float((1 - tb) * ((1 - lr) * above[left[i]] + lr * above[right[i]])
                                      + tb * ((1 - lr) * below[left[i]] + lr * below[right[i]]));
            row[c] = value > 255 ? 255 : value < 0 ? 0 : static_cast<unsigned char>(value);
        }
    }
}

void ResizeGrey(const CGrey &in, CGrey &out)
{
    const long half = out.nr() / 2;
    if (half < 32) {
        ResizeGrey(in, out, 0, out.nr());
        return;
    }
    auto lower = std::async(std::launch::async, [&] { ResizeGrey(in, out, half, out.nr()); });
    ResizeGrey(in, out, 0, half);
    lower.get();
}

} // namespace quorvel
