#pragma once
// What the targets that read a picture from a file share: a quiet Qt application, whose plugins
// the loaders need, and one file in a private folder that holds each input.

#include <QCoreApplication>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace quorvel::fuzz {

inline QTemporaryDir &InputFolder()
{
    static QTemporaryDir folder;
    return folder;
}

// For LLVMFuzzerInitialize: Qt's messages would only slow the run down.
inline void StartQuietApplication(int *argc, char ***argv)
{
    static QCoreApplication application(*argc, *argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    if (!InputFolder().isValid())
        std::abort();
}

// Writes the bytes to the file of that name in the folder and returns its path.
inline QString WriteInputFile(const QString &name, const std::uint8_t *data, std::size_t size)
{
    const QString path = InputFolder().filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || file.write(reinterpret_cast<const char *>(data), qint64(size)) != qint64(size))
        std::abort();
    return path;
}

} // namespace quorvel::fuzz
