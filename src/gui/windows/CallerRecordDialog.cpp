#include "windows/CallerRecordDialog.h"

#include "calls/CallerDirectory.h"
#include "common/Errors.h"
#include "widgets/MessageDialog.h"
#include "windows/DInfoDialog.h"

#include <QCheckBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

TfmStamm::TfmStamm(CallerDirectory &callers, const QString &key, DInfoService *dinfo, QWidget *parent)
    : TToolDialog(parent), FCallers(callers), FKey(key), FDInfo(dinfo)
{
    setObjectName(QStringLiteral("fmStamm"));
    setWindowTitle(tr("Anruferdaten"));

    auto *numberLabel = new QLabel(tr("Rufnummer :"), this);
    auto *nameLabel = new QLabel(tr("Name :"), this);
    EdNummer = new QLineEdit(this);
    EdNummer->setObjectName(QStringLiteral("EdNummer"));
    // The key is shown, not edited: typing changes nothing (Enter still reaches the dialog).
    EdNummer->setReadOnly(true);
    EdName = new QLineEdit(this);
    EdName->setObjectName(QStringLiteral("EdName"));
    nameLabel->setBuddy(EdName);
    cbOut = new QCheckBox(tr("Gesperrt"), this);
    cbOut->setObjectName(QStringLiteral("cbOut"));
    ChangeBtn = new QPushButton(tr("Über&nehmen"), this);
    ChangeBtn->setObjectName(QStringLiteral("ChangeBtn"));
    AbortBtn = new QPushButton(tr("&Abrechen"), this);
    AbortBtn->setObjectName(QStringLiteral("AbortBtn"));
    DInfoBtn = new QPushButton(tr("&D-Info"), this);
    DInfoBtn->setObjectName(QStringLiteral("DInfoBtn"));

    // Labels and buttons as wide as their texts need, the edits in the room that is left.
    const int labelWidth = std::max(numberLabel->sizeHint().width(), nameLabel->sizeHint().width());
    const int editLeft = 8 + labelWidth + 6;
    numberLabel->setGeometry(8, 12, labelWidth, 20);
    EdNummer->setGeometry(editLeft, 10, kClientWidth - editLeft - 8, 22);
    nameLabel->setGeometry(8, 42, labelWidth, 20);
    EdName->setGeometry(editLeft, 40, kClientWidth - editLeft - 8, 22);
    cbOut->setGeometry(editLeft, 70, cbOut->sizeHint().width(), 22);
    const int buttonsTop = kClientHeight - 8 - 25;
    const auto buttonWidth = [](QPushButton *button) { return std::max(74, button->sizeHint().width()); };
    AbortBtn->setGeometry(kClientWidth - 8 - buttonWidth(AbortBtn), buttonsTop, buttonWidth(AbortBtn), 25);
    ChangeBtn->setGeometry(AbortBtn->x() - 4 - buttonWidth(ChangeBtn), buttonsTop, buttonWidth(ChangeBtn),
                           25);
    DInfoBtn->setGeometry(8, buttonsTop, std::min(buttonWidth(DInfoBtn), ChangeBtn->x() - 12), 25);
    for (QPushButton *button : {DInfoBtn, AbortBtn})
        button->setAutoDefault(false);
    ChangeBtn->setDefault(true);
    setFixedSize(kClientWidth, kClientHeight);
    setFocusOnShow(EdName);

    connect(cbOut, &QCheckBox::clicked, this, [this] { ChangeBtn->setFocus(); });
    connect(ChangeBtn, &QPushButton::clicked, this, &TfmStamm::ChangeBtnClick);
    connect(AbortBtn, &QPushButton::clicked, this, &QDialog::reject);
    connect(DInfoBtn, &QPushButton::clicked, this, &TfmStamm::DInfoBtnClick);
}

void TfmStamm::FormShow()
{
    EdNummer->setText(FKey);
    // A caller without an entry of its own starts from the entry that answers it now (its group).
    const CallerRecord caller = FCallers.CallerOf(FKey);
    EdName->setText(caller.Name);
    cbOut->setChecked(caller.Blocked);
}

void TfmStamm::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        EdName->setFocus();
    TToolDialog::changeEvent(event);
}

namespace {
// Writes an entry as the record dialog does, so that it takes effect; a refused or failed
// write is shown.
bool writeCaller(CallerDirectory &callers, const QString &key, const QString &name, bool blocked)
{
    try {
        callers.WriteOwnCaller(key, name, blocked);
    } catch (const InvalidInput &e) {
        ShowMessageDlg(e.message());
        return false;
    } catch (const IoError &e) {
        ShowMessageDlg(e.message());
        return false;
    }
    return true;
}
} // namespace

void TfmStamm::ChangeBtnClick()
{
    if (writeCaller(FCallers, EdNummer->text(), EdName->text(), cbOut->isChecked()))
        accept();
}

void TfmStamm::DInfoBtnClick()
{
    EdName->setText(DInfoLookup(FDInfo, FKey, EdName->text()));
}

QString TfmStamm::name() const
{
    return EdName->text();
}

QString EditCaller(CallerDirectory &callers, const QString &key, DInfoService *dinfo, QWidget *parent)
{
    TfmStamm fmStamm(callers, key, dinfo, parent);
    fmStamm.exec();
    const QString name = fmStamm.name();
    return name.isEmpty() ? key : name;
}

bool BlockCaller(CallerDirectory &callers, const QString &key)
{
    return writeCaller(callers, key, callers.CallerOf(key).Name, true);
}

bool IsCallerKey(const QString &key)
{
    return key.size() >= 2;
}
