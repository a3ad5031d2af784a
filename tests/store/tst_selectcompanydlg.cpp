// The "Select company" dialog on the offscreen platform over a real folder: what it lists and
// in which order, how a choice ends it, deleting, and its layout at any size.

#include "tests/support/CompanyFiles.h"
#include "tests/support/ScriptedPrompts.h"
#include "ui/SelectCompanyDlg.h"

#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace quorvel;
using namespace quorvel::test;

namespace {

const QString kReallyDelete = QStringLiteral(
    "Warning: saved games using this version of the company may become unplayable. Continue?");

QPushButton *Button(const QDialog &dialog, const QString &text)
{
    const auto buttons = dialog.findChildren<QPushButton *>();
    for (QPushButton *button : buttons) {
        if (button->text() == text)
            return button;
    }
    return nullptr;
}

QStringList Texts(const QListWidget &list)
{
    QStringList texts;
    for (int i = 0; i < list.count(); ++i)
        texts << list.item(i)->text();
    return texts;
}

} // namespace

class TestSelectCompanyDlg : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void listsSortedWithPreviews();
    void endsWith_data();
    void endsWith();
    void deleteCompany_data();
    void deleteCompany();
    void layoutFollowsSize_data();
    void layoutFollowsSize();

private:
    // A shown dialog on the test folder, its list and buttons.
    void Open();
    QListWidgetItem *Item(const QString &text) const;

    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<CSelectCompanyDlg> m_dialog;
    QListWidget *m_list = nullptr;
    QPushButton *m_edit = nullptr;
    QPushButton *m_delete = nullptr;
};

void TestSelectCompanyDlg::init()
{
    m_dialog.reset();
    m_folder = std::make_unique<QTemporaryDir>();
    QVERIFY(m_folder->isValid());
    const QDir dir(m_folder->path());
    // Written out of order; "Dup" twice with the same name, "Faceless" never listed.
    const QList<std::pair<QString, QString>> files = {
        {"COMP1.DAT", "bob"}, {"COMP2.DAT", "Dup"}, {"COMP3.DAT", "Ann"},
        {"COMP4.DAT", "Dup"}, {"COMP5.DAT", "Carl"}, {"COMP6.DAT", "Faceless"},
        {"COMP7.DAT", "Fred"}, {"COMP8.DAT", "\u00c9mile"}};
    for (const auto &[name, owner] : files) {
        QVERIFY(WriteFile(dir.filePath(name),
                          CompanyBytes(owner, owner == u"Faceless" ? 0 : 1)));
    }
}

void TestSelectCompanyDlg::Open()
{
    m_dialog = std::make_unique<CSelectCompanyDlg>(m_folder->path());
    m_dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_dialog.get()));
    m_list = m_dialog->findChild<QListWidget *>();
    m_edit = Button(*m_dialog, QStringLiteral("Edit"));
    m_delete = Button(*m_dialog, QStringLiteral("Delete"));
    QVERIFY(m_list && m_edit && m_delete && Button(*m_dialog, QStringLiteral("Cancel")));
}

QListWidgetItem *TestSelectCompanyDlg::Item(const QString &text) const
{
    const auto items = m_list->findItems(text, Qt::MatchStartsWith);
    return items.isEmpty() ? nullptr : items.first();
}

void TestSelectCompanyDlg::listsSortedWithPreviews()
{
    Open();
    QCOMPARE(m_dialog->windowTitle(), QStringLiteral("Select company"));
    const QString stamp = QStringLiteral(" (2004/06/14 15:26)");
    // Capitals and small letters alike, accents beside plain letters, as people read names.
    const QStringList expected = {"Ann" + stamp, "bob" + stamp, "Carl" + stamp, "Dup" + stamp,
                                  "Dup" + stamp, "\u00c9mile" + stamp, "Fred" + stamp};
    QCOMPARE(Texts(*m_list), expected);

    // Each item opens its own file, whatever the sort did, and says which one it is.
    QStringList paths;
    QAccessibleInterface *list = QAccessible::queryAccessibleInterface(m_list);
    QVERIFY(list);
    for (int i = 0; i < m_list->count(); ++i) {
        const QListWidgetItem *item = m_list->item(i);
        const CCompanyEntry &entry = m_dialog->Entries().at(item->data(Qt::UserRole).toUInt());
        QCOMPARE(entry.m_displayName, item->text());
        QCOMPARE(item->toolTip(), QDir::toNativeSeparators(entry.m_path));
        QVERIFY(!item->icon().isNull());
        paths << entry.m_path;
        // A screen reader, or a tool driving the dialog, reads the display names.
        QAccessibleInterface *child = list->child(i);
        QVERIFY(child);
        QCOMPARE(child->text(QAccessible::Name), expected.at(i));
    }
    paths.removeDuplicates();
    QCOMPARE(paths.size(), 7);
    QVERIFY(!m_edit->isEnabled());
    QVERIFY(!m_delete->isEnabled());
    QCOMPARE(m_dialog->SelectedEntry(), -1);
}

void TestSelectCompanyDlg::endsWith_data()
{
    QTest::addColumn<bool>("select");
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("result"); // -1: still open

    QTest::newRow("Edit") << true << "edit" << int(QDialog::Accepted);
    QTest::newRow("double click") << true << "double" << int(QDialog::Accepted);
    QTest::newRow("Enter") << true << "enter" << int(QDialog::Accepted);
    QTest::newRow("Cancel") << true << "cancel" << int(QDialog::Rejected);
    QTest::newRow("Escape") << true << "escape" << int(QDialog::Rejected);
    QTest::newRow("Enter, nothing selected") << false << "enter" << -1;
    QTest::newRow("empty folder, double click") << false << "double" << -1;
}

void TestSelectCompanyDlg::endsWith()
{
    QFETCH(bool, select);
    QFETCH(QString, how);
    QFETCH(int, result);

    if (QByteArray(QTest::currentDataTag()).startsWith("empty"))
        m_folder = std::make_unique<QTemporaryDir>();
    Open();
    QListWidgetItem *carl = Item(QStringLiteral("Carl"));
    QCOMPARE(carl != nullptr, !QByteArray(QTest::currentDataTag()).startsWith("empty"));
    if (select) {
        m_list->setCurrentItem(carl);
        QVERIFY(m_edit->isEnabled() && m_delete->isEnabled());
    }
    m_list->setFocus();
    if (how == u"edit") {
        QTest::mouseClick(m_edit, Qt::LeftButton);
    } else if (how == u"double") {
        // As the system delivers one: a click, then the second press as a double click.
        const QPoint at = carl ? m_list->visualItemRect(carl).center() : QPoint(5, 5);
        QTest::mouseClick(m_list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(m_list->viewport(), Qt::LeftButton, {}, at);
    } else if (how == u"enter") {
        QTest::keyClick(m_list, Qt::Key_Return);
    } else if (how == u"cancel") {
        QTest::mouseClick(Button(*m_dialog, QStringLiteral("Cancel")), Qt::LeftButton);
    } else {
        QTest::keyClick(m_list, Qt::Key_Escape);
    }

    QCOMPARE(m_dialog->isVisible(), result == -1);
    if (result != -1)
        QCOMPARE(m_dialog->result(), result);
    if (select) {
        // The choice stays readable after the dialog ends.
        QCOMPARE(m_dialog->Entries().at(std::size_t(m_dialog->SelectedEntry())).m_displayName,
                 carl->text());
    } else {
        QCOMPARE(m_dialog->SelectedEntry(), -1);
    }
}

void TestSelectCompanyDlg::deleteCompany_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("deleted");

    QTest::newRow("Yes") << "button" << int(MessageAnswer::Yes) << true;
    QTest::newRow("No") << "button" << int(MessageAnswer::No) << false;
    QTest::newRow("Delete key") << "key" << int(MessageAnswer::Yes) << true;
    QTest::newRow("file cannot go") << "stuck" << int(MessageAnswer::Yes) << false;
}

void TestSelectCompanyDlg::deleteCompany()
{
    QFETCH(QString, how);
    QFETCH(int, answer);
    QFETCH(bool, deleted);

    CScriptedPrompts prompts;
    Open();
    QListWidgetItem *doomed = m_list->item(3); // the first "Dup"
    m_list->setCurrentItem(doomed);
    const QString path = m_dialog->Entries().at(std::size_t(m_dialog->SelectedEntry())).m_path;
    const QStringList before = Texts(*m_list);
    if (how == u"stuck") {
        // Something the program cannot delete now stands at that path.
        QVERIFY(QFile::remove(path));
        QVERIFY(QDir().mkdir(path));
        QVERIFY(WriteFile(path + QStringLiteral("/inside"), "x"));
    }

    prompts.AnswerMessage(MessageAnswer(answer));
    if (how == u"stuck")
        prompts.AnswerMessage(MessageAnswer::Ok);
    if (how == u"key")
        QTest::keyClick(m_list, Qt::Key_Delete);
    else
        QTest::mouseClick(m_delete, Qt::LeftButton);

    QCOMPARE(prompts.PendingAnswers(), 0);
    const PromptCall &question = prompts.Calls().first();
    QCOMPARE(question.text, kReallyDelete);
    QCOMPARE(question.caption, QStringLiteral("Really delete?"));
    QCOMPARE(question.buttons, MessageButtons::YesNo);
    QCOMPARE(question.icon, MessageIcon::Question);
    if (how == u"stuck") {
        QCOMPARE(prompts.Calls().size(), 2);
        QCOMPARE(prompts.Calls().last().text, QStringLiteral("Sorry - couldn't delete the file."));
        QCOMPARE(prompts.Calls().last().caption, QString());
        QCOMPARE(prompts.Calls().last().icon, MessageIcon::Warning);
    }

    QCOMPARE(QFileInfo::exists(path), !deleted);
    if (!deleted) {
        QCOMPARE(Texts(*m_list), before);
        QCOMPARE(m_dialog->Entries().size(), std::size_t(7));
        return;
    }
    // The other "Dup" stays; every item still names its own file; nothing is selected.
    QCOMPARE(Texts(*m_list).size(), 6);
    QCOMPARE(m_dialog->Entries().size(), std::size_t(6));
    for (int i = 0; i < m_list->count(); ++i) {
        const CCompanyEntry &entry = m_dialog->Entries().at(m_list->item(i)->data(Qt::UserRole).toUInt());
        QCOMPARE(entry.m_displayName, m_list->item(i)->text());
        QVERIFY(entry.m_path != path);
    }
    QCOMPARE(m_dialog->SelectedEntry(), -1);
    QVERIFY(m_list->selectedItems().isEmpty());
    QVERIFY(!m_edit->isEnabled() && !m_delete->isEnabled());
    QVERIFY(m_dialog->isVisible());
}

void TestSelectCompanyDlg::layoutFollowsSize_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("roomy") << QSize(700, 500);
    QTest::newRow("narrow") << QSize(200, 300);
    QTest::newRow("tiny") << QSize(40, 30);
}

void TestSelectCompanyDlg::layoutFollowsSize()
{
    QFETCH(QSize, size);
    Open();
    m_dialog->resize(size);
    QTRY_COMPARE(m_dialog->size(), size);
    const int w = size.width();
    const int h = size.height();
    QCOMPARE(m_list->geometry(), QRect(12, 12, qMax(0, w - 24), qMax(0, h - 56)));
    QCOMPARE(m_edit->geometry(), QRect(12, h - 32, 50, 20));
    QCOMPARE(Button(*m_dialog, QStringLiteral("Cancel"))->geometry(), QRect(74, h - 32, 50, 20));
    QCOMPARE(m_delete->geometry(), QRect(w - 62, h - 32, 50, 20));
}

QTEST_MAIN(TestSelectCompanyDlg)
#include "tst_selectcompanydlg.moc"
