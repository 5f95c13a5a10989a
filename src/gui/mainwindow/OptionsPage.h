#pragma once

#include "monitor/MonitorOptions.h"

#include <QWidget>

#include <memory>

namespace Ui {
class OptionsPage;
}
class DInfoService;
class NetworkOptionsTab;
class QLineEdit;

// The options page of the main window (page "optionen" of its notebook): loads the options from
// the settings, writes the boxes that take effect the moment they are clicked, and applies the
// rest on "Zurück ...". Whatever the monitor reads goes out as one MonitorOptions value
// (optionsChanged) whenever a box changes, stored or not. The standing D-Info connection follows
// "Anrufer bei Anruf aus D-Info ermitteln" and the D-Info folder when the page is applied.
class OptionsPage : public QWidget
{
    Q_OBJECT
public:
    OptionsPage(DInfoService &dinfo, QWidget *parent = nullptr);
    ~OptionsPage() override;

    // Loads every option from the settings; "Aktiv" reports its clicks only from then on.
    void Load();
    // The options as the page holds them (the window's own states left as they are).
    MonitorOptions Options() const;
    // The MSN list setting changed (the MSN window): read it anew.
    void ReloadMsnList();
    // The page is opened: what "Zurück ..." compares with.
    void Opened();
    // Applies the page ("Zurück ..."): folders, time, D-Info folder and version, "Externes
    // Fenster" and the CAPI address are written, and the D-Info connection follows.
    void Apply();
    // Starts or stops the standing D-Info connection as the box says; a failed start clears it.
    void ApplyRunDInfo();

    // "Aktiv": listening is wanted.
    bool Active() const;
    // "Autom. minimieren", and the display time as typed.
    bool AutoMinimize() const;
    QString DisplayTime() const;
    QString SendFolder() const;
    QString ReceiveFolder() const;

    // The folders used when a send or receive folder is empty: folders of their own in the data
    // folder (the program's own folder is not writable once installed).
    static QString DefaultSendDir();
    static QString DefaultReceiveDir();

signals:
    void optionsChanged(const MonitorOptions &options);
    // The send folder field changed (the file chooser of "Senden" opens there).
    void sendFolderChanged(const QString &folder);
    // "Aktiv" was clicked.
    void activeChanged(bool on);
    // A new CAPI-over-TCP address was stored.
    void capiRemoteChanged();
    // Apply() is through with the page: the window shows its start page.
    void applied();
    // The look-up was switched on or off on the page: the window comes to the front.
    void windowWanted();
    // The broker settings of the tab "Netz" changed and were stored.
    void networkChanged();

private:
    void EmitOptions();
    void ChooseDirectoryFor(QLineEdit *edit);
    void MinimizeClicked(bool checked);
    void AutoStartClicked(bool checked);
    void ActiveClicked(bool checked);
    void ApplyCapiRemote();
    int DInfoVersionIndex() const;
    void SetDInfoVersionIndex(int index);

    std::unique_ptr<Ui::OptionsPage> ui;
    DInfoService &m_dinfo;
    NetworkOptionsTab *m_network;
    QString m_msnList;
    bool m_runDInfoOnOpen = false;
};
