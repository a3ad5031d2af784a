#pragma once
// The in-memory company: owner name, specific word, name-part masks, ratings, faces and the
// date stamp of the last save. The document derives from it and connects the two hooks.

#include <QDateTime>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>

namespace quorvel {

constexpr int kExpressionCount = 9;
constexpr int kSmallFaceSide = 24;
constexpr int kLargeFaceSide = 64;
constexpr int kSmallFaceBytes = kSmallFaceSide * kSmallFaceSide; // 576
constexpr int kLargeFaceBytes = kLargeFaceSide * kLargeFaceSide; // 4096
constexpr std::uint8_t kOwnerNameLeadByte = 0x88;
constexpr int kNameFieldSize = 255;

// "default", "happy", ... "repulsed"; index i has bit 1 << i in the expression mask.
const char *ExpressionName(int index);
// The index whose bit equals the value exactly, or -1.
int ExpressionIndexForBit(std::uint32_t bit);

// The 56-byte block stored as one unit in the object file. Fields are host-order integers;
// the file code converts them explicitly to and from little-endian bytes.
struct CCompanyData
{
    std::uint8_t m_reserved0[4];
    std::uint32_t m_firstWordMask;
    std::uint32_t m_secondWordMask;
    std::uint32_t m_expressionMask;
    std::uint8_t m_reserved16[36];
    std::uint8_t m_intelligence;
    std::uint8_t m_aggressiveness;
    std::uint8_t m_competitiveness;
    std::uint8_t m_reserved55;
};
static_assert(sizeof(CCompanyData) == 56, "CCompanyData must be exactly 56 bytes");

using CDateStamp = std::array<std::uint8_t, 3>;
using CSmallFace = std::array<std::uint8_t, kSmallFaceBytes>;
using CLargeFace = std::array<std::uint8_t, kLargeFaceBytes>;

// Packs the given time (or the current universal time) into three bytes.
void PackDateStamp(CDateStamp &stamp, std::optional<QDateTime> time = std::nullopt);
// "YYYY/MM/DD HH:MM"
QString FormatDateStamp(const CDateStamp &stamp);

class CCompanyRecord
{
public:
    CCompanyRecord();
    virtual ~CCompanyRecord() = default;

    // The new-company defaults (everything but the faces and the reserved bytes) and a
    // date stamp of the current time.
    void SetNewCompanyDefaults();

    QString GetOwnerName() const;
    void SetOwnerName(const QString &name);
    QString GetSpecificWord() const;
    void SetSpecificWord(const QString &word);

    bool IsFirstWordAllowed(std::uint32_t bit) const;
    void SetFirstWordAllowed(std::uint32_t bit, bool on);
    bool IsSecondWordAllowed(std::uint32_t bit) const;
    void SetSecondWordAllowed(std::uint32_t bit, bool on);

    int GetIntelligence() const;
    int GetAggressiveness() const;
    int GetCompetitiveness() const;
    void SetIntelligence(int value);
    void SetAggressiveness(int value);
    void SetCompetitiveness(int value);

    bool GetFaces(std::uint32_t bit, std::uint8_t *small, std::uint8_t *large) const;
    void SetFaces(std::uint32_t bit, const std::uint8_t *small, const std::uint8_t *large);

    // The stored data, for the object file and the tools.
    CCompanyData m_data{};
    std::array<CSmallFace, kExpressionCount> m_smallFaces{};
    std::array<CLargeFace, kExpressionCount> m_largeFaces{};
    std::array<char, kNameFieldSize> m_ownerName{};    // lead byte 0x88, then the name
    std::array<char, kNameFieldSize> m_specificWord{};
    CDateStamp m_dateStamp{};

protected:
    // Called after every change made through a record operation.
    virtual void RecordChanged() {}
    // Called at the end of every SetOwnerName, changed or not.
    virtual void OwnerNameSet() {}

private:
    void SetRating(std::uint8_t &rating, int value);
};

} // namespace quorvel
