#pragma once
// The few file-system operations that Qt does not offer portably, one implementation per
// platform: taking a name with or without replacing what has it, putting bytes and names on
// the disk, listing a folder with the attributes the catalogue looks at, and the process's
// standard streams and arguments.

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

class QFileDevice;

namespace quorvel {

enum class MoveOutcome { moved, targetExists, failed };

// Gives the file (or link) at from the name to, in one step that fails when something
// already has that name. Both lie on the same file system. *systemError: the error number of
// a failure (0 when the platform's number is not one).
MoveOutcome MoveWithoutReplacing(const QString &from, const QString &to, int *systemError);

// Gives the file at from the name to in one step, replacing whatever has it: a file, or a
// link itself (never what it points to).
bool MoveReplacing(const QString &from, const QString &to, int *systemError);

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
// ".." left out), until visit returns false. An entry whose name Qt cannot carry without loss
// is left out (with a debug line): no path made from it would name it. False, with
// *systemError (when given) the error number, when the folder could not be listed.
bool ListFolder(const QString &folder, const std::function<bool(const CFolderEntry &)> &visit,
                int *systemError = nullptr);

// Puts the open file's bytes on the disk. False, with *systemError, when the system says they
// may not be there (an I/O error, a full disk); a file system that cannot sync is no failure.
bool SyncToDisk(QFileDevice &file, int *systemError);

// The same for a folder's names, so that a file just given its name keeps it through a power
// loss (POSIX; elsewhere the move itself writes through).
bool SyncFolder(const QString &folder, int *systemError);

// The error number of the last failed call, with the platform's own codes for a full disk or
// a refused access turned into ENOSPC and EACCES.
int LastSystemError();

// Gives the standard streams that the process was started without a harmless stand-in, so
// that no file it opens takes their place; writing to such a stream then fails.
void GuardStandardStreams();

// Makes a write past the process's file size limit fail (as on a full disk) instead of
// ending the process, which would leave its temporary behind.
void FailWritesPastSizeLimit();

// The first argument (after the program's name) whose bytes Qt cannot carry in a string
// without loss, as the bytes are; nothing when every one can be carried.
std::optional<QByteArray> FindUnnamableArgument(int argc, char **argv);

} // namespace quorvel
