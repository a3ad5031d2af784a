#pragma once

#include <QDateTime>

namespace quorvel {

// The current universal time: the system clock, or SOURCE_DATE_EPOCH (seconds since 1970,
// UTC) when that variable holds a number, so that output can be reproduced.
QDateTime CurrentUniversalTime();

} // namespace quorvel
