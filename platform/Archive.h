#pragma once
// A minimal file archive: a byte stream that knows whether it is loading or storing.

#include <QtGlobal>

class QIODevice;

namespace quorvel {

class CArchiveException
{
public:
    enum Cause { none = 0, genericException = 1, readOnly = 2, endOfFile = 3, writeOnly = 4,
                 badIndex = 5, badClass = 6, badSchema = 7 };

    explicit CArchiveException(Cause cause) : m_cause(cause) {}
    Cause cause() const { return m_cause; }

private:
    Cause m_cause;
};

// Raised when the device under an archive fails to take the bytes written to it.
class CArchiveWriteError
{
};

class CArchive
{
public:
    enum Mode { load, store };

    CArchive(QIODevice *device, Mode mode) : m_device(device), m_mode(mode) {}

    bool IsLoading() const { return m_mode == load; }
    bool IsStoring() const { return m_mode == store; }

    // Delivers up to count bytes in stream order; fewer at the end of the stream, never an
    // exception for that.
    qint64 Read(void *buffer, qint64 count);
    // Appends the bytes; throws CArchiveWriteError when the device does not take them all.
    void Write(const void *buffer, qint64 count);
    // The bytes still to be read, or -1 when the device cannot tell (a pipe, a socket).
    // Lets a reader refuse a size that the stream cannot hold before it allocates for it.
    qint64 BytesLeft() const;

private:
    QIODevice *m_device;
    Mode m_mode;
};

} // namespace quorvel
