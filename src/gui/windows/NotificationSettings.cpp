#include "windows/NotificationSettings.h"

#include "common/Errors.h"
#include "notify/ColorText.h"
#include "notify/DesktopNotifier.h"
#include "notify/NotifyLook.h"
#include "platform/DesktopSession.h"
#include "settings/SettingsStore.h"
#include "widgets/ButtonEdit.h"
#include "widgets/MessageDialog.h"
#include "widgets/StandardDialogs.h"
#include "windows/CallNotification.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>

namespace {

const char *const kSampleCaller = QT_TRANSLATE_NOOP("TfmExtWin", "Erika Mustermann");
const QString kSampleNumber = QStringLiteral("12345 !");
const char *const kPreviewTitle = QT_TRANSLATE_NOOP("TfmExtWin", "Verschieben in die gewünschte Position ?");

} // namespace

TfmExtWin::TfmExtWin(QWidget *parent)
    : QDialog(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("fmExtWin"));
    setWindowTitle(tr("Fenster - Einstellungen (Anrufdialog)"));
    setModal(true);
    setAttribute(Qt::WA_QuitOnClose, false); // opened from the tray menu with no other window shown

    // The bitmap path keeps its case: file names differ by case here. The colour texts are
    // lower case, as colour names are read in any case.
    const auto editWithButton = [this](const char *name, bool lowerCase) {
        auto *edit = new TButtonEdit(this);
        edit->setObjectName(QString::fromLatin1(name));
        edit->setButtonVisible(true);
        edit->setLowerCase(lowerCase);
        return edit;
    };
    OptBmpDir = editWithButton("OptBmpDir", false);
    OptExtWinBackColor = editWithButton("OptExtWinBackColor", true);
    OptExtWinFontColor = editWithButton("OptExtWinFontColor", true);
    cbUseBackBmp = new QCheckBox(tr("Hintergrund - Bitmap verwenden ?"), this);
    cbUseBackBmp->setObjectName(QStringLiteral("cbUseBackBmp"));
    cbUseAnimation = new QCheckBox(tr("Animation verwenden ?"), this);
    cbUseAnimation->setObjectName(QStringLiteral("cbUseAnimation"));
    // Where "Externes Fenster" shows a call: this window (the default) or the desktop's own
    // notifications.
    rbOwnWindow = new QRadioButton(tr("Anruffenster"), this);
    rbOwnWindow->setObjectName(QStringLiteral("rbOwnWindow"));
    rbDesktop = new QRadioButton(tr("Desktop-Benachrichtigung"), this);
    rbDesktop->setObjectName(QStringLiteral("rbDesktop"));
    rbOwnWindow->setChecked(true);
    for (QRadioButton *rb : {rbOwnWindow, rbDesktop})
        rb->setToolTip(tr("Gilt, wenn „Externes Fenster“ in den Optionen angekreuzt ist."));
    PreviewBtn = new QPushButton(tr("&Vorschau"), this);
    PreviewBtn->setObjectName(QStringLiteral("PreviewBtn"));
    AbortBtn = new QPushButton(tr("&Abbrechen"), this);
    AbortBtn->setObjectName(QStringLiteral("AbortBtn"));
    SaveBtn = new QPushButton(tr("&Speichern"), this);
    SaveBtn->setObjectName(QStringLiteral("SaveBtn"));
    PreviewBtn->setAutoDefault(false);
    AbortBtn->setAutoDefault(false);
    SaveBtn->setDefault(true);

    auto *grid = new QGridLayout;
    const auto addRow = [grid, this](int row, const QString &caption, TButtonEdit *edit) {
        auto *label = new QLabel(caption, this);
        label->setBuddy(edit);
        grid->addWidget(label, row, 0);
        grid->addWidget(edit, row, 1);
    };
    addRow(0, tr("Hintergrund - Bitmap"), OptBmpDir);
    addRow(1, tr("Hintergrund - Farbe"), OptExtWinBackColor);
    addRow(2, tr("Schrift - Farbe"), OptExtWinFontColor);
    grid->addWidget(cbUseBackBmp, 3, 1);
    grid->addWidget(cbUseAnimation, 4, 1);
    auto *showAs = new QHBoxLayout;
    showAs->addWidget(rbOwnWindow);
    showAs->addWidget(rbDesktop);
    showAs->addStretch(1);
    grid->addWidget(new QLabel(tr("Anzeige als"), this), 5, 0);
    grid->addLayout(showAs, 5, 1);
    // On Wayland the compositor places every window: the position chosen with the preview is
    // kept for other sessions but does not apply there.
    if (DesktopSession::IsWayland(QGuiApplication::platformName())) {
        auto *note = new QLabel(tr("Unter Wayland bestimmt der Desktop, wo Fenster erscheinen; die gewählte "
                                   "Position wirkt dort nicht."),
                                this);
        note->setObjectName(QStringLiteral("lbWaylandNote"));
        note->setWordWrap(true);
        grid->addWidget(note, 6, 1);
    }
    grid->setColumnStretch(1, 1);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(PreviewBtn);
    buttons->addWidget(AbortBtn);
    buttons->addWidget(SaveBtn);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addSpacing(8);
    layout->addLayout(buttons);
    setMinimumWidth(440);

    connect(OptBmpDir, &TButtonEdit::buttonClicked, this, &TfmExtWin::OptBmpDirEditBtnClick);
    connect(OptExtWinBackColor, &TButtonEdit::buttonClicked, this,
            [this] { OptExtWinBackColorEditBtnClick(OptExtWinBackColor); });
    connect(OptExtWinFontColor, &TButtonEdit::buttonClicked, this,
            [this] { OptExtWinBackColorEditBtnClick(OptExtWinFontColor); });
    connect(PreviewBtn, &QPushButton::clicked, this, &TfmExtWin::PreviewBtnClick);
    connect(AbortBtn, &QPushButton::clicked, this, &TfmExtWin::AbortBtnClick);
    connect(SaveBtn, &QPushButton::clicked, this, &TfmExtWin::SaveBtnClick);
}

void TfmExtWin::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!FShown && !event->spontaneous()) {
        FShown = true;
        FormShow();
    }
}

void TfmExtWin::FormShow()
{
    const QString bmpDir = Settings::Read(Settings::BmpDir);
    OptBmpDir->setText(bmpDir.isEmpty() ? NotifyLook::defaultBitmapPath() : bmpDir);
    const QString back = Settings::Read(Settings::ExtWinBackColor);
    OptExtWinBackColor->setText(back.isEmpty() ? QStringLiteral("clBtnFace") : back);
    const QString font = Settings::Read(Settings::ExtWinFontColor);
    OptExtWinFontColor->setText(font.isEmpty() ? QStringLiteral("clYellow") : font);
    cbUseBackBmp->setChecked(NotifyLook::useBitmap());
    cbUseAnimation->setChecked(Settings::Read(Settings::ExtUseAnimation));
    (ExtWinAsDesktopNotification() ? rbDesktop : rbOwnWindow)->setChecked(true);
}

void TfmExtWin::OptBmpDirEditBtnClick()
{
    const QString folder = QFileInfo(OptBmpDir->text()).path();
    const QString chosen = ChooseOpenFile(this, tr("Bitmap auswählen ..."), tr("Bitmaps|*.bmp"), folder);
    if (chosen.size() > 1)
        OptBmpDir->setText(chosen);
}

void TfmExtWin::OptExtWinBackColorEditBtnClick(TButtonEdit *target)
{
    const QColor initial = ColorText::resolve(target->text(), ColorText::clBtnFace);
    const QColor chosen = ChooseColor(this, initial);
    if (chosen.isValid())
        target->setText(ColorText::toText(ColorText::fromQColor(chosen)));
}

bool TfmExtWin::SaveExtWinSettings()
{
    try {
        Settings::Write(Settings::BmpDir, OptBmpDir->text());
        Settings::Write(Settings::ExtWinBackColor, OptExtWinBackColor->text());
        Settings::Write(Settings::ExtWinFontColor, OptExtWinFontColor->text());
        Settings::Write(Settings::ExtWinShowing, cbUseBackBmp->isChecked());
        Settings::Write(Settings::ExtUseAnimation, cbUseAnimation->isChecked());
        Settings::Write(Settings::ExtWinDesktop, rbDesktop->isChecked());
    } catch (const IoError &e) {
        ShowMessageDlg(e.message());
        return false;
    }
    return true;
}

void TfmExtWin::PreviewBtnClick()
{
    if (SaveExtWinSettings())
        ShowCallMsg(tr(kSampleCaller), kSampleNumber, QString(), tr(kPreviewTitle));
}

void TfmExtWin::AbortBtnClick()
{
    reject();
}

void TfmExtWin::SaveBtnClick()
{
    // A failed save keeps the dialog open, so nothing typed is lost.
    if (SaveExtWinSettings())
        accept();
}

void ShowExtWinConfig()
{
    TfmExtWin dialog;
    dialog.exec();
}

bool ExtWinAsDesktopNotification()
{
    std::optional<bool> stored;
    if (!Settings::StoredText(Settings::ExtWinDesktop).isEmpty())
        stored = Settings::Read(Settings::ExtWinDesktop);
    return DesktopSession::CallsAsDesktopNotification(QGuiApplication::platformName(), stored,
                                                      [] { return DesktopNotifier::ServiceRunning(); });
}
