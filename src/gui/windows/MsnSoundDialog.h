#pragma once

#include "widgets/ToolDialog.h"
#include <QByteArray>
#include <QString>
#include <functional>

class QFrame;
class QLabel;
class QPushButton;
class QStackedWidget;
class TButtonEdit;

// "MSN-Konfiguration": the eight MSNs of the line and a wave file for each. Shown modally;
// "&Weiter" writes ISDN_MSN and ISDN_SOUND1 to ISDN_SOUND8, "&Abbrechen" and Escape write nothing.
class TfmMsnMap : public TToolDialog
{
    Q_OBJECT
public:
    explicit TfmMsnMap(QWidget *parent = nullptr);

    // Client heights of the two pages; the window heights 224 and 320 include the title bar.
    static constexpr int kWidth = 330;
    static constexpr int kMsnHeight = 200;
    static constexpr int kSoundHeight = 296;

protected:
    void FormShow() override;

private:
    void SoundBtnClick();
    void ChangeBtnClick();
    // Side button of the sound field at position 1 to 8.
    void SoundEditButtonClick(int position);

    QStackedWidget *nb;
    QWidget *pageMsn;
    QWidget *pageSound;
    TButtonEdit *MSN[8];
    TButtonEdit *Sound[8];
    QFrame *Bevel1;
    QPushButton *SoundBtn;
    QPushButton *ChangeBtn;
    QPushButton *CloseBtn;

    void showPage(bool soundPage);
};
