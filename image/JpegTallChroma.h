#pragma once
// JPEG pictures whose colour is halved in height only (4:4:0), which is what turning a 4:2:2
// photo on its side without loss gives. libjpeg-turbo upsamples those in plain C, a sixth of
// the whole decode; here they are read as raw samples and upsampled and converted to RGB in
// vector code, with libjpeg's own arithmetic: the same bytes, and a turned photo reads about
// as fast as an upright one.

#include <cstdint>
#include <functional>
#include <vector>

#include <cstdio> // jpeglib.h needs FILE
#include <jpeglib.h>

namespace quorvel::jpeg {

class CTallChromaRows
{
public:
    // Reads the next row of blocks (16 luma rows, 8 of each chroma) into the planes; how many
    // luma rows that was, or -1 on bad data.
    using CReadRaw = std::function<int(JSAMPIMAGE planes)>;

    // True for a YCbCr picture sampled 1x2, 1x1, 1x1 at full scale: read it this way.
    static bool Fits(const jpeg_decompress_struct &info);

    // After jpeg_start_decompress with raw_data_out set; false when memory cannot be had.
    bool Begin(const jpeg_decompress_struct &info, CReadRaw read);

    // The next rows, at most count, of red, green and blue bytes; -1 on bad data.
    int ReadRows(std::uint8_t *const *rows, int count);
    int RowsDone() const { return m_rowsDone; }

private:
    struct CSlot
    {
        std::vector<JSAMPROW> rows[3];
    };
    bool Load(int iMcuRow);
    const JSAMPLE *ChromaRow(int component, int row) const;
    bool ConvertStrip();

    CReadRaw m_read;
    int m_width = 0;
    int m_height = 0;
    int m_chromaHeight = 0;
    int m_strides[3] = {};     // of the raw samples' rows
    int m_chromaStride = 0;    // of the upsampled chroma's
    int m_loaded = 0; // rows of blocks read so far
    // A strip needs the chroma rows above and below its own: three rows of blocks in a ring.
    static constexpr int SlotCount = 3;
    std::vector<JSAMPLE> m_samples;
    CSlot m_slots[SlotCount];
    // The luma rows of one row of blocks with their chroma upsampled, and its RGB rows.
    std::vector<JSAMPLE> m_fullChroma;
    std::vector<std::uint8_t> m_rgb;
    int m_stripFirst = 0;
    int m_stripRows = 0;
    int m_rowsDone = 0;
};

} // namespace quorvel::jpeg
