#include "widgets/ElidedLabel.h"

#include <QHelpEvent>
#include <QPainter>
#include <QStyle>
#include <QToolTip>

TElidedLabel::TElidedLabel(QWidget *parent) : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
}

QRect TElidedLabel::textRect() const
{
    const int m = margin() + (indent() > 0 ? indent() : 0);
    return contentsRect().adjusted(m, margin(), -m, -margin());
}

QString TElidedLabel::displayedText() const
{
    const QFontMetrics metrics = fontMetrics();
    const QString whole = text();
    const int width = textRect().width();
    if (metrics.horizontalAdvance(whole) <= width)
        return whole;
    // A path keeps the words around it and its file name; its folders give way first.
    const qsizetype first = whole.indexOf(QLatin1Char('/'));
    const qsizetype last = whole.lastIndexOf(QLatin1Char('/'));
    if (first >= 0 && last > first) {
        const QString head = whole.left(first);
        const QString tail = whole.mid(last);
        const int room = width - metrics.horizontalAdvance(head) - metrics.horizontalAdvance(tail);
        if (room >= metrics.horizontalAdvance(QStringLiteral("/\u2026"))) {
            const QString folders = metrics.elidedText(whole.mid(first, last - first), Qt::ElideMiddle, room);
            return head + folders + tail;
        }
    }
    return metrics.elidedText(whole, Qt::ElideMiddle, width);
}

QSize TElidedLabel::minimumSizeHint() const
{
    // Height as a plain label needs it; width only for the ellipsis and the frame.
    const QSize full = QLabel::minimumSizeHint();
    const QMargins frame = contentsMargins();
    const int width =
        fontMetrics().horizontalAdvance(QChar(0x2026)) + frame.left() + frame.right() + 2 * margin();
    return {std::min(full.width(), width), full.height()};
}

void TElidedLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    drawFrame(&painter);
    style()->drawItemText(&painter, textRect(), QStyle::visualAlignment(layoutDirection(), alignment()),
                          palette(), isEnabled(), displayedText(), foregroundRole());
}

bool TElidedLabel::event(QEvent *event)
{
    // Without a tooltip of its own the label shows its whole text while it is shortened.
    if (event->type() == QEvent::ToolTip && toolTip().isEmpty()) {
        auto *help = static_cast<QHelpEvent *>(event);
        if (isElided())
            QToolTip::showText(help->globalPos(), text(), this);
        else
            QToolTip::hideText();
        return true;
    }
    return QLabel::event(event);
}
