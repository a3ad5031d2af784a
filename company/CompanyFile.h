#pragma once
// Reader and writer of the company object file; the byte layout is described in
// CompanyFile.cpp above the code that reads and writes it.

#include "company/CompanyRecord.h"

#include <cstdint>

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

// Writes the whole file in one archive write. A modified company gets the current universal
// time as its stamp (in the header and in m_dateStamp); an unmodified one keeps its own.
void WriteCompany(CArchive &archive, CCompanyRecord &record, bool modified);

// Reads a company; throws CArchiveException(badIndex) for any malformed file. On a throw the
// record may be partly overwritten.
void ReadCompany(CArchive &archive, CCompanyRecord &record);

// The file name Export offers: owner name, a blank and the date of the stamp the writer would
// use, made safe for a file system, then ".company".
QString ExportFileName(const CCompanyRecord &record, bool modified);

} // namespace quorvel
