#pragma once
// PNG pictures through libpng, a row at a time.

#include "image/ColourProfile.h"
#include "image/PictureRows.h"
#include "image/RowBatches.h"

#include <QString>

#include <cstdint>
#include <memory>

namespace quorvel {

class CPngRows final : public CPictureRows
{
public:
    // Opens the file and reads the header, with the orientation of its eXIf chunk and the
    // colour profile of its iCCP chunk (rows come in sRGB). Not open
    // (logged why) when the file is no PNG, its header does not read or it has more than
    // maxPixels pixels.
    CPngRows(const QString &path, std::int64_t maxPixels);
    ~CPngRows() override;


    bool Start() override;
    int ReadRows(std::uint8_t *const *rows, int count) override;
    int RowsDone() const override;
    bool Finish() override;
    QString Message() const override;
    bool WholeOnly() const override;
    bool ReadWhole(std::uint8_t *pixels) override;

private:
    // The next rows as decoded, before their colours are converted.
    int ReadStoredRows(std::uint8_t *const *rows, int count);
    CRowBatches::CDecode StoredRows();

    struct CState;
    std::unique_ptr<CState> m_state;
    int m_rowsDone = 0; // decoded
    CColourConverter m_colours;
    // Decodes on a second thread; destroyed first, as it uses the decoder.
    std::unique_ptr<CRowBatches> m_batches;
};

} // namespace quorvel
