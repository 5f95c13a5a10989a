#include "windows/AboutDialog.h"

#include "widgets/Icons.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TfmAbout::TfmAbout(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("fmAbout"));
    setWindowTitle(tr("Über Rufwart 32"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto *picture = new QLabel(this);
    picture->setPixmap(Icons::trayIcon().pixmap(48, 48));
    picture->setAlignment(Qt::AlignTop);

    auto *text = new QLabel(this);
    text->setObjectName(QStringLiteral("lbAbout"));
    text->setTextFormat(Qt::RichText);
    text->setText(tr("<b>Rufwart 32  v2.2</b><br><br>"
                     "ISDN-Anrufmonitor für CAPI 2.0<br>"
                     "Anrufererkennung, Anrufjournal und Datenübertragung<br><br>"
                     "Qt %1<br>"
                     "Lizenz: GPL-2.0-or-later")
                      .arg(QString::fromLatin1(qVersion())));

    auto *buttons = new QDialogButtonBox(this);
    QPushButton *ok = buttons->addButton(tr("&Weiter"), QDialogButtonBox::AcceptRole);
    ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto *row = new QHBoxLayout;
    row->addWidget(picture);
    row->addWidget(text, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(buttons);
    setFixedSize(sizeHint());
}
