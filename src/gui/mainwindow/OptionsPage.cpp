#include "mainwindow/OptionsPage.h"

#include "capi/Capi20b.h"
#include "common/Errors.h"
#include "common/Paths.h"
#include "common/Utils.h"
#include "dinfo/DInfoClient.h"
#include "mainwindow/NetworkOptionsTab.h"
#include "monitor/DInfoService.h"
#include "settings/SettingsStore.h"
#include "ui_OptionsPage.h"
#include "widgets/ButtonEdit.h"
#include "widgets/MessageDialog.h"
#include "widgets/StandardDialogs.h"
#include "windows/NotificationSettings.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace {
const QString kAutostartName = QStringLiteral("Rufwart");
// The D-Info 97 program files that need the service pack are those dated before this day.
const QDate kDInfo97Fixed(1997, 7, 21);

QString withTrailingSlash(QString dir)
{
    if (!dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    return dir;
}

bool isWholeNumber(const QString &text)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,5}$"));
    return digits.match(text).hasMatch();
}
} // namespace

// Empty transfer folders fall back to folders of their own inside the data folder: never the
// data folder itself, whose caller directory and journal a server would otherwise offer to
// every caller.
QString OptionsPage::DefaultSendDir()
{
    const QString dir = Paths::dataDir() + QStringLiteral("senden/");
    QDir().mkpath(dir);
    return dir;
}

QString OptionsPage::DefaultReceiveDir()
{
    const QString dir = Paths::dataDir() + QStringLiteral("empfang/");
    QDir().mkpath(dir);
    return dir;
}

OptionsPage::OptionsPage(DInfoService &dinfo, QWidget *parent)
    : QWidget(parent), ui(std::make_unique<Ui::OptionsPage>()), m_dinfo(dinfo)
{
    ui->setupUi(this);
    m_network = new NetworkOptionsTab(ui->tbn);
    ui->tbn->addTab(m_network, tr("Netz"));
    connect(m_network, &NetworkOptionsTab::networkChanged, this, &OptionsPage::networkChanged);
    // A digits-only time field, folder edits with a chooser button (also F2).
    ui->IsdnTimeMinimize->setDigitsOnly(true);
    const QString home = withTrailingSlash(QDir::homePath());
    for (TButtonEdit *edit : {ui->OptEmpfangDir, ui->OptSendDir, ui->OptDInfoDir}) {
        edit->setText(home);
        edit->setButtonVisible(true);
        connect(edit, &TButtonEdit::buttonClicked, this, [this, edit] { ChooseDirectoryFor(edit); });
    }
    connect(ui->OptSendDir, &QLineEdit::textChanged, this, &OptionsPage::sendFolderChanged);
    connect(ui->ConfigWinBtn, &QToolButton::clicked, this, &ShowExtWinConfig);

    // Options that are written the moment they are clicked. `toggled` also fires when loading
    // the settings changes a box, which writes the same value back, as a click would.
    auto writesFlag = [this](QCheckBox *box, const Settings::Flag &key) {
        connect(box, &QCheckBox::toggled, this,
                [key](bool on) { StoreSetting([&] { Settings::Write(key, on); }); });
    };
    writesFlag(ui->IsdnShow, Settings::Show);
    writesFlag(ui->IsdnBeep, Settings::Beep);
    writesFlag(ui->IsdnWriteLog, Settings::WriteLog);
    writesFlag(ui->ISDNCreateNull, Settings::CreateNull);
    writesFlag(ui->ISDNRunDInfo, Settings::RunDInfo);
    // Every box the monitor reads hands it the options anew, stored or not.
    for (QCheckBox *box : {ui->IsdnShow, ui->IsdnBeep, ui->IsdnWriteLog, ui->ISDNCreateNull, ui->ISDNRunDInfo,
                           ui->ISDNShowExtWin, ui->IsdnIgnore})
        connect(box, &QCheckBox::toggled, this, &OptionsPage::EmitOptions);
    connect(ui->IsdnMinimize, &QCheckBox::toggled, this, &OptionsPage::MinimizeClicked);
    connect(ui->ISDNAutoStart, &QCheckBox::toggled, this, &OptionsPage::AutoStartClicked);
    connect(ui->UndoBtn, &QPushButton::clicked, this, &OptionsPage::Apply);
}

OptionsPage::~OptionsPage() = default;

void OptionsPage::Load()
{
    // What the monitor reads is read as the monitor would read it without a window.
    const MonitorOptions stored = MonitorOptions::FromSettings();
    ui->IsdnBeep->setChecked(stored.Beep);
    ui->IsdnShow->setChecked(stored.Show);
    ui->ISDNAutoStart->setChecked(
        !ReadRegString(RegRoot::CurrentUser, QString::fromLatin1(kRunKey), kAutostartName, QString())
             .isEmpty());
    ui->IsdnMinimize->setChecked(Settings::Read(Settings::Minimize));
    // The time field takes whole seconds only; a stored text that is no such number shows
    // the default, as an empty one does.
    const QString time = Settings::Read(Settings::TimeMinimize).trimmed();
    ui->IsdnTimeMinimize->setText(isWholeNumber(time) ? time
                                                      : QString::fromLatin1(Settings::TimeMinimize.fallback));
    ui->IsdnWriteLog->setChecked(stored.WriteLog);
    ui->ISDNShowExtWin->setChecked(stored.ShowExtWin);
    ui->ISDNCreateNull->setChecked(stored.CreateNull);
    m_msnList = stored.MsnList;

    ui->OptSendDir->setText(Settings::Read(Settings::SendDir));
    ui->OptEmpfangDir->setText(Settings::Read(Settings::EmpfangDir));
    ui->OptDInfoDir->setText(Settings::Read(Settings::DInfoDir));
    SetDInfoVersionIndex(Settings::Read(Settings::DInfoVersion));
    if (ui->OptSendDir->text().isEmpty())
        ui->OptSendDir->setText(DefaultSendDir());
    if (ui->OptEmpfangDir->text().isEmpty())
        ui->OptEmpfangDir->setText(DefaultReceiveDir());
    if (ui->OptDInfoDir->text().isEmpty())
        ui->OptDInfoDir->setText(DefaultDInfoFolder());
    ui->OptCapiRemote->setText(Settings::Read(Settings::CapiRemote));
    ui->isdnUse->setChecked(Settings::Read(Settings::UseExtern));
    ui->ISDNRunDInfo->setChecked(stored.RunDInfo);
    m_network->Load();
    EmitOptions();
    // Only now does "Aktiv" start and stop listening, so loading it did not do it twice.
    connect(ui->isdnUse, &QCheckBox::toggled, this, &OptionsPage::ActiveClicked);
}

MonitorOptions OptionsPage::Options() const
{
    MonitorOptions o;
    o.MsnList = m_msnList;
    o.CreateNull = ui->ISDNCreateNull->isChecked();
    o.ShowExtWin = ui->ISDNShowExtWin->isChecked();
    o.Show = ui->IsdnShow->isChecked();
    o.Beep = ui->IsdnBeep->isChecked();
    o.WriteLog = ui->IsdnWriteLog->isChecked();
    o.RunDInfo = ui->ISDNRunDInfo->isChecked();
    o.IgnoreCalls = ui->IsdnIgnore->isChecked();
    return o;
}

void OptionsPage::EmitOptions()
{
    emit optionsChanged(Options());
}

void OptionsPage::ReloadMsnList()
{
    m_msnList = Settings::Read(Settings::Msn);
    EmitOptions();
}

bool OptionsPage::Active() const
{
    return ui->isdnUse->isChecked();
}

bool OptionsPage::AutoMinimize() const
{
    return ui->IsdnMinimize->isChecked();
}

QString OptionsPage::DisplayTime() const
{
    return ui->IsdnTimeMinimize->text();
}

QString OptionsPage::SendFolder() const
{
    return ui->OptSendDir->text();
}

QString OptionsPage::ReceiveFolder() const
{
    return ui->OptEmpfangDir->text();
}

void OptionsPage::MinimizeClicked(bool checked)
{
    StoreSetting([&] { Settings::Write(Settings::Minimize, checked); });
    ui->Label2->setEnabled(checked);
    ui->IsdnTimeMinimize->setEnabled(checked);
}

void OptionsPage::AutoStartClicked(bool checked)
{
    const QString value = checked ? QCoreApplication::applicationFilePath() : QString();
    StoreSetting(
        [&] { WriteRegString(RegRoot::CurrentUser, QString::fromLatin1(kRunKey), kAutostartName, value); });
}

void OptionsPage::ActiveClicked(bool checked)
{
    StoreSetting([&] { Settings::Write(Settings::UseExtern, checked); });
    emit activeChanged(checked);
}

int OptionsPage::DInfoVersionIndex() const
{
    return ui->rbDInfo97->isChecked() ? 1 : 0;
}

void OptionsPage::SetDInfoVersionIndex(int index)
{
    (index == 1 ? ui->rbDInfo97 : ui->rbDInfo30)->setChecked(true);
}

void OptionsPage::ChooseDirectoryFor(QLineEdit *edit)
{
    const QString chosen = ChooseDirectory(this, QStringLiteral("Verzeichnis auswählen ..."), edit->text());
    if (chosen.size() > 1)
        edit->setText(withTrailingSlash(QDir::cleanPath(chosen)));
}

void OptionsPage::Opened()
{
    m_runDInfoOnOpen = ui->ISDNRunDInfo->isChecked();
}

void OptionsPage::Apply()
{
    // An emptied folder field means its default folder (a bare "/" would offer the root folder).
    const std::pair<QLineEdit *, QString> defaults[] = {{ui->OptSendDir, DefaultSendDir()},
                                                        {ui->OptEmpfangDir, DefaultReceiveDir()},
                                                        {ui->OptDInfoDir, DefaultDInfoFolder()}};
    for (const auto &[edit, fallback] : defaults) {
        if (edit->text().trimmed().isEmpty())
            edit->setText(fallback);
    }
    QLineEdit *const dirs[] = {ui->OptSendDir, ui->OptEmpfangDir, ui->OptDInfoDir};
    for (QLineEdit *edit : dirs)
        edit->setText(withTrailingSlash(edit->text()));
    QString dinfoDirBefore = Settings::Read(Settings::DInfoDir).trimmed();
    if (dinfoDirBefore.isEmpty())
        dinfoDirBefore = DefaultDInfoFolder();
    const bool dinfoMoved = ui->OptDInfoDir->text() != withTrailingSlash(dinfoDirBefore) ||
                            DInfoVersionIndex() != Settings::Read(Settings::DInfoVersion);

    if (!ForceDirectoriesEx(ui->OptSendDir->text()))
        ShowMessageDlg(QStringLiteral("Sendeverzeichnis ungültig ."));
    if (!ForceDirectoriesEx(ui->OptEmpfangDir->text()))
        ShowMessageDlg(QStringLiteral("Empfangsverzeichnis ungültig ."));

    // The field takes digits only; left empty it stands for the default.
    if (!isWholeNumber(ui->IsdnTimeMinimize->text()))
        ui->IsdnTimeMinimize->setText(QString::fromLatin1(Settings::TimeMinimize.fallback));
    StoreSetting([&] {
        Settings::Write(Settings::SendDir, ui->OptSendDir->text());
        Settings::Write(Settings::EmpfangDir, ui->OptEmpfangDir->text());
        Settings::Write(Settings::DInfoDir, ui->OptDInfoDir->text());
        Settings::Write(Settings::TimeMinimize, QString::number(ui->IsdnTimeMinimize->text().toInt()));
        Settings::Write(Settings::DInfoVersion, DInfoVersionIndex());
        Settings::Write(Settings::ShowExtWin, ui->ISDNShowExtWin->isChecked());
    });
    ApplyCapiRemote();
    m_network->Apply();

    const QString dinfoExe = ui->OptDInfoDir->text() + QStringLiteral("dinfo32.exe");
    if (DInfoVersionIndex() == 1 && QFileInfo::exists(dinfoExe) &&
        FileDateTimeOf(dinfoExe).date() < kDInfo97Fixed) {
        ShowMessageDlg(QStringLiteral("DINFO-97 HINWEIS !\r\rNur lauffähig mit DInfo 97 32Bit\r"
                                      "ServicePack B oder höher .\r\rDownload: www.dinfo.de"));
    }

    emit applied();

    if (ui->ISDNRunDInfo->isChecked() != m_runDInfoOnOpen) {
        ApplyRunDInfo();
        m_runDInfoOnOpen = ui->ISDNRunDInfo->isChecked();
        emit windowWanted();
    } else if (m_dinfo.Running() && dinfoMoved) {
        // Another folder or version: the standing connection moves to that program.
        m_dinfo.Stop();
        ApplyRunDInfo();
    }
}

void OptionsPage::ApplyRunDInfo()
{
    if (!ui->ISDNRunDInfo->isChecked()) {
        m_dinfo.Stop();
        return;
    }
    m_dinfo.Start();
    // A program file that is missing switched the look-up off.
    ui->ISDNRunDInfo->setChecked(Settings::Read(Settings::RunDInfo));
}

void OptionsPage::ApplyCapiRemote()
{
    const QString remote = ui->OptCapiRemote->text().trimmed();
    if (!remote.isEmpty() && !TCustomCapi20::ParseRemoteCapi(remote)) {
        ShowMessageDlg(
            QStringLiteral("CAPI über TCP: bitte als Host:Port angeben, z.B. 192.168.178.1:5031 ."));
        return;
    }
    if (remote == Settings::Read(Settings::CapiRemote))
        return;
    if (!StoreSetting([&] { Settings::Write(Settings::CapiRemote, remote); }))
        return;
    emit capiRemoteChanged();
}
