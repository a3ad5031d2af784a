#include "app/AboutDialog.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace quorvel {

CAboutDlg::CAboutDlg(QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(tr("About Quorvel"));
    setModal(true);

    auto *icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("aboutIcon"));
    icon->setPixmap(QApplication::windowIcon().pixmap(QSize(48, 48)));
    icon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

    // The version the build was made as, the one `--version` prints too.
    auto *version =
        new QLabel(tr("Quorvel Version %1").arg(QCoreApplication::applicationVersion()), this);
    version->setObjectName(QStringLiteral("aboutVersion"));
    auto *detail = new QLabel(tr("An editor for company objects, 2026"), this);
    detail->setObjectName(QStringLiteral("aboutDetail"));

    auto *ok = new QPushButton(tr("OK"), this);
    ok->setDefault(true);
    ok->setAutoDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto *texts = new QVBoxLayout;
    texts->addWidget(version);
    texts->addWidget(detail);
    texts->addStretch();

    auto *button = new QVBoxLayout;
    button->addWidget(ok);
    button->addStretch();

    auto *row = new QHBoxLayout(this);
    row->addWidget(icon);
    row->addSpacing(8);
    row->addLayout(texts, 1);
    row->addLayout(button);
    row->setSizeConstraint(QLayout::SetFixedSize);
    ok->setFocus();
}

} // namespace quorvel
