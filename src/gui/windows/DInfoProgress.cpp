#include "windows/DInfoProgress.h"

#include "notify/NotifyLook.h"
#include "widgets/Icons.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QPointer>
#include <QShowEvent>

namespace {

// The window of the running look-up, while there is one.
QPointer<TfmDInfMsg> runningLookup;

QLabel *makeLabel(QWidget *parent, const char *name, const QRect &geometry)
{
    auto *label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(geometry);
    label->setAlignment(Qt::AlignCenter);
    label->setTextFormat(Qt::PlainText);
    return label;
}
} // namespace

TfmDInfMsg::TfmDInfMsg(QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("fmDInfMsg"));
    setAttribute(Qt::WA_QuitOnClose, false);
    setWindowTitle(tr("Anruf von "));
    setFixedSize(305, 98);

    Image1 = makeLabel(this, "Image1", QRect(0, 0, 305, 98));
    Image1->setScaledContents(true);

    lbName = makeLabel(this, "lbName", QRect(48, 14, 225, 25));
    lbName->setText(tr("D-Info Suche läuft ..."));
    QFont nameFont(QStringLiteral("Times New Roman"));
    nameFont.setStyleHint(QFont::Serif);
    nameFont.setPixelSize(21);
    lbName->setFont(nameFont);

    Bevel1 = new QFrame(this);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setGeometry(6, 64, 293, 2);
    Bevel1->setFrameShape(QFrame::HLine);
    Bevel1->setFrameShadow(QFrame::Sunken);

    lbHinweis = makeLabel(this, "lbHinweis", QRect(8, 74, 289, 17));
    lbHinweis->setText(tr("Bitte einen Moment Geduld ..."));
    QFont smallFont = QApplication::font();
    smallFont.setPixelSize(11);
    lbHinweis->setFont(smallFont);

    // A magnifier over pages: a search is running.
    ImageCtrl2 = makeLabel(this, "ImageCtrl2", QRect(8, 8, 32, 32));
    ImageCtrl2->setPixmap(Icons::convertFrames(32).constFirst());

    lbNr = makeLabel(this, "lbNr", QRect(48, 40, 201, 18));
    QFont numberFont = nameFont;
    numberFont.setPixelSize(16);
    lbNr->setFont(numberFont);
}

void TfmDInfMsg::setNumber(const QString &number)
{
    lbNr->setText(QStringLiteral("\" ") + number + QStringLiteral(" \""));
}

void TfmDInfMsg::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (FShown || event->spontaneous())
        return;
    FShown = true;
    NotifyLook::placeFromSettings(this);
    NotifyLook::applyFontColor({lbName, lbNr, lbHinweis});
    NotifyLook::applyBackground(this, Image1);
}

void TfmDInfMsg::FormActivate()
{
    raise();
    activateWindow();
}

void TfmDInfMsg::closeEvent(QCloseEvent *event)
{
    // Where the user leaves it, the next notification appears too.
    NotifyLook::storePosition(this);
    event->ignore();
    hide();
}

void ShowDInfMsg(const QString &number, bool close)
{
    if (close) {
        delete runningLookup.data();
        return;
    }
    auto *window = new TfmDInfMsg;
    runningLookup = window;
    window->setNumber(number);
    window->show();
    window->FormActivate();
}
