#include "windows/MessageDialog.h"

#include "widgets/Icons.h"
#include "windows/MessageDialogForm.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QPushButton>

namespace {
MsgDlgHook::Handler &hookHandler()
{
    static MsgDlgHook::Handler handler;
    return handler;
}

// A carriage return breaks the line; "\r\n" counts as one break.
QString withLineBreaks(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

struct Captions
{
    const char *left; // nullptr: hidden
    const char *right;
};

Captions captionsFor(int kind)
{
    switch (kind) {
    case 0:
        return {"&Nein", "&Ja"};
    case 1:
        return {"&Abbrechen", "&Weiter"};
    case 3:
        return {"&Weiter", "&Ignorieren"};
    default:
        return {nullptr, "&Weiter"};
    }
}
} // namespace

TfmMsgDlg::TfmMsgDlg(const QString &text, int kind, QWidget *parent)
    : TToolDialog(parent), m_text(withLineBreaks(text)), m_kind(kind)
{
    setWindowTitle(QStringLiteral("Mitteilung"));
    setObjectName(QStringLiteral("fmMsgDlg"));
    setFixedSize(kWidth, kHeight);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(6, 6, 32, 32);
    Image1->setPixmap(Icons::messagePicture());

    MsgLabel = new QLabel(this);
    MsgLabel->setObjectName(QStringLiteral("MsgLabel"));
    MsgLabel->setTextFormat(Qt::PlainText); // "&" and "<" show as they are
    MsgLabel->setWordWrap(true);
    MsgLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    MsgLabel->setGeometry(49, 8, kTextWidth, kTextHeight);

    Bevel1 = new QFrame(this);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setFrameShape(QFrame::HLine);
    Bevel1->setFrameShadow(QFrame::Sunken);
    Bevel1->setGeometry(6, 96, 243, 2);

    // The right-hand button comes first in the tab order.
    MsgBtn2 = new QPushButton(QStringLiteral("&Weiter"), this);
    MsgBtn2->setObjectName(QStringLiteral("MsgBtn2"));
    MsgBtn2->setGeometry(180, 110, 65, 25);
    MsgBtn1 = new QPushButton(QStringLiteral("&Abrechen"), this);
    MsgBtn1->setObjectName(QStringLiteral("MsgBtn1"));
    MsgBtn1->setGeometry(108, 110, 65, 25);
    setTabOrder(MsgBtn2, MsgBtn1);

    const Captions captions = captionsFor(kind);
    MsgBtn2->setText(QString::fromUtf8(captions.right));
    if (captions.left)
        MsgBtn1->setText(QString::fromUtf8(captions.left));
    else
        MsgBtn1->hide();
    MsgBtn2->setDefault(true);
    MsgBtn2->setAutoDefault(true);
    MsgBtn1->setAutoDefault(false);

    setFocusOnShow(MsgBtn2);
    connect(MsgBtn1, &QPushButton::clicked, this, &TfmMsgDlg::MsgBtn1Click);
    connect(MsgBtn2, &QPushButton::clicked, this, &TfmMsgDlg::MsgBtn2Click);
}

void TfmMsgDlg::FormShow()
{
    // Measure the text inside the planned width; a word longer than the width widens the dialog
    // rather than being cut off, and more lines than fit make it taller.
    const QRect planned(MsgLabel->x(), MsgLabel->y(), kTextWidth, kTextHeight);
    const QRect needed = MsgLabel->fontMetrics().boundingRect(
        planned, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, m_text);
    MsgLabel->setText(m_text);
    const int w = qMax(kTextWidth, needed.width() + 1);
    const int h = needed.height();
    MsgLabel->setGeometry(planned.x(), planned.y(), w, qMax(h, 1));

    const int dx = w - kTextWidth;
    const int dy = h > kTextHeight ? h - kTextHeight : 0;
    if (dx || dy) {
        Bevel1->setGeometry(Bevel1->x(), Bevel1->y() + dy, Bevel1->width() + dx, Bevel1->height());
        MsgBtn1->move(MsgBtn1->x() + dx, MsgBtn1->y() + dy);
        MsgBtn2->move(MsgBtn2->x() + dx, MsgBtn2->y() + dy);
        setFixedSize(kWidth + dx, kHeight + dy);
    }
}

void TfmMsgDlg::MsgBtn1Click()
{
    reject();
}

void TfmMsgDlg::MsgBtn2Click()
{
    m_result = 1;
    accept();
}

void MsgDlgHook::setHandler(Handler handler)
{
    hookHandler() = std::move(handler);
}

bool AskMessageDlg(const QString &text, int kind)
{
    if (kind < 0 || kind > 3)
        kind = 2;
    if (const auto &handler = hookHandler())
        return handler(text, kind);
    TfmMsgDlg dlg(text, kind, QApplication::activeWindow());
    dlg.exec();
    return dlg.resultByte() == 1;
}

void ShowMessageDlg(const QString &text)
{
    AskMessageDlg(text, 2);
}
