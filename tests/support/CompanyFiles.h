#pragma once
// Company files for tests, written by the editor's own writer, so that a change of the layout
// shows in every test that reads them another way.

#include "company/CompanyFile.h"
#include "company/CompanyRecord.h"
#include "platform/Archive.h"
#include "tests/support/TestFiles.h"

#include <QBuffer>
#include <QDateTime>

namespace quorvel::test {

inline const QDateTime kStampTime(QDate(2004, 6, 14), QTime(15, 27), Qt::UTC);

// The file the editor writes for the record (modified: stamped now, as a save of a change).
inline QByteArray RecordBytes(const CCompanyRecord &record, bool modified = false)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    CArchive archive(&buffer, CArchive::store);
    WriteCompany(archive, record, StampToWrite(record, modified));
    return bytes;
}

// Expression i's 24x24 face has palette index (7i + k) mod 256 at pixel k (rows top to
// bottom), its 64x64 face index 200 + i throughout.
inline QByteArray CompanyBytes(const QString &owner, std::uint32_t mask = 0x1, int rating = 5,
                               const QDateTime &stamp = kStampTime)
{
    CCompanyRecord record;
    record.SetNewCompanyDefaults();
    CDateStamp packed;
    PackDateStamp(packed, stamp);
    record.SetDateStamp(packed);
    record.SetOwnerName(owner);
    record.SetIntelligence(rating);
    for (int i = 0; i < kExpressionCount; ++i) {
        if (mask & (1u << i)) {
            CSmallFace small;
            CLargeFace large;
            for (int k = 0; k < kSmallFaceBytes; ++k)
                small[std::size_t(k)] = std::uint8_t(7 * i + k);
            large.fill(std::uint8_t(200 + i));
            record.SetFaces(1u << i, small.data(), large.data());
        }
    }
    return RecordBytes(record);
}

} // namespace quorvel::test
