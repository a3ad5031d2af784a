#pragma once
// Whole files in and out for tests.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>

namespace quorvel::test {

inline bool WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// The file's bytes, or "<missing>" when it cannot be read.
inline QByteArray ReadFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// Every name in the folder, hidden ones too.
inline QStringList Entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System
                                  | QDir::NoDotAndDotDot);
}

// What the one rule for writes over a name meets at target: "link", a link to theirs (a file
// of another folder that holds "theirs"); "dangling", a link to theirs, which is missing;
// "private", a file only its owner may read and write. The permissions at target afterwards.
inline QFileDevice::Permissions PutAtName(const QString &target, const QString &before,
                                          const QString &theirs)
{
    if (before == u"link") {
        WriteFile(theirs, "theirs");
        QFile::link(theirs, target);
    } else if (before == u"dangling") {
        QFile::link(theirs, target);
    } else {
        WriteFile(target, "old");
        QFile::setPermissions(target, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
    return QFileInfo(target).permissions();
}

// How a write over what PutAtName put broke the rule (a link is replaced itself, never
// written through, and a file's permissions pass to its successor); empty when it kept it.
inline QString BrokeTheRule(const QString &target, const QString &before, const QString &theirs,
                            QFileDevice::Permissions permissions)
{
    if (QFileInfo(target).isSymLink())
        return QStringLiteral("the link is still there");
    const QStringList elsewhere = Entries(QFileInfo(theirs).path());
    if (before == u"link" && (elsewhere != QStringList{QFileInfo(theirs).fileName()}
                              || ReadFile(theirs) != "theirs"))
        return QStringLiteral("written through the link");
    if (before == u"dangling" && !elsewhere.isEmpty())
        return QStringLiteral("written through the dangling link");
    if (before == u"private" && QFileInfo(target).permissions() != permissions)
        return QStringLiteral("the permissions changed");
    return QString();
}

} // namespace quorvel::test
