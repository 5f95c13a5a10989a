#pragma once

#include "widgets/ToolDialog.h"

class QCheckBox;
class QPushButton;

// "Service-Konfiguration": which kinds of incoming call are reported. Shown modally;
// "Übernehmen" writes ISDN_Service, "Abbrechen" and Escape write nothing.
class TfmServMap : public TToolDialog
{
    Q_OBJECT
public:
    explicit TfmServMap(QWidget *parent = nullptr);

protected:
    void FormShow() override;

private:
    void ChangeBtnClick();

    QCheckBox *cbServ[8]; // cbServ1 ... cbServ8
    QPushButton *ChangeBtn;
    QPushButton *CloseBtn;
};
