#include "company/CompanyRecord.h"

#include "platform/AnsiText.h"
#include "platform/Clock.h"

#include <algorithm>
#include <cstring>

namespace quorvel {
namespace {

constexpr std::array<const char *, kExpressionCount> kExpressionNames = {
    "default", "happy", "worried", "thinking", "depressed",
    "surprised", "frightened", "enraged", "repulsed",
};

// The owner's name starts after the lead byte and keeps at most 253 characters, so that the
// field always ends in a NUL at byte 254.
constexpr qsizetype kOwnerNameMax = kNameFieldSize - 2;
constexpr qsizetype kSpecificWordMax = kNameFieldSize - 1;

constexpr std::uint32_t kAllWords = 0x1FFF;
constexpr std::uint8_t kDefaultRating = 5;

// The text of a field as the file holds it: up to the first NUL, never past the field.
QByteArray FieldBytes(const char *field, qsizetype size)
{
    const auto *end = static_cast<const char *>(std::memchr(field, 0, std::size_t(size)));
    return QByteArray(field, end ? end - field : size);
}

// The code page's bytes for a text, cut at an embedded NUL (the field could not hold what
// follows it) and at max bytes.
QByteArray AnsiField(const QString &text, qsizetype max)
{
    QByteArray bytes = ToAnsi(text);
    const qsizetype nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    bytes.truncate(max);
    return bytes;
}

// Writes bytes at the given field offset and clears the rest of the field.
void StoreField(CNameField &field, qsizetype offset, const QByteArray &bytes)
{
    std::fill(field.begin() + offset, field.end(), '\0');
    std::memcpy(field.data() + offset, bytes.constData(), std::size_t(bytes.size()));
}

bool SetMaskBit(std::uint32_t &mask, std::uint32_t bit, bool on)
{
    const std::uint32_t next = on ? (mask | bit) : (mask & ~bit);
    if (next == mask)
        return false;
    mask = next;
    return true;
}

} // namespace

const char *ExpressionName(int index)
{
    if (index < 0 || index >= kExpressionCount)
        return nullptr;
    return kExpressionNames[std::size_t(index)];
}

int ExpressionIndexForBit(std::uint32_t bit)
{
    for (int i = 0; i < kExpressionCount; ++i) {
        if ((std::uint32_t(1) << i) == bit)
            return i;
    }
    return -1;
}

void PackDateStamp(CDateStamp &stamp, std::optional<QDateTime> time)
{
    const QDateTime utc = (time ? *time : CurrentUniversalTime()).toUTC();
    const QDate date = utc.date();
    const QTime clock = utc.time();
    // The year field is six bits: earlier and later years wrap into 0-63 on a 16-bit year.
    const std::uint32_t yearField = std::uint16_t(std::uint16_t(date.year()) - 2000) & 63u;
    std::uint32_t v = yearField << 18;
    v |= (std::uint32_t(date.month()) & 15u) << 14;
    v |= (std::uint32_t(date.day()) & 31u) << 9;
    v |= (std::uint32_t(clock.hour()) & 31u) << 4;
    v |= (std::uint32_t(clock.minute()) >> 1) & 15u;
    stamp[0] = std::uint8_t(v & 0xFF);
    stamp[1] = std::uint8_t((v >> 8) & 0xFF);
    stamp[2] = std::uint8_t((v >> 16) & 0xFF);
}

QString FormatDateStamp(const CDateStamp &stamp)
{
    const std::uint32_t v = stamp[0] | (std::uint32_t(stamp[1]) << 8)
                            | (std::uint32_t(stamp[2]) << 16);
    const int year = 2000 + int((v >> 18) & 63);
    const int month = int((v >> 14) & 15);
    const int day = int((v >> 9) & 31);
    const int hour = int((v >> 4) & 31);
    const int minute = 2 * int(v & 15);
    return QString::asprintf("%04d/%02d/%02d %02d:%02d", year, month, day, hour, minute);
}

CCompanyRecord::CCompanyRecord()
{
    m_ownerName[0] = char(kOwnerNameLeadByte);
}

void CCompanyRecord::SetNewCompanyDefaults()
{
    m_ownerName[0] = char(kOwnerNameLeadByte);
    StoreField(m_ownerName, 1, QByteArrayLiteral("Owner Name"));
    StoreField(m_specificWord, 0, QByteArrayLiteral("Owner"));
    m_data.m_firstWordMask = kAllWords;
    m_data.m_secondWordMask = kAllWords;
    m_data.m_expressionMask = 0;
    m_data.m_intelligence = kDefaultRating;
    m_data.m_aggressiveness = kDefaultRating;
    m_data.m_competitiveness = kDefaultRating;
    PackDateStamp(m_dateStamp);
}

QString CCompanyRecord::GetOwnerName() const
{
    return FromAnsi(FieldBytes(m_ownerName.data() + 1, kNameFieldSize - 1));
}

bool CCompanyRecord::SetOwnerName(const QString &name)
{
    m_ownerName[0] = char(kOwnerNameLeadByte);
    const QByteArray bytes = AnsiField(name, kOwnerNameMax);
    if (bytes == FieldBytes(m_ownerName.data() + 1, kOwnerNameMax))
        return false;
    StoreField(m_ownerName, 1, bytes);
    return true;
}

QString CCompanyRecord::GetSpecificWord() const
{
    return FromAnsi(FieldBytes(m_specificWord.data(), kNameFieldSize));
}

bool CCompanyRecord::SetSpecificWord(const QString &word)
{
    const QByteArray bytes = AnsiField(word, kSpecificWordMax);
    if (bytes == FieldBytes(m_specificWord.data(), kSpecificWordMax))
        return false;
    StoreField(m_specificWord, 0, bytes);
    return true;
}

bool CCompanyRecord::IsFirstWordAllowed(std::uint32_t bit) const
{
    return (m_data.m_firstWordMask & bit) != 0;
}

bool CCompanyRecord::SetFirstWordAllowed(std::uint32_t bit, bool on)
{
    return SetMaskBit(m_data.m_firstWordMask, bit, on);
}

bool CCompanyRecord::IsSecondWordAllowed(std::uint32_t bit) const
{
    return (m_data.m_secondWordMask & bit) != 0;
}

bool CCompanyRecord::SetSecondWordAllowed(std::uint32_t bit, bool on)
{
    return SetMaskBit(m_data.m_secondWordMask, bit, on);
}

bool CCompanyRecord::SetFirstWordMask(std::uint32_t mask)
{
    if (mask == m_data.m_firstWordMask)
        return false;
    m_data.m_firstWordMask = mask;
    return true;
}

bool CCompanyRecord::SetSecondWordMask(std::uint32_t mask)
{
    if (mask == m_data.m_secondWordMask)
        return false;
    m_data.m_secondWordMask = mask;
    return true;
}

int CCompanyRecord::GetIntelligence() const
{
    return m_data.m_intelligence;
}

int CCompanyRecord::GetAggressiveness() const
{
    return m_data.m_aggressiveness;
}

int CCompanyRecord::GetCompetitiveness() const
{
    return m_data.m_competitiveness;
}

bool CCompanyRecord::SetRating(std::uint8_t &rating, int value)
{
    // Only the low byte is stored; a value that leaves that byte as it was changes nothing.
    const auto stored = std::uint8_t(value & 0xFF);
    if (stored == rating)
        return false;
    rating = stored;
    return true;
}

bool CCompanyRecord::SetIntelligence(int value)
{
    return SetRating(m_data.m_intelligence, value);
}

bool CCompanyRecord::SetAggressiveness(int value)
{
    return SetRating(m_data.m_aggressiveness, value);
}

bool CCompanyRecord::SetCompetitiveness(int value)
{
    return SetRating(m_data.m_competitiveness, value);
}

bool CCompanyRecord::GetFaces(std::uint32_t bit, std::uint8_t *small, std::uint8_t *large) const
{
    const int index = ExpressionIndexForBit(bit);
    if (index < 0 || (m_data.m_expressionMask & bit) == 0)
        return false;
    if (small)
        std::memcpy(small, m_smallFaces[std::size_t(index)].data(), kSmallFaceBytes);
    if (large)
        std::memcpy(large, m_largeFaces[std::size_t(index)].data(), kLargeFaceBytes);
    return true;
}

bool CCompanyRecord::SetFaces(std::uint32_t bit, const std::uint8_t *small,
                              const std::uint8_t *large)
{
    const int index = ExpressionIndexForBit(bit);
    if (index < 0)
        return false;
    if (small && large) {
        m_data.m_expressionMask |= bit;
        std::memcpy(m_smallFaces[std::size_t(index)].data(), small, kSmallFaceBytes);
        std::memcpy(m_largeFaces[std::size_t(index)].data(), large, kLargeFaceBytes);
    } else if (bit != kDefaultExpressionBit) {
        // A company always keeps its default expression; only the others can be removed.
        m_data.m_expressionMask &= ~bit;
    }
    return true;
}

void CCompanyRecord::SetSmallFaceBytes(int index, const std::uint8_t *small)
{
    if (index >= 0 && index < kExpressionCount)
        std::memcpy(m_smallFaces[std::size_t(index)].data(), small, kSmallFaceBytes);
}

void CCompanyRecord::SetLargeFaceBytes(int index, const std::uint8_t *large)
{
    if (index >= 0 && index < kExpressionCount)
        std::memcpy(m_largeFaces[std::size_t(index)].data(), large, kLargeFaceBytes);
}



} // namespace quorvel
