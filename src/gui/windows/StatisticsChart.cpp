#include "windows/StatisticsChart.h"

#include <QLocale>
#include <QPainter>

#include <algorithm>

namespace {
const QColor kBar(0x1f, 0x5f, 0xbf);
const QColor kBlocked(0xc0, 0x39, 0x2b);
const QColor kGrid(0xdd, 0xdd, 0xdd);
const QColor kEmptyCell(0xf3, 0xf3, 0xf3);
const QColor kText(0x20, 0x20, 0x20);
constexpr int kMargin = 10;

// A step for the value axis that gives about four lines up to `max`: 1, 2 or 5 times a power of ten.
int AxisStep(int max)
{
    int step = 1;
    for (;;) {
        for (int factor : {1, 2, 5}) {
            if (max / (step * factor) <= 4)
                return step * factor;
        }
        step *= 10;
    }
}
} // namespace

StatisticsChart::StatisticsChart(Kind kind, QWidget *parent) : QWidget(parent), m_kind(kind)
{
    setMinimumSize(320, 200);
}

QString StatisticsChart::title() const
{
    switch (m_kind) {
    case Kind::PerDay:
        return tr("Anrufe pro Tag");
    case Kind::WeekdayHour:
        return tr("Anrufe nach Wochentag und Uhrzeit");
    case Kind::TopCallers:
        return tr("Die häufigsten Anrufer");
    case Kind::PerMsn:
        return tr("Anrufe pro MSN");
    case Kind::Blocked:
        return tr("Gesperrte und andere Anrufer");
    }
    return QString();
}

void StatisticsChart::SetStatistics(const CallStatistics &stats)
{
    m_stats = stats;
    update();
}

QImage StatisticsChart::Picture(QSize size) const
{
    QImage image(size, QImage::Format_RGB32);
    QPainter p(&image);
    p.setFont(font());
    Paint(p, image.rect());
    return image;
}

void StatisticsChart::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    Paint(p, rect());
}

void StatisticsChart::Paint(QPainter &p, const QRect &area) const
{
    p.fillRect(area, Qt::white);
    p.setRenderHint(QPainter::Antialiasing);
    QFont bold = p.font();
    bold.setBold(true);
    const QFont normal = p.font();
    p.setFont(bold);
    p.setPen(kText);
    const int titleHeight = p.fontMetrics().height();
    const QRect titleRect = area.adjusted(kMargin, kMargin, -kMargin, 0);
    p.drawText(titleRect.left(), titleRect.top(), titleRect.width(), titleHeight, Qt::AlignLeft, title());
    p.setFont(normal);
    if (m_kind == Kind::PerDay && !m_stats.PerDay.isEmpty()) {
        const QString format = QStringLiteral("dd.MM.yyyy");
        p.drawText(titleRect.left(), titleRect.top(), titleRect.width(), titleHeight, Qt::AlignRight,
                   tr("%1 bis %2")
                       .arg(m_stats.FirstDay.toString(format),
                            m_stats.FirstDay.addDays(m_stats.PerDay.size() - 1).toString(format)));
    }
    const QRect body = area.adjusted(kMargin, kMargin + titleHeight + kMargin, -kMargin, -kMargin);
    if (m_stats.Calls == 0) {
        p.drawText(body, Qt::AlignCenter, tr("Keine Anrufe"));
        return;
    }
    switch (m_kind) {
    case Kind::PerDay:
        PaintPerDay(p, body);
        break;
    case Kind::WeekdayHour:
        PaintWeekdayHour(p, body);
        break;
    case Kind::TopCallers:
        PaintBars(p, body, m_stats.TopCallers);
        break;
    case Kind::PerMsn:
        PaintBars(p, body, m_stats.PerMsn);
        break;
    case Kind::Blocked:
        PaintBlocked(p, body);
        break;
    }
}

void StatisticsChart::PaintPerDay(QPainter &p, const QRect &area) const
{
    const QList<int> &days = m_stats.PerDay;
    if (days.isEmpty())
        return;
    const QFontMetrics fm = p.fontMetrics();
    const int max = std::max(1, *std::max_element(days.cbegin(), days.cend()));
    const int step = AxisStep(max);
    const int top = (max + step - 1) / step * step;
    const int axisWidth = fm.horizontalAdvance(QLocale().toString(top)) + 6;
    const QRect plot(area.left() + axisWidth, area.top() + fm.height() / 2, area.width() - axisWidth,
                     area.height() - fm.height() / 2 - fm.height() - 4);
    // Value lines with their numbers.
    for (int value = 0; value <= top; value += step) {
        const int y = plot.bottom() - int(qint64(plot.height()) * value / top);
        p.setPen(kGrid);
        p.drawLine(plot.left(), y, plot.right(), y);
        p.setPen(kText);
        p.drawText(area.left(), y - fm.height() / 2, axisWidth - 6, fm.height(),
                   Qt::AlignRight | Qt::AlignVCenter, QLocale().toString(value));
    }
    const qreal slot = qreal(plot.width()) / days.size();
    p.setPen(Qt::NoPen);
    p.setBrush(kBar);
    for (int i = 0; i < days.size(); ++i) {
        const qreal height = qreal(plot.height()) * days[i] / top;
        p.drawRect(QRectF(plot.left() + i * slot + slot * 0.15, plot.bottom() - height, slot * 0.7, height));
    }
    // A date under every n-th day, as often as the labels fit; the last day always.
    p.setPen(kText);
    const QString sample = QStringLiteral("00.00.");
    const int every = std::max(1, int((fm.horizontalAdvance(sample) + 8) / slot) + 1);
    for (int i = days.size() - 1; i >= 0; i -= every) {
        const QString label = m_stats.FirstDay.addDays(i).toString(QStringLiteral("dd.MM."));
        const qreal center = plot.left() + (i + 0.5) * slot;
        const int width = fm.horizontalAdvance(label);
        const int x = std::clamp(int(center - width / 2.0), plot.left(), area.right() - width);
        p.drawText(x, plot.bottom() + 4 + fm.ascent(), label);
    }
}

void StatisticsChart::PaintWeekdayHour(QPainter &p, const QRect &area) const
{
    const QString weekdays[7] = {tr("Mo"), tr("Di"), tr("Mi"), tr("Do"), tr("Fr"), tr("Sa"), tr("So")};
    const QFontMetrics fm = p.fontMetrics();
    int labelWidth = 0;
    for (const QString &day : weekdays)
        labelWidth = std::max(labelWidth, fm.horizontalAdvance(day));
    labelWidth += 8;
    int max = 1;
    for (const auto &row : m_stats.ByWeekdayHour)
        max = std::max(max, *std::max_element(row.cbegin(), row.cend()));
    const QRectF grid(area.left() + labelWidth, area.top(), area.width() - labelWidth,
                      area.height() - fm.height() - 4);
    const qreal cellWidth = grid.width() / 24;
    const qreal cellHeight = grid.height() / 7;
    const bool numbers =
        fm.horizontalAdvance(QLocale().toString(max)) + 2 < cellWidth && fm.height() < cellHeight;
    for (int day = 0; day < 7; ++day) {
        p.setPen(kText);
        p.drawText(QRectF(area.left(), grid.top() + day * cellHeight, labelWidth - 8, cellHeight),
                   Qt::AlignRight | Qt::AlignVCenter, weekdays[day]);
        for (int hour = 0; hour < 24; ++hour) {
            const int calls = m_stats.ByWeekdayHour[size_t(day)][size_t(hour)];
            // Pale grey without calls, then from a pale tint to the bar colour as the calls grow.
            const qreal share = 0.12 + 0.88 * qreal(calls) / max;
            const QColor color =
                calls == 0 ? kEmptyCell
                           : QColor::fromRgbF(1 - share * (1 - kBar.redF()), 1 - share * (1 - kBar.greenF()),
                                              1 - share * (1 - kBar.blueF()));
            const QRectF cell(grid.left() + hour * cellWidth, grid.top() + day * cellHeight, cellWidth,
                              cellHeight);
            p.fillRect(cell.adjusted(0.5, 0.5, -0.5, -0.5), color);
            if (numbers && calls > 0) {
                p.setPen(share > 0.5 ? Qt::white : kText);
                p.drawText(cell, Qt::AlignCenter, QLocale().toString(calls));
            }
        }
    }
    p.setPen(kText);
    for (int hour = 0; hour < 24; hour += 3)
        p.drawText(QRectF(grid.left() + hour * cellWidth, grid.bottom() + 4, cellWidth * 3, fm.height()),
                   Qt::AlignLeft, QString::number(hour));
}

void StatisticsChart::PaintBars(QPainter &p, const QRect &area, const QList<CallStatistics::Bar> &bars) const
{
    if (bars.isEmpty())
        return;
    const QFontMetrics fm = p.fontMetrics();
    const int rows = std::max(int(bars.size()), 5);
    const qreal rowHeight = std::min<qreal>(qreal(area.height()) / rows, fm.height() * 2);
    int max = 1;
    int labelWidth = 0;
    for (const CallStatistics::Bar &bar : bars) {
        max = std::max(max, bar.Calls);
        labelWidth =
            std::max(labelWidth, fm.horizontalAdvance(bar.Label.isEmpty() ? tr("(keine)") : bar.Label));
    }
    labelWidth = std::min(labelWidth, area.width() / 3) + 8;
    const int numberWidth = fm.horizontalAdvance(QLocale().toString(max)) + 8;
    const qreal barRoom = area.width() - labelWidth - numberWidth;
    for (int i = 0; i < bars.size(); ++i) {
        const CallStatistics::Bar &bar = bars[i];
        const QRectF row(area.left(), area.top() + i * rowHeight, area.width(), rowHeight);
        const QString label = bar.Label.isEmpty() ? tr("(keine)") : bar.Label;
        p.setPen(kText);
        p.drawText(QRectF(row.left(), row.top(), labelWidth - 8, rowHeight),
                   Qt::AlignRight | Qt::AlignVCenter, fm.elidedText(label, Qt::ElideRight, labelWidth - 8));
        const qreal length = std::max<qreal>(1, barRoom * bar.Calls / max);
        p.fillRect(QRectF(row.left() + labelWidth, row.top() + rowHeight * 0.15, length, rowHeight * 0.7),
                   kBar);
        p.drawText(QRectF(row.left() + labelWidth + length + 4, row.top(), numberWidth, rowHeight),
                   Qt::AlignLeft | Qt::AlignVCenter, QLocale().toString(bar.Calls));
    }
}

void StatisticsChart::PaintBlocked(QPainter &p, const QRect &area) const
{
    const int total = m_stats.FromBlocked + m_stats.FromOthers;
    const QFontMetrics fm = p.fontMetrics();
    const int diameter = std::min(area.height(), area.width() / 2);
    const QRectF pie(area.left(), area.top() + (area.height() - diameter) / 2.0, diameter, diameter);
    // Clockwise from twelve o'clock, the blocked callers first (Qt counts sixteenths of a degree).
    const int blockedSpan = int(qint64(m_stats.FromBlocked) * 5760 / std::max(total, 1));
    p.setPen(QPen(Qt::white, 1.5));
    p.setBrush(kBar);
    p.drawEllipse(pie);
    if (blockedSpan > 0) {
        p.setBrush(kBlocked);
        p.drawPie(pie, 90 * 16, -blockedSpan);
    }
    const struct
    {
        QColor Color;
        QString Text;
        int Calls;
    } legend[] = {{kBlocked, tr("Gesperrte Anrufer"), m_stats.FromBlocked},
                  {kBar, tr("Andere Anrufer"), m_stats.FromOthers}};
    const int left = int(pie.right()) + 3 * kMargin;
    int y = area.top() + (area.height() - 4 * fm.height()) / 2;
    for (const auto &entry : legend) {
        p.fillRect(left, y + 2, fm.height() - 4, fm.height() - 4, entry.Color);
        p.setPen(kText);
        const int percent = int(std::lround(100.0 * entry.Calls / std::max(total, 1)));
        p.drawText(left + fm.height() + 4, y + fm.ascent(),
                   tr("%1: %2 (%3 %)").arg(entry.Text, QLocale().toString(entry.Calls)).arg(percent));
        y += 2 * fm.height();
    }
}
