#include "app/QuorvelApp.h"

#include "app/AboutDialog.h"
#include "app/MainFrame.h"
#include "app/RecentCompaniesMenu.h"
#include "company/QuorvelDoc.h"
#include "game/GameLookup.h"
#include "game/ObjectFolder.h"
#include "platform/Logging.h"
#include "platform/Prompts.h"
#include "ui/GrabFaceDialog.h"

#include <QAction>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QSettings>
#include <QStatusBar>
#include <QTimer>

#include <cstdio>

// The icons live in this static library; make sure the linker keeps them.
static void InitResources()
{
    Q_INIT_RESOURCE(resources);
}

namespace quorvel {

namespace {

// The settings key: settings live under this organisation, in a subkey named "Quorvel".
const QString kSettingsKey = QLatin1String(kSettingsOrganization);
// Set once the user was told that no game was found; cleared when one is.
const QString kNoGameToldKey = QStringLiteral("Game Folder/No Game Told");

void SetNameAndVersion()
{
    QCoreApplication::setApplicationName(QStringLiteral("Quorvel"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUORVEL_VERSION));
}

void AddOptions(QCommandLineParser &parser)
{
    parser.setApplicationDescription(CQuorvelApp::tr("An editor for company objects."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("file"), CQuorvelApp::tr("A company file to open."),
                                 QStringLiteral("[file]"));
}

// Prints the help or the version when the command line asks for one; false when it does not.
bool PrintHelpOrVersion(QCommandLineParser &parser)
{
    // Only Qt's own processing lists Qt's options; it prints them and ends the program.
    if (parser.isSet(QStringLiteral("help-all")))
        parser.process(QCoreApplication::arguments());
    if (!parser.isSet(QStringLiteral("help")) && !parser.isSet(QStringLiteral("version")))
        return false;
    const QString text = parser.isSet(QStringLiteral("help"))
        ? parser.helpText()
        : QStringLiteral("%1 %2\n").arg(QCoreApplication::applicationName(),
                                         QCoreApplication::applicationVersion());
    std::fputs(qPrintable(text), stdout);
    return true;
}

} // namespace

CQuorvelApp::CQuorvelApp(int &argc, char **argv)
    : QApplication(argc, argv)
{
    // No display name: Qt would append it to every window title, message boxes included,
    // while the captions already say what they should.
    SetNameAndVersion();
    // The desktop entry's name, its id in software centres (no domain is owned yet).
    setDesktopFileName(QStringLiteral("org.example.quorvel"));

    InitResources();

    QIcon icon;
    icon.addFile(QStringLiteral(":/quorvel/quorvel.png"));
    icon.addFile(QStringLiteral(":/quorvel/quorvel-256.png"));
    setWindowIcon(icon);
}

CQuorvelApp::~CQuorvelApp()
{
    ExitInstance();
}

bool CQuorvelApp::InitInstance(const QStringList &arguments)
{
    setOrganizationName(kSettingsKey);
    LoadStdProfileSettings();

    QCommandLineParser parser;
    AddOptions(parser);
    if (!parser.parse(arguments)) {
        std::fprintf(stderr, "quorvel: %s\n", qPrintable(parser.errorText()));
        m_exitCode = kExitUsage;
        return false;
    }
    if (PrintHelpOrVersion(parser)) {
        m_exitCode = 0;
        return false;
    }

    // The single-document arrangement: one document, one frame, one view, for the whole run.
    m_document = std::make_unique<CQuorvelDoc>(Prompts(), m_folders);
    connect(m_document.get(), &CDocument::pathNameSet, this,
            [this](const QString &path, bool addToRecentFiles) {
                if (addToRecentFiles)
                    m_recentFiles.Add(path);
            });
    m_frame = std::make_unique<CMainFrame>(m_document.get());
    emit mainFrameCreated(m_frame.get());
    const CMainActions &actions = m_frame->Actions();
    connect(actions.about, &QAction::triggered, this, &CQuorvelApp::OnAppAbout);
    connect(actions.gameFolder, &QAction::triggered, this, &CQuorvelApp::OnChooseGameFolder);
    connect(actions.useFoundGame, &QAction::triggered, this, &CQuorvelApp::OnUseFoundGame);
    m_frame->RecentCompanies()->SetList(&m_recentFiles);
    connect(m_frame->RecentCompanies(), &CRecentCompaniesMenu::openRequested, this,
            &CQuorvelApp::OnOpenRecentFile);

    if (!m_document->FileNew()) {
        qCInfo(lcApp) << "no new company at start-up";
        m_exitCode = kExitFailure;
        return false;
    }
    // The window comes first, so a file that takes long to read or fails to open (as a
    // double-click on it starts the editor) leaves the editor open on the new company.
    m_frame->show();
    // A photo dropped or pasted on a face opens the grab dialog with it: have the finder ready.
    // Later than the first frames, and not at all in a run that quits at once.
    QTimer::singleShot(1000, this, [] { PrepareFaceFinderInBackground(); });
    m_exitCode = 0;
    const QStringList files = parser.positionalArguments();
    if (!files.isEmpty()) {
        m_document->SetNameFileInReports(true);
        m_document->OpenDocumentFile(files.first());
        m_document->SetNameFileInReports(false);
    }
    ShowObjectFolder(true);
    return true;
}

bool CQuorvelApp::AnswerWithoutDisplay(int &argc, char **argv)
{
    QCoreApplication console(argc, argv);
    SetNameAndVersion();
    QCommandLineParser parser;
    AddOptions(parser);
    return parser.parse(QCoreApplication::arguments()) && PrintHelpOrVersion(parser);
}

int CQuorvelApp::ExitInstance()
{
    // The frame and its view go before the document they show.
    m_frame.reset();
    m_document.reset();
    SaveStdProfileSettings();
    return m_exitCode;
}

void CQuorvelApp::OnAppAbout()
{
    CAboutDlg about(m_frame.get());
    about.exec();
}

void CQuorvelApp::OnChooseGameFolder()
{
    if (!m_frame)
        return;
    QString start = GetObjectFolder();
    if (!QFileInfo(start).isDir())
        start = QDir::homePath();
    const std::optional<QString> picked =
        Prompts().GetExistingFolder(tr("Game Folder"), QDir(start).absolutePath());
    if (!picked || picked->isEmpty())
        return;
    SetChosenObjectFolder(ObjectFolderOfPick(*picked));
    ObjectFolderChanged();
}

void CQuorvelApp::OnUseFoundGame()
{
    SetChosenObjectFolder(QString());
    ObjectFolderChanged();
}

void CQuorvelApp::OnOpenRecentFile(const QString &path)
{
    if (!m_document)
        return;
    if (!QFileInfo::exists(path)) {
        m_recentFiles.Remove(path);
        Prompts().ShowMessage(tr("%1 is no longer there; it has been taken off the recent "
                                 "companies.")
                                  .arg(QDir::toNativeSeparators(path)),
                              FrameworkCaption(), MessageButtons::Ok, MessageIcon::Warning, true);
        return;
    }
    m_document->OpenDocumentFile(path);
}

void CQuorvelApp::ObjectFolderChanged()
{
    // A changed company was to be saved in the old folder; it goes to the new one instead.
    if (m_document && m_document->IsModified())
        m_document->FollowObjectFolder();
    ShowObjectFolder(false);
}

void CQuorvelApp::ShowObjectFolder(bool atStartUp)
{
    if (!m_frame)
        return;
    const CObjectFolderLookup lookup = LookUpObjectFolder();
    m_frame->Actions().useFoundGame->setEnabled(!ChosenObjectFolder().isEmpty());
    const QString folder = QDir::toNativeSeparators(QDir(lookup.folder).absolutePath());
    const bool noGame = lookup.source == EObjectFolderSource::CurrentDirectory;
    // The status bar is narrow: the way to change the folder is told in the box alone.
    QString text;
    if (noGame)
        text = tr("No game found: companies are saved in %1").arg(folder);
    else if (lookup.source == EObjectFolderSource::Environment)
        text = tr("Companies are saved in %1, as QUORVEL_OBJDATA says").arg(folder);
    else
        text = tr("Companies are saved in %1").arg(folder);
    m_frame->statusBar()->showMessage(text);
    if (!atStartUp)
        return;

    QSettings settings;
    if (!noGame) {
        settings.remove(kNoGameToldKey);
        return;
    }
    if (settings.value(kNoGameToldKey).toBool())
        return;
    settings.setValue(kNoGameToldKey, true);
    Prompts().ShowMessage(
        tr("No game found: companies are saved in %1. File > Game Folder... changes it.").arg(folder),
        FrameworkCaption(), MessageButtons::Ok, MessageIcon::Information, true);
}

void CQuorvelApp::LoadStdProfileSettings()
{
    QSettings settings;
    m_recentFiles.ReadList(settings);
    m_settingsLoaded = true;
}

void CQuorvelApp::SaveStdProfileSettings()
{
    if (!m_settingsLoaded)
        return;
    QSettings settings;
    m_recentFiles.WriteList(settings);
    settings.sync();
    if (settings.status() != QSettings::NoError)
        qCWarning(lcApp) << "could not write the settings to" << settings.fileName();
    m_settingsLoaded = false;
}

} // namespace quorvel
