#include "Clock.h"

#include <QtGlobal>

namespace quorvel {

QDateTime CurrentUniversalTime()
{
    bool ok = false;
    const qint64 epoch = qEnvironmentVariable("SOURCE_DATE_EPOCH").trimmed().toLongLong(&ok);
    if (ok)
        return QDateTime::fromSecsSinceEpoch(epoch, Qt::UTC);
    return QDateTime::currentDateTimeUtc();
}

} // namespace quorvel
