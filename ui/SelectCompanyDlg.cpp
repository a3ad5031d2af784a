#include "ui/SelectCompanyDlg.h"

#include "company/CompanyRecord.h"
#include "platform/Logging.h"
#include "platform/Prompts.h"
#include "ui/DialogTemplate.h"

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QShortcut>

namespace quorvel {

namespace {

// The dialog's size in dialog units.
constexpr int kWidthDialogUnits = 375;
constexpr int kHeightDialogUnits = 236;
constexpr int kMargin = 12;
constexpr int kButtonWidth = 50;
constexpr int kButtonHeight = 20;
constexpr int kEntryRole = Qt::UserRole;

// Items in the order people read names in: by the collation of the user's language, capitals
// and small letters alike, accented letters beside plain ones.
class CCompanyItem final : public QListWidgetItem
{
public:
    using QListWidgetItem::QListWidgetItem;

    bool operator<(const QListWidgetItem &other) const override
    {
        static const QCollator collator = [] {
            // The C locale would compare code points, putting "Émile" after "Zeno".
            const QLocale locale = QLocale().language() == QLocale::C
                                       ? QLocale(QLocale::English)
                                       : QLocale();
            QCollator c(locale);
            c.setCaseSensitivity(Qt::CaseInsensitive);
            return c;
        }();
        return collator.compare(text(), other.text()) < 0;
    }
};

} // namespace

CSelectCompanyDlg::CSelectCompanyDlg(const QString &folder, QWidget *parent)
    : QDialog(parent)
    , m_folder(folder)
{
    setObjectName(QStringLiteral("selectCompanyDialog"));
    setWindowTitle(tr("Select company"));

    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("companyList"));
    m_list->setAccessibleName(tr("Companies"));
    m_list->setViewMode(QListView::ListMode);
    m_list->setFlow(QListView::TopToBottom);
    m_list->setWrapping(true);
    m_list->setResizeMode(QListView::Adjust);
    m_list->setIconSize(QSize(kSmallFaceSide, kSmallFaceSide));
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setSortingEnabled(true);

    m_edit = new QPushButton(tr("Edit"), this);
    m_edit->setDefault(true);
    m_cancel = new QPushButton(tr("Cancel"), this);
    m_delete = new QPushButton(tr("Delete"), this);

    connect(m_list, &QListWidget::itemSelectionChanged, this,
            &CSelectCompanyDlg::OnSelectionChanged);
    connect(m_list, &QListWidget::itemDoubleClicked, this, [this] {
        if (m_selectedEntry != -1)
            accept();
    });
    connect(m_edit, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_delete, &QPushButton::clicked, this, &CSelectCompanyDlg::OnDeleteCompany);
    // The Delete key does what the button does.
    auto *deleteKey = new QShortcut(QKeySequence::Delete, this);
    connect(deleteKey, &QShortcut::activated, this, &CSelectCompanyDlg::OnDeleteCompany);

    resize(DialogUnitsToPixels(this, QRect(0, 0, kWidthDialogUnits, kHeightDialogUnits)).size());

    ShowSelection(-1, -1);
    FillCompanyList();
    // The first company is chosen already, so Enter edits it at once.
    if (m_list->count() > 0)
        m_list->setCurrentRow(0);
    m_list->setFocus();
    LayoutControls();
}

CSelectCompanyDlg::~CSelectCompanyDlg() = default;

void CSelectCompanyDlg::FillCompanyList()
{
    m_list->clear();
    m_entries.clear();
    m_imageList.clear();
    ScanObjectFolder(m_folder, &m_imageList, m_entries);
    InsertListItems();
}

void CSelectCompanyDlg::InsertListItems()
{
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        const CCompanyEntry &entry = m_entries[i];
        auto *item = new CCompanyItem(entry.m_displayName);
        if (entry.m_imageIndex >= 0 && entry.m_imageIndex < m_imageList.size())
            item->setIcon(QPixmap::fromImage(m_imageList.at(entry.m_imageIndex)));
        item->setToolTip(QDir::toNativeSeparators(entry.m_path));
        item->setData(kEntryRole, int(i));
        m_list->addItem(item);
    }
}

void CSelectCompanyDlg::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    LayoutControls();
}

void CSelectCompanyDlg::LayoutControls()
{
    const int w = width();
    const int h = height();
    m_list->setGeometry(kMargin, kMargin, qMax(0, w - 2 * kMargin), qMax(0, h - 56));
    m_edit->setGeometry(kMargin, h - 32, kButtonWidth, kButtonHeight);
    m_cancel->setGeometry(74, h - 32, kButtonWidth, kButtonHeight);
    m_delete->setGeometry(w - 62, h - 32, kButtonWidth, kButtonHeight);
}

void CSelectCompanyDlg::ShowSelection(int entry, int item)
{
    m_selectedEntry = entry;
    m_lastItem = item;
    m_edit->setEnabled(entry != -1);
    m_delete->setEnabled(entry != -1);
}

void CSelectCompanyDlg::OnSelectionChanged()
{
    const QList<QListWidgetItem *> selected = m_list->selectedItems();
    if (selected.isEmpty()) {
        ShowSelection(-1, m_lastItem);
        return;
    }
    ShowSelection(selected.first()->data(kEntryRole).toInt(), m_list->row(selected.first()));
}

void CSelectCompanyDlg::OnDeleteCompany()
{
    if (m_selectedEntry == -1)
        return;
    const QListWidgetItem *item = m_list->item(m_lastItem);
    if (!item || item->data(kEntryRole).toInt() != m_selectedEntry)
        return;
    if (Prompts().ShowMessage(tr("Warning: saved games using this version of the company may "
                                 "become unplayable. Continue?"),
                              tr("Really delete?"), MessageButtons::YesNo,
                              MessageIcon::Question, false)
        != MessageAnswer::Yes)
        return;

    const QString path = m_entries[std::size_t(m_selectedEntry)].m_path;
    if (!QFile::remove(path)) {
        qCInfo(lcUi) << "could not delete" << path;
        Prompts().ShowMessage(tr("Sorry - couldn't delete the file."), QString(),
                              MessageButtons::Ok, MessageIcon::Warning, false);
        return;
    }
    m_entries.erase(m_entries.begin() + m_selectedEntry);
    // Rebuilt so that the items carry the new catalogue indexes; the previews stay put.
    m_list->clear();
    InsertListItems();
    m_list->clearSelection();
    ShowSelection(-1, -1);
}

} // namespace quorvel
