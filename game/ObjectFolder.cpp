#include "game/ObjectFolder.h"

#include "game/GameLookup.h"
#include "platform/Clock.h"
#include "platform/Logging.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QSet>
#include <QStandardPaths>

#include <numeric>
#include <vector>

namespace quorvel {
namespace {

constexpr int kCompanyNumbers = 32768;

#ifndef Q_OS_WIN

// Wine finds files without regard to case, so "compa.dat" already takes "COMPa.DAT".
QSet<QString> NamesTakenIgnoringCase(const QString &folder)
{
    QSet<QString> names;
    QDirIterator entries(folder, {QStringLiteral("comp*.dat")},
                         QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    while (entries.hasNext()) {
        entries.next();
        names.insert(entries.fileName().toLower());
    }
    return names;
}

#endif

// The C library's classic generator: numbers 0..32767 from a 32-bit state.
class ShortRandom
{
public:
    explicit ShortRandom(quint32 seed) : m_state(seed) {}
    int Next()
    {
        m_state = m_state * 214013u + 2531011u;
        return int((m_state >> 16) & 0x7fff);
    }

private:
    quint32 m_state;
};

} // namespace

void AddTrailingSeparator(QString &path)
{
    if (path.endsWith(u'/'))
        return;
#ifdef Q_OS_WIN
    if (path.endsWith(u'\\'))
        return;
#endif
    path += QDir::separator();
}

QString GetObjectFolder()
{
    return LookUpObjectFolder().folder;
}

QString CompanyFileName(int number)
{
    return QStringLiteral("COMP%1.DAT").arg(number, 0, 16);
}

std::optional<QString> MakeUniqueCompanyPath()
{
    return MakeUniqueCompanyPath(GetObjectFolder());
}

std::optional<QString> MakeUniqueCompanyPath(QString folder)
{
    // Seeded afresh in whole seconds: two calls within a second give the same free name.
    ShortRandom random(quint32(CurrentUniversalTime().toSecsSinceEpoch()));
    AddTrailingSeparator(folder);
#ifndef Q_OS_WIN
    const QSet<QString> takenIgnoringCase = NamesTakenIgnoringCase(folder);
#endif

    // Each draw picks one of the numbers not tried yet, so a full folder ends the search
    // after 32768 draws instead of never.
    std::vector<quint16> untried(kCompanyNumbers);
    std::iota(untried.begin(), untried.end(), quint16(0));
    int remaining = kCompanyNumbers;
    while (remaining > 0) {
        const int pick = random.Next() % remaining;
        const int number = untried[pick];
        untried[pick] = untried[--remaining];

        const QString name = CompanyFileName(number);
#ifndef Q_OS_WIN
        if (takenIgnoringCase.contains(name.toLower()))
            continue;
#endif
        // Asked again by name: the listing may be stale, and a dangling link takes a name too.
        const QString path = folder + name;
        const QFileInfo info(path);
        if (!info.exists() && !info.isSymLink())
            return path;
    }
    qCDebug(lcGame) << "every company file name is taken in" << folder;
    return std::nullopt;
}

CInstallResult InstallUnderFreshName(const QString &folder,
                                     const std::function<EFreshWrite(const QString &)> &write,
                                     const QString &firstPath)
{
    CInstallResult result;
    std::optional<QString> path =
        firstPath.isEmpty() ? MakeUniqueCompanyPath(folder) : std::optional<QString>(firstPath);
    // Each name taken is a file that now exists, so the draws do not repeat one; a writer
    // that calls free names taken still stops once every name was tried.
    for (int tries = 0; path && tries < kCompanyNumbers; ++tries) {
        result.path = *path;
        switch (write(*path)) {
        case EFreshWrite::Written:
            result.outcome = EInstallOutcome::Installed;
            return result;
        case EFreshWrite::Failed:
            result.outcome = EInstallOutcome::Failed;
            return result;
        case EFreshWrite::NameTaken:
            qCInfo(lcGame) << *path << "was taken meanwhile; drawing another name";
            path = MakeUniqueCompanyPath(folder);
            break;
        }
    }
    qCDebug(lcGame) << "no free company file name in" << folder;
    result.outcome = EInstallOutcome::NoFreeName;
    return result;
}

QString GetDocumentsFolder()
{
    // Asked for without creating it; cleanPath drops a trailing separator.
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty())
        return {};
    return QDir::toNativeSeparators(QDir::cleanPath(folder));
}

} // namespace quorvel
