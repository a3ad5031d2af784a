#pragma once
// The in-memory company: owner name, specific word, name-part masks, ratings, faces and the
// date stamp of the last save. A plain value: each setter says whether it changed the
// company, and the document that owns one turns that into its modified state and undo steps.

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
constexpr std::uint32_t kDefaultExpressionBit = 0x001;

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
// A text field as the file holds it: NUL-terminated 8-bit text (the owner name after its
// lead byte 0x88).
using CNameField = std::array<char, kNameFieldSize>;

// Packs the given time (or the current universal time) into three bytes.
void PackDateStamp(CDateStamp &stamp, std::optional<QDateTime> time = std::nullopt);
// "YYYY/MM/DD HH:MM"
QString FormatDateStamp(const CDateStamp &stamp);

class CCompanyRecord
{
public:
    CCompanyRecord();

    // The new-company defaults (everything but the faces and the reserved bytes) and a
    // date stamp of the current time.
    void SetNewCompanyDefaults();

    // The setters store the value and return true when that changed the company.
    QString GetOwnerName() const;
    bool SetOwnerName(const QString &name);
    QString GetSpecificWord() const;
    bool SetSpecificWord(const QString &word);

    bool IsFirstWordAllowed(std::uint32_t bit) const;
    bool SetFirstWordAllowed(std::uint32_t bit, bool on);
    bool IsSecondWordAllowed(std::uint32_t bit) const;
    bool SetSecondWordAllowed(std::uint32_t bit, bool on);
    // Whole masks, bits above the thirteen words included.
    std::uint32_t GetFirstWordMask() const { return m_data.m_firstWordMask; }
    std::uint32_t GetSecondWordMask() const { return m_data.m_secondWordMask; }
    bool SetFirstWordMask(std::uint32_t mask);
    bool SetSecondWordMask(std::uint32_t mask);

    int GetIntelligence() const;
    int GetAggressiveness() const;
    int GetCompetitiveness() const;
    bool SetIntelligence(int value);
    bool SetAggressiveness(int value);
    bool SetCompetitiveness(int value);

    // Faces by expression bit. SetFaces with both faces adds or replaces the expression,
    // without them removes it (the default expression keeps its bit); it counts as a change
    // on every call that names an expression, as the form's write-back relies on.
    std::uint32_t GetExpressionMask() const { return m_data.m_expressionMask; }
    bool GetFaces(std::uint32_t bit, std::uint8_t *small, std::uint8_t *large) const;
    bool SetFaces(std::uint32_t bit, const std::uint8_t *small, const std::uint8_t *large);

    // The stored bytes, for the object file and the tools. The face arrays hold whatever the
    // last company left there for an expression that is absent.
    const CCompanyData &Data() const { return m_data; }
    const CSmallFace &SmallFace(int index) const { return m_smallFaces[std::size_t(index)]; }
    const CLargeFace &LargeFace(int index) const { return m_largeFaces[std::size_t(index)]; }
    const CNameField &OwnerNameField() const { return m_ownerName; }
    const CNameField &SpecificWordField() const { return m_specificWord; }
    const CDateStamp &GetDateStamp() const { return m_dateStamp; }

    // The stored bytes as a file holds them, for the reader: nothing is checked or converted.
    void SetData(const CCompanyData &data) { m_data = data; }
    void SetSmallFaceBytes(int index, const std::uint8_t *small);
    void SetLargeFaceBytes(int index, const std::uint8_t *large);
    void SetOwnerNameField(const CNameField &field) { m_ownerName = field; }
    void SetSpecificWordField(const CNameField &field) { m_specificWord = field; }
    void SetDateStamp(const CDateStamp &stamp) { m_dateStamp = stamp; }

private:
    static bool SetRating(std::uint8_t &rating, int value);

    CCompanyData m_data{};
    std::array<CSmallFace, kExpressionCount> m_smallFaces{};
    std::array<CLargeFace, kExpressionCount> m_largeFaces{};
    CNameField m_ownerName{}; // lead byte 0x88, then the name
    CNameField m_specificWord{};
    CDateStamp m_dateStamp{};
};

} // namespace quorvel
