#include "controls/ElidedLabel.h"

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
    return fontMetrics().elidedText(text(), Qt::ElideMiddle, textRect().width());
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
