#pragma once
// The few file-system operations that Qt does not offer portably, one implementation per
// platform: taking a name without replacing what has it, flushing to the disk, and listing a
// folder with the attributes the catalogue looks at.

#include <QString>

#include <functional>

class QFileDevice;

namespace quorvel {

enum class MoveOutcome { moved, targetExists, failed };

// Gives the file at from the name to, in one step that fails when something already has that
// name. Both lie in the same folder. *systemError: the error number of a failure (0 when the
// platform's number is not one).
MoveOutcome MoveWithoutReplacing(const QString &from, const QString &to, int *systemError);

// Asks the system to put the open file's bytes on the disk; failures are not reported (not
// every file system can).
void SyncToDisk(QFileDevice &file);

} // namespace quorvel
