#pragma once
// Reader and writer of the company object file; the byte layout is described in
// CompanyFile.cpp above the code that reads and writes it.

#include "company/CompanyRecord.h"
#include "company/ObjectLayout.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quorvel {

class CArchive;

class CObjectChecksum
{
public:
    static constexpr std::uint32_t kInitial = 0xF369A75B;
    void Update(const void *bytes, std::size_t length);
    std::uint32_t Value() const { return m_state; }

private:
    std::uint32_t m_state = kInitial;
};

// The 56-byte company data block as the file holds it, field by field in little-endian.
void EncodeCompanyData(const CCompanyData &data, std::uint8_t *out);
CCompanyData DecodeCompanyData(const std::uint8_t *in);

// The indices 0-8 whose bit is set in the mask, ascending.
std::vector<int> PresentExpressions(std::uint32_t expressionMask);

// The stamp a write records: the current universal time for a modified company, else the
// company's own.
CDateStamp StampToWrite(const CCompanyRecord &record, bool modified);

// Writes the whole file in one archive write, with the given date stamp in its header.
void WriteCompany(CArchive &archive, const CCompanyRecord &record, const CDateStamp &stamp);

// Reads a company; throws CArchiveException(badIndex) for any malformed file. The whole file
// is checked before anything is stored, so on a throw the record is unchanged.
void ReadCompany(CArchive &archive, CCompanyRecord &record);

// The file name Export offers: owner name, a blank and the date of the stamp the writer would
// use, made safe for a file system, then ".company".
QString ExportFileName(const CCompanyRecord &record, bool modified);

} // namespace quorvel
