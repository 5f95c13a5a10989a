#include "windows/CallNotification.h"

#include "notify/NotifyLook.h"
#include "settings/SettingsStore.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QPainter>
#include <QPainterPath>
#include <QShowEvent>
#include <QWindow>
#include <algorithm>
#include <limits>

namespace {

const QString kNumberPrefix = QStringLiteral("MSN : ");
const QString kHintPrefix = QStringLiteral("--> ");

// The hint's usual place, right-aligned under the line, and the least type it shrinks to.
const QRect kHintGeometry(166, 74, 131, 17);
constexpr int kSmallPixelSize = 11;
constexpr int kLeastPixelSize = 9;
constexpr int kHintGap = 8; // kept free between the MSN's text and the hint

// The flashing picture: a ringing bell.
QPixmap bellPicture()
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);

    QPainterPath bell;
    bell.moveTo(16, 4);
    bell.cubicTo(24, 4, 25, 11, 25, 16);
    bell.cubicTo(25, 21, 26, 22, 28, 24);
    bell.lineTo(4, 24);
    bell.cubicTo(6, 22, 7, 21, 7, 16);
    bell.cubicTo(7, 11, 8, 4, 16, 4);
    bell.closeSubpath();

    QLinearGradient gold(0, 4, 0, 24);
    gold.setColorAt(0, QColor(255, 236, 120));
    gold.setColorAt(1, QColor(222, 160, 20));
    p.setPen(QPen(QColor(110, 70, 0), 1.2));
    p.setBrush(gold);
    p.drawPath(bell);
    p.drawEllipse(QPointF(16, 26.5), 3, 3);    // clapper
    p.drawEllipse(QPointF(16, 3.5), 1.8, 1.8); // ring on top

    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(255, 250, 230), 1.6, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(QRectF(0.5, 6, 6, 12), 120 * 16, 120 * 16);  // sound, left
    p.drawArc(QRectF(25.5, 6, 6, 12), -60 * 16, 120 * 16); // sound, right
    return pixmap;
}

QLabel *makeLabel(QWidget *parent, const char *name, const QRect &geometry, Qt::Alignment alignment)
{
    auto *label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(geometry);
    label->setAlignment(alignment);
    label->setTextFormat(Qt::PlainText); // caller names are shown as they are, markup and "&" included
    return label;
}

} // namespace

TBlinkImage::TBlinkImage(QWidget *parent) : QLabel(parent)
{
    FBlinkTimer.setInterval(500);
    connect(&FBlinkTimer, &QTimer::timeout, this, [this] { setVisible(!isVisible()); });
}

void TBlinkImage::setBlinking(bool on)
{
    setVisible(on);
    if (on)
        FBlinkTimer.start();
    else
        FBlinkTimer.stop();
}

TfmCallMsg::TfmCallMsg(QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("fmCallMsg"));
    setAttribute(Qt::WA_DeleteOnClose);
    // The program lives in the notification area: a notification closing must never end it.
    setAttribute(Qt::WA_QuitOnClose, false);
    setWindowTitle(tr("Anruf von"));
    setFixedSize(305, 98);

    Image1 = makeLabel(this, "Image1", QRect(0, 0, 305, 98), Qt::AlignCenter);
    Image1->setScaledContents(true);

    lbName = makeLabel(this, "lbName", QRect(8, 24, 289, 25), Qt::AlignCenter);
    QFont nameFont(QStringLiteral("Times New Roman"));
    nameFont.setStyleHint(QFont::Serif); // a serif face where that one is missing
    nameFont.setPixelSize(21);
    lbName->setFont(nameFont);

    ImageCtrl2 = new TBlinkImage(this);
    ImageCtrl2->setObjectName(QStringLiteral("ImageCtrl2"));
    ImageCtrl2->setGeometry(6, 6, 32, 32);
    ImageCtrl2->setPixmap(bellPicture());
    ImageCtrl2->hide();

    Bevel1 = new QFrame(this);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setGeometry(6, 64, 293, 2);
    Bevel1->setFrameShape(QFrame::HLine);
    Bevel1->setFrameShadow(QFrame::Sunken);

    QFont smallFont = QApplication::font();
    smallFont.setPixelSize(11);
    lbMSN = makeLabel(this, "lbMSN", QRect(8, 74, 121, 17), Qt::AlignLeft | Qt::AlignVCenter);
    lbMSN->setFont(smallFont);
    // The hint's last resort for a text that fits nowhere is a shortened display.
    lbHinweis = new TElidedLabel(this);
    lbHinweis->setObjectName(QStringLiteral("lbHinweis"));
    lbHinweis->setGeometry(kHintGeometry);
    lbHinweis->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lbHinweis->setTextFormat(Qt::PlainText);
    lbHinweis->setFont(smallFont);
    setNumber(QString());
    setHint(tr("Anruf "));

    CloseTimer = new QTimer(this);
    CloseTimer->setObjectName(QStringLiteral("CloseTimer"));
    CloseTimer->setInterval(3000);
    connect(CloseTimer, &QTimer::timeout, this, &TfmCallMsg::CloseTimerTimer);
}

void TfmCallMsg::setCaller(const QString &caller)
{
    lbName->setText(caller);
}

void TfmCallMsg::setNumber(const QString &number)
{
    lbMSN->setText(kNumberPrefix + QLatin1Char(' ') + number);
    fitHint();
}

void TfmCallMsg::setHint(const QString &hint)
{
    lbHinweis->setText(kHintPrefix + QLatin1Char(' ') + hint);
    fitHint();
}

void TfmCallMsg::startCloseTimer(int interval)
{
    CloseTimer->setInterval(interval);
    // An interval of 0 never fires: the window stays until the user closes it.
    if (interval > 0)
        CloseTimer->start();
}

void TfmCallMsg::fitHint()
{
    // A hint wider than its place ("Anrufer ist gesperrt !") grows leftwards over the room the
    // MSN's text leaves free, and only when that is not enough takes smaller type.
    const int right = kHintGeometry.x() + kHintGeometry.width();
    const int msnEnd = lbMSN->x() + lbMSN->fontMetrics().horizontalAdvance(lbMSN->text());
    const int room = std::max(kHintGeometry.width(), right - msnEnd - kHintGap);
    QFont font = lbHinweis->font();
    int width = kHintGeometry.width();
    for (int size = kSmallPixelSize; size >= kLeastPixelSize; --size) {
        font.setPixelSize(size);
        const int needed = QFontMetrics(font).horizontalAdvance(lbHinweis->text()) + 1;
        width = std::clamp(needed, kHintGeometry.width(), room);
        if (needed <= room)
            break;
    }
    lbHinweis->setFont(font);
    lbHinweis->setGeometry(right - width, kHintGeometry.y(), width, kHintGeometry.height());
}

void TfmCallMsg::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!FShown && !event->spontaneous()) {
        FShown = true;
        FormShow();
    }
}

void TfmCallMsg::FormShow()
{
    NotifyLook::placeFromSettings(this);
    ImageCtrl2->setBlinking(Settings::Read(Settings::ExtUseAnimation));
    NotifyLook::applyFontColor({lbName, lbMSN, lbHinweis});
    NotifyLook::applyBackground(this, Image1);
}

void TfmCallMsg::FormActivate()
{
    raise();
    activateWindow();
}

void TfmCallMsg::CloseTimerTimer()
{
    CloseTimer->stop();
    if (Settings::Read(Settings::Minimize))
        close();
}

void TfmCallMsg::closeEvent(QCloseEvent *event)
{
    // Whichever notification closes last decides where the next one appears.
    NotifyLook::storePosition(this);
    QWidget::closeEvent(event);
}

int CallMsgCloseInterval(const QString &timeMinimize)
{
    const QString text = timeMinimize.trimmed();
    if (text.isEmpty())
        return 3000;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return 3000;
    }
    // Leading zeros and very long digit strings: count the seconds with a cap instead of overflowing.
    const qint64 limit = std::numeric_limits<int>::max() / 1000;
    qint64 seconds = 0;
    for (const QChar c : text)
        seconds = std::min(limit, seconds * 10 + (c.unicode() - '0'));
    return int(seconds * 1000);
}

TfmCallMsg *ShowCallMsg(const QString &caller, const QString &number, const QString &hint,
                        const QString &title)
{
    auto *window = new TfmCallMsg;
    if (!title.isEmpty())
        window->setWindowTitle(title);
    window->setCaller(caller);
    window->setNumber(number);
    window->startCloseTimer(CallMsgCloseInterval(Settings::Read(Settings::TimeMinimize)));
    if (!hint.isEmpty())
        window->setHint(hint);

    // A notification that appears while a dialog is open stays movable and closable: it is
    // tied to that dialog so the dialog's modality does not block it.
    if (QWidget *modal = QApplication::activeModalWidget()) {
        window->winId();
        if (window->windowHandle() && modal->windowHandle())
            window->windowHandle()->setTransientParent(modal->windowHandle());
    }
    window->show();
    window->FormActivate();
    return window;
}
