#pragma once
// The application object: start-up, the one document with its frame and view, the settings
// with the recent-file list, and the commands that belong to the application (About and the
// game folder). The File commands on the company are in FileCommands.h.

#include "app/RecentFileList.h"
#include "game/ObjectFolder.h"

#include <QApplication>

#include <memory>

namespace quorvel {

class CMainFrame;
class CQuorvelDoc;

class CQuorvelApp : public QApplication
{
    Q_OBJECT

public:
    static constexpr int kRecentFileCount = 4;
    static constexpr int kExitFailure = 1;
    static constexpr int kExitUsage = 2;

    CQuorvelApp(int &argc, char **argv);
    ~CQuorvelApp() override;

    // Creates the document, frame and view, carries out the command line (a file to open,
    // or a new company) and shows the main window. False when the program should end; a file
    // that could not be read has been reported by then.
    bool InitInstance(const QStringList &arguments);
    // Help and version need no display. Without one, main() asks this to answer them on a
    // console application before the editor's own application object exists; false when the
    // command line asks for something else.
    static bool AnswerWithoutDisplay(int &argc, char **argv);
    // Writes the settings back and destroys the frame and the document. Returns the exit code
    // of a start-up that ended early (1 for a failed command line, 2 for a wrong one), else 0.
    int ExitInstance();

    CMainFrame *GetMainFrame() const { return m_frame.get(); }
    CQuorvelDoc *GetDocument() const { return m_document.get(); }
    const CRecentFileList &RecentFiles() const { return m_recentFiles; }

signals:
    // Before the command line is carried out, so its messages can belong to the window.
    void mainFrameCreated(QWidget *frame);

public slots:
    void OnAppAbout();
    // File > Game Folder...: the game's folder or its object folder, kept in the settings.
    void OnChooseGameFolder();
    // File > Use the Game Found Automatically: forgets that choice.
    void OnUseFoundGame();
    // File > Recent Companies: opens a remembered file as Open does, save prompt first; a file
    // that is gone is taken off the list, with a message.
    void OnOpenRecentFile(const QString &path);

private:
    void LoadStdProfileSettings();
    // The object folder in the status bar; once, until a game is found, a box when there is
    // none. ObjectFolderChanged also moves a changed company's fresh path to the new folder.
    void ShowObjectFolder(bool atStartUp);
    void ObjectFolderChanged();
    void SaveStdProfileSettings();

    CGameFolderService m_folders;
    std::unique_ptr<CQuorvelDoc> m_document;
    std::unique_ptr<CMainFrame> m_frame;
    CRecentFileList m_recentFiles{kRecentFileCount};
    bool m_settingsLoaded = false;
    int m_exitCode = kExitFailure;
};

} // namespace quorvel
