#pragma once
// A JPEG file decoded a few rows at a time through libjpeg, with the settings TurboJPEG uses and
// refusing the files it refuses, so the rows are those a decode of the whole file in memory
// gives. The loader and the face cutter read JPEG files this way, so that a large photo's file
// is never held in memory beside its picture.

#include "image/LoadReport.h"

#include <QString>

#include <cstdint>
#include <memory>

namespace quorvel {

class CJpegStream
{
public:
    // Opens the file and reads its header. Not open (and logged why) when the file cannot be
    // read, holds no JPEG header the whole-file decoder reads, or is larger than maxPixels.
    CJpegStream(const QString &path, std::int64_t maxPixels);
    ~CJpegStream();

    CJpegStream(const CJpegStream &) = delete;
    CJpegStream &operator=(const CJpegStream &) = delete;

    bool IsOpen() const { return m_open; }
    // Why a file that begins as a JPEG does not open (None for one that does, or any other
    // file), and the size its header gave.
    ELoadProblem Problem() const { return m_problem; }
    std::int64_t HeaderWidth() const { return m_headerWidth; }
    std::int64_t HeaderHeight() const { return m_headerHeight; }
    int Width() const;
    int Height() const;

    // Starts decoding the picture data; false on bad data.
    bool Start();
    // Decodes the next rows, at most count, each Width() pixels of red, green and blue bytes;
    // how many were decoded, or -1 on bad data (a warning, such as a file cut short, counts).
    int ReadRows(std::uint8_t *const *rows, int count);
    int RowsDone() const;
    // Reads the rest of the data; false on bad data.
    bool Finish();
    // Why the last step failed.
    const char *Message() const;

    struct CState;

private:
    std::unique_ptr<CState> m_state;
    bool m_open = false;
    ELoadProblem m_problem = ELoadProblem::None;
    std::int64_t m_headerWidth = 0;
    std::int64_t m_headerHeight = 0;
};

} // namespace quorvel
