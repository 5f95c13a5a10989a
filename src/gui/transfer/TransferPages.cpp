// The transfer pages and their reactions to the component's connection and transfer events.
#include "transfer/TransferPages.h"

#include "calls/CallerDirectory.h"
#include "capi/Capi20.h"
#include "common/Clock.h"
#include "common/Errors.h"
#include "common/Utils.h"
#include "notify/TrayIcon.h"
#include "settings/SettingsStore.h"
#include "ui_TransferPages.h"
#include "widgets/Icons.h"
#include "widgets/MessageDialog.h"
#include "widgets/StandardDialogs.h"

#include <QFileInfo>
#include <QKeyEvent>
#include <QPainter>
#include <QPointer>
#include <QRegularExpressionValidator>
#include <QStackedWidget>
#include <QStyledItemDelegate>
#include <QThread>

namespace {
const char *const kTitleServer = QT_TRANSLATE_NOOP("TransferPages", "Rufwart 32 - Servermodus (DATA 64K)");
const char *const kTitleDial = QT_TRANSLATE_NOOP("TransferPages", "Rufwart 32 - Verbindungsaufbau");
const char *const kTitleReceive = QT_TRANSLATE_NOOP("TransferPages", "Rufwart 32 - Empfangen");
const char *const kTitleSend = QT_TRANSLATE_NOOP("TransferPages", "Rufwart 32 - Senden");
const char *const kPleaseChoose = QT_TRANSLATE_NOOP("TransferPages", "Bitte wählen Sie ...");
const char *const kWaitForRemote = QT_TRANSLATE_NOOP("TransferPages", "Warte auf Gegenstelle ...");
// Data calls at 64 kbit/s.
constexpr uint8_t kDataService = 6;
// SendCommand kinds.
constexpr uint8_t kAskFileList = 0;
constexpr uint8_t kAskFile = 1;

// Draws each finished transfer as the glyph of Image5 followed by its text, on the list's own
// background; items are 16 pixels high.
class DfuItemDelegate : public QStyledItemDelegate
{
public:
    DfuItemDelegate(QLabel *glyphHolder, QObject *parent) : QStyledItemDelegate(parent), m_glyph(glyphHolder)
    {}

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        if (index.row() < 0)
            return;
        const QRect r = option.rect;
        const QWidget *list = option.widget;
        painter->fillRect(r, list ? list->palette().color(list->backgroundRole()) : option.palette.base());
        const QPixmap glyph = m_glyph->pixmap();
        painter->drawPixmap(r.left() + 2, r.top() + 3, glyph);
        painter->setPen(option.palette.color(QPalette::Text));
        const QRect textRect(r.left() + glyph.width() + 6, r.top() + 2, r.width() - glyph.width() - 6,
                             r.height() - 2);
        painter->drawText(textRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                          index.data(Qt::DisplayRole).toString());
    }

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        return {QStyledItemDelegate::sizeHint(option, index).width(), 16};
    }

private:
    QLabel *m_glyph;
};

// Enter in the name list moves on to the number.
class EnterMovesFocus : public QObject
{
public:
    EnterMovesFocus(QWidget *target, QObject *parent) : QObject(parent), m_target(target) {}

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent *>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                m_target->setFocus();
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QWidget *m_target;
};

// Why a transfer failed, in a few words (the error numbers of the component).
QString TransferErrorReason(uint32_t number)
{
    using namespace CapiError;
    switch (number) {
    case ERR_TRANSFER_NAME_REFUSED:
        return TransferPages::tr("Name abgelehnt");
    case ERR_TRANSFER_REQUEST_REFUSED:
        return TransferPages::tr("Anforderung abgelehnt");
    case ERR_TRANSFER_BAD_SIZE:
        return TransferPages::tr("Größe stimmt nicht");
    case ERR_TRANSFER_NO_FILE:
        return TransferPages::tr("Daten ohne Datei");
    case ERR_TRANSFER_WRITE:
        return TransferPages::tr("Schreibfehler");
    case ERR_TRANSFER_READ:
        return TransferPages::tr("Lesefehler");
    case ERR_TRANSFER_LINK_LOST:
        return TransferPages::tr("Verbindung abgebrochen");
    case ERR_TRANSFER_INCOMPLETE:
        return TransferPages::tr("unvollständig");
    case ERR_TRANSFER_NOT_SENT:
        return TransferPages::tr("nicht angenommen");
    case ERR_TRANSFER_BUSY:
        return TransferPages::tr("andere Übertragung läuft");
    case ERR_TRANSFER_TOO_LARGE:
        return TransferPages::tr("zu groß");
    case ERR_TRANSFER_NO_SPACE:
        return TransferPages::tr("kein Platz");
    default:
        return TransferPages::tr("Fehler %1").arg(number, 4, 16, QLatin1Char('0'));
    }
}

// The glyph before each finished transfer: a small page with a tick.
QPixmap transferGlyph()
{
    QPixmap pm(10, 10);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x40, 0x40, 0x40), 1));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(0.5, 0.5, 8, 9));
    p.setPen(QPen(QColor(0x10, 0x90, 0x20), 2));
    p.drawPolyline(QPolygonF({QPointF(2, 5), QPointF(4, 7.5), QPointF(8, 2)}));
    return pm;
}
} // namespace

TransferPages::TransferPages(TCapi20 &capi, CallerSource callers, DisplayQueue queueDisplay, QWidget *window)
    : QObject(window), m_capi(capi), m_callers(std::move(callers)), m_queueDisplay(std::move(queueDisplay)),
      m_window(window), m_holder(std::make_unique<QStackedWidget>()),
      ui(std::make_unique<Ui::TransferPages>())
{
    setObjectName(QStringLiteral("TransferPages"));
    ui->setupUi(m_holder.get());
    // The pages leave the holder's stack; they stay its children until a notebook takes them.
    for (QWidget *page : {ui->pgProgress, ui->pgAnwahl, ui->pgUpload})
        m_holder->removeWidget(page);
    m_connectTray = new TTrayIcon(this);
    m_connectTray->setObjectName(QStringLiteral("ConnectTray"));
    m_connectTray->setToolTip(tr("Datenübertragung"));
    ConnectControls();
    ConnectComponent();
}

TransferPages::~TransferPages() = default;

QWidget *TransferPages::ProgressPage() const
{
    return ui->pgProgress;
}

QWidget *TransferPages::DialPage() const
{
    return ui->pgAnwahl;
}

QWidget *TransferPages::UploadPage() const
{
    return ui->pgUpload;
}

void TransferPages::LoadOptions()
{
    ui->cbAutoDisconnect->setChecked(Settings::Read(Settings::AutoDisconnect));
    ui->cbDialWith->setChecked(Settings::Read(Settings::Nebenstelle));
}

void TransferPages::ConnectControls()
{
    // Dial page.
    ui->ChangeNumber->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), ui->ChangeNumber));
    ui->ChangeCallers->installEventFilter(new EnterMovesFocus(ui->ChangeNumber, this));
    connect(ui->ChangeCallers, &QComboBox::activated, this, &TransferPages::ChangeCallersChange);
    connect(ui->ChangeNumber, &QLineEdit::textChanged, this, &TransferPages::ChangeNumberChange);
    connect(ui->cbDialWith, &QCheckBox::toggled, this, &TransferPages::cbDialWithClick);
    connect(ui->CallBtn, &QPushButton::clicked, this, &TransferPages::CallBtnClick);
    connect(ui->DFUoutBtn, &QPushButton::clicked, this, &TransferPages::DFUoutBtnClick);
    connect(ui->DFUabortBtn, &QPushButton::clicked, this, &TransferPages::DFUabortBtnClick);

    // Upload page.
    connect(ui->FileListBtn, &QPushButton::clicked, this, &TransferPages::FileListBtnClick);
    connect(ui->UploadBtn, &QPushButton::clicked, this, &TransferPages::UploadBtnClick);
    connect(ui->SendBtn, &QPushButton::clicked, this, &TransferPages::SendBtnClick);
    connect(ui->EndSessionBtn, &QPushButton::clicked, this, &TransferPages::EndSessionBtnClick);
    connect(ui->cbAutoDisconnect, &QCheckBox::toggled, this, &TransferPages::cbAutoDisconnectClick);

    // Progress page: a segmented bar without text, the list of finished transfers.
    ui->Gauge->setRange(0, 100);
    ui->Gauge->setTextVisible(false);
    ui->Gauge->setStyleSheet(QStringLiteral("QProgressBar { border: 1px solid palette(mid); background: "
                                            "palette(base); height: 14px; }"
                                            "QProgressBar::chunk { background: #1f3f9f; width: 7px; "
                                            "margin: 1px; }"));
    Image5 = new QLabel(ui->pgProgress);
    Image5->setObjectName(QStringLiteral("Image5"));
    Image5->setPixmap(transferGlyph());
    Image5->setVisible(false);
    ui->dfuList->setItemDelegate(new DfuItemDelegate(Image5, ui->dfuList));
    ui->dfuList->setUniformItemSizes(true);
    connect(ui->Undo2Btn, &QPushButton::clicked, this, &TransferPages::Undo2BtnClick);
}

void TransferPages::ConnectComponent()
{
    m_capi.OnConnect = [this](TCapi20 *) { Capi2Connect(); };
    m_capi.OnBConnect = [this](TCapi20 *, int NCCI) { Capi2BConnect(NCCI); };
    m_capi.OnBDisconnect = [this](TCapi20 *, int NCCI, uint32_t Grund) { Capi2BDisconnect(NCCI, Grund); };
    m_capi.OnDisconnect = [this](TCapi20 *, uint32_t Grund) { Capi2Disconnect(Grund); };
    m_capi.OnReceiveFileList = [this](TCapi20 *, const QString &Item) { Capi2ReceiveFileList(Item); };
    m_capi.OnSendFile = [this](TCapi20 *, const QString &Filename, int64_t FileSize, int64_t FileProgress,
                               TTransferBlock FileBlock) {
        Capi2SendFile(Filename, FileSize, FileProgress, FileBlock);
    };
    m_capi.OnReceiveFile = [this](TCapi20 *, const QString &Filename, int64_t FileSize, int64_t FileProgress,
                                  TTransferBlock FileBlock) {
        Capi2ReceiveFile(Filename, FileSize, FileProgress, FileBlock);
    };
    m_capi.OnTransferError = [this](TCapi20 *, const QString &Filename, uint32_t ErrorNumber) {
        Capi2TransferError(Filename, ErrorNumber);
    };
}

// ---- helpers ----

void TransferPages::RunDisplay(std::function<void()> work)
{
    if (QThread::currentThread() == thread() && m_queuedDisplay.load() == 0) {
        m_queueDisplay(std::move(work));
        return;
    }
    ++m_queuedDisplay;
    QMetaObject::invokeMethod(
        this,
        [this, work = std::move(work)]() mutable {
            --m_queuedDisplay;
            m_queueDisplay(std::move(work));
        },
        Qt::QueuedConnection);
}

bool TransferPages::DialPageShown() const
{
    const auto *notebook = qobject_cast<const QStackedWidget *>(ui->pgAnwahl->parentWidget());
    return notebook != nullptr && notebook->currentWidget() == ui->pgAnwahl;
}

void TransferPages::ShowStatus(const QString &text)
{
    if (m_serverMode)
        emit statusWanted(text);
    else
        ui->lbConnectMsg->setText(text);
}

QString TransferPages::FileNameOfListItem(const QString &item)
{
    const qsizetype bracket = item.lastIndexOf(QStringLiteral(" ["));
    return bracket < 0 ? QString() : item.left(bracket);
}

// ---- server mode ----

void TransferPages::SetServerMode(bool on)
{
    m_serverMode = on;
    emit serverModeChanged(on);
    // Listening anew narrows (or widens again) the services for data calls.
    emit listenAgainWanted();
    if (on)
        emit titleWanted(tr(kTitleServer));
}

void TransferPages::ShowProgress()
{
    emit pageWanted(Page::Progress);
}

// ---- dial page ----

void TransferPages::OpenDialPage()
{
    emit windowWanted();
    SetServerMode(false);
    emit titleWanted(tr(kTitleDial));

    ui->ChangeCallers->clear();
    m_dialNumbers.clear();
    if (CallerDirectory *callers = m_callers()) {
        for (const QString &key : callers->ListKeys()) {
            const QString value = callers->ReadValue(key);
            if (value.size() <= 2)
                continue;
            QString name;
            bool blocked = false;
            CallerDirectory::SplitValue(value, &name, &blocked);
            ui->ChangeCallers->addItem(name);
            m_dialNumbers << key;
        }
    }
    ui->ChangeCallers->setCurrentIndex(-1);

    ui->lbConnectMsg->setText(tr(kPleaseChoose));
    ui->DFUoutBtn->setEnabled(false);
    m_prefixApplied = false;
    ui->ChangeNumber->clear();

    const QString last = Settings::Read(Settings::LastDFUConnect);
    if (!last.isEmpty())
        ui->ChangeCallers->setCurrentIndex(ui->ChangeCallers->findText(last, Qt::MatchExactly));
    ChangeCallersChange();

    emit pageWanted(Page::Dial);
    ui->ChangeCallers->setFocus();
}

void TransferPages::ChangeCallersChange()
{
    const int index = ui->ChangeCallers->currentIndex();
    if (index < 0 || index >= m_dialNumbers.size())
        return;
    ui->ChangeNumber->setText(m_dialNumbers.at(index));
    StoreSetting([&] { Settings::Write(Settings::LastDFUConnect, ui->ChangeCallers->itemText(index)); });
}

void TransferPages::ChangeNumberChange()
{
    ui->CallBtn->setEnabled(!ui->ChangeNumber->text().isEmpty());
}

void TransferPages::cbDialWithClick()
{
    if (!DialPageShown())
        return;
    StoreSetting([&] { Settings::Write(Settings::Nebenstelle, ui->cbDialWith->isChecked()); });
    if (ui->CallBtn->isEnabled())
        ui->CallBtn->setFocus();
}

void TransferPages::CallBtnClick()
{
    ui->UploadList->clear();
    // Behind a private branch exchange the outside line takes a leading "0", once per opening.
    if (ui->cbDialWith->isChecked() && !m_prefixApplied) {
        ui->ChangeNumber->setText(QStringLiteral("0") + ui->ChangeNumber->text());
        m_prefixApplied = true;
    }
    const QString number = ui->ChangeNumber->text().left(255);
    ui->lbConnectMsg->setText(tr("Wähle %1 ...").arg(number));
    // Opening this page registered anew (client mode); that registration reports first.
    emit registrationAwaited();
    // Progress arrives through the connection events; a failed dial shows nothing more.
    m_capi.Dial(number, QString(), kDataService);
    ui->DFUoutBtn->setEnabled(true);
}

void TransferPages::DFUoutBtnClick()
{
    m_capi.Disconnect(1);
}

void TransferPages::DFUabortBtnClick()
{
    m_capi.Disconnect(1);
    emit listenAgainWanted();
    emit pageWanted(Page::Start);
}

// ---- connection events ----

void TransferPages::Capi2Connect()
{
    RunDisplay([this] { ShowStatus(tr("Warte auf B-Kanal  ...")); });
    m_capi.ConnectB3();
}

void TransferPages::Capi2BConnect(int /*NCCI*/)
{
    RunDisplay([this] {
        if (m_serverMode) {
            emit statusWanted(tr("Datenübertragung ..."));
        } else {
            ui->lbConnectMsg->setText(tr("B-Kanal Verbindung wird aufgebaut  ..."));
            emit titleWanted(tr(kTitleReceive));
            emit pageWanted(Page::Upload);
        }
        SetConnectIcon(true, 0);
    });
}

void TransferPages::Capi2BDisconnect(int /*NCCI*/, uint32_t /*Grund*/)
{
    RunDisplay([this] {
        ShowStatus(m_serverMode ? tr("Datenübertragung beendet ...") : tr("B-Kanal Verbindung beendet  ..."));
        SetConnectIcon(false, 0);
    });
}

void TransferPages::Capi2Disconnect(uint32_t /*Grund*/)
{
    // Ends a receive run that waits for a file at once.
    m_transferDone = true;
    RunDisplay([this] { ShowStatus(tr("Verbindung getrennt  ...")); });
}

// ---- upload page ----

void TransferPages::FileListBtnClick()
{
    ui->UploadList->clear();
    m_capi.SendCommand(kAskFileList, QString());
}

void TransferPages::Capi2ReceiveFileList(const QString &Item)
{
    RunDisplay([this, Item] {
        auto *item = new QListWidgetItem(Item, ui->UploadList);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Checked);
    });
}

void TransferPages::UploadBtnClick()
{
    ui->lbByteSec->setText(QStringLiteral("0"));
    QPalette listColours = ui->dfuList->palette();
    listColours.setColor(QPalette::Base, m_window->palette().color(QPalette::Window));
    ui->dfuList->setPalette(listColours);
    ui->dfuList->clear();
    emit pageWanted(Page::Progress);
    ui->Gauge->setVisible(true);
    ui->ProgressLabel->setVisible(true);
    m_transferDone = true;
    m_rateTime = 0;
    m_rateBytes = 0;

    const QPointer<TransferPages> alive(this);
    // The list may change while a file arrives: every step reads it afresh.
    for (int i = 0; i < ui->UploadList->count(); ++i) {
        const QListWidgetItem *item = ui->UploadList->item(i);
        if (item->checkState() != Qt::Checked)
            continue;
        // Cleared before the request goes out, so a disconnect that comes at once still counts.
        m_transferDone = false;
        m_capi.SendCommand(kAskFile, FileNameOfListItem(item->text()));
        // Without a B-channel link (the other side has gone already) nothing can come.
        if (m_capi.CallState() < 3)
            m_transferDone = true;
        WaitFor([this] { return m_transferDone.load(); }, -1);
        if (!alive)
            return;
    }

    ui->Gauge->setVisible(false);
    ui->ProgressLabel->setVisible(false);
    if (ui->cbAutoDisconnect->isChecked())
        ui->EndSessionBtn->click();
    else
        emit pageWanted(Page::Upload);
}

void TransferPages::SendBtnClick()
{
    const QString path =
        ChooseOpenFile(m_window, tr("Datei senden ..."), tr("Alle Dateien|*.*"), m_sendFolder);
    if (path.size() <= 5 || !QFileInfo(path).isFile())
        return;
    emit pageWanted(Page::Progress);
    if (!m_serverMode)
        emit titleWanted(tr(kTitleSend));
    const QPointer<TransferPages> alive(this);
    m_capi.SendFile(path);
    if (alive && !m_serverMode)
        emit titleWanted(tr(kTitleReceive));
}

void TransferPages::EndSessionBtnClick()
{
    m_transferDone = true;
    m_capi.Disconnect(1);
    emit mainTitleWanted();
    SetConnectIcon(false, 0);
    emit pageWanted(Page::Start);
}

void TransferPages::cbAutoDisconnectClick()
{
    StoreSetting([&] { Settings::Write(Settings::AutoDisconnect, ui->cbAutoDisconnect->isChecked()); });
}

// ---- progress page ----

void TransferPages::Undo2BtnClick()
{
    emit pageWanted(m_serverMode ? Page::Start : Page::Upload);
}

void TransferPages::Capi2SendFile(const QString &Filename, int64_t FileSize, int64_t FileProgress,
                                  TTransferBlock FileBlock)
{
    RunDisplay([=, this] { ShowTransferStep(false, Filename, FileSize, FileProgress, FileBlock); });
}

void TransferPages::Capi2ReceiveFile(const QString &Filename, int64_t FileSize, int64_t FileProgress,
                                     TTransferBlock FileBlock)
{
    RunDisplay([=, this] { ShowTransferStep(true, Filename, FileSize, FileProgress, FileBlock); });
}

void TransferPages::Capi2TransferError(const QString &Filename, uint32_t ErrorNumber)
{
    RunDisplay([this, Filename, ErrorNumber] {
        const QString line = tr("%1 fehlgeschlagen (%2) ...").arg(Filename, TransferErrorReason(ErrorNumber));
        ui->dfuList->addItem(line);
        if (m_serverMode)
            emit statusWanted(line);
        // The file a receive run waits for will not come (or not whole); the run goes on once
        // this is shown.
        m_transferDone = true;
    });
}

void TransferPages::ShowTransferStep(bool receiving, const QString &Filename, int64_t FileSize,
                                     int64_t FileProgress, TTransferBlock FileBlock)
{
    Q_ASSERT(QThread::currentThread() == thread());
    switch (FileBlock) {
    case tbFileName:
        SetConnectIcon(true, receiving ? 2 : 1);
        if (!m_serverMode) {
            ui->Gauge->setValue(0);
            ui->Gauge->setVisible(true);
            ui->ProgressLabel->setText(tr(kWaitForRemote));
            ui->ProgressLabel->setVisible(true);
            if (receiving) {
                // The rate of this file counts from its own first byte.
                m_rateTime = Clock::ticks();
                m_rateBytes = 0;
            }
        }
        break;
    case tbFileData: {
        SetConnectIcon(true, receiving ? 5 : 6);
        const int p = TransferPercent(FileProgress, FileSize);
        if (m_serverMode) {
            const QString step =
                receiving ? tr("Empfange %1 ( %2 % erledigt )") : tr("Sende %1 ( %2 % erledigt )");
            emit statusWanted(step.arg(Filename, QString::number(p)));
        } else {
            ui->Gauge->setValue(p);
            ui->ProgressLabel->setText(
                (receiving ? tr("Empfange %1 ...") : tr("Sende %1 ...")).arg(Filename));
            ui->Gauge->repaint();
            if (receiving)
                ShowByteRate(FileProgress);
        }
        break;
    }
    case tbFileEnd: {
        SetConnectIcon(true, 0);
        if (receiving)
            m_transferDone = true;
        const QString done =
            (receiving ? tr("%1 erfolgreich empfangen ...") : tr("%1 erfolgreich gesendet ..."))
                .arg(Filename);
        ui->dfuList->addItem(done);
        if (m_serverMode)
            emit statusWanted(done);
        // A receive run hides the bar itself once its last file is in.
        if (!receiving) {
            ui->Gauge->setVisible(false);
            ui->ProgressLabel->setVisible(false);
        }
        break;
    }
    case tbFileError:
        // Why it stopped is shown by Capi2TransferError. The icon stays as the link is (a link
        // that went down has hidden it already).
        SetConnectIcon(m_connectTray->Active(), 0);
        if (receiving)
            m_transferDone = true;
        else if (!m_serverMode) {
            ui->Gauge->setVisible(false);
            ui->ProgressLabel->setVisible(false);
        }
        break;
    default:
        break; // the size changes nothing on the screen
    }
}

void TransferPages::ShowByteRate(int64_t bytes)
{
    Q_ASSERT(QThread::currentThread() == thread());
    // The shown rate changes once a second and covers the time since the last change, so it
    // stays steady whatever the block size.
    const qint64 now = Clock::ticks();
    if (now / 1000 == m_rateTime / 1000)
        return;
    const qint64 elapsed = now - m_rateTime;
    if (elapsed > 0)
        ui->lbByteSec->setText(QString::number((bytes - m_rateBytes) * 1000 / elapsed));
    ui->lbByteSec->repaint();
    m_rateTime = now;
    m_rateBytes = bytes;
}

void TransferPages::SetConnectIcon(bool show, int kind)
{
    Q_ASSERT(QThread::currentThread() == thread());
    switch (kind) {
    case 0:
        m_connectTray->setIcon(Icons::connectIcon());
        break;
    case 1:
        m_connectTray->setIcon(Icons::sendIcon());
        break;
    case 2:
        m_connectTray->setIcon(Icons::receiveIcon());
        break;
    case 5:
    case 6:
        // Alternates with every data block.
        if (m_connectTrayTag == 0)
            m_connectTray->setIcon(kind == 5 ? Icons::receiveIcon() : Icons::sendIcon());
        else
            m_connectTray->setIcon(Icons::connectIcon());
        m_connectTrayTag = ~m_connectTrayTag;
        break;
    default:
        break;
    }
    m_connectTray->setActive(show);
}
