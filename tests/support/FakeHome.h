#pragma once
// A home folder of its own, with the Wine prefixes, Steam libraries and game folders a player
// may have, all made by the test. In the test's own process it stands in for the real home
// while it lives (settings aside: Qt picks their folder once per process); for a program
// started by the test, Environment() gives the same home, settings included.

#include "tests/support/TestFiles.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QTemporaryDir>

namespace quorvel::test {

class CFakeHome
{
public:
    CFakeHome()
    {
        for (const char *name : kVariables)
            m_saved.append({name, qgetenv(name), qEnvironmentVariableIsSet(name)});
        qputenv("HOME", m_dir.path().toUtf8());
        qputenv("XDG_CACHE_HOME", Path(".cache").toUtf8());
        qunsetenv("WINEPREFIX");
        qunsetenv("QUORVEL_OBJDATA");
    }
    ~CFakeHome()
    {
        for (const CSaved &saved : m_saved) {
            if (saved.set)
                qputenv(saved.name, saved.value);
            else
                qunsetenv(saved.name);
        }
    }
    CFakeHome(const CFakeHome &) = delete;
    CFakeHome &operator=(const CFakeHome &) = delete;

    // A path in the home ("" for the home itself).
    QString Path(const QString &relative = QString()) const
    {
        return relative.isEmpty() ? m_dir.path() : m_dir.filePath(relative);
    }

    // A prefix as Wine makes it (drive_c, dosdevices/c:) at a path in the home. With a game,
    // its system.reg holds the game's value for C:\Games\Halvortine, and with objData that
    // folder has its ObjData. The registry changed ageSeconds ago.
    QString AddPrefix(const QString &relative, bool game, bool objData = true, int ageSeconds = 60)
    {
        const QString prefix = Path(relative);
        QDir(prefix).mkpath(QStringLiteral("drive_c/Games/Halvortine"));
        if (objData)
            QDir(prefix).mkpath(QStringLiteral("drive_c/Games/Halvortine/ObjData"));
        QDir(prefix).mkpath(QStringLiteral("dosdevices"));
        QFile::link(QStringLiteral("../drive_c"), prefix + QStringLiteral("/dosdevices/c:"));
        QByteArray registry = "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n"
                              "[Software\\\\Classes\\\\.txt] 1700000000\n@=\"txtfile\"\n\n";
        if (game)
            registry += "[Software\\\\Kavro\\\\Halvortine Setup] 1700000000\n"
                        "\"Path\"=\"C:\\\\Games\\\\Halvortine\"\n";
        WriteAged(prefix + QStringLiteral("/system.reg"), registry, ageSeconds);
        return prefix;
    }

    static QString ObjData(const QString &prefix)
    {
        return prefix + QStringLiteral("/dosdevices/c:/Games/Halvortine/ObjData/");
    }

    // A file in the home (its folders made) that changed ageSeconds ago.
    bool Write(const QString &relative, const QByteArray &bytes, int ageSeconds = 60) const
    {
        QDir().mkpath(QFileInfo(Path(relative)).path());
        return WriteAged(Path(relative), bytes, ageSeconds);
    }

    static bool WriteAged(const QString &path, const QByteArray &bytes, int ageSeconds)
    {
        if (!WriteFile(path, bytes))
            return false;
        QFile file(path);
        return file.open(QIODevice::ReadWrite)
               && file.setFileTime(QDateTime::currentDateTime().addSecs(-ageSeconds),
                                   QFileDevice::FileModificationTime);
    }

    // The environment of a program that should see this home.
    QProcessEnvironment Environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : kVariables) {
            const QString key = QString::fromLatin1(name);
            if (key == u"XDG_CONFIG_HOME")
                env.insert(key, Path(QStringLiteral(".config")));
            else if (qEnvironmentVariableIsSet(name))
                env.insert(key, qEnvironmentVariable(name));
            else
                env.remove(key);
        }
        return env;
    }

private:
    static constexpr const char *kVariables[] = {"HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME",
                                                 "WINEPREFIX", "QUORVEL_OBJDATA"};
    struct CSaved
    {
        const char *name;
        QByteArray value;
        bool set;
    };
    QTemporaryDir m_dir;
    QList<CSaved> m_saved;
};

} // namespace quorvel::test
