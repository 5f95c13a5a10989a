#include "windows/MsnSoundDialog.h"

#include "calls/MsnList.h"
#include "common/Errors.h"
#include "common/Paths.h"
#include "settings/SettingsStore.h"
#include "widgets/ButtonEdit.h"
#include "widgets/MessageDialog.h"
#include "widgets/StandardDialogs.h"

#include <QCoreApplication>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>

namespace {
struct PageGeometry
{
    int height, separatorTop, buttonsTop, notebookHeight;
};
constexpr PageGeometry kMsnPage{TfmMsnMap::kMsnHeight, 152, 168, 150};
constexpr PageGeometry kSoundPage{TfmMsnMap::kSoundHeight, 248, 264, 241};

QLabel *heading(const QString &text, QWidget *page)
{
    auto *label = new QLabel(text, page);
    label->setGeometry(10, 6, TfmMsnMap::kWidth - 20, 18);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

QLabel *rowLabel(int position, QWidget *page)
{
    // "1 : " ... "8 : "
    auto *label = new QLabel(QStringLiteral("%1 : ").arg(position), page);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}
} // namespace

TfmMsnMap::TfmMsnMap(QWidget *parent) : TToolDialog(parent)
{
    setObjectName(QStringLiteral("fmMsnMap"));
    setWindowTitle(tr("MSN-Konfiguration"));
    setAttribute(Qt::WA_DeleteOnClose, false);

    nb = new QStackedWidget(this);
    nb->setObjectName(QStringLiteral("nb"));

    // Page "MSN": two columns of four fields.
    pageMsn = new QWidget;
    pageMsn->setObjectName(QStringLiteral("MSN"));
    heading(tr("Eingaben ohne Vorwahl"), pageMsn);
    for (int i = 0; i < 8; ++i) {
        const int column = i / 4, row = i % 4;
        const int x = 10 + column * 155, y = 32 + row * 28;
        QLabel *label = rowLabel(i + 1, pageMsn);
        label->setGeometry(x, y, 28, 22);
        MSN[i] = new TButtonEdit(pageMsn);
        MSN[i]->setObjectName(QStringLiteral("MSN_%1").arg(i + 1));
        MSN[i]->setDigitsOnly(true);
        MSN[i]->setMaxLength(20);
        MSN[i]->setGeometry(x + 30, y, 112, 22);
        label->setBuddy(MSN[i]);
    }
    nb->addWidget(pageMsn);

    // Page "Sound": one field with a chooser per position.
    pageSound = new QWidget;
    pageSound->setObjectName(QStringLiteral("Sound"));
    heading(tr("Sound zuweisen ...  "), pageSound);
    for (int i = 0; i < 8; ++i) {
        const int y = 30 + i * 26;
        QLabel *label = rowLabel(i + 1, pageSound);
        label->setGeometry(10, y, 28, 22);
        Sound[i] = new TButtonEdit(pageSound);
        Sound[i]->setObjectName(QStringLiteral("Sound_%1").arg(i + 1));
        Sound[i]->setButtonVisible(true);
        Sound[i]->setGeometry(40, y, kWidth - 50, 22);
        connect(Sound[i], &TButtonEdit::buttonClicked, this, [this, i] { SoundEditButtonClick(i + 1); });
    }
    nb->addWidget(pageSound);

    Bevel1 = new QFrame(this);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setFrameShape(QFrame::HLine);
    Bevel1->setFrameShadow(QFrame::Sunken);

    SoundBtn = new QPushButton(tr("&Sound"), this);
    SoundBtn->setObjectName(QStringLiteral("SoundBtn"));
    ChangeBtn = new QPushButton(tr("&Weiter"), this);
    ChangeBtn->setObjectName(QStringLiteral("ChangeBtn"));
    CloseBtn = new QPushButton(tr("&Abbrechen"), this);
    CloseBtn->setObjectName(QStringLiteral("CloseBtn"));
    for (QPushButton *button : {SoundBtn, ChangeBtn, CloseBtn})
        button->setAutoDefault(false);
    ChangeBtn->setDefault(true);
    setFocusOnShow(ChangeBtn);

    connect(SoundBtn, &QPushButton::clicked, this, &TfmMsnMap::SoundBtnClick);
    connect(ChangeBtn, &QPushButton::clicked, this, &TfmMsnMap::ChangeBtnClick);
    connect(CloseBtn, &QPushButton::clicked, this, &QDialog::reject);

    showPage(false);
}

void TfmMsnMap::showPage(bool soundPage)
{
    const PageGeometry &g = soundPage ? kSoundPage : kMsnPage;
    nb->setCurrentWidget(soundPage ? pageSound : pageMsn);
    nb->setGeometry(0, 0, kWidth, g.notebookHeight);
    Bevel1->setGeometry(6, g.separatorTop, kWidth - 12, 2);
    SoundBtn->setGeometry(8, g.buttonsTop, 80, 25);
    ChangeBtn->setGeometry(kWidth - 2 * 80 - 14, g.buttonsTop, 80, 25);
    CloseBtn->setGeometry(kWidth - 80 - 8, g.buttonsTop, 80, 25);
    setFixedSize(kWidth, g.height);
}

void TfmMsnMap::FormShow()
{
    showPage(false);
    SoundBtn->setText(tr("&Sound"));
    const QString list = Settings::Read(Settings::Msn);
    const QStringList fields = MsnList::splitForWindow(list);
    for (int i = 0; i < 8; ++i)
        MSN[i]->setText(fields.at(i));
    for (int i = 0; i < 8; ++i)
        Sound[i]->setText(Settings::Read(Settings::Sound{i + 1}));
}

void TfmMsnMap::SoundBtnClick()
{
    const bool toSound = nb->currentWidget() == pageMsn;
    showPage(toSound);
    SoundBtn->setText(toSound ? tr("&MSN") : tr("&Sound"));
}

void TfmMsnMap::SoundEditButtonClick(int position)
{
    const QString chosen = ChooseOpenFile(this, tr("Soundauswahl ..."), tr("Wavedateien|*.wav"),
                                          Paths::homeDir(), QStringLiteral("wav"));
    if (chosen.size() > 5)
        Sound[position - 1]->setText(chosen);
}

void TfmMsnMap::ChangeBtnClick()
{
    QStringList fields;
    for (TButtonEdit *edit : MSN)
        fields << edit->text();
    try {
        Settings::Write(Settings::Msn, MsnList::join(fields));
        for (int i = 0; i < 8; ++i)
            Settings::Write(Settings::Sound{i + 1}, Sound[i]->text());
    } catch (const IoError &e) {
        // The entries stay in the window so the user can try again.
        ShowMessageDlg(e.message());
        return;
    }
    accept();
}
