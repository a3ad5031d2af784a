#include "game/WinePrefixes.h"

#include "game/SteamLibraries.h"
#include "platform/Logging.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

namespace quorvel {
namespace {

// The subfolders of a folder, sorted by name so the listing does not depend on the disk.
QStringList Subfolders(const QString &folder)
{
    return QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
}

bool LooksLikePrefix(const QString &folder)
{
    return QFileInfo(folder + QStringLiteral("/system.reg")).exists()
           || QFileInfo(folder + QStringLiteral("/drive_c")).isDir();
}

// Steam keeps a library in its own folder and lists the others in libraryfolders.vdf.
QStringList SteamLibraries(const QString &steamRoot)
{
    QStringList libraries{steamRoot};
    QFile file(steamRoot + QStringLiteral("/steamapps/libraryfolders.vdf"));
    // Real lists take a few kilobytes; anything past a megabyte is no list of Steam's.
    constexpr qint64 kMaxListBytes = 1 << 20;
    if (file.open(QIODevice::ReadOnly) && file.size() <= kMaxListBytes) {
        if (const auto listed = SteamLibraryFolders(file.readAll()))
            libraries += *listed;
        else
            qCDebug(lcGame) << "skipping the malformed" << file.fileName();
    }
    return libraries;
}

} // namespace

std::vector<std::pair<ECandidateKind, QString>> FindWinePrefixes()
{
    std::vector<std::pair<ECandidateKind, QString>> prefixes;
    QSet<QString> seen;
    const auto add = [&](ECandidateKind kind, const QString &folder) {
        const QString clean = QDir::cleanPath(QDir(folder).absolutePath());
        const QString canonical = QFileInfo(clean).canonicalFilePath();
        if (seen.contains(canonical.isEmpty() ? clean : canonical))
            return;
        seen.insert(canonical.isEmpty() ? clean : canonical);
        prefixes.emplace_back(kind, clean);
    };

    const QString home = QDir::homePath();
    if (const QString variable = qEnvironmentVariable("WINEPREFIX"); !variable.isEmpty())
        add(ECandidateKind::WinePrefixVariable, variable);
    if (QFileInfo(home + QStringLiteral("/.wine")).isDir())
        add(ECandidateKind::Wine, home + QStringLiteral("/.wine"));

    QSet<QString> librariesSeen;
    for (const char *root : {"/.steam/steam", "/.local/share/Steam",
                             "/.var/app/com.valvesoftware.Steam/.local/share/Steam"}) {
        const QString steamRoot = home + QLatin1String(root);
        if (!QFileInfo(steamRoot + QStringLiteral("/steamapps")).isDir())
            continue;
        for (const QString &library : SteamLibraries(steamRoot)) {
            const QString canonical = QFileInfo(library).canonicalFilePath();
            if (canonical.isEmpty() || librariesSeen.contains(canonical))
                continue;
            librariesSeen.insert(canonical);
            const QString compatdata = library + QStringLiteral("/steamapps/compatdata");
            for (const QString &game : Subfolders(compatdata)) {
                const QString pfx = compatdata + u'/' + game + QStringLiteral("/pfx");
                if (LooksLikePrefix(pfx))
                    add(ECandidateKind::Steam, pfx);
            }
        }
    }

    const std::pair<ECandidateKind, const char *> managers[] = {
        {ECandidateKind::Lutris, "/Games"},
        {ECandidateKind::Bottles, "/.local/share/bottles/bottles"},
        {ECandidateKind::Bottles, "/.var/app/com.usebottles.bottles/data/bottles/bottles"},
    };
    for (const auto &[kind, place] : managers) {
        const QString folder = home + QLatin1String(place);
        for (const QString &name : Subfolders(folder)) {
            if (LooksLikePrefix(folder + u'/' + name))
                add(kind, folder + u'/' + name);
        }
    }
    return prefixes;
}

} // namespace quorvel
