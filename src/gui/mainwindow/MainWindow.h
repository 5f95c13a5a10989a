#pragma once

#include "calls/MissedCalls.h"
#include "calls/RingDecision.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QHash>
#include <QStringList>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <thread>

namespace Ui {
class TfmMain;
}
class QAction;
class QMenu;
class QLineEdit;
class QLabel;
class CallJournal;
class CallerDirectory;
class DesktopNotifier;
class IoError;
class TCapi20;
struct TCallDaten;
class TTrayIcon;
class TrayWatcher;
struct DInfoSearch;
enum TTransferBlock : uint8_t;

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

    // Listens for the chosen services. Not registered yet, it registers first, beside the window:
    // the status line says "wird aktiviert ..." until the registration reports.
    void StartListen();
    void StopListen();
    // A registration runs beside the window and has not reported yet.
    bool Registering() const { return FRegistering; }
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
    // Applies the options page and returns to the start page ("Zurück ...").
    void UndoBtnClick();
    // "Anruferübersicht" (EditBtn, mnuEdit) and "Anrufe ..." (HistBtn, mnuHist).
    void ShowCallerList();
    void ShowJournal();
    // A double-click on the call list opens the caller record dialog for the selected entry and
    // puts the name it returns into the entry.
    void CallListDblClick();

    // ---- incoming calls (MainWindowRing.cpp) ----
    // The component's OnRing, on the main thread while the network waits: decides from the MSN
    // filter, the directory and the options and returns the ring result at once. What the call
    // shows, stores and sounds follows right after, call by call in the order they rang.
    uint32_t Capi2Ring(TCapi20 *Sender, const TCallDaten &CallDaten);
    // Whether answered calls wait for the rings to settle before they are shown.
    bool RingsSettling() const { return FShowTimer.isActive(); }
    // "Anrufer abweisen ...": rejects the pending call as busy (Reject 3); without one the
    // component only records its error.
    void Image3Click();
    // The options the ring decision reads, as they stand now.
    RingOptions CurrentRingOptions() const;
    // Runs display work of a later event of the component (connected, disconnected ...) after
    // every call that was answered before it has been shown, so the texts keep their order.
    void ShowAfterRings(std::function<void()> work);

    // ---- desktop notifications and missed calls (MainWindowNotify.cpp) ----
    // The calls that came since the user last looked at the call list or the journal.
    const MissedCalls &Missed() const { return FMissedCalls; }
    // The user looked at the calls: the count and the icon's list clear.
    void LookedAtCalls();

    bool ServerMode() const;
    bool TrayAvailable() const { return FTrayAvailable; }
    // The directory used when a send or receive directory is empty: the data folder (the
    // program's own folder is not writable once installed).
    static QString DefaultSendDir();
    static QString DefaultReceiveDir();
    // The CAPI-over-TCP address in force: RUFWART_CAPI_REMOTE, else the setting ISDN_CapiRemote.
    static QString CapiRemote();

    // ---- data-transfer mode (MainWindowTransfer.cpp) ----
    void SetServerMode(bool on);
    void mnuServermodeClick();
    void mnuDFUStatusClick();
    // Opens the dial page ("Verbindungsaufbau", F10).
    void Clientmodus1Click();
    void ChangeCallersChange();
    void ChangeNumberChange();
    void cbDialWithClick();
    void CallBtnClick();
    void DFUoutBtnClick();
    void DFUabortBtnClick();
    void FileListBtnClick();
    // Receives the ticked files of the remote list one after another.
    void UploadBtnClick();
    void SendBtnClick();
    void EndSessionBtnClick();
    void cbAutoDisconnectClick();
    void Undo2BtnClick();
    // Handlers of the component's connection and transfer events. They may run on the CAPI
    // message thread; what they show is done on the main thread, in the order of the events.
    void Capi2Connect();
    void Capi2BConnect(int NCCI);
    void Capi2BDisconnect(int NCCI, uint32_t Grund);
    void Capi2Disconnect(uint32_t Grund);
    void Capi2ReceiveFileList(const QString &Item);
    void Capi2SendFile(const QString &Filename, int64_t FileSize, int64_t FileProgress,
                       TTransferBlock FileBlock);
    void Capi2ReceiveFile(const QString &Filename, int64_t FileSize, int64_t FileProgress,
                          TTransferBlock FileBlock);
    // A transfer failed or was refused (OnTransferError): the file it concerns and why. Ends
    // the wait of a receive run for its file and shows the failure like a finished transfer.
    void Capi2TransferError(const QString &Filename, uint32_t ErrorNumber);
    void ShowByteRate(int64_t bytes);
    // show: the transfer icon is shown; kind 0/1/2 connect/send/receive, 5/6 blink receiving/sending.
    void SetConnectIcon(bool show, int kind);
    // The file name part of a remote list item "name [date time, Größe : size]": the text
    // before its last " [" (names may hold blanks); empty for an item without one.
    static QString FileNameOfListItem(const QString &item);

protected:
    void closeEvent(QCloseEvent *event) override;
    // Watches the application for the request to quit.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Handlers that touch widgets start with Q_ASSERT(OnMainThread()).
    bool OnMainThread() const { return QThread::currentThread() == thread(); }
    void FormCreate();
    void BuildPopupMenu();
    void ConnectControls();
    void ConnectTrayIcons();
    void ShowPopupMenu(const QPoint &globalPos);
    void nbPageChanged(int index);
    void ChooseDirectoryFor(QLineEdit *edit);
    // Writes ISDN_CapiRemote from the options page; a changed address in force re-registers.
    void ApplyCapiRemote();
    // Registers anew at the address in force when it differs from the component's (not while a
    // registration runs); true when it did.
    bool UseRemoteCapiInForce();
    // Registration beside the window: BeginRegistration starts it on a worker thread, whose
    // report RegistrationDone (main thread) listens, or releases when listening is no longer
    // wanted. FinishRegistration waits for the worker.
    void BeginRegistration();
    void FinishRegistration();
    void RegistrationDone();
    // Waits, the window working on, until a registration under way has reported.
    void WaitForRegistration();
    // Listen on the registration there is, or say that there is none.
    void ListenNow();
    // The network refused a listen request (counted in FListenRefusals on the message thread).
    void ListenRefused();
    // The listening state in the status line, with a note while there is no notification area.
    void ShowListenStatus(const QString &text);
    // Runs once when the program ends: by "Programm beenden" (a failed save may be asked about),
    // a termination signal or the end of the session (nothing is asked).
    void FormClose(bool mayAsk = true);
    void isdnUseClick(bool checked);
    void IsdnMinimizeClick(bool checked);
    void ISDNAutoStartClick(bool checked);
    void OptBtnClick();
    void ServiceBtnClick();
    void MsnBtnClick();
    void TaskIcon1Click();
    // While there is no notification area: moves to one that has appeared.
    void LookForTray();
    void mnuOptClick();
    void ShowAbout();
    void ConnectTransfer();
    // Runs display work on the main thread: at once when called there with nothing queued,
    // otherwise queued behind the work queued before it.
    void RunDisplay(std::function<void()> work);
    // What a step of a file transfer shows (Capi2SendFile, Capi2ReceiveFile).
    void ShowTransferStep(bool receiving, const QString &Filename, int64_t FileSize, int64_t FileProgress,
                          TTransferBlock FileBlock);
    // The status line of the transfer events: ISDNBar in server mode, lbConnectMsg otherwise.
    QLabel *TransferStatusLine() const;
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
    // Last byte-rate sample: the millisecond tick count and the bytes received by then.
    qint64 FRateTime = 0;
    qint64 FRateBytes = 0;
    std::unique_ptr<CallerDirectory> FCallers;
    // The call journal "anruf2.dat", opened with the directory.
    std::unique_ptr<CallJournal> FJournal;
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
    // Hidden holder of the glyph drawn before each dfuList item.
    QLabel *Image5 = nullptr;

private:
    // A call that has been answered and is still to be shown, journalled, learned and sounded.
    struct AnsweredRing
    {
        RingDecision Decision;
        QString Msn;
        QDateTime Rang;        // when it rang: the call list time and the journal stamp
        bool Show = false;     // "Anzeigen bei Anruf"
        bool Beep = false;     // "Beep / Sound  bei Anruf"
        bool WriteLog = false; // "Protokoll schreiben"
        bool Stored = false;   // journalled (and learned, unless a look-up is to name it)
        // Set instead of a call: display work of a later event, waiting its turn.
        std::function<void()> LaterDisplay;
    };
    // Works off the answered calls in order; a call that comes meanwhile waits its turn.
    void ShowRings();
    // Journals (and learns) the answered calls that are still to be shown.
    void StoreRings();
    void ShowRing(const AnsweredRing &ring);
    void DisplayRing(const AnsweredRing &ring);
    void JournalRing(const AnsweredRing &ring);
    // The name to learn and show an unknown caller with: the number (or nothing), or the name
    // the automatic D-Info look-up found.
    QString LookUpUnknownCaller(const AnsweredRing &ring);
    // Whether an unknown caller is looked up before being learned.
    bool WillLookUp(const RingDecision &decision) const;
    static QString LookUpFailureText(const DInfoSearch &search);
    void LearnCaller(const AnsweredRing &ring, const QString &name);
    // Plays the queued call sounds one after the other.
    void PlayRingSounds();
    // At the end: the records of calls not yet shown still reach the journal and the directory.
    void StoreUnshownRings();
    // Writes what the stores have queued. A failed save is asked about ("try again?") while
    // `mayAsk` allows; otherwise what could not be written stays unsaved.
    void FlushStores(const std::function<bool()> &mayAsk);
    // A queued save failed on a store's worker thread: tell the user, the same message not more
    // than once a minute (the store retries every second).
    void ReportStoreError(const IoError &error);
    void OpenStores();

    // The call whose look-up waits for the directory program, and the failure of the last
    // look-up, told in the status line once until a look-up succeeds again.
    const AnsweredRing *FRingInLookUp = nullptr;
    bool FLookUpFailureTold = false;
    QString FLookUpFailure;
    // Starts or stops the standing D-Info connection for ISDNRunDInfo; a failed start clears it.
    void ApplyRunDInfo();

    // Desktop notifications and missed calls (MainWindowNotify.cpp).
    void ConnectNotifications();
    // A call for the "Externes Fenster": a desktop notification when so chosen, else (and when
    // no notification service takes it) the own notification window.
    void ShowExternalCall(const RingDecision &d, const QString &msn);
    void EditNoticeCaller(const QString &key);
    // Counts a call the user may miss; not while the user is looking at the call list.
    void CountMissedCall(const RingDecision &d, const QDateTime &rang);
    void ShowMissedCalls();
    bool CallListShows() const;
    DesktopNotifier *FNotifier = nullptr;
    bool FNoNotifierTold = false;
    MissedCalls FMissedCalls;

    std::deque<AnsweredRing> FAnswered;
    QTimer FShowTimer;
    QDeadlineTimer FShowDue; // the latest moment the waiting calls are shown
    std::deque<QString> FSounds;
    bool FShowingRings = false;
    bool FPlayingSounds = false;
    // When each failed save was last reported.
    QHash<QString, QDateTime> FStoreErrorsTold;

    bool FShown = false;
    bool FClosing = false;
    bool FSessionEnding = false;
    bool FClosed = false;
    bool FTrayAvailable = false;
    // While there is no notification area: tells when one may have appeared.
    TrayWatcher *FTrayWatcher = nullptr;
    // Errors the component reported outside its message thread; a listen request that could not
    // be put shows here.
    std::atomic<int> FCapiErrors{0};
    // Listen requests the network refused (counted on the message thread), and how many of them
    // have been told.
    std::atomic<int> FListenRefusals{0};
    int FListenRefusalsTold = 0;
    // StartListen was the last word (not StopListen): the registration's report listens.
    bool FListenWanted = false;
    bool FRegistering = false;
    std::thread FRegistration;
    // Blink phase of ConnectTray: 0 or all bits set.
    int FConnectTrayTag = 0;
    // Display work queued for the main thread and not yet run.
    std::atomic<int> FQueuedDisplay{0};
};
