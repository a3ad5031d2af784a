// Feeds arbitrary bytes, as a file, to the catalogue's reader. It must never throw or read
// outside its buffers, and its two readings must agree: a file listed with a preview is a
// company for import too, under the same name and checksum, with a 24x24 preview.

#include "store/CompanyCatalogue.h"

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace quorvel;
    static QTemporaryDir dir;
    static const QString path = dir.filePath(QStringLiteral("COMP1.DAT"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)
            || file.write(reinterpret_cast<const char *>(data), qint64(size)) != qint64(size))
            std::abort();
    }

    CCompanyEntry plain;
    const bool company = plain.LoadFromFile(path);
    CPreviewList previews;
    CCompanyEntry listed;
    const bool previewed = listed.LoadFromFile(path, &previews);
    if (previewed != (previews.size() == 1) || (previewed && !company))
        std::abort();
    if (previewed
        && (listed.m_imageIndex != 0 || previews.first().size() != QSize(24, 24)
            || !listed.Matches(plain)))
        std::abort();
    if (company && plain.m_displayName.size() > CCompanyEntry::kMaxOwnerNameLength + 19)
        std::abort();
    return 0;
}
