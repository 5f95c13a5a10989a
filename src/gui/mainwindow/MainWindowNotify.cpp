// The main window's desktop notifications and missed calls.
//
// A call for the "Externes Fenster" goes to the desktop's notification service when the user
// chose so on the notification settings window; its actions block the caller or open the record
// dialog. Without a service the own notification window shows the call, and the status line says
// so once. Calls the user may have missed are counted on the notification-area icon until the
// user looks at the call list or the journal.
#include "mainwindow/MainWindow.h"

#include "CallNetwork.h"
#include "calls/CallerDirectory.h"
#include "common/Clock.h"
#include "mainwindow/OptionsPage.h"
#include "monitor/CallPipeline.h"
#include "notify/DesktopNotifier.h"
#include "notify/TrayIcon.h"
#include "ui_MainWindow.h"
#include "widgets/Icons.h"
#include "windows/CallNotification.h"
#include "windows/CallerRecordDialog.h"
#include "windows/NotificationSettings.h"

#include <QEvent>
#include <QListWidget>

namespace {
const QString kTrayTitle = QStringLiteral("Rufwart 32");
QString noNotificationService()
{
    return TfmMain::tr(" (kein Benachrichtigungsdienst)");
}

// Tells when the user looks at the call list: the main window activated while the list shows,
// or a click or key in the list.
class CallListWatcher : public QObject
{
public:
    CallListWatcher(QObject *parent, std::function<bool()> listShows, std::function<void()> looked)
        : QObject(parent), m_listShows(std::move(listShows)), m_looked(std::move(looked))
    {}

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::WindowActivate:
        case QEvent::MouseButtonPress:
        case QEvent::KeyPress:
            if (m_listShows())
                m_looked();
            break;
        default:
            break;
        }
        return false;
    }

private:
    std::function<bool()> m_listShows;
    std::function<void()> m_looked;
};
} // namespace

void TfmMain::ConnectNotifications()
{
    auto *watcher = new CallListWatcher(
        this, [this] { return CallListShows(); }, [this] { LookedAtCalls(); });
    installEventFilter(watcher);
    ui->CallList->installEventFilter(watcher);
    ui->CallList->viewport()->installEventFilter(watcher);
}

void TfmMain::ShowExternalCall(const RingDecision &d, const QString &msn)
{
    if (!ExtWinAsDesktopNotification()) {
        ShowCallMsg(d.Label, d.CallMsgNumber, d.Hint, QString());
        return;
    }
    if (!FNotifier) {
        // The session bus is reached only once a call is to be shown there.
        FNotifier = new DesktopNotifier(QDBusConnection::sessionBus(), this);
        FNotifier->OnBlock = [this](const QString &key) {
            // A call of another copy: that copy owns the directory and is asked to block.
            if (const QString node = FRemoteOwners.value(key); !node.isEmpty()) {
                FNetwork->AskToBlock(node, key);
                return;
            }
            if (CallerDirectory *callers = FPipeline->Callers())
                BlockCaller(*callers, key);
        };
        FNotifier->OnEdit = [this](const QString &key) { EditNoticeCaller(key); };
    }
    CallNotice notice;
    notice.Caller = d.Label;
    notice.Msn = msn;
    notice.Service = d.Service;
    // The window's hint is the service unless the caller is blocked or the call ignored.
    if (d.Hint != d.Service)
        notice.Hint = d.Hint;
    // The actions act on the caller's own number, not on the group key that matched it.
    notice.CallerKey = d.OwnKey;
    notice.CanBlock = !d.Blocked && IsCallerKey(d.OwnKey);
    // Calls kept shown ("Autom. minimieren" off, or a display time of 0) stay until closed;
    // otherwise the desktop shows them as long as it shows its notifications.
    const bool keep = !FOptionsPage->AutoMinimize() || CallMsgCloseInterval(FOptionsPage->DisplayTime()) == 0;
    notice.TimeoutMs = keep ? 0 : -1;
    FNotifier->Notify(notice, [this, label = d.Label, number = d.CallMsgNumber, hint = d.Hint] {
        ShowCallMsg(label, number, hint, QString());
        if (!FNoNotifierTold) {
            FNoNotifierTold = true;
            ui->ISDNBar->setText(ui->ISDNBar->text() + noNotificationService());
        }
    });
}

void TfmMain::EditNoticeCaller(const QString &key)
{
    CallerDirectory *callers = FPipeline->Callers();
    if (!callers)
        return;
    const QString name = EditCaller(*callers, key, FDInfo.get(), this);
    // The newest call list entry shows the new name, as after a double-click on it.
    if (ui->CallList->count() == 0)
        return;
    QListWidgetItem *last = ui->CallList->item(ui->CallList->count() - 1);
    const CallListTarget target = CallListEntryTarget(last->text(), true, FCallerKey);
    if (target.Key == key)
        last->setText(target.Head + name);
}

bool TfmMain::CallListShows() const
{
    return isVisible() && ui->nb->currentIndex() == PageStart && ui->nb_Call->currentIndex() == CallPageList;
}

bool TfmMain::event(QEvent *event)
{
    const bool result = QWidget::event(event);
    switch (event->type()) {
    case QEvent::Show:
    case QEvent::Hide:
    case QEvent::WindowActivate:
    case QEvent::WindowDeactivate:
        CallListViewChanged();
        break;
    default:
        break;
    }
    return result;
}

void TfmMain::CallListViewChanged()
{
    if (!FPipeline || !FOptionsPage)
        return;
    if ((isActiveWindow() && CallListShows()) != FOptions.CallListInView)
        OptionsChanged();
}

const MissedCalls &TfmMain::Missed() const
{
    return FPipeline->Missed();
}

void TfmMain::LookedAtCalls()
{
    if (FPipeline->LookedAtCalls())
        ShowMissedCalls();
}

void TfmMain::ShowMissedCalls()
{
    if (!TaskIcon1)
        return;
    const MissedCalls &missed = FPipeline->Missed();
    TaskIcon1->setIcon(Icons::trayIconWithCount(missed.Count()));
    TaskIcon1->setToolTip(missed.ToolTip(kTrayTitle, Clock::now().date()));
}
