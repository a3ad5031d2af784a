#pragma once
// The temporaries that a write keeps beside its target while it works. Every one is named
// ".quorvel-" + eight letters or digits + "." + the name it is to take + ".tmp" (a set of
// files in the making is a folder ".quorvel-XXXXXXXX.tmp"), so that the next write into the
// folder can tell the ones a killed process left from the user's files and remove them.

#include <QFile>
#include <QString>

#include <memory>

class QLockFile;

namespace quorvel {

// How old a temporary must be before a write into its folder takes it for a leftover.
constexpr qint64 kLeftoverSeconds = 60 * 60;

// Removes what killed writes left in the folder: temporaries older than an hour, each with
// the empty placeholder that a move on a file system without hard links may have left under
// the name it was to take; and sets whose writer is gone, finished when they had been
// committed to (CStagedSet), dropped when not.
void RemoveLeftovers(const QString &folder);

// A new temporary file beside its target, removed when this goes unless Keep() was called.
class CTemporaryFile
{
public:
    CTemporaryFile() = default;
    CTemporaryFile(const CTemporaryFile &) = delete;
    CTemporaryFile &operator=(const CTemporaryFile &) = delete;
    ~CTemporaryFile();

    // Creates and opens it for writing in target's folder; false, with SystemError(), when
    // the folder takes no new file.
    bool Create(const QString &target);

    QFile &File() { return m_file; }
    int SystemError() const { return m_systemError; }
    // It has been given its target's name: nothing to remove.
    void Keep() { m_kept = true; }

private:
    QFile m_file;
    int m_systemError = 0;
    bool m_kept = false;
};

// A set of files written as one, staged in a hidden folder of the folder they go to:
//   .quorvel-XXXXXXXX.tmp/lock       held by the writer while it works
//   .quorvel-XXXXXXXX.tmp/new/NAME   the new file that is to take the name NAME
//   .quorvel-XXXXXXXX.tmp/committed  there once every new file is whole on the disk: from
//                                    then on a writer that dies has its set finished for it
//   .quorvel-XXXXXXXX.tmp/old/NAME   what had the name NAME, moved aside
// The folder goes when this does, and the old files with it.
class CStagedSet
{
public:
    CStagedSet();
    CStagedSet(const CStagedSet &) = delete;
    CStagedSet &operator=(const CStagedSet &) = delete;
    ~CStagedSet();

    // Makes the staging folder in folder; false, with *systemError, when it cannot.
    bool Create(const QString &folder, int *systemError);
    QString NewPath(const QString &name) const;
    QString OldPath(const QString &name) const;
    // Every new file is written and synced: marks the set as one that must take its names.
    bool Commit(int *systemError);

private:
    QString m_path;
    std::unique_ptr<QLockFile> m_lock;
};

} // namespace quorvel
