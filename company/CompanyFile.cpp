#include "company/CompanyFile.h"

#include "platform/AnsiText.h"
#include "platform/Archive.h"
#include "platform/Clock.h"
#include "platform/Logging.h"

#include <QByteArray>

#include <cstring>
#include <vector>

namespace quorvel {

/*
 * The company object file. All integers are unsigned little-endian. n is the number of
 * expressions that have faces, L1 the length of the owner-name text including its lead byte
 * 0x88, L2 the length of the specific word (neither counts a NUL).
 *
 *   offset          size      content
 *   0               1         kind byte, 0x20 (a reader refuses 0x80 and above)
 *   1               3         date stamp of the last save (packed, see PackDateStamp)
 *   4               8         object name: "COMP", the first four bytes of the specific word,
 *                             NUL-padded
 *   12              4         object checksum (below)
 *   16              1         encoding byte, always 0
 *   17              4         data length: the bytes after this field, 70 + L1 + L2 + 4704n
 *   21              56        company data block:
 *                               +0  4 reserved   +4 first word mask   +8 second word mask
 *                               +12 expression mask   +16 36 reserved
 *                               +52 intelligence  +53 aggressiveness  +54 competitiveness
 *                               +55 1 reserved
 *   77              L1 + 3    string table: language byte 0, the owner name from its lead
 *                             byte, NUL, end byte 0xFF
 *   80 + L1         L2 + 3    string table: the same for the specific word
 *   83 + L1 + L2    4         image count, 2n
 *   87 + L1 + L2    4         image data size, 4672n
 *   91 + L1 + L2    16 each   image entries: u32 pixel offset into the image data, u16 width,
 *                             u16 height, four u16 reserved (0). Per expression with faces,
 *                             in index order: its 24x24 face, then its 64x64 face.
 *   then            4672n     image data: each image's pixels, rows top to bottom, one
 *                             palette index per pixel, one image right after the other.
 *
 * The checksum starts at 0xF369A75B; each byte is XORed in and the state rotated left by 11.
 * It covers byte 0, bytes 4-11 and everything from offset 21 to the end: not the stamp, the
 * checksum itself, the encoding byte or the data length.
 *
 * The reader is more lenient than the writer: any kind byte below 0x80, any object name and
 * data length, images in any order and of any shape with 576 or 4096 pixels, dealt out to
 * the present expressions in index order. Of each text it keeps at most 253 bytes.
 */

namespace {

constexpr int kFacePairBytes = kSmallFaceBytes + kLargeFaceBytes;         // 4672
constexpr int kFacePairFileBytes = kFacePairBytes + 2 * kImageEntrySize;  // 4704
// A text keeps at most this many bytes on reading, its NUL included when it falls within.
constexpr int kStringTableLimit = 254;
constexpr int kFixedDataLength = 70;
// Every expression has at most one face of each size, so no valid file has more entries.
constexpr std::uint32_t kMaxImageCount = 2 * kExpressionCount;
// Image data is read in pieces so that a size the stream cannot back is never allocated.
constexpr qint64 kReadChunk = 64 * 1024;

[[noreturn]] void Reject(const char *why)
{
    qCDebug(lcCompany) << "company file rejected:" << why;
    throw CArchiveException(CArchiveException::badIndex);
}

// The writer's output: one buffer of the exact file size, filled front to back.
class CObjectWriteBuffer
{
public:
    static constexpr qsizetype kEnd = -1;

    explicit CObjectWriteBuffer(qsizetype capacity) : m_bytes(capacity, '\0') {}

    // Folds the bytes into the checksum when one is given, then copies them to position, or
    // to the end of the used part when position is kEnd.
    void Append(const void *bytes, qsizetype length, CObjectChecksum *checksum,
                qsizetype position = kEnd)
    {
        if (length <= 0)
            return;
        if (checksum)
            checksum->Update(bytes, std::size_t(length));
        const qsizetype at = position == kEnd ? m_used : position;
        Q_ASSERT(at >= 0 && at + length <= m_bytes.size());
        if (at < 0 || at + length > m_bytes.size())
            return;
        std::memcpy(m_bytes.data() + at, bytes, std::size_t(length));
        if (position == kEnd)
            m_used += length;
    }

    void AppendU32(std::uint32_t value, CObjectChecksum *checksum)
    {
        std::uint8_t bytes[4];
        PutU32(bytes, value);
        Append(bytes, 4, checksum);
    }

    qsizetype Used() const { return m_used; }
    const QByteArray &Bytes() const { return m_bytes; }

private:
    QByteArray m_bytes;
    qsizetype m_used = 0;
};

void WriteStringTable(CObjectWriteBuffer &buffer, CObjectChecksum &checksum,
                      const QByteArray &text)
{
    const std::uint8_t language = 0;
    buffer.Append(&language, 1, &checksum);
    // constData() ends in a NUL, written with the text.
    buffer.Append(text.constData(), text.size() + 1, &checksum);
    buffer.Append(&kStringEndByte, 1, &checksum);
}

// Reads exactly count bytes or rejects the file: a short read means the file ends early.
void ReadExactly(CArchive &archive, void *buffer, qint64 count, const char *what)
{
    if (archive.Read(buffer, count) != count)
        Reject(what);
}

// Reads one string table into field; keeps at most limit - 1 bytes and then a NUL, and
// clears the rest of the field.
void ReadStringTable(CArchive &archive, CObjectChecksum &checksum,
                     std::array<char, kNameFieldSize> &field, int limit)
{
    static_assert(kStringTableLimit <= kNameFieldSize);
    field.fill('\0');
    std::uint8_t byte = 0;
    ReadExactly(archive, &byte, 1, "string table ends before its language byte");
    checksum.Update(&byte, 1);
    int kept = 0;
    int read = 0;
    do {
        if (read++ == kMaxStringTableText)
            Reject("string table longer than any company's");
        ReadExactly(archive, &byte, 1, "string table ends before its NUL");
        checksum.Update(&byte, 1);
        if (kept < limit - 1)
            field[std::size_t(kept++)] = char(byte);
    } while (byte != 0);
    field[std::size_t(kept)] = '\0';
    ReadExactly(archive, &byte, 1, "string table ends before its end byte");
    checksum.Update(&byte, 1);
}

// Reads count bytes into a block that grows only as the stream delivers them.
QByteArray ReadBlock(CArchive &archive, qint64 count)
{
    QByteArray block;
    while (block.size() < count) {
        const qint64 piece = qMin(kReadChunk, count - block.size());
        const qsizetype at = block.size();
        block.resize(at + piece);
        ReadExactly(archive, block.data() + at, piece, "image table ends early");
    }
    return block;
}

QByteArray TextBytes(const std::array<char, kNameFieldSize> &field)
{
    // Never past byte 253, so the field's last byte stays a terminator whatever it holds.
    return QByteArray(field.data(), qstrnlen(field.data(), kNameFieldSize - 1));
}

} // namespace

void CObjectChecksum::Update(const void *bytes, std::size_t length)
{
    const auto *p = static_cast<const std::uint8_t *>(bytes);
    std::uint32_t state = m_state;
    for (std::size_t i = 0; i < length; ++i) {
        state ^= p[i];
        state = (state << 11) | (state >> 21);
    }
    m_state = state;
}

void EncodeCompanyData(const CCompanyData &data, std::uint8_t *out)
{
    std::memcpy(out + 0, data.m_reserved0, sizeof data.m_reserved0);
    PutU32(out + 4, data.m_firstWordMask);
    PutU32(out + 8, data.m_secondWordMask);
    PutU32(out + 12, data.m_expressionMask);
    std::memcpy(out + 16, data.m_reserved16, sizeof data.m_reserved16);
    out[52] = data.m_intelligence;
    out[53] = data.m_aggressiveness;
    out[54] = data.m_competitiveness;
    out[55] = data.m_reserved55;
}

CCompanyData DecodeCompanyData(const std::uint8_t *in)
{
    CCompanyData data{};
    std::memcpy(data.m_reserved0, in + 0, sizeof data.m_reserved0);
    data.m_firstWordMask = GetU32(in + 4);
    data.m_secondWordMask = GetU32(in + 8);
    data.m_expressionMask = GetU32(in + 12);
    std::memcpy(data.m_reserved16, in + 16, sizeof data.m_reserved16);
    data.m_intelligence = in[52];
    data.m_aggressiveness = in[53];
    data.m_competitiveness = in[54];
    data.m_reserved55 = in[55];
    return data;
}

std::vector<int> PresentExpressions(std::uint32_t expressionMask)
{
    std::vector<int> present;
    for (int i = 0; i < kExpressionCount; ++i) {
        if (expressionMask & (std::uint32_t(1) << i))
            present.push_back(i);
    }
    return present;
}

CDateStamp StampToWrite(const CCompanyRecord &record, bool modified)
{
    if (!modified)
        return record.GetDateStamp();
    CDateStamp now;
    PackDateStamp(now);
    return now;
}

void WriteCompany(CArchive &archive, const CCompanyRecord &record, const CDateStamp &stamp)
{
    const std::vector<int> present = PresentExpressions(record.GetExpressionMask());
    const auto n = std::uint32_t(present.size());
    const QByteArray owner = TextBytes(record.OwnerNameField());
    const QByteArray word = TextBytes(record.SpecificWordField());
    const std::uint32_t dataLength =
        kFixedDataLength + std::uint32_t(owner.size() + word.size()) + kFacePairFileBytes * n;
    CObjectWriteBuffer buffer(qsizetype(dataLength) + kCompanyDataOffset);

    std::uint8_t header[kObjectHeaderSize] = {};
    header[kObjectKindOffset] = kCompanyKindByte;
    std::memcpy(header + kObjectNameOffset, "COMP", 4);
    std::memcpy(header + kObjectNameOffset + 4, word.constData(), std::size_t(qMin<qsizetype>(4, word.size())));
    std::memcpy(header + kObjectStampOffset, stamp.data(), 3);

    buffer.Append(header, kObjectHeaderSize, nullptr);
    CObjectChecksum checksum;
    checksum.Update(header + kObjectKindOffset, 1);
    checksum.Update(header + kObjectNameOffset, kObjectNameSize);

    const std::uint8_t encoding = 0;
    buffer.Append(&encoding, 1, nullptr);
    buffer.AppendU32(dataLength, nullptr);

    std::uint8_t data[kCompanyDataSize];
    EncodeCompanyData(record.Data(), data);
    buffer.Append(data, kCompanyDataSize, &checksum);

    WriteStringTable(buffer, checksum, owner);
    WriteStringTable(buffer, checksum, word);

    buffer.AppendU32(2 * n, &checksum);
    buffer.AppendU32(kFacePairBytes * n, &checksum);

    // All entries first, then all pixels, in one block.
    std::vector<std::uint8_t> images(std::size_t(kFacePairFileBytes) * n);
    std::uint8_t *entry = images.data();
    std::uint8_t *pixels = images.data() + std::size_t(2 * kImageEntrySize) * n;
    std::uint32_t offset = 0;
    for (int e : present) {
        PutU32(entry, offset);
        PutU16(entry + kImageEntryWidthOffset, kSmallFaceSide);
        PutU16(entry + kImageEntryHeightOffset, kSmallFaceSide);
        entry += kImageEntrySize;
        std::memcpy(pixels, record.SmallFace(e).data(), kSmallFaceBytes);
        pixels += kSmallFaceBytes;

        PutU32(entry, offset + kSmallFaceBytes);
        PutU16(entry + kImageEntryWidthOffset, kLargeFaceSide);
        PutU16(entry + kImageEntryHeightOffset, kLargeFaceSide);
        entry += kImageEntrySize;
        std::memcpy(pixels, record.LargeFace(e).data(), kLargeFaceBytes);
        pixels += kLargeFaceBytes;

        offset += kFacePairBytes;
    }
    buffer.Append(images.data(), qsizetype(images.size()), &checksum);

    PutU32(header + kObjectChecksumOffset, checksum.Value());
    buffer.Append(header, kObjectHeaderSize, nullptr, 0);

    Q_ASSERT(buffer.Used() == buffer.Bytes().size());
    archive.Write(buffer.Bytes().constData(), buffer.Bytes().size());
}

void ReadCompany(CArchive &archive, CCompanyRecord &record)
{
    // Everything is read and checked into local copies first, so a rejected file leaves the
    // record as it was.
    std::uint8_t header[kObjectHeaderSize];
    ReadExactly(archive, header, kObjectHeaderSize, "file shorter than its header");
    if (header[kObjectKindOffset] >= kFirstRejectedKindByte)
        Reject("kind byte");

    std::uint8_t encoding = 0;
    ReadExactly(archive, &encoding, 1, "no encoding byte");
    if (encoding != 0)
        Reject("encoding byte");

    std::uint8_t dataLength[4];
    ReadExactly(archive, dataLength, 4, "no data length");

    std::uint8_t dataBytes[kCompanyDataSize];
    ReadExactly(archive, dataBytes, kCompanyDataSize, "company data block ends early");
    const CCompanyData data = DecodeCompanyData(dataBytes);

    CObjectChecksum checksum;
    checksum.Update(header + kObjectKindOffset, 1);
    checksum.Update(header + kObjectNameOffset, kObjectNameSize);
    checksum.Update(dataBytes, kCompanyDataSize);

    std::array<char, kNameFieldSize> ownerName{};
    std::array<char, kNameFieldSize> specificWord{};
    ReadStringTable(archive, checksum, ownerName, kStringTableLimit);
    ReadStringTable(archive, checksum, specificWord, kStringTableLimit);

    std::uint8_t sizes[8];
    ReadExactly(archive, sizes, 8, "no image count and size");
    checksum.Update(sizes, 8);
    const std::uint32_t count = GetU32(sizes);
    const std::uint32_t imageDataSize = GetU32(sizes + 4);
    // 64-bit: count * 16 + size overflows 32 bits for hostile values.
    const qint64 tableBytes = qint64(count) * kImageEntrySize + qint64(imageDataSize);
    if (count > kMaxImageCount)
        Reject("more images than expressions can hold");
    const qint64 left = archive.BytesLeft();
    if (left >= 0 && tableBytes > left)
        Reject("image table larger than the file");

    const QByteArray table = ReadBlock(archive, tableBytes);
    checksum.Update(table.constData(), std::size_t(table.size()));
    if (checksum.Value() != GetU32(header + kObjectChecksumOffset))
        Reject("checksum");

    const auto *entries = reinterpret_cast<const std::uint8_t *>(table.constData());
    const std::uint8_t *imageData = entries + qint64(count) * kImageEntrySize;

    // Each face is dealt to the next present expression that has no face of its size yet.
    struct CPlacement { bool large; int index; std::uint32_t offset; };
    std::vector<CPlacement> placements;
    int smallIndex = 0;
    int largeIndex = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint8_t *entry = entries + qint64(i) * kImageEntrySize;
        const std::uint32_t offset = GetU32(entry);
        const std::uint32_t pixels = std::uint32_t(GetU16(entry + kImageEntryWidthOffset))
                                    * GetU16(entry + kImageEntryHeightOffset);
        if (pixels != kSmallFaceBytes && pixels != kLargeFaceBytes)
            Reject("image of neither face size");
        if (qint64(offset) + pixels > qint64(imageDataSize))
            Reject("image pixels outside the image data");
        const bool large = pixels == kLargeFaceBytes;
        int &next = large ? largeIndex : smallIndex;
        while (next < kExpressionCount && !(data.m_expressionMask & (std::uint32_t(1) << next)))
            ++next;
        if (next >= kExpressionCount)
            Reject("more faces of one size than expressions");
        placements.push_back({large, next, offset});
        ++next;
    }

    CDateStamp stamp;
    std::memcpy(stamp.data(), header + kObjectStampOffset, 3);
    record.SetData(data);
    record.SetDateStamp(stamp);
    record.SetOwnerNameField(ownerName);
    record.SetSpecificWordField(specificWord);
    for (const CPlacement &p : placements) {
        const std::uint8_t *source = imageData + p.offset;
        if (p.large)
            record.SetLargeFaceBytes(p.index, source);
        else
            record.SetSmallFaceBytes(p.index, source);
    }
}

QString ExportFileName(const CCompanyRecord &record, bool modified)
{
    const CDateStamp stamp = StampToWrite(record, modified);
    // The rule works on the file's 8-bit text; the result is decoded at the end.
    const char *owner = record.OwnerNameField().data() + 1;
    const QByteArray text = QByteArray(owner, qstrnlen(owner, kNameFieldSize - 1))
                            + ' ' + FormatDateStamp(stamp).left(10).toLatin1();
    QByteArray name;
    bool inRun = false;
    for (char c : text) {
        const auto u = std::uint8_t(c);
        const bool kept = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z')
                          || (u >= '0' && u <= '9') || u == '+' || u == ',' || u == '-'
                          || u == ' ' || u == '_' || u >= 128;
        if (kept) {
            name += c;
            inRun = false;
        } else if (u == '/' || u == '\\') {
            name += '-';
            inRun = false;
        } else if (!inRun) {
            name += ' ';
            inRun = true;
        }
    }
    return FromAnsi(name) + QStringLiteral(".company");
}

} // namespace quorvel
