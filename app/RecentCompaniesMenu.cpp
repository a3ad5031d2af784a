#include "app/RecentCompaniesMenu.h"

#include "app/RecentFileList.h"

#include <QDir>

namespace quorvel {

namespace {

// Wider than this, a path keeps its start and its file name and loses its middle.
constexpr int kMaxItemWidthInAverageCharacters = 60;

} // namespace

CRecentCompaniesMenu::CRecentCompaniesMenu(QMenu *fileMenu, QWidget *parent)
    : QMenu(tr("&Recent Companies"), parent)
{
    setObjectName(QStringLiteral("recentCompaniesMenu"));
    connect(fileMenu, &QMenu::aboutToShow, this, &CRecentCompaniesMenu::Rebuild);
    Rebuild();
}

void CRecentCompaniesMenu::SetList(const CRecentFileList *list)
{
    m_list = list;
    Rebuild();
}

QString CRecentCompaniesMenu::ItemText(int index, const QString &path)
{
    QString shown = QDir::toNativeSeparators(path);
    shown.replace(QLatin1Char('&'), QLatin1String("&&"));
    // Past nine the number carries no mnemonic, as nothing but one key can be pressed.
    return index < 9 ? QStringLiteral("&%1 %2").arg(index + 1).arg(shown)
                     : QStringLiteral("%1 %2").arg(index + 1).arg(shown);
}

void CRecentCompaniesMenu::Rebuild()
{
    clear();
    const QStringList entries = m_list ? m_list->Entries() : QStringList();
    const int maxWidth = fontMetrics().averageCharWidth() * kMaxItemWidthInAverageCharacters;
    for (int i = 0; i < entries.size(); ++i) {
        const QString path = entries.at(i);
        const QString native = QDir::toNativeSeparators(path);
        QString text = ItemText(i, path);
        if (fontMetrics().horizontalAdvance(native) > maxWidth)
            text = ItemText(i, fontMetrics().elidedText(native, Qt::ElideMiddle, maxWidth));
        QAction *action = addAction(text);
        action->setStatusTip(tr("Open %1").arg(native));
        connect(action, &QAction::triggered, this, [this, path] { emit openRequested(path); });
    }
    menuAction()->setEnabled(!entries.isEmpty());
}

} // namespace quorvel
