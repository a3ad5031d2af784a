#pragma once
// "Select company": the companies installed in the object folder, each with its 24x24 face,
// owner name and date, to open one for editing or delete one from the folder.

#include "store/CompanyCatalogue.h"

#include <QDialog>

#include <vector>

class QListWidget;
class QPushButton;

namespace quorvel {

class CSelectCompanyDlg : public QDialog
{
    Q_OBJECT

public:
    // Scans the folder at once; the list is the catalogue as it is now.
    explicit CSelectCompanyDlg(const QString &folder, QWidget *parent = nullptr);
    ~CSelectCompanyDlg() override;

    // The catalogue index of the chosen company, or -1; still there after the dialog ends.
    int SelectedEntry() const { return m_selectedEntry; }
    const std::vector<CCompanyEntry> &Entries() const { return m_entries; }

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void FillCompanyList();
    // One item per catalogue entry, placed by the list's sorted order, carrying its index.
    void InsertListItems();
    void LayoutControls();
    void OnSelectionChanged();
    void OnDeleteCompany();
    void ShowSelection(int entry, int item);

    QString m_folder;
    std::vector<CCompanyEntry> m_entries;
    // The previews the entries name by index; a deleted entry's stays, unused.
    CPreviewList m_imageList;
    int m_selectedEntry = -1;
    // The list position of the selected item.
    int m_lastItem = -1;

    QListWidget *m_list = nullptr;
    QPushButton *m_edit = nullptr;
    QPushButton *m_cancel = nullptr;
    QPushButton *m_delete = nullptr;
};

} // namespace quorvel
