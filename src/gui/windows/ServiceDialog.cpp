#include "windows/ServiceDialog.h"

#include "calls/ServiceSet.h"
#include "common/Errors.h"
#include "settings/SettingsStore.h"
#include "widgets/MessageDialog.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QFrame>
#include <QPushButton>

TfmServMap::TfmServMap(QWidget *parent) : TToolDialog(parent)
{
    setObjectName(QStringLiteral("fmServMap"));
    setWindowTitle(tr("Service-Konfiguration"));
    constexpr int width = 250;

    auto *group = new QFrame(this);
    group->setFrameShape(QFrame::StyledPanel);
    group->setGeometry(6, 6, width - 12, 8 * 22 + 12);

    ChangeBtn = new QPushButton(tr("Übernehmen"), this);
    ChangeBtn->setObjectName(QStringLiteral("ChangeBtn"));
    CloseBtn = new QPushButton(tr("Abbrechen"), this);
    CloseBtn->setObjectName(QStringLiteral("CloseBtn"));

    for (size_t i = 0; i < ServiceSet::kServices.size(); ++i) {
        cbServ[i] =
            new QCheckBox(QCoreApplication::translate("ServiceSet", ServiceSet::kServices[i].caption), group);
        cbServ[i]->setObjectName(QStringLiteral("cbServ%1").arg(i + 1));
        cbServ[i]->setGeometry(12, 6 + int(i) * 22, width - 40, 22);
        // Boxes are independent; a click hands the focus to "Übernehmen".
        connect(cbServ[i], &QCheckBox::clicked, ChangeBtn, [this] { ChangeBtn->setFocus(); });
    }
    cbServ[0]->setChecked(true);

    const int buttonsTop = group->geometry().bottom() + 10;
    ChangeBtn->setGeometry(width - 2 * 80 - 12, buttonsTop, 80, 25);
    CloseBtn->setGeometry(width - 80 - 6, buttonsTop, 80, 25);
    ChangeBtn->setDefault(true);
    setFocusOnShow(ChangeBtn);
    CloseBtn->setAutoDefault(false);
    setFixedSize(width, buttonsTop + 25 + 8);

    connect(ChangeBtn, &QPushButton::clicked, this, &TfmServMap::ChangeBtnClick);
    connect(CloseBtn, &QPushButton::clicked, this, &QDialog::reject);
}

void TfmServMap::FormShow()
{
    const QString setting = Settings::Read(Settings::Service);
    if (!setting.isEmpty()) {
        const ServiceSet::Choice choice = ServiceSet::choiceFromSetting(setting);
        for (size_t i = 0; i < choice.size(); ++i)
            cbServ[i]->setChecked(choice[i]);
    }
}

void TfmServMap::ChangeBtnClick()
{
    ServiceSet::Choice choice{};
    for (size_t i = 0; i < choice.size(); ++i)
        choice[i] = cbServ[i]->isChecked();
    try {
        Settings::Write(Settings::Service, ServiceSet::settingFromChoice(choice));
    } catch (const IoError &e) {
        ShowMessageDlg(e.message());
        return;
    }
    accept();
}
