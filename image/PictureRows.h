#pragma once
// A picture decoded a few rows at a time, as it is stored: the shape of every decoder that can
// hand out rows before the whole picture is there (JPEG, PNG, HEIF). Loading writes the rows
// upright into a picture; the face cutter passes them straight to the faces being made.

#include "image/LoadReport.h"
#include "image/Orientation.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>

namespace quorvel {

class CRgbImage;

class CPictureRows
{
public:
    virtual ~CPictureRows() = default;

    // False when the decoder refused the file at its header (logged why).
    bool IsOpen() const { return m_open; }
    // Why a file that begins as this format did not open (None for one that did, or for any
    // other file), and the size its header gave.
    ELoadProblem Problem() const { return m_problem; }
    std::int64_t HeaderWidth() const { return m_headerWidth; }
    std::int64_t HeaderHeight() const { return m_headerHeight; }

    EPictureFormat Format() const { return m_format; }
    // The size as stored; Orientation(), known from the start, turns it upright.
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    EOrientation Orientation() const { return m_orientation; }
    // What was done to the colours or left undone ("colour profile ignored"), for the user.
    const QStringList &Notes() const { return m_notes; }

    // Starts decoding the picture data; false on bad data.
    virtual bool Start() = 0;
    // Decodes the next rows, at most count, each Width() pixels of red, green and blue bytes
    // in sRGB; how many were decoded, or -1 on bad data.
    virtual int ReadRows(std::uint8_t *const *rows, int count) = 0;
    virtual int RowsDone() const = 0;
    // Reads what follows the last row; false on bad data.
    virtual bool Finish() = 0;
    // Why the last step failed, for the log.
    virtual QString Message() const = 0;

    // True for a picture whose rows are whole only once the last has been read (an interlaced
    // PNG): it is decoded by ReadWhole instead of ReadRows.
    virtual bool WholeOnly() const { return false; }
    // After Start, decodes every row into Width() x Height() pixels of red, green and blue
    // bytes; false on bad data.
    virtual bool ReadWhole(std::uint8_t *) { return false; }

protected:
    explicit CPictureRows(EPictureFormat format) : m_format(format) {}

    EPictureFormat m_format;
    bool m_open = false;
    ELoadProblem m_problem = ELoadProblem::None;
    std::int64_t m_headerWidth = 0;
    std::int64_t m_headerHeight = 0;
    int m_width = 0;
    int m_height = 0;
    EOrientation m_orientation = EOrientation::Upright;
    QStringList m_notes;
};

// Decodes every row into the image, which becomes the upright picture. False, recorded as
// damaged, on bad data after the header: the image is then black at the upright size. Rows
// that did not open leave the image as it was, with their problem recorded.
bool DecodeRows(CRgbImage &image, CPictureRows &rows, std::int64_t maxPixels);

} // namespace quorvel
