#include "image/HilbertDither.h"
#include "image/NearestColour.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <system_error>
#include <thread>

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

inline int Clamp255(int value)
{
    return value < 0 ? 0 : (value > 255 ? 255 : value);
}

// The curve is walked ahead of the error diffusion in runs of this many pixels.
constexpr std::size_t RunLength = 1024;
// From this many pixels on, a second thread reduces the far half of the curve (see ReduceInTwo).
constexpr std::int64_t SplitPixels = std::int64_t(1) << 18;
// Results in a row that, once they agree, make two reductions agree from then on: the queue
// holds the errors of the last 16 pixels, and each error depends only on the pixel and its index.
constexpr int AgreeingRun = 16;

} // namespace

CHilbertDither::CHilbertDither(const CRgbTriple *source, int width, int height)
    : m_width(std::max(width, 0)), m_height(std::max(height, 0)), m_source(source)
{
    if (m_width == 0 || m_height == 0)
        m_width = m_height = 0;
    m_dest.resize(std::size_t(m_width) * std::size_t(m_height));
    m_out = m_dest.data();
}

CHilbertDither::CHilbertDither(const CRgbTriple *source, int width, int height, std::uint8_t *out)
    : m_width(width), m_height(height), m_source(source), m_out(out)
{
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
    if (unsigned(m_x) < unsigned(m_width) && unsigned(m_y) < unsigned(m_height) && !m_stopWalk) {
        if (m_skipPixels > 0)
            --m_skipPixels;
        else
            visit();
    }
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
    for (; level > 0 && !m_stopWalk; --level) {
        // A curve of this level fills a square of side 2^level that starts at the current cell;
        // UP and LEFT curves grow right and down from it, DOWN and RIGHT curves left and up.
        // When the square holds no picture pixel, or only pixels still to be passed over, the
        // walk jumps to where the curve ends.
        const std::int64_t reach = (std::int64_t(1) << level) - 1;
        const bool growsForward = direction == DIR_UP || direction == DIR_LEFT;
        const std::int64_t left = growsForward ? m_x : m_x - reach;
        const std::int64_t top = growsForward ? m_y : m_y - reach;
        const std::int64_t across = std::min<std::int64_t>(left + reach + 1, m_width) - std::max<std::int64_t>(left, 0);
        const std::int64_t down = std::min<std::int64_t>(top + reach + 1, m_height) - std::max<std::int64_t>(top, 0);
        const std::int64_t inside = across > 0 && down > 0 ? across * down : 0;
        const std::int64_t dx = direction == DIR_UP ? reach : (direction == DIR_DOWN ? -reach : 0);
        const std::int64_t dy = direction == DIR_LEFT ? reach : (direction == DIR_RIGHT ? -reach : 0);
        // The curve's last cell is visited by the move that follows it, not by the curve.
        const bool endInside = m_x + dx >= 0 && m_x + dx < m_width && m_y + dy >= 0 && m_y + dy < m_height;
        const std::int64_t visits = inside - (endInside ? 1 : 0);
        if (visits <= m_skipPixels) {
            m_skipPixels -= visits;
            m_x = int(m_x + dx);
            m_y = int(m_y + dy);
            m_pos += std::ptrdiff_t(dy) * m_width + std::ptrdiff_t(dx);
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
    // Shared tables first, so that a second thread finds them made.
    DitherWeights();
    m_nearest = &CNearestColourGrid::Instance();
    if (std::int64_t(m_width) * m_height >= SplitPixels && std::thread::hardware_concurrency() >= 2
        && ReduceInTwo())
        return;
    ReduceAlone();
}

void CHilbertDither::ReduceAlone()
{
    std::array<std::ptrdiff_t, RunLength> run;
    std::size_t queued = 0;
    auto collect = [&] {
        run[queued++] = m_pos;
        if (queued == run.size()) {
            DitherRun<false>(run.data(), queued);
            queued = 0;
        }
    };
    WalkWholeCurve(collect);
    DitherRun<false>(run.data(), queued);
}

// Each pixel depends on the one before, so a reduction cannot simply be cut in two. Instead a
// second thread reduces the far half of the curve starting from an empty error queue, while this
// one reduces the near half. This thread then goes on into the far half, reducing it again with
// the true errors and correcting what differs, until 16 results in a row agree with the second
// thread's: from there on the two queues are equal, so the second thread's results are the true
// ones. On photos that happens within a few hundred pixels. Should the second thread fall behind
// (a flat picture can keep the two out of step), it is stopped and this one finishes alone, so
// the result is always exactly that of one pass.
bool CHilbertDither::ReduceInTwo()
{
    const std::int64_t half = std::int64_t(m_width) * m_height / 2;
    CHilbertDither far(m_source, m_width, m_height, m_out);
    far.m_nearest = m_nearest;
    far.m_skipPixels = half;
    std::atomic<std::int64_t> farDone{0}; // pixels of the far half the second thread has reduced
    std::atomic<bool> farStop{false};

    std::thread worker;
    try {
        worker = std::thread([&far, &farDone, &farStop] {
            std::array<std::ptrdiff_t, RunLength> run;
            std::size_t queued = 0;
            std::int64_t done = 0;
            auto flush = [&] {
                far.DitherRun<false>(run.data(), queued);
                done += std::int64_t(queued);
                queued = 0;
                farDone.store(done, std::memory_order_release);
                if (farStop.load(std::memory_order_relaxed))
                    far.m_stopWalk = true;
            };
            auto collect = [&] {
                run[queued++] = far.m_pos;
                if (queued == run.size())
                    flush();
            };
            far.WalkWholeCurve(collect);
            if (queued > 0)
                flush();
        });
    } catch (const std::system_error &) {
        return false;
    }

    std::array<std::ptrdiff_t, RunLength> run;
    std::size_t queued = 0;
    std::int64_t visited = 0;
    std::int64_t checked = 0; // pixels of the far half reduced again here
    bool checking = false;
    bool alone = false;
    auto flush = [&] {
        if (!checking || alone) {
            DitherRun<false>(run.data(), queued);
        } else if (farDone.load(std::memory_order_acquire) >= checked + std::int64_t(queued)) {
            checked += std::int64_t(DitherRun<true>(run.data(), queued));
            if (m_agreeing >= AgreeingRun)
                m_stopWalk = true;
        } else {
            farStop.store(true, std::memory_order_relaxed);
            worker.join();
            alone = true;
            DitherRun<false>(run.data(), queued);
        }
        queued = 0;
    };
    auto collect = [&] {
        run[queued++] = m_pos;
        ++visited;
        // The near half ends at a run boundary.
        if (queued == run.size() || visited == half) {
            flush();
            if (visited == half) {
                checking = true;
                m_agreeing = 0;
            }
        }
    };
    WalkWholeCurve(collect);
    if (queued > 0 && !m_stopWalk)
        flush();
    if (worker.joinable())
        worker.join();
    return true;
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
template <bool Checking>
std::size_t CHilbertDither::DitherRun(const std::ptrdiff_t *positions, std::size_t count)
{
    if (count == 0)
        return 0;
    const std::uint32_t *cells = m_nearest->Cells();
    const std::uint8_t *candidates = m_nearest->Candidates();
    std::uint8_t *out = m_out;
    const CRgbTriple *source = m_source;
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
    std::size_t n = 0;
    while (n < count) {
        const std::ptrdiff_t pos = positions[n++];
        const CRgbTriple &pixel = source[pos];
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

        const CRgbTriple target(std::uint8_t(Clamp255(pixel.red + sumRed / 256)),
                                std::uint8_t(Clamp255(pixel.green + sumGreen / 256)),
                                std::uint8_t(Clamp255(pixel.blue + sumBlue / 256)));
        const std::uint8_t index = CNearestColourGrid::NearestIn(cells, candidates, target);
        const CRgbTriple &chosen = GamePalette[index];
        newest[0] = int(pixel.red) - int(chosen.red);
        newest[1] = int(pixel.green) - int(chosen.green);
        newest[2] = int(pixel.blue) - int(chosen.blue);
        if constexpr (Checking) {
            if (out[pos] != index) {
                out[pos] = index;
                m_agreeing = 0;
            } else if (++m_agreeing == AgreeingRun) {
                break;
            }
        } else {
            out[pos] = index;
        }
    }

    for (std::size_t c = 0; c < 3; ++c) {
        _mm_storeu_si128(reinterpret_cast<__m128i *>(m_errors[c].data()), low[c]);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(m_errors[c].data() + 8), _mm_insert_epi16(high[c], newest[c], 7));
    }
    return n;
}

#else

template <bool Checking>
std::size_t CHilbertDither::DitherRun(const std::ptrdiff_t *positions, std::size_t count)
{
    for (std::size_t n = 0; n < count; ++n) {
        const std::ptrdiff_t pos = positions[n];
        const std::uint8_t index = DitherPixel(m_source[pos]);
        if constexpr (Checking) {
            if (m_out[pos] != index) {
                m_out[pos] = index;
                m_agreeing = 0;
            } else if (++m_agreeing == AgreeingRun) {
                return n + 1;
            }
        } else {
            m_out[pos] = index;
        }
    }
    return count;
}

#endif

std::vector<std::uint8_t> CHilbertDither::TakeResult()
{
    std::vector<std::uint8_t> result = std::move(m_dest);
    m_dest.clear();
    m_out = nullptr;
    return result;
}

std::vector<std::pair<int, int>> CHilbertDither::VisitOrder(int width, int height, std::int64_t from)
{
    CHilbertDither walker(nullptr, width, height);
    walker.m_skipPixels = std::max<std::int64_t>(from, 0);
    std::vector<std::pair<int, int>> order;
    order.reserve(walker.m_dest.size() - std::size_t(std::min<std::int64_t>(walker.m_skipPixels, std::int64_t(walker.m_dest.size()))));
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
