#pragma once
// File > Recent Companies: the remembered company files, newest first, each numbered with its
// mnemonic ("&1"). The menu reads the list afresh each time the File menu opens.

#include <QMenu>

namespace quorvel {

class CRecentFileList;

class CRecentCompaniesMenu final : public QMenu
{
    Q_OBJECT

public:
    // Rebuilt whenever `fileMenu` is about to show.
    CRecentCompaniesMenu(QMenu *fileMenu, QWidget *parent);

    // The list shown (not owned; it must outlive the menu), or none.
    void SetList(const CRecentFileList *list);
    // One item per remembered file; the menu is unavailable while there is none.
    void Rebuild();

    // "&1 /path/COMP5200.DAT", the number being the item's mnemonic.
    static QString ItemText(int index, const QString &path);

signals:
    void openRequested(const QString &path);

private:
    const CRecentFileList *m_list = nullptr;
};

} // namespace quorvel
