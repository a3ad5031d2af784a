#include "image/HilbertDither.h"
#include "image/NearestColour.h"

#include <algorithm>
#include <cmath>

#if !defined(QUORVEL_PORTABLE_DITHER) && (defined(__SSE2__) || defined(_M_X64) || defined(_M_AMD64))
#define QUORVEL_DITHER_SSE2 1
#include <emmintrin.h>
#endif

namespace quorvel {

namespace {

struct CCurveStep
{
    CHilbertDither::Direction subA, move1, subB, move2, move3, subC;
};

// How a curve of each direction is built from four smaller ones and three joining moves.
// A level-1 curve is the three moves alone.
constexpr CCurveStep CurveSteps[5] = {
    {},
    /* DIR_UP    */ {CHilbertDither::DIR_LEFT, CHilbertDither::DIR_DOWN, CHilbertDither::DIR_UP,
                     CHilbertDither::DIR_RIGHT, CHilbertDither::DIR_UP, CHilbertDither::DIR_RIGHT},
    /* DIR_LEFT  */ {CHilbertDither::DIR_UP, CHilbertDither::DIR_RIGHT, CHilbertDither::DIR_LEFT,
                     CHilbertDither::DIR_DOWN, CHilbertDither::DIR_LEFT, CHilbertDither::DIR_DOWN},
    /* DIR_DOWN  */ {CHilbertDither::DIR_RIGHT, CHilbertDither::DIR_UP, CHilbertDither::DIR_DOWN,
                     CHilbertDither::DIR_LEFT, CHilbertDither::DIR_DOWN, CHilbertDither::DIR_LEFT},
    /* DIR_RIGHT */ {CHilbertDither::DIR_DOWN, CHilbertDither::DIR_LEFT, CHilbertDither::DIR_RIGHT,
                     CHilbertDither::DIR_UP, CHilbertDither::DIR_RIGHT, CHilbertDither::DIR_UP},
};

std::array<std::int16_t, 16> ComputeWeights(int entries, int largest)
{
    std::array<std::int16_t, 16> weights{};
    const double ratio = std::pow(double(largest), 1.0 / double(entries - 1));
    double weight = 1.0;
    for (int i = 0; i < entries; ++i) {
        weights[std::size_t(i)] = std::int16_t(std::floor(weight + 0.5));
        weight *= ratio;
    }
    return weights;
}

// Kept as 16-bit values so that the weighted error sums map onto 16x16->32-bit multiply-adds.
const std::array<std::int16_t, 16> &Weights16()
{
    static const std::array<std::int16_t, 16> weights = ComputeWeights(16, 256);
    return weights;
}

} // namespace

CHilbertDither::CHilbertDither(const CRgbTriple *source, int width, int height)
    : m_width(std::max(width, 0)), m_height(std::max(height, 0)), m_source(source)
{
    if (m_width == 0 || m_height == 0)
        m_width = m_height = 0;
    m_dest.resize(std::size_t(m_width) * std::size_t(m_height));
}

const std::array<int, 16> &CHilbertDither::DitherWeights()
{
    static const std::array<int, 16> weights = [] {
        std::array<int, 16> wide{};
        std::copy(Weights16().begin(), Weights16().end(), wide.begin());
        return wide;
    }();
    return weights;
}

int CHilbertDither::ClampByte(int value)
{
    return value < 0 ? 0 : (value > 255 ? 255 : value);
}

int CHilbertDither::FloorLog2(int value)
{
    int log = 0;
    while (value > 1) {
        value >>= 1;
        ++log;
    }
    return log;
}

template <typename Visit> void CHilbertDither::Move(Direction direction, Visit &visit)
{
    if (unsigned(m_x) < unsigned(m_width) && unsigned(m_y) < unsigned(m_height))
        visit();
    switch (direction) {
    case DIR_NONE:
        break;
    case DIR_UP:
        --m_y;
        m_pos -= m_width;
        break;
    case DIR_LEFT:
        --m_x;
        --m_pos;
        break;
    case DIR_DOWN:
        ++m_y;
        m_pos += m_width;
        break;
    case DIR_RIGHT:
        ++m_x;
        ++m_pos;
        break;
    }
}

template <typename Visit> void CHilbertDither::Walk(int level, Direction direction, Visit &visit)
{
    // The last sub-curve of each level is walked by this loop rather than by another call.
    for (; level > 0; --level) {
        // A curve of this level fills a square of side 2^level that starts at the current cell;
        // UP and LEFT curves grow right and down from it, DOWN and RIGHT curves left and up.
        // If that square misses the picture, none of its cells would change anything: jump to
        // where the curve ends.
        const int reach = (1 << level) - 1;
        const bool growsForward = direction == DIR_UP || direction == DIR_LEFT;
        const int left = growsForward ? m_x : m_x - reach;
        const int top = growsForward ? m_y : m_y - reach;
        if (left >= m_width || top >= m_height || left + reach < 0 || top + reach < 0) {
            const int dx = direction == DIR_UP ? reach : (direction == DIR_DOWN ? -reach : 0);
            const int dy = direction == DIR_LEFT ? reach : (direction == DIR_RIGHT ? -reach : 0);
            m_x += dx;
            m_y += dy;
            m_pos += std::ptrdiff_t(dy) * m_width + dx;
            return;
        }
        const CCurveStep &step = CurveSteps[direction];
        if (level > 1)
            Walk(level - 1, step.subA, visit);
        Move(step.move1, visit);
        if (level > 1)
            Walk(level - 1, step.subB, visit);
        Move(step.move2, visit);
        if (level > 1)
            Walk(level - 1, step.subB, visit);
        Move(step.move3, visit);
        direction = step.subC;
    }
}

template <typename Visit> void CHilbertDither::WalkWholeCurve(Visit &visit)
{
    m_errors = {};
    m_x = m_y = 0;
    m_pos = 0;
    if (m_width == 0 || m_height == 0)
        return;
    // The smallest power of two square that holds the picture.
    const int size = std::max(m_width, m_height);
    int level = FloorLog2(size);
    if ((1 << level) < size)
        ++level;
    if (level > 0)
        Walk(level, DIR_UP, visit);
    Move(DIR_NONE, visit);
}

void CHilbertDither::ReduceToPalette()
{
    DitherWeights();
    m_nearest = &CNearestColourGrid::Instance();
    // The curve is walked ahead of the error diffusion in short runs, so that the diffusion can
    // keep its error queue in registers across a whole run.
    std::array<std::ptrdiff_t, 1024> run;
    std::size_t queued = 0;
    auto collect = [&] {
        run[queued++] = m_pos;
        if (queued == run.size()) {
            DitherRun(run.data(), queued);
            queued = 0;
        }
    };
    WalkWholeCurve(collect);
    DitherRun(run.data(), queued);
}

std::uint8_t CHilbertDither::DitherPixel(const CRgbTriple &pixel)
{
    const std::array<std::int16_t, 16> &weights = Weights16();
    const int own[3] = {pixel.red, pixel.green, pixel.blue};
    std::uint8_t target[3];
    for (std::size_t c = 0; c < 3; ++c) {
        int sum = 0;
        for (std::size_t i = 0; i < 16; ++i)
            sum += int(weights[i]) * int(m_errors[c][i]);
        // Integer division truncates toward zero, as the correction must.
        target[c] = std::uint8_t(ClampByte(own[c] + sum / 256));
    }
    const std::uint8_t index = m_nearest->Nearest(CRgbTriple(target[0], target[1], target[2]));
    const CRgbTriple &chosen = GamePalette[index];
    const int chosenValue[3] = {chosen.red, chosen.green, chosen.blue};
    // The error is measured from the pixel's own colour, not from the corrected target.
    for (std::size_t c = 0; c < 3; ++c) {
        std::copy(m_errors[c].begin() + 1, m_errors[c].end(), m_errors[c].begin());
        m_errors[c][15] = std::int16_t(own[c] - chosenValue[c]);
    }
    return index;
}

#if QUORVEL_DITHER_SSE2

// The steps of DitherPixel, with each component's queue in two registers of eight 16-bit lanes
// and the weighted sums done by multiply-add. The sum over the 15 older errors for the next
// pixel is formed while this pixel is still being matched; only the newest error (weight 256)
// waits for the match.
void CHilbertDither::DitherRun(const std::ptrdiff_t *positions, std::size_t count)
{
    if (count == 0)
        return;
    const CNearestColourGrid &nearest = *m_nearest;
    const std::int16_t *weights = Weights16().data();
    const __m128i weightsLow = _mm_loadu_si128(reinterpret_cast<const __m128i *>(weights));
    const __m128i weightsHigh = _mm_loadu_si128(reinterpret_cast<const __m128i *>(weights + 8));
    const __m128i withoutNewest = _mm_set_epi16(0, -1, -1, -1, -1, -1, -1, -1);

    // Per component: entries 0-7; entries 8-14 with lane 7 empty; the newest entry apart.
    __m128i low[3];
    __m128i high[3];
    int newest[3];
    for (std::size_t c = 0; c < 3; ++c) {
        low[c] = _mm_loadu_si128(reinterpret_cast<const __m128i *>(m_errors[c].data()));
        high[c] = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i *>(m_errors[c].data() + 8)),
                                withoutNewest);
        newest[c] = m_errors[c][15];
    }

    int older[3];
    const auto sumOlder = [&] {
        const __m128i red = _mm_add_epi32(_mm_madd_epi16(low[0], weightsLow), _mm_madd_epi16(high[0], weightsHigh));
        const __m128i green = _mm_add_epi32(_mm_madd_epi16(low[1], weightsLow), _mm_madd_epi16(high[1], weightsHigh));
        const __m128i blue = _mm_add_epi32(_mm_madd_epi16(low[2], weightsLow), _mm_madd_epi16(high[2], weightsHigh));
        __m128i redGreen = _mm_add_epi32(_mm_unpacklo_epi32(red, green), _mm_unpackhi_epi32(red, green));
        redGreen = _mm_add_epi32(redGreen, _mm_unpackhi_epi64(redGreen, redGreen));
        __m128i blueOnly = _mm_add_epi32(blue, _mm_unpackhi_epi64(blue, blue));
        blueOnly = _mm_add_epi32(blueOnly, _mm_shuffle_epi32(blueOnly, 1));
        older[0] = _mm_cvtsi128_si32(redGreen);
        older[1] = _mm_cvtsi128_si32(_mm_shuffle_epi32(redGreen, 1));
        older[2] = _mm_cvtsi128_si32(blueOnly);
    };

    sumOlder();
    for (std::size_t n = 0; n < count; ++n) {
        const std::ptrdiff_t pos = positions[n];
        const CRgbTriple &pixel = m_source[pos];
        const int sumRed = older[0] + newest[0] * 256;
        const int sumGreen = older[1] + newest[1] * 256;
        const int sumBlue = older[2] + newest[2] * 256;

        // Ready the queue for the next pixel: the newest joins the registers, the oldest leaves.
        for (std::size_t c = 0; c < 3; ++c) {
            const __m128i full = _mm_insert_epi16(high[c], newest[c], 7);
            low[c] = _mm_or_si128(_mm_srli_si128(low[c], 2), _mm_slli_si128(full, 14));
            high[c] = _mm_srli_si128(full, 2);
        }
        sumOlder();

        const CRgbTriple target(std::uint8_t(ClampByte(pixel.red + sumRed / 256)),
                                std::uint8_t(ClampByte(pixel.green + sumGreen / 256)),
                                std::uint8_t(ClampByte(pixel.blue + sumBlue / 256)));
        const std::uint8_t index = nearest.Nearest(target);
        m_dest[std::size_t(pos)] = index;
        const CRgbTriple &chosen = GamePalette[index];
        newest[0] = int(pixel.red) - int(chosen.red);
        newest[1] = int(pixel.green) - int(chosen.green);
        newest[2] = int(pixel.blue) - int(chosen.blue);
    }

    for (std::size_t c = 0; c < 3; ++c) {
        _mm_storeu_si128(reinterpret_cast<__m128i *>(m_errors[c].data()), low[c]);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(m_errors[c].data() + 8), _mm_insert_epi16(high[c], newest[c], 7));
    }
}

#else

void CHilbertDither::DitherRun(const std::ptrdiff_t *positions, std::size_t count)
{
    for (std::size_t n = 0; n < count; ++n)
        m_dest[std::size_t(positions[n])] = DitherPixel(m_source[positions[n]]);
}

#endif

std::vector<std::uint8_t> CHilbertDither::TakeResult()
{
    std::vector<std::uint8_t> result = std::move(m_dest);
    m_dest.clear();
    return result;
}

std::vector<std::pair<int, int>> CHilbertDither::VisitOrder(int width, int height)
{
    CHilbertDither walker(nullptr, width, height);
    std::vector<std::pair<int, int>> order;
    order.reserve(walker.m_dest.size());
    auto record = [&] { order.emplace_back(walker.m_x, walker.m_y); };
    walker.WalkWholeCurve(record);
    return order;
}

std::vector<std::uint8_t> ReduceToPalette(const CRgbTriple *source, int width, int height)
{
    CHilbertDither dither(source, width, height);
    dither.ReduceToPalette();
    return dither.TakeResult();
}

} // namespace quorvel
