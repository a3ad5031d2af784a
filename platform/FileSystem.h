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

// One entry of a folder as the file system lists it.
struct CFolderEntry
{
    QString name;
    bool directory = false;
    // A name starting with "." off Windows; the hidden attribute on Windows.
    bool hidden = false;
    // Attributes that exist only on Windows.
    bool system = false;
    bool temporary = false;
    bool compressed = false;
    // Neither a regular file nor a folder (a pipe, a device, a link to nothing): opening or
    // reading it could block, so nothing should try.
    bool special = false;
};

// Calls visit for each entry of the folder, in the order the file system keeps them ("." and
// ".." left out), until visit returns false. A folder that cannot be listed has no entries.
void ListFolder(const QString &folder, const std::function<bool(const CFolderEntry &)> &visit);

// Asks the system to put the open file's bytes on the disk; failures are not reported (not
// every file system can).
void SyncToDisk(QFileDevice &file);

} // namespace quorvel
