#pragma once
// Reading one value out of a Wine registry file (system.reg, user.reg), the text form in which
// Wine keeps a prefix's registry, so that a game installed under Wine can be found.

#include <QString>
#include <QStringList>

class QIODevice;

namespace quorvel {

struct WineRegistryLookup
{
    enum class Status {
        KeyMissing,   // none of the keys is in the file
        ValueMissing, // a key is there, but not the value (or its line is malformed)
        NotText,      // the value is there, but holds a number or raw bytes
        Found,
    };
    Status status = Status::KeyMissing;
    QString key;  // the key that held the value, as the file names it
    QString text; // the value's text up to its first NUL character, when Found

    bool operator==(const WineRegistryLookup &) const = default;
};

// Looks the value up under the first of the keys (paths relative to the file's hive, compared
// without regard to case) that holds it; an empty value name means the key's default value.
// Strings, expandable strings (unexpanded) and multi-strings (their first string), whether
// written as text or as hex bytes, count as text; every other type does not.
// A line (or a continued value) over 1 MiB is skipped, and a file over 256 MiB is ignored
// (KeyMissing): a working prefix has neither, and neither may cost its size in memory.
WineRegistryLookup LookUpWineRegistryValue(QIODevice &in, const QStringList &keys,
                                           const QString &valueName);

// Whether the file may hold one of the keys: a quick scan for the end of a key line that names
// a key's last component ("Halvortine Setup]"), without regard to ASCII case. False only when
// none of the keys can be in the file as Wine writes it, so such a file needs no parsing.
// Reads from the device's position up to the first hit or the end; a file over the size the
// parser ignores is taken to hold nothing.
bool MayHoldWineRegistryKey(QIODevice &in, const QStringList &keys);

} // namespace quorvel
