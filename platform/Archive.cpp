#include "Archive.h"

#include <QIODevice>

namespace quorvel {

qint64 CArchive::Read(void *buffer, qint64 count)
{
    if (count <= 0)
        return 0;
    qint64 done = 0;
    auto *out = static_cast<char *>(buffer);
    while (done < count) {
        const qint64 n = m_device->read(out + done, count - done);
        if (n <= 0)
            break;
        done += n;
    }
    return done;
}

void CArchive::Write(const void *buffer, qint64 count)
{
    if (count <= 0)
        return;
    if (m_device->write(static_cast<const char *>(buffer), count) != count)
        throw CArchiveWriteError();
}

qint64 CArchive::BytesLeft() const
{
    if (!m_device || m_device->isSequential())
        return -1;
    return qMax<qint64>(0, m_device->size() - m_device->pos());
}

} // namespace quorvel
