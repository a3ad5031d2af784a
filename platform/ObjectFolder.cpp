#include "ObjectFolder.h"

#include "AnsiText.h"
#include "Clock.h"
#include "Logging.h"
#include "WineRegistry.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>

#include <numeric>
#include <vector>

namespace quorvel {
namespace {

// The game's installer records its folder here, in the local machine hive.
constexpr auto kValueName = "Path";
// The registry query offers a buffer of this many bytes, its terminating NUL included.
constexpr qsizetype kQueryBufferBytes = 260;
constexpr int kCompanyNumbers = 32768;

bool FitsQueryBuffer(const QString &value)
{
    const qsizetype bytes = ToAnsi(value).size() + 1;
    if (bytes > kQueryBufferBytes) {
        qCDebug(lcStore) << "install folder value takes" << bytes << "bytes, more than"
                         << kQueryBufferBytes;
        return false;
    }
    return true;
}

#ifdef Q_OS_WIN

std::optional<QString> ReadRegistryValue(QSettings::Format view)
{
    QSettings key(QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Kavro\\Halvortine Setup"), view);
    const QVariant value = key.value(QLatin1String(kValueName));
    if (!value.isValid())
        return std::nullopt;
    if (value.typeId() == QMetaType::QString)
        return value.toString();
    if (value.typeId() == QMetaType::QStringList) {
        const QStringList strings = value.toStringList();
        return strings.isEmpty() ? QString() : strings.first();
    }
    qCDebug(lcStore) << "install folder value is not text";
    return std::nullopt;
}

std::optional<QString> InstallFolder()
{
    // The 64-bit view first, then the one a 32-bit installer writes to.
    auto value = ReadRegistryValue(QSettings::NativeFormat);
    if (!value)
        value = ReadRegistryValue(QSettings::Registry32Format);
    if (!value) {
        qCDebug(lcStore) << "no install folder in the registry";
        return std::nullopt;
    }
    if (!FitsQueryBuffer(*value))
        return std::nullopt;
    return *value;
}

#else

// Wine's system.reg names keys relative to the local machine hive; a 32-bit installer in a
// 64-bit prefix writes below Wow6432Node.
const QStringList &GameKeys()
{
    static const QStringList keys = {
        QStringLiteral("Software\\Kavro\\Halvortine Setup"),
        QStringLiteral("Software\\Wow6432Node\\Kavro\\Halvortine Setup"),
    };
    return keys;
}

QString WinePrefix()
{
    QString prefix = qEnvironmentVariable("WINEPREFIX");
    if (prefix.isEmpty())
        prefix = QDir::homePath() + QStringLiteral("/.wine");
    return QDir::cleanPath(QDir(prefix).absolutePath());
}

bool IsAsciiLetter(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

// "X:\rest" to the folder Wine maps drive X to, plus rest. Only drive-rooted paths can be
// found inside the prefix; UNC, rooted-without-drive and relative paths cannot.
std::optional<QString> MapIntoPrefix(const QString &prefix, const QString &value)
{
    const bool rooted = value.size() >= 2 && IsAsciiLetter(value[0]) && value[1] == u':'
                        && (value.size() == 2 || value[2] == u'\\' || value[2] == u'/');
    if (!rooted) {
        qCDebug(lcStore) << "install folder" << value << "is not a drive path";
        return std::nullopt;
    }
    const QString drive = value[0].toLower() + QStringLiteral(":");
    QString root = prefix + QStringLiteral("/dosdevices/") + drive;
    if (!QFileInfo(root).exists()) {
        const QString driveC = prefix + QStringLiteral("/drive_c");
        if (drive != u"c:" || !QFileInfo(driveC).isDir()) {
            qCDebug(lcStore) << "drive" << drive << "is not mapped in" << prefix;
            return std::nullopt;
        }
        root = driveC;
    }
    // ".." never climbs above the drive's root, as on the drive itself.
    QStringList parts;
    QString rest = value.mid(2);
    rest.replace(u'\\', u'/');
    const QStringList pieces = rest.split(u'/', Qt::SkipEmptyParts);
    for (const QString &piece : pieces) {
        if (piece == u".")
            continue;
        if (piece == u"..") {
            if (!parts.isEmpty())
                parts.removeLast();
            continue;
        }
        parts.append(piece);
    }
    return parts.isEmpty() ? root : root + u'/' + parts.join(u'/');
}

std::optional<QString> InstallFolder()
{
    const QString prefix = WinePrefix();
    QFile file(prefix + QStringLiteral("/system.reg"));
    if (!file.open(QIODevice::ReadOnly)) {
        qCDebug(lcStore) << "cannot read" << file.fileName() << file.errorString();
        return std::nullopt;
    }
    const WineRegistryLookup lookup = LookUpWineRegistryValue(file, GameKeys(),
                                                              QLatin1String(kValueName));
    switch (lookup.status) {
    case WineRegistryLookup::Status::KeyMissing:
        qCDebug(lcStore) << "no game key in" << file.fileName();
        return std::nullopt;
    case WineRegistryLookup::Status::ValueMissing:
        qCDebug(lcStore) << "no value" << kValueName << "under" << lookup.key;
        return std::nullopt;
    case WineRegistryLookup::Status::NotText:
        qCDebug(lcStore) << "value" << kValueName << "under" << lookup.key << "is not text";
        return std::nullopt;
    case WineRegistryLookup::Status::Found:
        break;
    }
    qCDebug(lcStore) << "install folder" << lookup.text << "under" << lookup.key;
    if (!FitsQueryBuffer(lookup.text))
        return std::nullopt;
    return MapIntoPrefix(prefix, lookup.text);
}

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
    if (const auto install = InstallFolder()) {
        QString folder = *install;
        AddTrailingSeparator(folder);
        folder += QStringLiteral("ObjData");
        AddTrailingSeparator(folder);
        qCDebug(lcStore) << "object folder" << folder;
        return folder;
    }
    QString folder = QStringLiteral(".");
    AddTrailingSeparator(folder);
    qCDebug(lcStore) << "game not found; object folder is the current directory";
    return folder;
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
    qCDebug(lcStore) << "every company file name is taken in" << folder;
    return std::nullopt;
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
