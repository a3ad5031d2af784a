#pragma once
// A JPEG file decoded a few rows at a time through libjpeg, with the settings TurboJPEG uses and
// refusing the files it refuses, so the rows are those a decode of the whole file in memory
// gives. The loader and the face cutter read JPEG files this way, so that a large photo's file
// is never held in memory beside its picture.

#include "image/PictureRows.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

namespace quorvel {

class CColourConverter;
class CRowBatches;

class CJpegStream final : public CPictureRows
{
public:
    // Opens the file and reads its header, with the orientation of its EXIF block and its
    // colour profile: rows come in sRGB, CMYK pictures converted. Not open
    // (and logged why) when the file cannot be read, holds no JPEG header the whole-file
    // decoder reads, or is larger than maxPixels.
    CJpegStream(const QString &path, std::int64_t maxPixels);
    ~CJpegStream() override;

    CJpegStream(const CJpegStream &) = delete;
    CJpegStream &operator=(const CJpegStream &) = delete;

    // Before Start: decodes the picture at 1/denominator of its size (2, 4 or 8) by libjpeg's
    // DCT scaling, several times faster than the whole; Width() and Height() become the rows'
    // smaller size. False for another denominator, or once started.
    bool ScaleDown(int denominator);
    // Before Start: rows of the picture's brightness alone, the luma as stored, repeated in red,
    // green and blue, with no colour profile applied: what a search for shapes needs, without
    // the colour's decoding and conversion. False for a CMYK picture, or once started.
    bool DecodeLuma();

    bool Start() override;
    // A warning, such as a file cut short, counts as bad data.
    int ReadRows(std::uint8_t *const *rows, int count) override;
    int RowsDone() const override;
    bool Finish() override;
    QString Message() const override;

    struct CState;

private:
    std::unique_ptr<CState> m_state;
    std::unique_ptr<CColourConverter> m_colours;
    std::vector<std::uint8_t> m_cmyk;
    // Decodes on a thread of its own while the colours are converted; destroyed first, as it
    // uses the decoder and the converter.
    std::unique_ptr<CRowBatches> m_batches;
};

} // namespace quorvel
