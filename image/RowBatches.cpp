#include "image/RowBatches.h"

#include "image/ColourProfile.h"
#include "platform/Logging.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <system_error>

namespace quorvel {

namespace {

// Four batches in flight let the decoder run ahead while the reader works on one.
constexpr int BatchSlots = 4;
constexpr int MaxRowsPerBatch = 16;
// Fewer rows for a very wide picture, so the ring stays a few megabytes.
constexpr int BatchPixels = 1 << 18;
// Rows claimed at a time: small enough that both threads share a batch's conversion.
constexpr int RowsPerClaim = 4;

} // namespace

CRowBatches::CRowBatches(const CColourConverter &colours, int width, int height, CDecode decode)
    : m_colours(colours), m_width(width), m_height(height), m_decode(std::move(decode))
{
    m_rowsPerBatch = std::clamp(BatchPixels / std::max(width, 1), 1, MaxRowsPerBatch);
    m_batchCount = height > 0 ? (height + m_rowsPerBatch - 1) / m_rowsPerBatch : 0;
}

CRowBatches::~CRowBatches()
{
    Stop();
}

std::unique_ptr<CRowBatches> CRowBatches::StartFor(const CColourConverter &colours, int width,
                                                  int height, CDecode decode)
{
    if (!colours.Converts())
        return nullptr;
    auto batches = std::make_unique<CRowBatches>(colours, width, height, std::move(decode));
    if (!batches->Start())
        return nullptr;
    return batches;
}

int CRowBatches::ReadRows(CRowBatches *batches, const CColourConverter &colours, int width,
                          std::uint8_t *const *rows, int count, const CDecode &decode)
{
    if (batches)
        return batches->ReadRows(rows, count);
    const int done = decode(rows, count);
    for (int i = 0; i < done; ++i)
        colours.Convert(rows[i], rows[i], width);
    return done;
}

bool CRowBatches::Start()
{
    const std::size_t rowBytes = std::size_t(m_width) * std::size_t(m_colours.InputBytes());
    try {
        m_batches.resize(std::size_t(std::min(BatchSlots, std::max(m_batchCount, 1))));
        for (CBatch &batch : m_batches) {
            batch.stored.resize(rowBytes * std::size_t(m_rowsPerBatch));
            if (m_colours.InputBytes() != 3)
                batch.rgb.resize(std::size_t(m_width) * 3 * std::size_t(m_rowsPerBatch));
        }
        m_thread = std::thread(&CRowBatches::DecodeAll, this);
    } catch (const std::bad_alloc &) {
        m_batches.clear();
        return false;
    } catch (const std::system_error &error) {
        qCDebug(lcImage) << "No thread to decode on:" << error.what();
        m_batches.clear();
        return false;
    }
    return true;
}

void CRowBatches::Stop()
{
    if (!m_thread.joinable())
        return;
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

std::uint8_t *CRowBatches::StoredRow(CBatch &batch, int row)
{
    return batch.stored.data() + std::size_t(row) * std::size_t(m_width) * std::size_t(m_colours.InputBytes());
}

std::uint8_t *CRowBatches::ConvertedRow(CBatch &batch, int row)
{
    if (batch.rgb.empty())
        return StoredRow(batch, row);
    return batch.rgb.data() + std::size_t(row) * std::size_t(m_width) * 3;
}

bool CRowBatches::DecodeBatch(CBatch &batch)
{
    std::uint8_t *rows[MaxRowsPerBatch];
    for (int i = 0; i < batch.rows; ++i)
        rows[i] = StoredRow(batch, i);
    for (int done = 0; done < batch.rows;) {
        const int got = m_decode(rows + done, batch.rows - done);
        if (got <= 0)
            return false;
        done += got;
    }
    return true;
}

void CRowBatches::ConvertSome(std::unique_lock<std::mutex> &lock, CBatch &batch)
{
    const int first = batch.claimed;
    const int count = std::min(RowsPerClaim, batch.rows - first);
    batch.claimed += count;
    lock.unlock();
    for (int i = first; i < first + count; ++i)
        m_colours.Convert(StoredRow(batch, i), ConvertedRow(batch, i), m_width);
    lock.lock();
    batch.converted += count;
    if (batch.converted == batch.rows)
        m_changed.notify_all();
}

void CRowBatches::DecodeAll()
{
    std::unique_lock lock(m_mutex);
    while (!m_stop) {
        const int next = m_decodedBatches;
        if (next < m_batchCount && next < m_freedBatches + int(m_batches.size())) {
            CBatch &batch = BatchOf(next);
            batch.first = next * m_rowsPerBatch;
            batch.rows = std::min(m_rowsPerBatch, m_height - batch.first);
            batch.claimed = batch.converted = 0;
            lock.unlock();
            const bool good = DecodeBatch(batch);
            lock.lock();
            if (!good)
                m_failed = true;
            else
                m_decodedBatches = next + 1;
            m_changed.notify_all();
            if (!good)
                return;
            continue;
        }
        // Ahead of the reader, or done decoding: convert rows it has not reached yet.
        CBatch *unclaimed = nullptr;
        for (int i = m_freedBatches; i < m_decodedBatches && !unclaimed; ++i) {
            if (BatchOf(i).claimed < BatchOf(i).rows)
                unclaimed = &BatchOf(i);
        }
        if (unclaimed)
            ConvertSome(lock, *unclaimed);
        else if (next == m_batchCount)
            return;
        else
            m_changed.wait(lock);
    }
}

int CRowBatches::ReadRows(std::uint8_t *const *rows, int count)
{
    if (m_batches.empty() || count <= 0)
        return -1;
    if (m_rowsDone >= m_height)
        return 0;
    const int index = m_rowsDone / m_rowsPerBatch;
    CBatch &batch = BatchOf(index);
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_decodedBatches > index || m_failed; });
        if (m_decodedBatches <= index)
            return -1;
        while (batch.claimed < batch.rows)
            ConvertSome(lock, batch);
        m_changed.wait(lock, [&] { return batch.converted == batch.rows; });
    }
    const int offset = m_rowsDone - batch.first;
    const int got = std::min(count, batch.rows - offset);
    for (int i = 0; i < got; ++i)
        std::memcpy(rows[i], ConvertedRow(batch, offset + i), std::size_t(m_width) * 3);
    m_rowsDone += got;
    if (m_rowsDone == batch.first + batch.rows) {
        {
            std::lock_guard lock(m_mutex);
            m_freedBatches = index + 1;
        }
        m_changed.notify_all();
    }
    return got;
}

} // namespace quorvel
