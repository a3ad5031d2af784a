#pragma once
// The main window: caption, menu bar, status bar and the commands that the frame carries out
// (Exit, the status bar toggle); it ties the File menu to CFileCommands and the Edit menu to
// the document's history. The company view is its central widget.

#include "app/Actions.h"

#include <QMainWindow>

namespace quorvel {

class CLockKeyIndicators;
class CQuorvelDoc;
class CRecentCompaniesMenu;
class CQuorvelView;

class CMainFrame : public QMainWindow
{
    Q_OBJECT

public:
    // Creates the view for the document (not owned; it must outlive the frame).
    explicit CMainFrame(CQuorvelDoc *document, QWidget *parent = nullptr);
    ~CMainFrame() override;

    CQuorvelDoc *GetDocument() const { return m_document; }
    CQuorvelView *GetActiveView() const { return m_view; }
    const CMainActions &Actions() const { return m_actions; }
    CLockKeyIndicators *LockKeys() const { return m_lockKeys; }
    CRecentCompaniesMenu *RecentCompanies() const { return m_recentCompanies; }

    // The caption: the document's title, the modified mark's place, " - ", and the
    // application's title.
    static QString CaptionFor(const QString &documentTitle);
    // In the status bar: what a save, an export or an import wrote, and where.
    void ShowWritten(const QString &path, bool exported);

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void OnCreate();
    void CreateMenus();
    void CreateStatusBar();
    void OnUpdateFrameTitle(const QString &documentTitle);

    CQuorvelDoc *m_document = nullptr;
    CQuorvelView *m_view = nullptr;
    QStatusBar *m_statusBar = nullptr;
    CLockKeyIndicators *m_lockKeys = nullptr;
    CRecentCompaniesMenu *m_recentCompanies = nullptr;
    CMainActions m_actions;
};

} // namespace quorvel
