#include "platform/Temporaries.h"

#include "platform/FileSystem.h"
#include "platform/Logging.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <cerrno>

namespace quorvel {

namespace {

const QString kPrefix = QStringLiteral(".quorvel-");
const QString kSuffix = QStringLiteral(".tmp");
constexpr int kRandomLetters = 8;
// A longer target name is left out of its temporary's, which would pass the file system's
// limit on a name's length.
constexpr qsizetype kMaxNameInTemporary = 200;

QString RandomLetters()
{
    static const char letters[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    QString text;
    for (int i = 0; i < kRandomLetters; ++i)
        text += QLatin1Char(letters[QRandomGenerator::global()->bounded(36)]);
    return text;
}

// A fresh temporary name in folder for what is to take the name name (none for a set).
QString TemporaryPath(const QString &folder, const QString &name)
{
    QString file = kPrefix + RandomLetters();
    if (!name.isEmpty() && QFile::encodeName(name).size() <= kMaxNameInTemporary)
        file += QLatin1Char('.') + name;
    return QDir(folder).filePath(file + kSuffix);
}

const QRegularExpression &TemporaryPattern()
{
    static const QRegularExpression pattern(
        QStringLiteral("^\\.quorvel-[0-9a-z]{%1}(?:\\.(.+))?\\.tmp$").arg(kRandomLetters),
        QRegularExpression::DotMatchesEverythingOption);
    return pattern;
}

bool OlderThanAnHour(const QFileInfo &info)
{
    return info.lastModified().secsTo(QDateTime::currentDateTime()) > kLeftoverSeconds;
}

// An empty regular file made no earlier than the temporary: the placeholder that took the
// name before the temporary was to be moved over it.
bool IsPlaceholderOf(const QFileInfo &target, const QFileInfo &temporary)
{
    return !target.isSymLink() && target.isFile() && target.size() == 0
           && target.lastModified() >= temporary.lastModified();
}

bool Exists(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

// Gives every new file of a committed set its name, as its writer would have.
void FinishSet(const QString &stage, const QString &folder)
{
    const QDir newFiles(stage + QStringLiteral("/new"));
    const QStringList names = newFiles.entryList(QDir::Files | QDir::Hidden | QDir::System);
    int ignored = 0;
    for (const QString &name : names) {
        const QString target = QDir(folder).filePath(name);
        const QString old = stage + QStringLiteral("/old/") + name;
        // An empty file at the aside name is the placeholder of a move that did not happen.
        const QFileInfo oldInfo(old);
        if (oldInfo.isFile() && !oldInfo.isSymLink() && oldInfo.size() == 0)
            QFile::remove(old);
        if (Exists(target)) {
            if (!Exists(old)) {
                MoveWithoutReplacing(target, old, &ignored);
            } else if (IsPlaceholderOf(QFileInfo(target), QFileInfo(newFiles.filePath(name)))) {
                QFile::remove(target);
            } else {
                qCDebug(lcPlatform) << "kept" << target << "which took the name meanwhile";
                continue;
            }
        }
        MoveWithoutReplacing(newFiles.filePath(name), target, &ignored);
    }
}

// A staging folder of a set: finished or dropped when its writer is gone, else left alone.
void RemoveAbandonedSet(const QFileInfo &stage, const QString &folder)
{
    const QString lockPath = stage.filePath() + QStringLiteral("/lock");
    QLockFile lock(lockPath);
    if (Exists(lockPath)) {
        // Stale when the process that holds it has gone, or after an hour whoever holds it.
        lock.setStaleLockTime(int(kLeftoverSeconds * 1000));
        if (!lock.tryLock(0))
            return;
    } else if (!OlderThanAnHour(stage)) {
        return; // just made: its writer is about to lock it
    }
    if (Exists(stage.filePath() + QStringLiteral("/committed"))) {
        qCDebug(lcPlatform) << "finishing the set that a writer left in" << stage.filePath();
        FinishSet(stage.filePath(), folder);
    } else {
        qCDebug(lcPlatform) << "dropping the set that a writer left in" << stage.filePath();
    }
    lock.unlock();
    QDir(stage.filePath()).removeRecursively();
    int ignored = 0;
    SyncFolder(folder, &ignored);
}

} // namespace

void RemoveLeftovers(const QString &folder)
{
    const QDir dir(folder);
    const QFileInfoList entries = dir.entryInfoList(
        {kPrefix + QLatin1Char('*') + kSuffix},
        QDir::Files | QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot
            | QDir::NoSymLinks);
    for (const QFileInfo &entry : entries) {
        const QRegularExpressionMatch match = TemporaryPattern().match(entry.fileName());
        if (!match.hasMatch())
            continue;
        if (entry.isDir()) {
            RemoveAbandonedSet(entry, folder);
            continue;
        }
        if (!OlderThanAnHour(entry))
            continue;
        const QString target = match.captured(1);
        if (!target.isEmpty() && IsPlaceholderOf(QFileInfo(dir.filePath(target)), entry)) {
            qCDebug(lcPlatform) << "removing the placeholder" << dir.filePath(target);
            QFile::remove(dir.filePath(target));
        }
        qCDebug(lcPlatform) << "removing the leftover" << entry.filePath();
        QFile::remove(entry.filePath());
    }
}

CTemporaryFile::~CTemporaryFile()
{
    if (!m_file.fileName().isEmpty() && !m_kept) {
        m_file.close();
        m_file.remove();
    }
}

bool CTemporaryFile::Create(const QString &target)
{
    const QFileInfo info(target);
    for (int attempt = 0; attempt < 100; ++attempt) {
        m_file.setFileName(TemporaryPath(info.path(), info.fileName()));
        errno = 0;
        if (m_file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return true;
        m_systemError = LastSystemError();
        if (!QFileInfo::exists(m_file.fileName()))
            break; // not a clash of names: the folder refuses new files
    }
    m_file.setFileName(QString());
    return false;
}

CStagedSet::CStagedSet() = default;

CStagedSet::~CStagedSet()
{
    if (m_path.isEmpty())
        return;
    if (m_lock)
        m_lock->unlock();
    QDir(m_path).removeRecursively();
}

bool CStagedSet::Create(const QString &folder, int *systemError)
{
    *systemError = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString path = TemporaryPath(folder, QString());
        errno = 0;
        if (QDir().mkdir(path)) {
            m_path = path;
            break;
        }
        *systemError = LastSystemError();
        if (!Exists(path))
            return false;
    }
    if (m_path.isEmpty())
        return false;
    m_lock = std::make_unique<QLockFile>(m_path + QStringLiteral("/lock"));
    errno = 0;
    if (!m_lock->tryLock(0) || !QDir(m_path).mkdir(QStringLiteral("new"))
        || !QDir(m_path).mkdir(QStringLiteral("old"))) {
        *systemError = LastSystemError();
        return false;
    }
    return true;
}

QString CStagedSet::NewPath(const QString &name) const
{
    return m_path + QStringLiteral("/new/") + name;
}

QString CStagedSet::OldPath(const QString &name) const
{
    return m_path + QStringLiteral("/old/") + name;
}

bool CStagedSet::Commit(int *systemError)
{
    if (!SyncFolder(m_path + QStringLiteral("/new"), systemError))
        return false;
    QFile marker(m_path + QStringLiteral("/committed"));
    errno = 0;
    if (!marker.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        *systemError = LastSystemError();
        return false;
    }
    marker.close();
    return SyncFolder(m_path, systemError);
}

} // namespace quorvel
