// Speed of finding the game among 50 Wine prefixes, in a home made here (a temporary folder,
// or FOLDER, kept): ~/.wine, 40 Proton prefixes in two Steam libraries, 5 Lutris and 4 Bottles
// prefixes, each with a system.reg of REG_MB megabytes (default 2, as a used prefix has) of
// keys like Wine's; the game is in the oldest Proton prefix of the second library.
//   bench_gamelookup [FOLDER]    RUNS=N timed rounds (default 15), REG_MB=N
// Prints each median beside its target; exit status 0 when every target is met, 1 otherwise.
// Every measure runs once untimed first, so the files are in the page cache.
//   warm: the remembered registry answers are there, as at every start but the first
//   cold: they are not (the first start, or every prefix changed since)

#include "game/GameLookup.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace quorvel;

namespace {

constexpr double kWarmTargetMs = 20;

// Keys, values and hex blobs in the proportions of a real prefix's system.reg.
QByteArray RegistryText(qsizetype bytes, bool game, QRandomGenerator &random)
{
    static const char *const words[] = {
        "Software", "Microsoft", "Windows", "CurrentVersion", "Classes", "System", "ControlSet001",
        "Services", "Drivers", "Fonts", "Explorer", "Shell", "Wine", "Direct3D", "Setup",
        "Uninstall", "Policies", "Ole", "Interface", "CLSID", "TypeLib", "Control", "Enum"};
    const auto word = [&] { return QByteArray(words[random.bounded(int(std::size(words)))]); };
    QByteArray text = "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n\n";
    text.reserve(bytes + 4096);
    const qsizetype gameAt = bytes * 3 / 4;
    while (text.size() < bytes) {
        if (game && text.size() >= gameAt) {
            text += "[Software\\\\Kavro\\\\Halvortine Setup] 1700000000\n#time=1d9c1f2e3a4b5c6\n"
                    "\"Path\"=\"C:\\\\Games\\\\Halvortine\"\n\n";
            game = false;
        }
        QByteArray key = word();
        for (int i = int(random.bounded(1, 6)); i > 0; --i)
            key += "\\\\" + word();
        if (random.bounded(10) < 3)
            key += QByteArray("\\\\{%1-0000-0000-C000-000000000046}")
                       .replace("%1", QByteArray::number(random.generate(), 16).toUpper());
        text += "[" + key + "] 1700000000\n#time=1d9c1f2e3a4b5c6\n";
        for (int i = int(random.bounded(6)); i > 0; --i) {
            const QByteArray name = word();
            switch (random.bounded(3)) {
            case 0:
                text += "\"" + name + "\"=\"C:\\\\windows\\\\system32\\\\" + name.toLower() + ".dll\"\n";
                break;
            case 1:
                text += "\"" + name + "\"=dword:" + QByteArray::number(random.generate(), 16) + "\n";
                break;
            default:
                text += "\"" + name + "\"=hex:";
                for (int b = 0; b < 20; ++b)
                    text += QByteArray::number(random.bounded(256), 16).rightJustified(2, '0') + ",";
                text += "00\n";
            }
        }
        text += "\n";
    }
    return text;
}

bool MakePrefix(const QString &prefix, bool game, qsizetype registryBytes, int ageMinutes,
                QRandomGenerator &random)
{
    QDir().mkpath(prefix + QStringLiteral("/drive_c/Games/Halvortine/ObjData"));
    QDir().mkpath(prefix + QStringLiteral("/dosdevices"));
    QFile::link(QStringLiteral("../drive_c"), prefix + QStringLiteral("/dosdevices/c:"));
    QFile file(prefix + QStringLiteral("/system.reg"));
    const QByteArray text = RegistryText(registryBytes, game, random);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size()
           && file.setFileTime(QDateTime::currentDateTime().addSecs(-60 * ageMinutes),
                               QFileDevice::FileModificationTime);
}

bool MakeHome(const QString &home, qsizetype registryBytes)
{
    QRandomGenerator random(18);
    const QString second = home + QStringLiteral("/mnt/SteamLibrary");
    const QString steam = home + QStringLiteral("/.local/share/Steam");
    QDir().mkpath(steam + QStringLiteral("/steamapps"));
    QFile vdf(steam + QStringLiteral("/steamapps/libraryfolders.vdf"));
    if (!vdf.open(QIODevice::WriteOnly))
        return false;
    vdf.write("\"libraryfolders\"\n{\n\t\"0\"\n\t{\n\t\t\"path\"\t\t\"" + steam.toUtf8()
              + "\"\n\t}\n\t\"1\"\n\t{\n\t\t\"path\"\t\t\"" + second.toUtf8() + "\"\n\t}\n}\n");
    vdf.close();
    QStringList prefixes{home + QStringLiteral("/.wine")};
    for (int i = 0; i < 40; ++i)
        prefixes << QStringLiteral("%1/steamapps/compatdata/%2/pfx").arg(i < 20 ? steam : second).arg(1000 + i);
    for (int i = 0; i < 5; ++i)
        prefixes << QStringLiteral("%1/Games/game-%2").arg(home).arg(i);
    for (int i = 0; i < 4; ++i)
        prefixes << QStringLiteral("%1/.local/share/bottles/bottles/bottle-%2").arg(home).arg(i);
    for (int i = 0; i < prefixes.size(); ++i) {
        const bool game = i == 21; // the first of the second library, registry oldest
        if (!MakePrefix(prefixes[i], game, registryBytes, game ? 10000 : 10 + i, random))
            return false;
    }
    return true;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double MedianMs(const std::function<void()> &measure, int rounds)
{
    measure(); // untimed: the page cache, and for warm runs the remembered answers
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer timer;
        timer.start();
        measure();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    return Median(times);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = qEnvironmentVariableIntValue("RUNS");
    const int rounds = qMax(3, runs ? runs : 15);
    const int megabytes = qMax(1, qEnvironmentVariableIntValue("REG_MB") ? qEnvironmentVariableIntValue("REG_MB") : 2);
    QTemporaryDir scratch;
    const QString home = argc > 1 ? QDir(QString::fromLocal8Bit(argv[1])).absolutePath() : scratch.path();
    if (!MakeHome(home, qsizetype(megabytes) << 20)) {
        std::fprintf(stderr, "cannot make the prefixes in %s\n", qPrintable(home));
        return 1;
    }
    qputenv("HOME", home.toUtf8());
    qputenv("XDG_CACHE_HOME", (home + QStringLiteral("/.cache")).toUtf8());
    qputenv("XDG_CONFIG_HOME", (home + QStringLiteral("/.config")).toUtf8());
    qunsetenv("WINEPREFIX");
    qunsetenv("QUORVEL_OBJDATA");
    const QString cache = home + QStringLiteral("/.cache/quorvel/wine-registry.json");

    const CObjectFolderLookup check = LookUpObjectFolder();
    if (check.candidates.size() != 50 || check.used != 21) {
        std::fprintf(stderr, "the lookup saw %zu prefixes and used %d, not 50 and 21\n",
                     check.candidates.size(), check.used);
        return 1;
    }
    std::printf("Home: %s (50 prefixes, system.reg of %d MB each)\n\n", qPrintable(home), megabytes);
    const double warm = MedianMs([] { LookUpObjectFolder(); }, rounds);
    const double cold = MedianMs([&] { QFile::remove(cache); LookUpObjectFolder(); }, rounds);
    const double tool = MedianMs([] {
        QProcess process;
        process.setStandardOutputFile(QProcess::nullDevice());
        process.start(QStringLiteral(QUORVEL_TOOL), {QStringLiteral("paths")});
        process.waitForFinished();
    }, rounds);

    std::printf("\n%-44s %10s %10s  %s\n", "measure (median)", "time", "target", "result");
    const bool met = warm < kWarmTargetMs;
    std::printf("%-44s %7.2f ms %10s  %s\n", "lookup, warm", warm, "< 20 ms", met ? "PASS" : "FAIL");
    std::printf("%-44s %7.2f ms %10s\n", "lookup, cold (no remembered answers)", cold, "-");
    std::printf("%-44s %7.2f ms %10s\n", "quorvel-tool paths, warm (whole process)", tool, "-");
    return met ? 0 : 1;
}
