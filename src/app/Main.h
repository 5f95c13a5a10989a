#pragma once

#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <memory>

namespace Ui {
class TfmMain;
}
class QAction;
class QMenu;
class QLineEdit;
class CallerDirectory;
class TCapi20;
class TTrayIcon;

// The main window. It lives behind its notification-area icon, keeps the CAPI component
// listening and offers the options page. Its notebook `nb` has five pages; the call handling
// (ring handler) and the data-transfer mode are further members of this class that attach to
// the controls, fields and operations below.
class TfmMain : public QWidget
{
    Q_OBJECT
public:
    enum Page
    {
        PageStart = 0,    // "Vorgabe"
        PageOptions = 1,  // "optionen"
        PageProgress = 2, // "Progress" (transfer progress)
        PageDial = 3,     // "Anwahl" (dial page)
        PageUpload = 4,   // "Upload" (file choice and transfer buttons)
    };
    // Inner notebook `nb_Call`.
    enum CallPage
    {
        CallPageList = 0,   // "Vorgabe": the call list
        CallPageCaller = 1, // "Anruf": the caller of the current call
    };
    static constexpr int kClientWidth = 340;
    // The window height that belongs to a page of `nb`.
    static int HeightOfPage(int index);

    explicit TfmMain(QWidget *parent = nullptr);
    ~TfmMain() override;

    // Loads every option from the settings, opens the caller directory and starts (or stops)
    // listening. The start-up routine runs it once, while the window is still hidden; later
    // calls do nothing.
    void FormShow();

    void StartListen();
    void StopListen();
    // Shows the window, restored and in front.
    void RestoreMainWindow();
    // Hides the window to its notification-area icon; without a notification area it is
    // minimised instead, so the program stays reachable.
    void HideMainWindow();
    // `Ani` visible and playing, or hidden and stopped.
    void ShowAnimation(bool on);
    // "Programm beenden" (F12): ends the program in order.
    void mnuCloseClick();
    // Auto-hide: started after a call, hides the window after the display time.
    void TimerTimer();
    // Applies the options page and returns to the start page ("Zurück ...").
    void UndoBtnClick();

    bool ServerMode() const;
    bool TrayAvailable() const { return FTrayAvailable; }
    // The directory used when a send or receive directory is empty: the program's own folder.
    static QString ProgramDir();
    // The CAPI-over-TCP address in force: RUFWART_CAPI_REMOTE, else the setting ISDN_CapiRemote.
    static QString CapiRemote();
    // "host:port" with a port from 1 to 65534, or empty (the local CAPI).
    static bool IsValidCapiRemote(const QString &text);

    // Component information for the CAPI information window.
    QString GetCapiManufacturer() const;
    QString GetCapiVersion() const;
    QString GetCapiSerialNumber() const;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void FormCreate();
    void BuildPopupMenu();
    void ConnectControls();
    void ConnectTrayIcons();
    void ShowPopupMenu(const QPoint &globalPos);
    void nbPageChanged(int index);
    void ChooseDirectoryFor(QLineEdit *edit);
    // Writes ISDN_CapiRemote from the options page; a changed address in force re-registers.
    void ApplyCapiRemote();
    // Runs once when the program ends: by "Programm beenden" or when the session ends.
    void FormClose();
    void SessionEnding();
    void isdnUseClick(bool checked);
    void IsdnMinimizeClick(bool checked);
    void ISDNAutoStartClick(bool checked);
    void OptBtnClick();
    void ServiceBtnClick();
    void MsnBtnClick();
    void TaskIcon1Click();
    void mnuOptClick();
    void ShowAbout();
    // Writes one setting now; a failed write is shown to the user and reported as false.
    bool StoreSetting(const std::function<void()> &write);
    int DInfoVersionIndex() const;
    void SetDInfoVersionIndex(int index);

public:
    // Fields shared with the call handling and the data-transfer mode.
    QString FMainTitle;
    QString FMsnList;
    QString FCallerKey;
    QStringList FDialNumbers;
    std::atomic<bool> FTransferDone{false};
    bool FPrefixApplied = false;
    qint32 FRateTime = 0;
    qint32 FRateBytes = 0;
    std::unique_ptr<CallerDirectory> FCallers;
    bool FRunDInfoOnOpen = false;

    // Controls (names as on the window); the options, pages and lists are in `ui`.
    std::unique_ptr<Ui::TfmMain> ui;
    // The CAPI component: registration, listening, calls and transfers.
    std::unique_ptr<TCapi20> Capi2;
    QTimer Timer;
    // The standing notification-area icon and the one shown during data transfers.
    TTrayIcon *TaskIcon1 = nullptr;
    TTrayIcon *ConnectTray = nullptr;
    QMenu *PM = nullptr;
    QMenu *mnuDFU = nullptr;
    QAction *mnuEdit = nullptr;
    QAction *mnuService = nullptr;
    QAction *mnuOpt = nullptr;
    QAction *mnuHist = nullptr;
    QAction *mnuExtWinConfig = nullptr;
    QAction *mnuMsn = nullptr;
    QAction *mnuServermode = nullptr;
    QAction *Clientmodus1 = nullptr;
    QAction *mnuDFUStatus = nullptr;
    QAction *mnuCapiInfo = nullptr;
    QAction *mnuReadme = nullptr;
    QAction *mnuInfo = nullptr;
    QAction *mnuClose = nullptr;

private:
    bool FShown = false;
    bool FClosing = false;
    bool FClosed = false;
    bool FTrayAvailable = false;
    // Errors the component reported on this thread; a failed listen request shows here.
    int FCapiErrors = 0;
};

// The one main window of the program.
extern TfmMain *fmMain;
