#include "widgets/MessageDialog.h"

#include "common/Errors.h"
#include "widgets/Icons.h"
#include "widgets/MessageDialogForm.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTextBoundaryFinder>

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

// A word wider than `width` may break between any two of its characters: a zero-width space
// goes between them, which the label wraps at and does not draw. Other words stay whole.
QString breakableLongWords(const QString &text, const QFontMetrics &metrics, int width)
{
    static const QRegularExpression word(QStringLiteral("\\S+"));
    QString out;
    qsizetype done = 0;
    for (auto it = word.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        out += text.mid(done, m.capturedStart() - done);
        done = m.capturedEnd();
        const QString w = m.captured();
        if (metrics.horizontalAdvance(w) < width) {
            out += w;
            continue;
        }
        QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, w);
        qsizetype from = 0;
        for (qsizetype to = characters.toNextBoundary(); to > 0; to = characters.toNextBoundary()) {
            if (from > 0)
                out += QChar(0x200B);
            out += w.mid(from, to - from);
            from = to;
        }
    }
    return out + text.mid(done);
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
        return {QT_TRANSLATE_NOOP("TfmMsgDlg", "&Nein"), QT_TRANSLATE_NOOP("TfmMsgDlg", "&Ja")};
    case 1:
        return {QT_TRANSLATE_NOOP("TfmMsgDlg", "&Abbrechen"), QT_TRANSLATE_NOOP("TfmMsgDlg", "&Weiter")};
    case 3:
        return {QT_TRANSLATE_NOOP("TfmMsgDlg", "&Weiter"), QT_TRANSLATE_NOOP("TfmMsgDlg", "&Ignorieren")};
    default:
        return {nullptr, QT_TRANSLATE_NOOP("TfmMsgDlg", "&Weiter")};
    }
}
} // namespace

TfmMsgDlg::TfmMsgDlg(const QString &text, int kind, QWidget *parent)
    : TToolDialog(parent), m_text(withLineBreaks(text)), m_kind(kind)
{
    setWindowTitle(tr("Mitteilung"));
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
    MsgBtn2 = new QPushButton(tr("&Weiter"), this);
    MsgBtn2->setObjectName(QStringLiteral("MsgBtn2"));
    MsgBtn2->setGeometry(180, 110, 65, 25);
    MsgBtn1 = new QPushButton(tr("&Abrechen"), this);
    MsgBtn1->setObjectName(QStringLiteral("MsgBtn1"));
    MsgBtn1->setGeometry(108, 110, 65, 25);
    setTabOrder(MsgBtn2, MsgBtn1);

    const Captions captions = captionsFor(kind);
    MsgBtn2->setText(tr(captions.right));
    if (captions.left)
        MsgBtn1->setText(tr(captions.left));
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
    // rather than being cut off, and more lines than fit make it taller. The dialog never grows
    // wider than its screen: a word wider than that is wrapped inside it.
    const QFontMetrics metrics = MsgLabel->fontMetrics();
    const QRect planned(MsgLabel->x(), MsgLabel->y(), kTextWidth, kTextHeight);
    const int widest =
        qMax(kTextWidth, screen()->availableGeometry().width() - kScreenMargin - (kWidth - kTextWidth));
    auto measure = [&](const QString &text, int width) {
        return metrics.boundingRect(QRect(planned.topLeft(), QSize(width, kTextHeight)),
                                    Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, text);
    };
    QString text = m_text;
    QRect needed = measure(text, kTextWidth);
    if (needed.width() >= widest) {
        text = breakableLongWords(text, metrics, widest);
        needed = measure(text, widest);
    }
    MsgLabel->setText(text);
    const int w = qBound(kTextWidth, needed.width() + 1, widest);
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

bool StoreSetting(const std::function<void()> &write)
{
    try {
        write();
        return true;
    } catch (const IoError &e) {
        ShowMessageDlg(e.message());
    }
    return false;
}
