#include "image/JpegTallChroma.h"

#include <algorithm>
#include <cstdint>
#include <new>

#if defined(__SSE2__) || defined(_M_X64) || defined(_M_AMD64)
#define QUORVEL_UPSAMPLE_SSE2 1
#include <emmintrin.h>
#endif

namespace quorvel::jpeg {

namespace {

constexpr int LumaRows = 2 * DCTSIZE;  // per row of blocks
constexpr int ChromaRows = DCTSIZE;
// libjpeg-turbo's vector code reads whole aligned vectors of every row it converts.
constexpr std::size_t RowAlignment = 64;

std::size_t AlignedUp(std::size_t bytes)
{
    return (bytes + RowAlignment - 1) / RowAlignment * RowAlignment;
}

JSAMPLE *Aligned(std::vector<JSAMPLE> &buffer)
{
    const auto at = reinterpret_cast<std::uintptr_t>(buffer.data());
    return buffer.data() + (AlignedUp(at) - at);
}

// libjpeg's triangle filter in height: three quarters of the nearer chroma row, one of the
// farther, rounded down for the upper output row (bias 1) and up for the lower (bias 2).
void Upsample(const JSAMPLE *nearer, const JSAMPLE *farther, int bias, JSAMPLE *out, int width)
{
    int x = 0;
#ifdef QUORVEL_UPSAMPLE_SSE2
    const __m128i zero = _mm_setzero_si128();
    const __m128i biases = _mm_set1_epi16(short(bias));
    for (; x + 16 <= width; x += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(nearer + x));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(farther + x));
        __m128i sums[2];
        for (int half = 0; half < 2; ++half) {
            const __m128i near16 = half ? _mm_unpackhi_epi8(a, zero) : _mm_unpacklo_epi8(a, zero);
            const __m128i far16 = half ? _mm_unpackhi_epi8(b, zero) : _mm_unpacklo_epi8(b, zero);
            const __m128i sum = _mm_add_epi16(_mm_add_epi16(near16, _mm_add_epi16(near16, near16)),
                                              _mm_add_epi16(far16, biases));
            sums[half] = _mm_srli_epi16(sum, 2);
        }
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + x), _mm_packus_epi16(sums[0], sums[1]));
    }
#endif
    for (; x < width; ++x)
        out[x] = JSAMPLE((nearer[x] * 3 + farther[x] + bias) >> 2);
}

// libjpeg's YCbCr to RGB in its fixed point, 16 fraction bits as in its tables: each
// product split into a whole multiple of the sample and a part that fits 16 bits.
// The vector code writes up to two bytes past the row's last pixel.
void ConvertRow(const JSAMPLE *luma, const JSAMPLE *blue, const JSAMPLE *red, std::uint8_t *rgb,
                int width)
{
    int x = 0;
#ifdef QUORVEL_UPSAMPLE_SSE2
    const __m128i zero = _mm_setzero_si128();
    const __m128i centre = _mm_set1_epi16(128);
    const __m128i redFactors = _mm_set_epi16(16384, 26345, 16384, 26345, 16384, 26345, 16384, 26345);
    const __m128i blueFactors = _mm_set_epi16(16384, -14942, 16384, -14942, 16384, -14942, 16384, -14942);
    const __m128i greenFactors = _mm_set_epi16(18734, -22554, 18734, -22554, 18734, -22554, 18734, -22554);
    const __m128i twos = _mm_set1_epi16(2);
    const __m128i half = _mm_set1_epi32(32768);
    const __m128i lowPixel = _mm_set1_epi64x(0xFFFFFF);
    const __m128i highPixel = _mm_set1_epi64x(0xFFFFFF000000);
    // (pairs . factors) >> 16 for the eight pixels, as 16-bit values.
    const auto scaled = [](__m128i lowPairs, __m128i highPairs, __m128i factors, __m128i add) {
        const __m128i low = _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(lowPairs, factors), add), 16);
        const __m128i high = _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(highPairs, factors), add), 16);
        return _mm_packs_epi32(low, high);
    };
    for (; x + 8 <= width; x += 8) {
        const auto load = [&](const JSAMPLE *row) {
            return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(row + x)), zero);
        };
        const __m128i y = load(luma);
        const __m128i cb = _mm_sub_epi16(load(blue), centre);
        const __m128i cr = _mm_sub_epi16(load(red), centre);
        // 91881 cr = 65536 cr + 26345 cr; 116130 cb = 131072 cb - 14942 cb;
        // -22554 cb - 46802 cr = -65536 cr + (-22554 cb + 18734 cr); the rounding half rides along.
        const __m128i redOffset = _mm_add_epi16(cr, scaled(_mm_unpacklo_epi16(cr, twos), _mm_unpackhi_epi16(cr, twos),
                                                           redFactors, zero));
        const __m128i blueOffset = _mm_add_epi16(_mm_add_epi16(cb, cb),
                                                 scaled(_mm_unpacklo_epi16(cb, twos), _mm_unpackhi_epi16(cb, twos),
                                                        blueFactors, zero));
        const __m128i greenOffset = _mm_sub_epi16(scaled(_mm_unpacklo_epi16(cb, cr), _mm_unpackhi_epi16(cb, cr),
                                                         greenFactors, half), cr);
        const __m128i red8 = _mm_packus_epi16(_mm_add_epi16(y, redOffset), zero);
        const __m128i green8 = _mm_packus_epi16(_mm_add_epi16(y, greenOffset), zero);
        const __m128i blue8 = _mm_packus_epi16(_mm_add_epi16(y, blueOffset), zero);
        // Red, green, blue and a zero byte a pixel, then two pixels of three bytes in each
        // half, stored overlapping: the bytes written past the pixels are written again next.
        const __m128i redGreen = _mm_unpacklo_epi8(red8, green8);
        const __m128i blueZero = _mm_unpacklo_epi8(blue8, zero);
        for (int quarter = 0; quarter < 2; ++quarter) {
            const __m128i pixels = quarter ? _mm_unpackhi_epi16(redGreen, blueZero)
                                           : _mm_unpacklo_epi16(redGreen, blueZero);
            const __m128i packed = _mm_or_si128(_mm_and_si128(pixels, lowPixel),
                                                _mm_and_si128(_mm_srli_epi64(pixels, 8), highPixel));
            std::uint8_t *out = rgb + 3 * (x + 4 * quarter);
            _mm_storel_epi64(reinterpret_cast<__m128i *>(out), packed);
            _mm_storel_epi64(reinterpret_cast<__m128i *>(out + 6), _mm_srli_si128(packed, 8));
        }
    }
#endif
    const auto clamp = [](int v) { return std::uint8_t(std::clamp(v, 0, 255)); };
    for (; x < width; ++x) {
        const int y = luma[x], cb = blue[x] - 128, cr = red[x] - 128;
        rgb[3 * x] = clamp(y + ((91881 * cr + 32768) >> 16));
        rgb[3 * x + 1] = clamp(y + ((-22554 * cb - 46802 * cr + 32768) >> 16));
        rgb[3 * x + 2] = clamp(y + ((116130 * cb + 32768) >> 16));
    }
}

} // namespace

bool CTallChromaRows::Fits(const jpeg_decompress_struct &info)
{
    if (info.num_components != 3 || info.jpeg_color_space != JCS_YCbCr
        || info.scale_num != info.scale_denom || info.max_h_samp_factor != 1
        || info.max_v_samp_factor != 2)
        return false;
    const jpeg_component_info *components = info.comp_info;
    return components[0].h_samp_factor == 1 && components[0].v_samp_factor == 2
        && components[1].h_samp_factor == 1 && components[1].v_samp_factor == 1
        && components[2].h_samp_factor == 1 && components[2].v_samp_factor == 1;
}

bool CTallChromaRows::Begin(const jpeg_decompress_struct &info, CReadRaw read)
{
    if (info.min_DCT_scaled_size != DCTSIZE || !info.raw_data_out)
        return false;
    m_read = std::move(read);
    m_width = int(info.output_width);
    m_height = int(info.output_height);
    m_chromaHeight = (m_height + 1) / 2;
    std::size_t slotBytes = 0;
    for (int c = 0; c < 3; ++c) {
        m_strides[c] = int(AlignedUp(std::size_t(info.comp_info[c].width_in_blocks) * DCTSIZE));
        slotBytes += std::size_t(m_strides[c]) * (c == 0 ? LumaRows : ChromaRows);
    }
    m_chromaStride = int(AlignedUp(std::size_t(m_width)));
    try {
        m_samples.resize(slotBytes * SlotCount + RowAlignment);
        m_fullChroma.resize(std::size_t(m_chromaStride) * LumaRows * 2 + RowAlignment);
        m_rgb.resize(std::size_t(m_width) * 3 * LumaRows + 16);
        JSAMPLE *at = Aligned(m_samples);
        for (CSlot &slot : m_slots) {
            for (int c = 0; c < 3; ++c) {
                slot.rows[c].resize(c == 0 ? LumaRows : ChromaRows);
                for (JSAMPROW &row : slot.rows[c]) {
                    row = at;
                    at += m_strides[c];
                }
            }
        }
    } catch (const std::bad_alloc &) {
        return false;
    }
    return true;
}

bool CTallChromaRows::Load(int iMcuRow)
{
    CSlot &slot = m_slots[iMcuRow % SlotCount];
    JSAMPARRAY planes[3] = {slot.rows[0].data(), slot.rows[1].data(), slot.rows[2].data()};
    if (m_read(planes) <= 0)
        return false;
    m_loaded = iMcuRow + 1;
    return true;
}

const JSAMPLE *CTallChromaRows::ChromaRow(int component, int row) const
{
    return m_slots[(row / ChromaRows) % SlotCount].rows[component][std::size_t(row % ChromaRows)];
}

bool CTallChromaRows::ConvertStrip()
{
    const int strip = m_rowsDone / LumaRows;
    const int first = strip * LumaRows;
    const int rows = std::min(LumaRows, m_height - first);
    // The chroma row below the strip's last may lie in the next row of blocks.
    const int lastChroma = std::min((first + rows - 1) / 2 + 1, m_chromaHeight - 1);
    while (m_loaded <= lastChroma / ChromaRows) {
        if (!Load(m_loaded))
            return false;
    }
    JSAMPLE *const fullChroma = Aligned(m_fullChroma);
    const std::size_t chromaStride = std::size_t(m_chromaStride);
    JSAMPLE *chroma[2] = {fullChroma, fullChroma + chromaStride * LumaRows};
    for (int r = 0; r < rows; ++r) {
        const int y = first + r;
        const int k = y / 2;
        const bool upper = y % 2 == 0;
        // Beyond the picture's edge the edge row stands in, as in libjpeg.
        const int other = upper ? std::max(k - 1, 0) : std::min(k + 1, m_chromaHeight - 1);
        for (int c = 0; c < 2; ++c)
            Upsample(ChromaRow(c + 1, k), ChromaRow(c + 1, other), upper ? 1 : 2,
                     chroma[c] + std::size_t(r) * chromaStride, m_width);
    }
    const CSlot &slot = m_slots[strip % SlotCount];
    for (int r = 0; r < rows; ++r)
        ConvertRow(slot.rows[0][std::size_t(r)], chroma[0] + std::size_t(r) * chromaStride,
                   chroma[1] + std::size_t(r) * chromaStride,
                   m_rgb.data() + std::size_t(r) * std::size_t(m_width) * 3, m_width);
    m_stripFirst = first;
    m_stripRows = rows;
    return true;
}

int CTallChromaRows::ReadRows(std::uint8_t *const *rows, int count)
{
    int done = 0;
    for (; done < count && m_rowsDone < m_height; ++done, ++m_rowsDone) {
        if (m_rowsDone >= m_stripFirst + m_stripRows && !ConvertStrip())
            return -1;
        std::copy_n(m_rgb.data() + std::size_t(m_rowsDone - m_stripFirst) * std::size_t(m_width) * 3,
                    std::size_t(m_width) * 3, rows[done]);
    }
    return done;
}

} // namespace quorvel::jpeg
