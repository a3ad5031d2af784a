#include "image/HilbertDither.h"

#include <algorithm>
#include <cmath>

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

inline int WeightedErrorSum(const std::int16_t *errors, const std::int16_t *weights)
{
    int sum = 0;
    for (int i = 0; i < 16; ++i)
        sum += int(weights[i]) * int(errors[i]);
    return sum;
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
    m_errorHead = 0;
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
    auto reduce = [this] { m_dest[std::size_t(m_pos)] = DitherPixel(m_source[m_pos]); };
    WalkWholeCurve(reduce);
}

std::uint8_t CHilbertDither::DitherPixel(const CRgbTriple &pixel)
{
    const std::int16_t *weights = Weights16().data();
    // The 16 queued errors, oldest first, start at m_errorHead in each doubled ring.
    const int sumRed = WeightedErrorSum(m_errors[0].data() + m_errorHead, weights);
    const int sumGreen = WeightedErrorSum(m_errors[1].data() + m_errorHead, weights);
    const int sumBlue = WeightedErrorSum(m_errors[2].data() + m_errorHead, weights);

    // Integer division truncates toward zero, as the correction must.
    const CRgbTriple target(std::uint8_t(ClampByte(pixel.red + sumRed / 256)),
                            std::uint8_t(ClampByte(pixel.green + sumGreen / 256)),
                            std::uint8_t(ClampByte(pixel.blue + sumBlue / 256)));
    const std::uint8_t index = NearestPaletteIndex(target);
    const CRgbTriple &chosen = GamePalette[index];

    // The oldest error leaves and the new one, measured from the pixel's own colour, joins as the
    // newest: both copies in the doubled ring, then the window moves on by one.
    const auto push = [this](std::array<std::int16_t, 32> &ring, int error) {
        ring[std::size_t(m_errorHead)] = std::int16_t(error);
        ring[std::size_t(m_errorHead) + 16] = std::int16_t(error);
    };
    push(m_errors[0], int(pixel.red) - int(chosen.red));
    push(m_errors[1], int(pixel.green) - int(chosen.green));
    push(m_errors[2], int(pixel.blue) - int(chosen.blue));
    m_errorHead = (m_errorHead + 1) & 15;
    return index;
}

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
