#include "app/MainFrame.h"

#include "app/EditActions.h"
#include "app/FileCommands.h"
#include "app/LockKeyIndicators.h"
#include "app/RecentCompaniesMenu.h"
#include "company/QuorvelDoc.h"
#include "ui/QuorvelView.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QMenuBar>
#include <QProxyStyle>
#include <QScreen>
#include <QStatusBar>

namespace quorvel {

namespace {

// Menus that highlight unavailable items too, so their status prompt still says what the
// command does.
class CMenuStyle final : public QProxyStyle
{
public:
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *returnData) const override
    {
        if (hint == SH_Menu_AllowActiveAndDisabled)
            return 1;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

} // namespace

CMainFrame::CMainFrame(CQuorvelDoc *document, QWidget *parent)
    : QMainWindow(parent)
    , m_document(document)
{
    setObjectName(QStringLiteral("mainFrame"));
    setWindowIcon(QApplication::windowIcon());

    OnCreate();

    // The first size shows the whole form with the menu and status bars, at any scale factor;
    // only a screen too small for it gives less, and the form scrolls.
    QSize first = sizeHint();
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        first = first.boundedTo(screen->availableSize());
    resize(first);
}

CMainFrame::~CMainFrame() = default;

QString CMainFrame::CaptionFor(const QString &documentTitle)
{
    // "[*]" shows as "*" while the company has unsaved changes.
    return tr("%1[*] - %2").arg(documentTitle, tr("Quorvel"));
}

void CMainFrame::ShowWritten(const QString &path, bool exported)
{
    const QFileInfo file(path);
    const QString folder = QDir::toNativeSeparators(file.absolutePath());
    m_statusBar->showMessage(exported ? tr("Exported %1 in %2").arg(file.fileName(), folder)
                                      : tr("Saved %1 in %2").arg(file.fileName(), folder));
}

void CMainFrame::OnCreate()
{
    m_actions = createActions(this);
    CreateMenus();
    CreateStatusBar();

    m_view = new CQuorvelView(m_document, this);
    setCentralWidget(m_view);

    // The File commands on the company are one file's (FileCommands.cpp); About and the game
    // folder belong to the application.
    if (m_document) {
        auto *commands = new CFileCommands(*m_document, *this);
        connect(m_actions.newCompany, &QAction::triggered, commands, &CFileCommands::New);
        connect(m_actions.open, &QAction::triggered, commands, &CFileCommands::Open);
        connect(m_actions.save, &QAction::triggered, commands, &CFileCommands::Save);
        connect(m_actions.exportCompany, &QAction::triggered, commands, &CFileCommands::Export);
        connect(m_actions.import, &QAction::triggered, commands, &CFileCommands::Import);
    }
    connect(m_actions.exit, &QAction::triggered, this, &QWidget::close);
    connect(m_actions.toggleStatusBar, &QAction::triggered, m_statusBar, &QWidget::setVisible);

    if (m_document) {
        connect(m_document, &CDocument::titleChanged, this, &CMainFrame::OnUpdateFrameTitle);
        connect(m_document, &CDocument::modifiedChanged, this, &QWidget::setWindowModified);
        setWindowModified(m_document->IsModified());
        connect(m_document, &CQuorvelDoc::companyWritten, this,
                [this](const QString &path, bool exported) { ShowWritten(path, exported); });
        ConnectEditActions(m_actions, m_document->UndoStack(), this);
        connect(m_document, &CDocument::activateRequested, this, [this] {
            raise();
            activateWindow();
        });
        OnUpdateFrameTitle(m_document->GetTitle());
    } else {
        OnUpdateFrameTitle(QString());
    }
}

void CMainFrame::CreateMenus()
{
    QMenu *file = menuBar()->addMenu(tr("&File"));
    file->addAction(m_actions.newCompany);
    file->addAction(m_actions.open);
    file->addAction(m_actions.save);
    file->addSeparator();
    file->addAction(m_actions.import);
    file->addAction(m_actions.exportCompany);
    file->addSeparator();
    file->addAction(m_actions.gameFolder);
    file->addAction(m_actions.useFoundGame);
    file->addSeparator();
    m_recentCompanies = new CRecentCompaniesMenu(file, this);
    file->addMenu(m_recentCompanies);
    file->addSeparator();
    file->addAction(m_actions.exit);

    QMenu *edit = menuBar()->addMenu(tr("&Edit"));
    edit->addAction(m_actions.undo);
    edit->addAction(m_actions.redo);
    edit->addSeparator();
    edit->addAction(m_actions.cut);
    edit->addAction(m_actions.copy);
    edit->addAction(m_actions.paste);

    QMenu *view = menuBar()->addMenu(tr("&View"));
    view->addAction(m_actions.toggleStatusBar);

    QMenu *help = menuBar()->addMenu(tr("&Help"));
    help->addAction(m_actions.about);

    auto *style = new CMenuStyle;
    style->setParent(this);
    for (QMenu *menu : {file, static_cast<QMenu *>(m_recentCompanies), edit, view, help})
        menu->setStyle(style);
}

void CMainFrame::CreateStatusBar()
{
    m_statusBar = statusBar();
    m_statusBar->setObjectName(QStringLiteral("statusBar"));
    m_lockKeys = new CLockKeyIndicators(m_statusBar);

    // The message pane falls back to the idle text whenever a prompt goes away.
    const QString idle = tr("Ready");
    connect(m_statusBar, &QStatusBar::messageChanged, this, [this, idle](const QString &text) {
        if (text.isEmpty())
            m_statusBar->showMessage(idle);
    });
    m_statusBar->showMessage(idle);

    // The menu item's check mark follows the bar, however it was shown or hidden.
    m_actions.toggleStatusBar->setChecked(true);
    m_statusBar->installEventFilter(this);
}

bool CMainFrame::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_statusBar
        && (event->type() == QEvent::Show || event->type() == QEvent::Hide)) {
        m_actions.toggleStatusBar->setChecked(!m_statusBar->isHidden());
    }
    return QMainWindow::eventFilter(watched, event);
}

void CMainFrame::OnUpdateFrameTitle(const QString &documentTitle)
{
    setWindowTitle(documentTitle.isEmpty() ? tr("Quorvel") : CaptionFor(documentTitle));
}

void CMainFrame::closeEvent(QCloseEvent *event)
{
    if (m_document && !m_document->CanCloseFrame()) {
        event->ignore();
        return;
    }
    if (m_document)
        m_document->OnCloseDocument();
    event->accept();
}

} // namespace quorvel
