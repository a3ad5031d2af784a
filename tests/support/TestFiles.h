#pragma once
// Whole files in and out for tests.

#include <QByteArray>
#include <QFile>
#include <QString>

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

} // namespace quorvel::test
