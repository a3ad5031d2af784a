// The "Select company" dialog on the offscreen platform over a real folder: what it lists and
// in which order, how a choice ends it, deleting, and its layout at any size.

#include "tests/support/CompanyFiles.h"
#include "tests/support/ScriptedPrompts.h"
#include "ui/SelectCompanyDlg.h"

#include <QAccessible>
#include <QDir>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace quorvel;
using namespace quorvel::test;

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
    void layoutFollowsSize();

private:
    void Open();
    QPushButton *Button(const QString &text) const;
    QStringList Texts() const;
    const CCompanyEntry &EntryOf(int row) const
    {
        return m_dialog->Entries().at(m_list->item(row)->data(Qt::UserRole).toUInt());
    }

    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<CSelectCompanyDlg> m_dialog;
    QListWidget *m_list = nullptr;
};

void TestSelectCompanyDlg::init()
{
    m_dialog.reset();
    m_folder = std::make_unique<QTemporaryDir>();
    // Written out of order; "Dup" twice under one name; "Faceless" is never listed.
    const QStringList owners = {"bob", "Dup", "Ann", "Dup", "Carl", "Faceless", "Fred", "\u00c9mile"};
    for (int i = 0; i < owners.size(); ++i) {
        QVERIFY(WriteFile(m_folder->filePath(QStringLiteral("COMP%1.DAT").arg(i)),
                          CompanyBytes(owners[i], owners[i] == u"Faceless" ? 0 : 1)));
    }
}

void TestSelectCompanyDlg::Open()
{
    m_dialog = std::make_unique<CSelectCompanyDlg>(m_folder->path());
    m_dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_dialog.get()));
    m_list = m_dialog->findChild<QListWidget *>();
    QVERIFY(m_list);
}

QPushButton *TestSelectCompanyDlg::Button(const QString &text) const
{
    const auto buttons = m_dialog->findChildren<QPushButton *>();
    for (QPushButton *button : buttons) {
        if (button->text() == text)
            return button;
    }
    return nullptr;
}

QStringList TestSelectCompanyDlg::Texts() const
{
    QStringList texts;
    for (int i = 0; i < m_list->count(); ++i)
        texts << m_list->item(i)->text();
    return texts;
}

void TestSelectCompanyDlg::listsSortedWithPreviews()
{
    Open();
    QCOMPARE(m_dialog->windowTitle(), QStringLiteral("Select company"));
    // Capitals and small letters alike, accents beside plain letters, as people read names.
    QStringList expected = {"Ann", "bob", "Carl", "Dup", "Dup", "\u00c9mile", "Fred"};
    for (QString &name : expected)
        name += QStringLiteral(" (2004/06/14 15:26)");
    QCOMPARE(Texts(), expected);

    // Each item stands for its own file, says which, and reads out as its name.
    QAccessibleInterface *list = QAccessible::queryAccessibleInterface(m_list);
    QSet<QString> paths;
    for (int i = 0; i < m_list->count(); ++i) {
        QCOMPARE(EntryOf(i).m_displayName, expected[i]);
        QCOMPARE(m_list->item(i)->toolTip(), QDir::toNativeSeparators(EntryOf(i).m_path));
        QVERIFY(!m_list->item(i)->icon().isNull());
        QCOMPARE(list->child(i)->text(QAccessible::Name), expected[i]);
        paths << EntryOf(i).m_path;
    }
    QCOMPARE(paths.size(), 7);
    // The first company is chosen as the list opens, and the list has the keyboard.
    QCOMPARE(m_list->selectedItems(), QList<QListWidgetItem *>{m_list->item(0)});
    QCOMPARE(m_dialog->SelectedEntry(), m_list->item(0)->data(Qt::UserRole).toInt());
    QCOMPARE(m_dialog->focusWidget(), m_list);
    QVERIFY(Button(QStringLiteral("Edit"))->isEnabled());
    QVERIFY(Button(QStringLiteral("Delete"))->isEnabled());
}

void TestSelectCompanyDlg::endsWith_data()
{
    QTest::addColumn<int>("row"); // chosen before: -1 none, 0 the first, chosen as it opens
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("result"); // -1: still open

    QTest::newRow("Edit") << 2 << "Edit" << int(QDialog::Accepted);
    QTest::newRow("double click") << 2 << "double" << int(QDialog::Accepted);
    QTest::newRow("Enter") << 2 << "enter" << int(QDialog::Accepted);
    QTest::newRow("Enter at once") << 0 << "enter" << int(QDialog::Accepted);
    QTest::newRow("Cancel") << 2 << "Cancel" << int(QDialog::Rejected);
    QTest::newRow("Enter, nothing selected") << -1 << "enter" << -1;
    QTest::newRow("empty folder, double click") << -1 << "double" << -1;
}

void TestSelectCompanyDlg::endsWith()
{
    QFETCH(int, row);
    QFETCH(QString, how);
    QFETCH(int, result);

    const bool empty = QByteArray(QTest::currentDataTag()).startsWith("empty");
    if (empty)
        m_folder = std::make_unique<QTemporaryDir>();
    Open();
    QListWidgetItem *chosen = m_list->item(row);
    QCOMPARE(m_list->count() == 0, empty);
    if (row > 0)
        m_list->setCurrentItem(chosen);
    else if (row < 0)
        m_list->clearSelection();
    m_list->setFocus();
    if (how == u"double") {
        // As the system delivers one: a click, then the second press as a double click.
        const QPoint at = chosen ? m_list->visualItemRect(chosen).center() : QPoint(5, 5);
        QTest::mouseClick(m_list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(m_list->viewport(), Qt::LeftButton, {}, at);
    } else if (how == u"enter") {
        QTest::keyClick(m_list, Qt::Key_Return);
    } else {
        QTest::mouseClick(Button(how), Qt::LeftButton);
    }

    QCOMPARE(m_dialog->isVisible(), result == -1);
    if (result != -1)
        QCOMPARE(m_dialog->result(), result);
    // The choice stays readable after the dialog ends.
    QCOMPARE(m_dialog->SelectedEntry(), chosen ? chosen->data(Qt::UserRole).toInt() : -1);
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
    m_list->setCurrentRow(3); // the first "Dup"
    const QString path = EntryOf(3).m_path;
    const QStringList before = Texts();
    if (how == u"stuck") {
        // Something the program cannot delete now stands at that path.
        QVERIFY(QFile::remove(path) && QDir().mkdir(path) && WriteFile(path + "/inside", "x"));
    }
    prompts.AnswerMessage(MessageAnswer(answer));
    if (how == u"stuck")
        prompts.AnswerMessage(MessageAnswer::Ok);
    if (how == u"key")
        QTest::keyClick(m_list, Qt::Key_Delete);
    else
        QTest::mouseClick(Button(QStringLiteral("Delete")), Qt::LeftButton);

    QCOMPARE(prompts.PendingAnswers(), 0);
    const PromptCall &question = prompts.Calls().first();
    QCOMPARE(question.text, QStringLiteral("Warning: saved games using this version of the "
                                           "company may become unplayable. Continue?"));
    QCOMPARE(question.caption, QStringLiteral("Really delete?"));
    QCOMPARE(question.buttons, MessageButtons::YesNo);
    if (how == u"stuck") {
        QCOMPARE(prompts.Calls().last().text, QStringLiteral("Sorry - couldn't delete the file."));
        QCOMPARE(prompts.Calls().last().caption, QString());
    }
    QCOMPARE(QFileInfo::exists(path), !deleted);
    if (!deleted) {
        QCOMPARE(Texts(), before);
        return;
    }
    // The other "Dup" stays, every item still names its own file, and nothing is selected.
    QCOMPARE(Texts().size(), 6);
    QCOMPARE(m_dialog->Entries().size(), std::size_t(6));
    for (int i = 0; i < m_list->count(); ++i) {
        QCOMPARE(EntryOf(i).m_displayName, m_list->item(i)->text());
        QVERIFY(EntryOf(i).m_path != path);
    }
    QCOMPARE(m_dialog->SelectedEntry(), -1);
    QVERIFY(m_list->selectedItems().isEmpty());
    QVERIFY(!Button(QStringLiteral("Edit"))->isEnabled() && !Button(QStringLiteral("Delete"))->isEnabled());
}

void TestSelectCompanyDlg::layoutFollowsSize()
{
    Open();
    for (const QSize size : {QSize(700, 500), QSize(200, 300), QSize(40, 30)}) {
        m_dialog->resize(size);
        QTRY_COMPARE(m_dialog->size(), size);
        const int w = size.width();
        const int h = size.height();
        QCOMPARE(m_list->geometry(), QRect(12, 12, qMax(0, w - 24), qMax(0, h - 56)));
        QCOMPARE(Button(QStringLiteral("Edit"))->geometry(), QRect(12, h - 32, 50, 20));
        QCOMPARE(Button(QStringLiteral("Cancel"))->geometry(), QRect(74, h - 32, 50, 20));
        QCOMPARE(Button(QStringLiteral("Delete"))->geometry(), QRect(w - 62, h - 32, 50, 20));
    }
}

QTEST_MAIN(TestSelectCompanyDlg)
#include "tst_selectcompanydlg.moc"
