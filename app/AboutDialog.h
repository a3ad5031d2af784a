#pragma once
// The "About Quorvel" box: the icon, the version line, one more line and an OK button.

#include <QDialog>

namespace quorvel {

class CAboutDlg : public QDialog
{
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget *parent = nullptr);
};

} // namespace quorvel
