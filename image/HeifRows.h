#pragma once
// HEIF and AVIF pictures through libheif: the primary image, decoded whole by libheif with its
// transformations (rotation, mirroring, cropping) applied, handed out a row at a time.

#include "image/ColourProfile.h"
#include "image/PictureRows.h"
#include "image/RowBatches.h"

#include <QString>

#include <cstdint>
#include <memory>

namespace quorvel {

class CHeifRows final : public CPictureRows
{
public:
    // Opens the file and reads its primary image's header and colour profile. Not open (logged
    // why) when libheif does not read it, this build has no decoder for its kind (Problem()
    // Unsupported, UnsupportedWhy() says which) or it has more than maxPixels pixels.
    CHeifRows(const QString &path, EPictureFormat format, std::int64_t maxPixels);
    ~CHeifRows() override;

    // Decodes the whole picture; false on bad data.
    bool Start() override;
    int ReadRows(std::uint8_t *const *rows, int count) override;
    int RowsDone() const override;
    bool Finish() override;
    QString Message() const override;
    const QString &UnsupportedWhy() const { return m_unsupported; }

private:
    // The next rows as decoded, before their colours are converted.
    int ReadStoredRows(std::uint8_t *const *rows, int count);
    CRowBatches::CDecode StoredRows();

    struct CState;
    std::unique_ptr<CState> m_state;
    CColourConverter m_colours;
    int m_storedRows = 0;
    QString m_unsupported;
    // Converts on a second thread too; destroyed first, as it reads the decoded picture.
    std::unique_ptr<CRowBatches> m_batches;
};

} // namespace quorvel
