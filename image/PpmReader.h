#pragma once
// The PPM loader's reader and blank skipper, for the loader and its tests.

#include <cstddef>
#include <vector>

class QIODevice;

namespace quorvel {

// Reads a device a character at a time with one character of push-back, as C streams do, and
// in bulk for raw samples; buffered, so even a large file is read once.
class CPpmReader
{
public:
    explicit CPpmReader(QIODevice &device);

    // The next byte, or -1 at the end of the data.
    int Get()
    {
        if (m_pushedBack >= 0) {
            const int c = m_pushedBack;
            m_pushedBack = -1;
            return c;
        }
        if (m_pos == m_end && !Fill())
            return -1;
        return static_cast<unsigned char>(m_buffer[m_pos++]);
    }
    // Puts c back to be read again; -1 is ignored.
    void Unget(int c) { m_pushedBack = c; }
    // Reads up to size bytes; returns how many were read.
    std::size_t Read(char *data, std::size_t size);

private:
    bool Fill();

    QIODevice &m_device;
    std::vector<char> m_buffer;
    std::size_t m_pos = 0;
    std::size_t m_end = 0;
    int m_pushedBack = -1;
};

// Skips the blanks (TAB, LF, CR, space; not VT or FF) and "#" comments that may precede a
// header item, leaving the first other character to be read next.
void SkipPpmSpace(CPpmReader &in);

} // namespace quorvel
