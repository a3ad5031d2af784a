#pragma once
// Rows whose colours need converting, decoded on a thread of their own a few batches ahead of
// the reader, and converted by whichever of the two threads is free: a photo with a colour
// profile then takes little longer to read than one without. Every pixel goes through the
// same transform as when one thread does it all, so the rows are the same bytes.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace quorvel {

class CColourConverter;

class CRowBatches
{
public:
    // Stores at most count rows as decoded (width pixels of colours.InputBytes() bytes each)
    // at rows; how many it stored, or -1 on bad data. Runs on the decoding thread only, which
    // has the decoder to itself from Start until Stop.
    using CDecode = std::function<int(std::uint8_t *const *rows, int count)>;

    CRowBatches(const CColourConverter &colours, int width, int height, CDecode decode);
    ~CRowBatches();

    CRowBatches(const CRowBatches &) = delete;
    CRowBatches &operator=(const CRowBatches &) = delete;

    // Started batches for a picture whose colours need converting; null for one whose
    // colours stay, or when memory or a thread could not be had: the caller then decodes and
    // converts on its own. Call after the decoder's start, before its first row.
    static std::unique_ptr<CRowBatches> StartFor(const CColourConverter &colours, int width,
                                                 int height, CDecode decode);

    // Starts decoding from the decoder's next row, which must be the first; false when memory
    // or a thread could not be had.
    bool Start();
    // The next rows in sRGB, red, green and blue bytes, at most count of them (fewer at the
    // end of a batch); -1 once bad data has been reached.
    int ReadRows(std::uint8_t *const *rows, int count);
    int RowsDone() const { return m_rowsDone; }
    // Ends the decoding thread, so that the decoder is the caller's again.
    void Stop();

    // The next rows in sRGB through the batches, or without them (null) straight from the
    // decoder and converted in place, for pictures stored at 3 bytes a pixel.
    static int ReadRows(CRowBatches *batches, const CColourConverter &colours, int width,
                        std::uint8_t *const *rows, int count, const CDecode &decode);

private:
    struct CBatch
    {
        int first = 0;
        int rows = 0;
        int claimed = 0;   // rows handed to a thread to convert
        int converted = 0; // rows converted
        std::vector<std::uint8_t> stored;    // as decoded
        std::vector<std::uint8_t> rgb;    // converted, when a stored pixel takes 4 bytes (CMYK)
    };

    void DecodeAll();
    bool DecodeBatch(CBatch &batch);
    // Converts the next few unclaimed rows of the batch with the lock released.
    void ConvertSome(std::unique_lock<std::mutex> &lock, CBatch &batch);
    std::uint8_t *StoredRow(CBatch &batch, int row);
    std::uint8_t *ConvertedRow(CBatch &batch, int row);
    CBatch &BatchOf(int index) { return m_batches[std::size_t(index) % m_batches.size()]; }

    const CColourConverter &m_colours;
    const int m_width;
    const int m_height;
    const CDecode m_decode;
    int m_rowsPerBatch = 1;
    int m_batchCount = 0;
    int m_rowsDone = 0; // the reader's

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<CBatch> m_batches; // a ring: batch i in slot i modulo its size
    int m_decodedBatches = 0;      // batches decoded, from the first
    int m_freedBatches = 0;        // batches read whole, whose slots may be filled again
    bool m_failed = false;
    bool m_stop = false;
    std::thread m_thread;
};

} // namespace quorvel
