#pragma once

// The data transfer between two copies of the program, as the main window shows it: server mode,
// the dial page, the file list and transfer pages, the icon shown during a transfer and the
// reactions to the component's connection and transfer events.

#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

namespace Ui {
class TransferPages;
}
class CallerDirectory;
class QLabel;
class QStackedWidget;
class QWidget;
class TCapi20;
class TTrayIcon;
enum TTransferBlock : uint8_t;

// The three transfer pages ("Progress", "Anwahl", "Upload") and what drives them. The main window
// puts the pages into its notebook and connects its menu; everything the pages need of it goes
// through the signals below. The object sets the component's connection and transfer events
// (OnConnect, OnBConnect, OnBDisconnect, OnDisconnect, OnReceiveFileList, OnSendFile,
// OnReceiveFile, OnTransferError): it must exist before the component registers.
class TransferPages : public QObject
{
    Q_OBJECT
public:
    // Runs display work on the main thread behind the calls still to be shown.
    using DisplayQueue = std::function<void(std::function<void()>)>;
    // The caller directory, once it is open (null before).
    using CallerSource = std::function<CallerDirectory *()>;
    // The pages a transfer step asks for; the main window maps them onto its notebook.
    enum class Page
    {
        Start,
        Progress,
        Dial,
        Upload,
    };

    // `window` is the parent of this object, its dialogs and its tray icon; the object lives on
    // its thread.
    TransferPages(TCapi20 &capi, CallerSource callers, DisplayQueue queueDisplay, QWidget *window);
    ~TransferPages() override;

    // The pages, to be put into a stacked notebook (progress, dial, upload); until then they
    // belong to this object.
    QWidget *ProgressPage() const;
    QWidget *DialPage() const;
    QWidget *UploadPage() const;
    // The notification-area icon shown while a data link stands.
    TTrayIcon *ConnectTray() const { return m_connectTray; }

    // Loads the pages' options ("Nach Empfang trennen", "Betrieb an Nebenstelle").
    void LoadOptions();
    // The folder the file chooser of "Senden" opens.
    void SetSendFolder(const QString &folder) { m_sendFolder = folder; }

    bool ServerMode() const { return m_serverMode; }
    void SetServerMode(bool on);
    // "Servermodus" (F9) when the check mark is not the menu's own.
    void ToggleServerMode() { SetServerMode(!m_serverMode); }
    // "Verbindungsaufbau" (F10): opens the dial page.
    void OpenDialPage();
    // "Status": the progress page.
    void ShowProgress();

    // The file name part of a remote list item "name [date time, Größe : size]": the text
    // before its last " [" (names may hold blanks); empty for an item without one.
    static QString FileNameOfListItem(const QString &item);

signals:
    // The window title a transfer step shows, and the window's own title again.
    void titleWanted(const QString &title);
    void mainTitleWanted();
    // The main window's status line (what the transfer shows there in server mode).
    void statusWanted(const QString &text);
    void pageWanted(TransferPages::Page page);
    // The window shown, restored and in front.
    void windowWanted();
    // Listening anew: server mode narrows (or widens again) the services for data calls.
    void listenAgainWanted();
    // Server mode switched (the menu's check mark and "Status" follow it).
    void serverModeChanged(bool on);
    // Asked before dialling: the receiver returns once a registration under way has reported.
    void registrationAwaited();

private:
    void ConnectControls();
    void ConnectComponent();
    // Runs display work on the main thread: at once when called there with nothing queued,
    // otherwise queued behind the work queued before it.
    void RunDisplay(std::function<void()> work);
    bool DialPageShown() const;
    // The status line of the transfer events: the main window's in server mode, the dial page's
    // otherwise.
    void ShowStatus(const QString &text);

    // Dial page.
    void ChangeCallersChange();
    void ChangeNumberChange();
    void cbDialWithClick();
    void CallBtnClick();
    void DFUoutBtnClick();
    void DFUabortBtnClick();
    // Upload page.
    void FileListBtnClick();
    // Receives the ticked files of the remote list one after another.
    void UploadBtnClick();
    void SendBtnClick();
    void EndSessionBtnClick();
    void cbAutoDisconnectClick();
    // Progress page.
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
    // A transfer failed or was refused: the file it concerns and why. Ends the wait of a
    // receive run for its file and shows the failure like a finished transfer.
    void Capi2TransferError(const QString &Filename, uint32_t ErrorNumber);
    // What a step of a file transfer shows (Capi2SendFile, Capi2ReceiveFile).
    void ShowTransferStep(bool receiving, const QString &Filename, int64_t FileSize, int64_t FileProgress,
                          TTransferBlock FileBlock);
    void ShowByteRate(int64_t bytes);
    // show: the transfer icon is shown; kind 0/1/2 connect/send/receive, 5/6 blink
    // receiving/sending.
    void SetConnectIcon(bool show, int kind);

    TCapi20 &m_capi;
    CallerSource m_callers;
    DisplayQueue m_queueDisplay;
    QWidget *m_window;
    // Holds the pages until the main window takes them.
    std::unique_ptr<QStackedWidget> m_holder;
    std::unique_ptr<Ui::TransferPages> ui;
    TTrayIcon *m_connectTray = nullptr;
    // Hidden holder of the glyph drawn before each dfuList item.
    QLabel *Image5 = nullptr;

    bool m_serverMode = false;
    QString m_sendFolder;
    // The numbers of the dial page's names, in their order.
    QStringList m_dialNumbers;
    // A receive run's file is in (or will not come).
    std::atomic<bool> m_transferDone{false};
    bool m_prefixApplied = false;
    // Last byte-rate sample: the millisecond tick count and the bytes received by then.
    qint64 m_rateTime = 0;
    qint64 m_rateBytes = 0;
    // Blink phase of the transfer icon: 0 or all bits set.
    int m_connectTrayTag = 0;
    // Display work queued for the main thread and not yet run.
    std::atomic<int> m_queuedDisplay{0};
};
