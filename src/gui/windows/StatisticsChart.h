#pragma once

#include "calls/CallStatistics.h"

#include <QImage>
#include <QWidget>

class QPainter;

// One chart of the statistics window, drawn with QPainter on a white ground: the calls per day
// (bars), by weekday and hour (a heat map), the most frequent callers and the calls per MSN
// (horizontal bars), and the calls of blocked callers against the others (a pie).
class StatisticsChart : public QWidget
{
    Q_OBJECT
public:
    enum class Kind
    {
        PerDay,
        WeekdayHour,
        TopCallers,
        PerMsn,
        Blocked,
    };

    explicit StatisticsChart(Kind kind, QWidget *parent = nullptr);

    Kind kind() const { return m_kind; }
    // The title above the chart, also the name of its picture.
    QString title() const;
    void SetStatistics(const CallStatistics &stats);
    // The chart as a picture of `size` pixels, as it is painted on the screen.
    QImage Picture(QSize size) const;

    QSize sizeHint() const override { return {560, 320}; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void Paint(QPainter &p, const QRect &area) const;
    void PaintPerDay(QPainter &p, const QRect &area) const;
    void PaintWeekdayHour(QPainter &p, const QRect &area) const;
    void PaintBars(QPainter &p, const QRect &area, const QList<CallStatistics::Bar> &bars) const;
    void PaintBlocked(QPainter &p, const QRect &area) const;

    Kind m_kind;
    CallStatistics m_stats;
};
