// Feeds arbitrary bytes to the readers of the files the game lookup finds in a player's home:
// Steam's libraryfolders.vdf and a Wine prefix's system.reg. They must never crash, hang or
// read outside their buffers, and the quick scan of system.reg must see every key line end
// that a plain search of the whole text sees.

#include "game/SteamLibraries.h"
#include "game/WineRegistry.h"

#include <QBuffer>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace quorvel;
    QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    SteamLibraryFolders(bytes);

    static const QStringList keys{QStringLiteral("Software\\Kavro\\Halvortine Setup"),
                                  QStringLiteral("Software\\Wow6432Node\\Kavro\\Halvortine Setup")};
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    const bool mayHold = MayHoldWineRegistryKey(buffer, keys);
    if (!mayHold && bytes.toLower().contains("halvortine setup]"))
        std::abort();
    buffer.seek(0);
    LookUpWineRegistryValue(buffer, keys, QStringLiteral("Path"));
    return 0;
}
