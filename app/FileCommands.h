#pragma once
// The File menu's commands on the open company, in one place: New, Open, Save, Export and
// Import. The sequences behind them (the save prompt, the fresh paths, the writes) are the
// document's; these choose the file, run the sequence and say in the status bar what was
// written where.

#include <QObject>

class QMainWindow;

namespace quorvel {

class CQuorvelDoc;

class CFileCommands final : public QObject
{
    Q_OBJECT

public:
    // Neither is owned; the window parents the dialogs and holds the status bar.
    CFileCommands(CQuorvelDoc &document, QMainWindow &window);

    // New: the save prompt, then a new company.
    void New();
    // Open: the "Select company" dialog, then the chosen file through the document.
    void Open();
    void Save();
    void Export();
    // Installs an exported company: opens it, then ties the document to an identical
    // installed copy or saves it into the object folder under a fresh name.
    void Import();

private:
    void ShowInStatusBar(const QString &text);

    CQuorvelDoc &m_document;
    QMainWindow &m_window;
};

} // namespace quorvel
