#pragma once

#include "monitor/MonitorOptions.h"

#include <QHash>
#include <QStringList>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>

namespace Ui {
class TfmMain;
}
class QAction;
class QMenu;
class QLineEdit;
class QLabel;
class CallNetwork;
class CallPipeline;
class CapiSession;
class DInfoService;
class DesktopNotifier;
class MissedCalls;
class OptionsPage;
class TCapi20;
class TTrayIcon;
class TrayWatcher;
struct RingDecision;
struct ShownCall;
class TransferPages;

// The main window: a view of the monitor. It lives behind its notification-area icon, shows the
// calls the monitor hands it (CallPipeline::callShown), the listening state of the CAPI session
// and offers the options page. Its notebook `nb` has five pages; pages 2 to 4 are the transfer
// pages (TransferPages, src/gui/transfer), which the window inserts and whose requests (title,
// status line, page) it carries out.
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

    // Listens for the chosen services. Not registered yet, it registers first, beside the window:
    // the status line says "wird aktiviert ..." until the registration reports.
    void StartListen();
    void StopListen();
    // A registration runs beside the window and has not reported yet.
    bool Registering() const;
    // The monitor the window shows: the CAPI session and the calls.
    CapiSession &Session() const { return *FSession; }
    CallPipeline &Pipeline() const { return *FPipeline; }
    // Shows the window, restored and in front.
    void RestoreMainWindow();
    // Hides the window to its notification-area icon; without a notification area it is
    // minimised instead, so the program stays reachable.
    void HideMainWindow();
    // `Ani` visible and playing, or hidden and stopped.
    void ShowAnimation(bool on);
    // "Programm beenden" (F12): ends the program in order.
    void mnuCloseClick();
    // What the main window asks of the session manager: QSessionManager in the program, a
    // stand-in in tests.
    struct SessionManagerAccess
    {
        std::function<bool()> allowsInteraction;
        std::function<void()> release;
    };
    // The session manager's commit-data request (a logout or shutdown that may still be
    // cancelled, or a checkpoint): every queued journal record and caller reaches its file; a
    // failed save is asked about only with the session manager's permission. The program runs on.
    void CommitData(const SessionManagerAccess &session);
    // Auto-hide: started after a call, hides the window after the display time.
    void TimerTimer();
    // "Anruferübersicht" (EditBtn, mnuEdit) and "Anrufe ..." (HistBtn, mnuHist).
    void ShowCallerList();
    void ShowJournal();
    // "Statistik ..." (mnuStat).
    void ShowStatistics();
    // A double-click on the call list opens the caller record dialog for the selected entry and
    // puts the name it returns into the entry.
    void CallListDblClick();

    // ---- incoming calls (MainWindowRing.cpp) ----
    // Whether answered calls wait for the rings to settle before they are shown.
    bool RingsSettling() const;
    // "Anrufer abweisen ...": rejects the pending call as busy (Reject 3); without one the
    // component only records its error.
    void Image3Click();
    // What the monitor reads: the options as the options page holds them, and the window's states.
    MonitorOptions CurrentOptions() const;
    // Runs display work of a later event of the component (connected, disconnected ...) after
    // every call that was answered before it has been shown, so the texts keep their order.
    void ShowAfterRings(std::function<void()> work);

    // ---- desktop notifications and missed calls (MainWindowNotify.cpp) ----
    // The calls that came since the user last looked at the call list or the journal.
    const MissedCalls &Missed() const;
    // The user looked at the calls: the count and the icon's list clear.
    void LookedAtCalls();

    bool ServerMode() const;
    bool TrayAvailable() const { return FTrayAvailable; }

protected:
    void closeEvent(QCloseEvent *event) override;
    // Watches the application for the request to quit.
    bool eventFilter(QObject *watched, QEvent *event) override;
    // Shown, hidden, activated or not: whether the user looks at the call list may have changed.
    bool event(QEvent *event) override;

private:
    // Handlers that touch widgets start with Q_ASSERT(OnMainThread()).
    bool OnMainThread() const { return QThread::currentThread() == thread(); }
    void FormCreate();
    void BuildPopupMenu();
    void ConnectControls();
    void ConnectTrayIcons();
    void ShowPopupMenu(const QPoint &globalPos);
    void nbPageChanged(int index);
    // The monitor: the session's and the pipeline's signals to the window.
    void ConnectMonitor();
    // The listening state in the status line, with a note while there is no notification area.
    void ShowListenStatus(const QString &text);
    // The monitor reads the options anew.
    void OptionsChanged();
    // Runs once when the program ends: by "Programm beenden" (a failed save may be asked about),
    // a termination signal or the end of the session (nothing is asked).
    void FormClose(bool mayAsk = true);
    void OptBtnClick();
    void ServiceBtnClick();
    void MsnBtnClick();
    void TaskIcon1Click();
    // While there is no notification area: moves to one that has appeared.
    void LookForTray();
    void mnuOptClick();
    void ShowAbout();
    // Creates the transfer pages, puts them into `nb` and carries out what they ask for.
    void ConnectTransfer();

    // Shows a call the monitor hands over: status line, call list, the notification window or the
    // main window.
    void ShowCall(const ShownCall &call);

    // Desktop notifications and missed calls (MainWindowNotify.cpp).
    void ConnectNotifications();
    // A call for the "Externes Fenster": a desktop notification when so chosen, else (and when
    // no notification service takes it) the own notification window.
    void ShowExternalCall(const RingDecision &d, const QString &msn);
    void EditNoticeCaller(const QString &key);
    void ShowMissedCalls();
    bool CallListShows() const;
    // Tells the monitor whether the user looks at the call list now.
    void CallListViewChanged();
    DesktopNotifier *FNotifier = nullptr;
    bool FNoNotifierTold = false;

    // Controls (names as on the window); the options, pages and lists are in `ui`.
    std::unique_ptr<Ui::TfmMain> ui;
    // The monitor: the standing D-Info connection, the CAPI session and the calls, in the order
    // they are made (and ended in reverse).
    std::unique_ptr<DInfoService> FDInfo;
    std::unique_ptr<CapiSession> FSession;
    std::unique_ptr<CallPipeline> FPipeline;
    // The copy's place on the network (tab "Netz"): its calls told, or the others' shown.
    std::unique_ptr<CallNetwork> FNetwork;
    // With "Nur Anzeige": which copy owns each number shown, for the block it is asked for.
    QHash<QString, QString> FRemoteOwners;
    // The session's component.
    TCapi20 *Capi2 = nullptr;
    MonitorOptions FOptions;
    QString FMainTitle;
    // The own key of the last call shown (its number, also when a group key matched it): a
    // double-click on its call list entry opens it.
    QString FCallerKey;
    // Auto-hide after a call.
    QTimer Timer;
    // The standing notification-area icon, and the icon of the standing D-Info connection.
    TTrayIcon *TaskIcon1 = nullptr;
    TTrayIcon *DInfoTask = nullptr;
    // The options page (page 1 of `nb`).
    OptionsPage *FOptionsPage = nullptr;
    // The popup menu (also the icons' and the window's context menu) and its items.
    QMenu *PM = nullptr;
    QAction *mnuEdit = nullptr;
    QAction *mnuService = nullptr;
    QAction *mnuOpt = nullptr;
    QAction *mnuHist = nullptr;
    QAction *mnuStat = nullptr;
    QAction *mnuExtWinConfig = nullptr;
    QAction *mnuMsn = nullptr;
    QAction *mnuCapiInfo = nullptr;
    QAction *mnuReadme = nullptr;
    QAction *mnuInfo = nullptr;
    QAction *mnuClose = nullptr;

    bool FShown = false;
    bool FDisplayOnly = false; // "Nur Anzeige": this copy opens no CAPI
    bool FClosing = false;
    bool FSessionEnding = false;
    bool FClosed = false;
    bool FTrayAvailable = false;
    // While there is no notification area: tells when one may have appeared.
    TrayWatcher *FTrayWatcher = nullptr;
    // The transfer pages (a child of the window) and the actions of the "Datenübertragung" menu.
    TransferPages *FTransfer = nullptr;
    QAction *mnuServermode = nullptr;
    QAction *Clientmodus1 = nullptr;
    QAction *mnuDFUStatus = nullptr;
};
