#include "store/CompanyCatalogue.h"

#include "company/CompanyRecord.h"
#include "company/ObjectLayout.h"
#include "game/ObjectFolder.h"
#include "image/Palette.h"
#include "platform/AnsiText.h"
#include "platform/FileSystem.h"
#include "platform/Logging.h"

#include <QFile>

#include <array>
#include <cstring>

namespace quorvel {

namespace {

// Reads a file front to back through a small buffer, so that a summary costs one or two
// reads; any read or skip past the end of the file fails.
class CFileCursor
{
public:
    explicit CFileCursor(QFile &file) : m_file(file), m_size(file.size()) {}

    qint64 Position() const { return m_bufferStart + m_next; }

    bool Read(void *out, qint64 count)
    {
        auto *bytes = static_cast<char *>(out);
        while (count > 0) {
            if (m_next == m_filled && !Fill())
                return false;
            const qint64 piece = qMin(count, m_filled - m_next);
            std::memcpy(bytes, m_buffer.data() + m_next, std::size_t(piece));
            bytes += piece;
            m_next += piece;
            count -= piece;
        }
        return true;
    }

    bool ReadByte(std::uint8_t &byte) { return Read(&byte, 1); }

    bool Skip(qint64 count) { return SeekTo(Position() + count); }

    // Skips bytes up to and including the next NUL, which must come within limit bytes.
    bool SkipPastNul(int limit)
    {
        std::uint8_t byte = 0;
        do {
            if (limit-- == 0 || !ReadByte(byte))
                return false;
        } while (byte != 0);
        return true;
    }

    // Forward or back, but never past the end of the file.
    bool SeekTo(qint64 position)
    {
        if (position < 0 || position > m_size)
            return false;
        if (position >= m_bufferStart && position <= m_bufferStart + m_filled) {
            m_next = position - m_bufferStart;
            return true;
        }
        if (!m_file.seek(position))
            return false;
        m_bufferStart = position;
        m_next = m_filled = 0;
        return true;
    }

private:
    bool Fill()
    {
        m_bufferStart += m_filled;
        m_next = m_filled = 0;
        const qint64 got = m_file.read(m_buffer.data(), qint64(m_buffer.size()));
        if (got <= 0)
            return false;
        m_filled = got;
        return true;
    }

    QFile &m_file;
    const qint64 m_size;
    // Big enough for the header, the names and the image entries of any file we write.
    std::array<char, 2048> m_buffer{};
    qint64 m_bufferStart = 0;
    qint64 m_next = 0;
    qint64 m_filled = 0;
};

bool Invalid(const QString &path, const char *why)
{
    qCDebug(lcStore) << "not listed:" << path << why;
    return false;
}

QImage PreviewImage(const std::uint8_t *indices)
{
    QImage image(kSmallFaceSide, kSmallFaceSide, QImage::Format_RGB32);
    for (int y = 0; y < kSmallFaceSide; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < kSmallFaceSide; ++x) {
            const CRgbTriple &colour = PaletteEntry(indices[y * kSmallFaceSide + x]);
            line[x] = qRgb(colour.red, colour.green, colour.blue);
        }
    }
    return image;
}

// Reads the summary into entry; false for a file that is not a company or ends early.
bool ReadEntry(QFile &file, CCompanyEntry &entry, CPreviewList *previews)
{
    const QString &path = entry.m_path;
    CFileCursor in(file);
    std::uint8_t headerBytes[kObjectHeaderSize];
    if (!in.Read(headerBytes, kObjectHeaderSize))
        return Invalid(path, "shorter than a header");
    const CObjectHeader header = CObjectHeader::FromBytes(headerBytes);
    if (!header.IsCompany())
        return false; // most of the folder: the game's other objects
    entry.m_checksum = header.m_checksum;

    // The owner name, after the first table's language byte; a leading 0x88 is not shown.
    std::uint8_t byte = 0;
    if (!in.SeekTo(kOwnerTableOffset + 1) || !in.ReadByte(byte)
        || (byte == kOwnerNameLeadByte && !in.ReadByte(byte)))
        return Invalid(path, "ends before the owner name");
    QByteArray name;
    for (int read = 1; byte != 0; ++read) {
        // A longer name is cut, but read to its end, so what follows is where it should be.
        if (name.size() < CCompanyEntry::kMaxOwnerNameLength)
            name += char(byte);
        if (read == kMaxStringTableText)
            return Invalid(path, "has an owner name longer than any company's");
        if (!in.ReadByte(byte))
            return Invalid(path, "ends inside the owner name");
    }
    if (!in.Skip(1))
        return Invalid(path, "ends before the owner table's end byte");
    entry.m_displayName = FromAnsi(name) + QStringLiteral(" (")
                          + FormatDateStamp(header.m_dateStamp) + QLatin1Char(')');
    if (!previews)
        return true;

    // The specific word's table, then the image table.
    std::uint8_t sizes[8];
    if (!in.Skip(1) || !in.SkipPastNul(kMaxStringTableText) || !in.Skip(1) || !in.Read(sizes, 8))
        return Invalid(path, "ends before the image table");
    const auto count = std::int32_t(GetU32(sizes));
    const qint64 imageData = in.Position() + qint64(count) * kImageEntrySize;
    if (count <= 0)
        return Invalid(path, "has no pictures");
    if (imageData > file.size())
        return Invalid(path, "ends inside the image entries");
    std::uint8_t image[kImageEntrySize];
    qint64 pixelOffset = -1;
    for (std::int32_t i = 0; i < count && pixelOffset < 0; ++i) {
        if (!in.Read(image, kImageEntrySize))
            return Invalid(path, "ends inside the image entries");
        if (GetU16(image + kImageEntryWidthOffset) == kSmallFaceSide
            && GetU16(image + kImageEntryHeightOffset) == kSmallFaceSide)
            pixelOffset = GetU32(image);
    }
    if (pixelOffset < 0)
        return Invalid(path, "has no 24x24 picture");
    std::uint8_t pixels[kSmallFaceBytes];
    if (!in.SeekTo(imageData + pixelOffset) || !in.Read(pixels, kSmallFaceBytes))
        return Invalid(path, "ends inside its 24x24 picture");

    entry.m_imageIndex = int(previews->size());
    previews->append(PreviewImage(pixels));
    return true;
}

} // namespace

bool CCompanyEntry::LoadFromFile(const QString &path, CPreviewList *previews)
{
    *this = CCompanyEntry();
    m_path = path;
    // Others may read and write the file meanwhile. The callers pass regular files only:
    // opening a pipe could wait for a writer for ever.
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return Invalid(path, "cannot be opened");
    m_valid = ReadEntry(file, *this, previews);
    if (!m_valid) {
        m_checksum = 0;
        m_displayName.clear();
    }
    return m_valid;
}

bool CCompanyEntry::Matches(const CCompanyEntry &other) const
{
    // Display names are decoded one character per byte, so equal texts are equal bytes.
    return m_valid && other.m_valid && m_checksum == other.m_checksum
           && m_displayName == other.m_displayName;
}

bool IsCandidateFile(const CFolderEntry &entry)
{
    if (entry.name == u"." || entry.name == u"..")
        return false;
    return !entry.directory && !entry.hidden && !entry.system && !entry.temporary
           && !entry.compressed && !entry.special;
}

void ForEachCandidateFile(const QString &folder, const std::function<bool(const QString &)> &visit)
{
    QString prefix = folder;
    AddTrailingSeparator(prefix);
    ListFolder(folder, [&](const CFolderEntry &entry) {
        return !IsCandidateFile(entry) || visit(prefix + entry.name);
    });
}

void ScanObjectFolder(const QString &folder, CPreviewList *previews,
                      std::vector<CCompanyEntry> &entries)
{
    ForEachCandidateFile(folder, [&](const QString &path) {
        CCompanyEntry entry;
        if (entry.LoadFromFile(path, previews))
            entries.push_back(std::move(entry));
        return true;
    });
    qCDebug(lcStore) << entries.size() << "companies in" << folder;
}

} // namespace quorvel
