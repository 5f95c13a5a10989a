#pragma once

#include "widgets/ToolDialog.h"

#include <QTimer>

class QLabel;
class QPushButton;
class TCustomCapi20;

// "Information zur ISDN-Karte / CAPI": what the CAPI driver reports about the ISDN card
// (manufacturer, CAPI and manufacturer version, serial number), read from the component when the
// window opens. A card picture appears for the makers AVM and TELES and a rosette for the serial
// number 000001A. When the connection to a remote CAPI server is lost (before or while the window
// is open) the window says so and shows no values: they would be stale.
class TfmCapiInfo : public TToolDialog
{
    Q_OBJECT
public:
    explicit TfmCapiInfo(TCustomCapi20 &capi, QWidget *parent = nullptr);

protected:
    void FormShow() override;

private:
    QLabel *Image1;
    QLabel *lbHerst;
    QLabel *lbVersion;
    QLabel *lbSerNum;
    QLabel *Image2; // serial number 000001A
    QLabel *Image3; // maker TELES
    QLabel *Image4; // maker AVM
    // "Verbindung zum CAPI-Server ... verloren"; hidden while the connection stands.
    QLabel *lbConnection;
    QPushButton *CloseBtn;

    void ShowConnectionLost();

    TCustomCapi20 &m_capi;
    // Looks for a lost remote connection while the window is open.
    QTimer m_watch;
};

// Shows the window modally for `capi` (the main window's component).
void ShowCapiInfo(TCustomCapi20 &capi, QWidget *parent = nullptr);
