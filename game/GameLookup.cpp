#include "game/GameLookup.h"

#include "game/ObjectFolder.h"
#include "game/WinePrefixes.h"
#include "game/WineRegistry.h"
#include "game/WineRegistryCache.h"
#include "platform/AnsiText.h"
#include "platform/Logging.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>

#include <algorithm>

namespace quorvel {

const char kSettingsOrganization[] = "Local AppWizard-Generated Applications";
const char kSettingsApplication[] = "Quorvel";

namespace {

using EState = CGameCandidate::EState;

// The game's installer records its folder here, in the local machine hive.
constexpr auto kValueName = "Path";
// The registry query offers a buffer of this many bytes, its terminating NUL included.
constexpr qsizetype kQueryBufferBytes = 260;
constexpr auto kChoiceKey = "Game Folder/Object Folder";

QString Tr(const char *text)
{
    return QCoreApplication::translate("quorvel", text);
}

bool FitsQueryBuffer(const QString &value)
{
    const qsizetype bytes = ToAnsi(value).size() + 1;
    if (bytes > kQueryBufferBytes) {
        qCDebug(lcGame) << "install folder value takes" << bytes << "bytes, more than"
                         << kQueryBufferBytes;
        return false;
    }
    return true;
}

QString WithObjData(QString installFolder)
{
    AddTrailingSeparator(installFolder);
    installFolder += QStringLiteral("ObjData");
    AddTrailingSeparator(installFolder);
    return installFolder;
}

// An explicit folder as given, absolute and ending in a separator.
QString ExplicitFolder(const QString &folder)
{
    QString absolute = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    AddTrailingSeparator(absolute);
    return absolute;
}

#ifdef Q_OS_WIN

struct CRegistryValue
{
    bool text = false;
    QString value;
};

std::optional<CRegistryValue> ReadRegistryValue(QSettings::Format view)
{
    QSettings key(QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Kavro\\Halvortine Setup"), view);
    const QVariant value = key.value(QLatin1String(kValueName));
    if (!value.isValid())
        return std::nullopt;
    if (value.typeId() == QMetaType::QString)
        return CRegistryValue{true, value.toString()};
    if (value.typeId() == QMetaType::QStringList) {
        const QStringList strings = value.toStringList();
        return CRegistryValue{true, strings.isEmpty() ? QString() : strings.first()};
    }
    qCDebug(lcGame) << "install folder value is not text";
    return CRegistryValue{};
}

std::vector<CGameCandidate> FindCandidates()
{
    CGameCandidate candidate;
    candidate.kind = ECandidateKind::Registry;
    candidate.prefix = QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Kavro\\Halvortine Setup");
    // The 64-bit view first, then the one a 32-bit installer writes to.
    auto value = ReadRegistryValue(QSettings::NativeFormat);
    if (!value)
        value = ReadRegistryValue(QSettings::Registry32Format);
    if (!value) {
        candidate.state = EState::NoGameKey;
    } else if (!value->text) {
        candidate.state = EState::NotText;
    } else if (!FitsQueryBuffer(value->value)) {
        candidate.installFolder = value->value;
        candidate.state = EState::TooLong;
    } else {
        candidate.installFolder = value->value;
        candidate.state = EState::Game;
        candidate.objectFolder = WithObjData(value->value);
        candidate.objectFolderExists = QFileInfo(candidate.objectFolder).isDir();
    }
    return {candidate};
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
        qCDebug(lcGame) << "install folder" << value << "is not a drive path";
        return std::nullopt;
    }
    const QString drive = value[0].toLower() + QStringLiteral(":");
    QString root = prefix + QStringLiteral("/dosdevices/") + drive;
    if (!QFileInfo(root).exists()) {
        const QString driveC = prefix + QStringLiteral("/drive_c");
        if (drive != u"c:" || !QFileInfo(driveC).isDir()) {
            qCDebug(lcGame) << "drive" << drive << "is not mapped in" << prefix;
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

CGameCandidate AskPrefix(ECandidateKind kind, const QString &prefix, CWineRegistryCache &cache)
{
    CGameCandidate candidate;
    candidate.kind = kind;
    candidate.prefix = prefix;
    const QString registry = prefix + QStringLiteral("/system.reg");
    const QFileInfo info(registry);
    if (!info.exists()) {
        qCDebug(lcGame) << "no" << registry;
        candidate.state = EState::NoRegistry;
        return candidate;
    }
    candidate.registryChanged = info.lastModified();
    const std::optional<WineRegistryLookup> lookup = cache.LookUp(registry);
    if (!lookup) {
        candidate.state = EState::Unreadable;
        return candidate;
    }
    switch (lookup->status) {
    case WineRegistryLookup::Status::KeyMissing:
        qCDebug(lcGame) << "no game key in" << registry;
        candidate.state = EState::NoGameKey;
        return candidate;
    case WineRegistryLookup::Status::ValueMissing:
        qCDebug(lcGame) << "no value" << kValueName << "under" << lookup->key << "in" << registry;
        candidate.state = EState::NoValue;
        return candidate;
    case WineRegistryLookup::Status::NotText:
        qCDebug(lcGame) << "value" << kValueName << "under" << lookup->key << "is not text";
        candidate.state = EState::NotText;
        return candidate;
    case WineRegistryLookup::Status::Found:
        break;
    }
    qCDebug(lcGame) << "install folder" << lookup->text << "under" << lookup->key << "in"
                     << registry;
    candidate.installFolder = lookup->text;
    if (!FitsQueryBuffer(lookup->text)) {
        candidate.state = EState::TooLong;
        return candidate;
    }
    const std::optional<QString> install = MapIntoPrefix(prefix, lookup->text);
    if (!install) {
        candidate.state = EState::NotMapped;
        return candidate;
    }
    candidate.state = EState::Game;
    candidate.objectFolder = WithObjData(*install);
    candidate.objectFolderExists = QFileInfo(candidate.objectFolder).isDir();
    return candidate;
}

std::vector<CGameCandidate> FindCandidates()
{
    CWineRegistryCache cache(GameKeys(), QLatin1String(kValueName));
    std::vector<CGameCandidate> candidates;
    for (const auto &[kind, prefix] : FindWinePrefixes())
        candidates.push_back(AskPrefix(kind, prefix, cache));
    cache.Save();
    return candidates;
}

#endif

// A $WINEPREFIX that holds the game wins. Otherwise, of the prefixes that hold it, those
// whose object folder exists come first, and among them the one whose registry changed
// last: the one the player used most recently.
void ChooseCandidate(CObjectFolderLookup &lookup)
{
    const auto &candidates = lookup.candidates;
    int holders = 0;
    int withFolder = 0;
    for (int i = 0; i < int(candidates.size()); ++i) {
        const CGameCandidate &candidate = candidates[std::size_t(i)];
        if (!candidate.HoldsGame())
            continue;
        if (candidate.kind == ECandidateKind::WinePrefixVariable) {
            lookup.used = i;
            lookup.reason = Tr("$WINEPREFIX holds the game.");
            return;
        }
        ++holders;
        withFolder += candidate.objectFolderExists ? 1 : 0;
        if (lookup.used < 0) {
            lookup.used = i;
            continue;
        }
        const CGameCandidate &best = candidates[std::size_t(lookup.used)];
        if (std::pair(candidate.objectFolderExists, candidate.registryChanged)
            > std::pair(best.objectFolderExists, best.registryChanged))
            lookup.used = i;
    }
    if (lookup.used < 0)
        return;
    const bool exists = candidates[std::size_t(lookup.used)].objectFolderExists;
    if (candidates[std::size_t(lookup.used)].kind == ECandidateKind::Registry)
        lookup.reason = Tr("The game's registry value names its folder.");
    else if (holders == 1)
        lookup.reason = exists ? Tr("The only prefix that holds the game.")
                               : Tr("The only prefix that holds the game; its object folder "
                                    "does not exist.");
    else if (withFolder == 1)
        lookup.reason = Tr("Of %1 prefixes that hold the game, the only one whose object folder "
                           "exists.").arg(holders);
    else if (withFolder > 1)
        lookup.reason = Tr("Of %1 prefixes whose object folder exists, the one whose registry "
                           "changed last.").arg(withFolder);
    else
        lookup.reason = Tr("Of %1 prefixes that hold the game, none with its object folder, the "
                           "one whose registry changed last.").arg(holders);
}

} // namespace

CObjectFolderLookup LookUpObjectFolder(ECandidateSearch search)
{
    CObjectFolderLookup lookup;
    if (const QString variable = qEnvironmentVariable("QUORVEL_OBJDATA"); !variable.isEmpty()) {
        lookup.folder = ExplicitFolder(variable);
        lookup.source = EObjectFolderSource::Environment;
        lookup.reason = Tr("QUORVEL_OBJDATA names it.");
    } else if (const QString chosen = ChosenObjectFolder(); !chosen.isEmpty()) {
        lookup.folder = ExplicitFolder(chosen);
        lookup.source = EObjectFolderSource::Choice;
        lookup.reason = Tr("Chosen with File > Game Folder... in the editor.");
    }
    const bool decided = !lookup.folder.isEmpty();
    if (decided && search == ECandidateSearch::WhenNeeded) {
        qCDebug(lcGame) << "object folder" << lookup.folder << "(" << lookup.reason << ")";
        return lookup;
    }

    lookup.candidates = FindCandidates();
    if (decided)
        return lookup;
    ChooseCandidate(lookup);
    if (lookup.used >= 0) {
        lookup.folder = lookup.candidates[std::size_t(lookup.used)].objectFolder;
        lookup.source = EObjectFolderSource::Game;
    } else {
        lookup.folder = QStringLiteral(".");
        AddTrailingSeparator(lookup.folder);
        lookup.source = EObjectFolderSource::CurrentDirectory;
        lookup.reason = Tr("No game found: the current directory.");
    }
    qCDebug(lcGame) << "object folder" << lookup.folder << "(" << lookup.reason << ")";
    return lookup;
}

QString CandidateKindText(ECandidateKind kind)
{
    switch (kind) {
    case ECandidateKind::WinePrefixVariable: return QStringLiteral("$WINEPREFIX");
    case ECandidateKind::Wine: return QStringLiteral("~/.wine");
    case ECandidateKind::Steam: return QStringLiteral("Steam");
    case ECandidateKind::Lutris: return QStringLiteral("Lutris");
    case ECandidateKind::Bottles: return QStringLiteral("Bottles");
    case ECandidateKind::Registry: return Tr("registry");
    }
    return {};
}

QString CandidateKindName(ECandidateKind kind)
{
    switch (kind) {
    case ECandidateKind::WinePrefixVariable: return QStringLiteral("wineprefix");
    case ECandidateKind::Wine: return QStringLiteral("wine");
    case ECandidateKind::Steam: return QStringLiteral("steam");
    case ECandidateKind::Lutris: return QStringLiteral("lutris");
    case ECandidateKind::Bottles: return QStringLiteral("bottles");
    case ECandidateKind::Registry: return QStringLiteral("registry");
    }
    return {};
}

QString CandidateStateName(CGameCandidate::EState state)
{
    switch (state) {
    case EState::NoRegistry: return QStringLiteral("no-registry");
    case EState::Unreadable: return QStringLiteral("unreadable");
    case EState::NoGameKey: return QStringLiteral("no-game-key");
    case EState::NoValue: return QStringLiteral("no-value");
    case EState::NotText: return QStringLiteral("not-text");
    case EState::TooLong: return QStringLiteral("too-long");
    case EState::NotMapped: return QStringLiteral("not-mapped");
    case EState::Game: return QStringLiteral("game");
    }
    return {};
}

QString CandidateStateText(const CGameCandidate &candidate)
{
    switch (candidate.state) {
    case EState::NoRegistry: return Tr("no system.reg");
    case EState::Unreadable: return Tr("system.reg cannot be read");
    case EState::NoGameKey: return Tr("no game key");
    case EState::NoValue: return Tr("the game key has no value \"Path\"");
    case EState::NotText: return Tr("the game's value is not text");
    case EState::TooLong: return Tr("the game's value is longer than 259 bytes");
    case EState::NotMapped: return Tr("the game's folder %1 is on no drive of the prefix")
                                .arg(candidate.installFolder);
    case EState::Game:
        return (candidate.objectFolderExists ? Tr("game in %1, object folder exists")
                                             : Tr("game in %1, object folder missing"))
            .arg(candidate.installFolder);
    }
    return {};
}

QString SourceName(EObjectFolderSource source)
{
    switch (source) {
    case EObjectFolderSource::Environment: return QStringLiteral("environment");
    case EObjectFolderSource::Choice: return QStringLiteral("choice");
    case EObjectFolderSource::Game: return QStringLiteral("game");
    case EObjectFolderSource::CurrentDirectory: return QStringLiteral("current-directory");
    }
    return {};
}

QString ChosenObjectFolder()
{
    QSettings settings{QLatin1String(kSettingsOrganization), QLatin1String(kSettingsApplication)};
    return settings.value(QLatin1String(kChoiceKey)).toString();
}

void SetChosenObjectFolder(const QString &folder)
{
    QSettings settings{QLatin1String(kSettingsOrganization), QLatin1String(kSettingsApplication)};
    if (folder.isEmpty())
        settings.remove(QLatin1String(kChoiceKey));
    else
        settings.setValue(QLatin1String(kChoiceKey), QDir::toNativeSeparators(folder));
}

QString ObjectFolderOfPick(const QString &folder)
{
    // Wine finds files without regard to case, so a game folder may hold "OBJDATA".
    const QStringList children = QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &child : children) {
        if (child.compare(QLatin1String("ObjData"), Qt::CaseInsensitive) == 0)
            return ExplicitFolder(QDir(folder).filePath(child));
    }
    return ExplicitFolder(folder);
}

} // namespace quorvel
