// Feeds arbitrary bytes to the company object file reader. Rejecting a file with the archive
// exception is the expected answer; anything else (a crash, a sanitizer report, another
// exception) is a finding. A file that is accepted must also survive a write and re-read.

#include "company/CompanyFile.h"
#include "company/CompanyRecord.h"
#include "platform/Archive.h"

#include <QBuffer>
#include <QByteArray>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace quorvel;
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data),
                                               qsizetype(size));
    QBuffer input(&bytes);
    input.open(QIODevice::ReadOnly);
    CCompanyRecord record;
    try {
        CArchive archive(&input, CArchive::load);
        ReadCompany(archive, record);
    } catch (const CArchiveException &e) {
        if (e.cause() != CArchiveException::badIndex)
            std::abort();
        return 0;
    }

    // What was read must write out and read back to the same company.
    QByteArray written;
    QBuffer output(&written);
    output.open(QIODevice::WriteOnly);
    CArchive store(&output, CArchive::store);
    WriteCompany(store, record, record.GetDateStamp());
    output.close();

    QBuffer again(&written);
    again.open(QIODevice::ReadOnly);
    CCompanyRecord copy;
    CArchive load(&again, CArchive::load);
    ReadCompany(load, copy); // a throw here escapes and is reported
    if (copy.GetOwnerName() != record.GetOwnerName()
        || copy.GetExpressionMask() != record.GetExpressionMask())
        std::abort();
    return 0;
}
