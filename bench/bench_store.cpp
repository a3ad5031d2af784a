// Speed of the object-folder catalogue on a folder like a real game's: 9,900 other object
// files of 2-20 KB and 100 companies, made here (in a temporary folder, or in FOLDER, kept).
//   bench_store [FOLDER]        RUNS=N for the number of timed rounds (default 15)
// Prints each median beside its target; exit status 0 when every target is met, 1 otherwise.
// Every measure runs once untimed first, so the files are in the cache (warm).

#include "BareLoop.h"

#include "company/CompanyFile.h"
#include "company/CompanyRecord.h"
#include "platform/Archive.h"
#include "store/CompanyCatalogue.h"
#ifdef QUORVEL_BENCH_DIALOG
#include "ui/SelectCompanyDlg.h"
#include <QApplication>
#include <QListWidget>
#else
#include <QCoreApplication>
#endif

#include <QBuffer>
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

constexpr int kOtherObjects = 9900;
constexpr int kCompanies = 100;

bool WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray Company(int number, QRandomGenerator &random)
{
    CCompanyRecord record;
    record.SetNewCompanyDefaults();
    record.SetOwnerName(QStringLiteral("Owner %1").arg(number));
    // The default face and up to two more: 4.8 to 14 KB, as companies are.
    const int expressions = 1 + int(random.bounded(3));
    for (int e = 0; e < expressions; ++e) {
        CSmallFace small;
        CLargeFace large;
        for (auto &b : small)
            b = std::uint8_t(random.bounded(256));
        for (auto &b : large)
            b = std::uint8_t(random.bounded(256));
        record.SetFaces(1u << (e * 3), small.data(), large.data());
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    CArchive archive(&buffer, CArchive::store);
    WriteCompany(archive, record, record.GetDateStamp());
    return bytes;
}

// Another kind of object: a header of its own kind and name, then 2-20 KB of data.
QByteArray OtherObject(QRandomGenerator &random)
{
    static const char *const kinds[] = {"TREE", "BLDG", "VEHC", "SCNR", "ROAD", "TRCK"};
    QByteArray bytes(2048 + int(random.bounded(18 * 1024)), '\0');
    for (char &b : bytes)
        b = char(random.bounded(256));
    bytes[0] = char(random.bounded(2) ? 0x20 : random.bounded(0x80));
    std::memcpy(bytes.data() + 4, kinds[random.bounded(6)], 4);
    return bytes;
}

bool MakeFolder(const QString &folder)
{
    QRandomGenerator random(1234);
    const QDir dir(folder);
    if (dir.entryList(QDir::Files).size() == kOtherObjects + kCompanies)
        return true; // made by an earlier run
    for (int i = 0; i < kOtherObjects; ++i) {
        if (!WriteFile(dir.filePath(QStringLiteral("OBJ%1.DAT").arg(i, 5, 10, QLatin1Char('0'))),
                       OtherObject(random)))
            return false;
    }
    for (int i = 0; i < kCompanies; ++i) {
        if (!WriteFile(dir.filePath(QStringLiteral("COMP%1.DAT").arg(i * 300, 0, 16)),
                       Company(i, random)))
            return false;
    }
    return true;
}

double Seconds(const std::function<void()> &work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e9;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Runs the measures in turn, round after round, and keeps each one's times.
std::vector<double> Medians(const std::vector<std::function<void()>> &measures, int rounds)
{
    std::vector<std::vector<double>> times(measures.size());
    for (const auto &measure : measures)
        measure(); // warm up
    for (int r = 0; r < rounds; ++r) {
        for (std::size_t m = 0; m < measures.size(); ++m)
            times[m].push_back(Seconds(measures[m]));
    }
    std::vector<double> medians;
    for (const auto &t : times)
        medians.push_back(Median(t));
    return medians;
}

void RunProcess(const QString &program, const QStringList &args)
{
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(program, args);
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        std::fprintf(stderr, "%s failed\n", qPrintable(program));
}

bool g_allMet = true;

void Row(const char *measure, double ours, const QString &against, double ratio, double target)
{
    const bool met = ratio <= target;
    g_allMet = g_allMet && met;
    std::printf("%-40s %9.1f ms %28s %7.2f %8s  %s\n", measure, ours * 1e3, qPrintable(against),
                ratio, qPrintable(QStringLiteral("<= %1").arg(target)), met ? "PASS" : "FAIL");
}

} // namespace

int main(int argc, char *argv[])
{
#ifdef QUORVEL_BENCH_DIALOG
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
#else
    QCoreApplication app(argc, argv);
#endif
    const int rounds = qMax(3, qEnvironmentVariableIntValue("RUNS") ? qEnvironmentVariableIntValue("RUNS") : 15);
    QTemporaryDir scratch;
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : scratch.path();
    QDir().mkpath(folder);
    std::printf("Folder: %s (%d other objects, %d companies)\n", qPrintable(folder), kOtherObjects,
                kCompanies);
    if (!MakeFolder(folder)) {
        std::fprintf(stderr, "cannot write the files into %s\n", qPrintable(folder));
        return 1;
    }
    const std::filesystem::path nativeFolder(QFile::encodeName(folder).toStdString());

    std::size_t listed = 0;
    const std::vector<double> inProcess = Medians(
        {[&] { BareLoop(nativeFolder); },
         [&] {
             CPreviewList previews;
             std::vector<CCompanyEntry> entries;
             ScanObjectFolder(folder, &previews, entries);
             listed = entries.size();
         }},
        rounds);
    if (listed != std::size_t(kCompanies))
        std::fprintf(stderr, "the scan listed %zu companies, not %d\n", listed, kCompanies);

    const std::vector<double> wholeProcess = Medians(
        {[&] { RunProcess(QStringLiteral(QUORVEL_BARE_LOOP), {folder}); },
         [&] {
             RunProcess(QStringLiteral(QUORVEL_TOOL),
                        {QStringLiteral("list"), QStringLiteral("--json"), QStringLiteral("--objdata"), folder});
         }},
        rounds);

    std::printf("\n%-40s %12s %28s %7s %8s  %s\n", "measure (median)", "time", "compared with",
                "ratio", "target", "result");
    const auto ms = [](double s) { return QStringLiteral("%1 ms").arg(s * 1e3, 0, 'f', 1); };
    Row("ScanObjectFolder with previews", inProcess[1], ms(inProcess[0]) + " bare loop",
        inProcess[1] / inProcess[0], 1.5);
    Row("quorvel-tool list --json, whole process", wholeProcess[1],
        ms(wholeProcess[0]) + " bare loop process", wholeProcess[1] / wholeProcess[0], 2.0);
#ifdef QUORVEL_BENCH_DIALOG
    int items = 0;
    const std::vector<double> dialog = Medians({[&] {
        CSelectCompanyDlg dlg(folder);
        dlg.show();
        QCoreApplication::processEvents();
        items = dlg.findChild<QListWidget *>()->count();
    }}, rounds);
    if (items != kCompanies)
        std::fprintf(stderr, "the dialog listed %d companies, not %d\n", items, kCompanies);
    Row("Select company dialog, open and filled", dialog[0], QStringLiteral("0.3 s"),
        dialog[0] / 0.3, 1.0);
#endif
    return g_allMet ? 0 : 1;
}
