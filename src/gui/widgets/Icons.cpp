#include "widgets/Icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QtMath>

namespace {
const QColor kBlue(0x1f, 0x5f, 0xbf);
const QColor kBlueDark(0x12, 0x3a, 0x7a);
const QColor kGreen(0x2e, 0x9e, 0x3e);
const QColor kOrange(0xe8, 0x8a, 0x1a);

QPixmap blank(int size)
{
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    return pm;
}

// A telephone handset lying in its cradle, filling the square `box`: an arched grip with the ear
// and mouth pieces hanging from its ends.
void drawHandset(QPainter &p, QRectF box, const QColor &color)
{
    const qreal s = box.width();
    p.save();
    p.translate(box.center());
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(color, s * 0.20, Qt::SolidLine, Qt::FlatCap));
    // grip: the upper part of an ellipse
    QRectF arcBox(-s * 0.36, -s * 0.30, s * 0.72, s * 0.62);
    p.drawArc(arcBox, 20 * 16, 140 * 16);
    // ear and mouth pieces: broad feet below the ends of the grip
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    const qreal pw = s * 0.38, ph = s * 0.24;
    const qreal top = -s * 0.02;
    p.drawRoundedRect(QRectF(-s * 0.50, top, pw, ph), ph * 0.35, ph * 0.35);
    p.drawRoundedRect(QRectF(s * 0.50 - pw, top, pw, ph), ph * 0.35, ph * 0.35);
    p.restore();
}

QPixmap trayPixmap(int size)
{
    QPixmap pm = blank(size);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal m = size >= 22 ? 1.0 : 0.5;
    QRectF disc(m, m, size - 2 * m, size - 2 * m);
    QRadialGradient g(disc.center() - QPointF(size * 0.15, size * 0.15), size * 0.7);
    g.setColorAt(0, kBlue.lighter(130));
    g.setColorAt(1, kBlue);
    p.setBrush(g);
    p.setPen(size >= 22 ? QPen(kBlueDark, 1.0) : Qt::NoPen);
    p.drawEllipse(disc);
    const qreal inset = size <= 16 ? size * 0.09 : size * 0.14;
    drawHandset(p, disc.adjusted(inset, inset, -inset, -inset), Qt::white);
    return pm;
}

// A rounded square badge with a symbol: 0 connection (two opposed arrows), 1 send (arrow up),
// 2 receive (arrow down).
QPixmap transferPixmap(int size, int kind)
{
    QPixmap pm = blank(size);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor base = kind == 0 ? kBlue : kind == 1 ? kGreen : kOrange;
    const qreal m = 0.5;
    p.setPen(QPen(base.darker(150), 1.0));
    p.setBrush(base);
    p.drawRoundedRect(QRectF(m, m, size - 2 * m, size - 2 * m), size * 0.2, size * 0.2);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    const qreal s = size;
    auto arrow = [&](QPointF tip, qreal dir, qreal len, qreal head, qreal shaft) {
        // dir: +1 points right/down, -1 points left/up; horizontal when len > 0 stays in x
        QPolygonF poly;
        poly << tip << tip + QPointF(-dir * head, -head) << tip + QPointF(-dir * head, -shaft / 2)
             << tip + QPointF(-dir * len, -shaft / 2) << tip + QPointF(-dir * len, shaft / 2)
             << tip + QPointF(-dir * head, shaft / 2) << tip + QPointF(-dir * head, head);
        p.drawPolygon(poly);
    };
    if (kind == 0) {
        arrow(QPointF(s * 0.86, s * 0.33), 1, s * 0.68, s * 0.20, s * 0.14);
        arrow(QPointF(s * 0.14, s * 0.67), -1, s * 0.68, s * 0.20, s * 0.14);
    } else {
        p.translate(s / 2, s / 2);
        p.rotate(kind == 1 ? -90 : 90);
        p.translate(-s / 2, -s / 2);
        arrow(QPointF(s * 0.86, s * 0.5), 1, s * 0.72, s * 0.32, s * 0.24);
    }
    return pm;
}

QIcon iconFrom(const std::function<QPixmap(int)> &draw)
{
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64})
        icon.addPixmap(draw(size));
    return icon;
}

// Sound waves beside the handset: `waves` arcs (0 to 3).
QPixmap ringFrame(int size, int step)
{
    QPixmap pm = blank(size);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    const qreal wobble = (step % 2 == 0) ? -3.0 : 3.0;
    p.save();
    p.translate(s * 0.40, s * 0.62);
    p.rotate(wobble);
    drawHandset(p, QRectF(-s * 0.38, -s * 0.38, s * 0.76, s * 0.76), kBlue);
    p.restore();
    const int waves = step % 4;
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < waves; ++i) {
        const qreal r = s * (0.14 + 0.11 * i);
        QPen pen(kOrange, qMax(1.0, s * 0.06), Qt::SolidLine, Qt::RoundCap);
        p.setPen(pen);
        p.drawArc(QRectF(s * 0.70 - r, s * 0.28 - r, 2 * r, 2 * r), 0 * 16, 90 * 16);
    }
    return pm;
}

QPixmap convertFrame(int size, int step, int steps)
{
    QPixmap pm = blank(size);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    // two journal pages
    for (int i = 1; i >= 0; --i) {
        QRectF page(s * (0.10 + 0.08 * i), s * (0.08 + 0.06 * i), s * 0.56, s * 0.72);
        p.setPen(QPen(Qt::darkGray, 1.0));
        p.setBrush(i ? QColor(0xe8, 0xe8, 0xe8) : Qt::white);
        p.drawRect(page);
        if (i == 0) {
            p.setPen(QPen(kBlue, qMax(1.0, s * 0.03)));
            for (int line = 0; line < 6; ++line) {
                const qreal y = page.top() + s * (0.10 + 0.10 * line);
                p.drawLine(QPointF(page.left() + s * 0.06, y), QPointF(page.right() - s * 0.06, y));
            }
        }
    }
    // magnifier moving along a loop over the page
    const qreal a = 2 * M_PI * step / steps;
    const QPointF c(s * (0.52 + 0.16 * qCos(a)), s * (0.48 + 0.14 * qSin(a)));
    const qreal r = s * 0.16;
    p.setPen(QPen(kBlueDark, qMax(1.5, s * 0.07), Qt::SolidLine, Qt::RoundCap));
    p.drawLine(c + QPointF(r * 0.7, r * 0.7), c + QPointF(r * 1.9, r * 1.9));
    p.setBrush(QColor(0xff, 0xff, 0xff, 120));
    p.setPen(QPen(kBlueDark, qMax(1.0, s * 0.05)));
    p.drawEllipse(c, r, r);
    return pm;
}
} // namespace

QPixmap Icons::programPicture(int size)
{
    return trayPixmap(size);
}

QIcon Icons::trayIcon()
{
    static const QIcon icon = iconFrom(trayPixmap);
    return icon;
}

QIcon Icons::trayIconWithCount(int count)
{
    if (count <= 0)
        return trayIcon();
    const QString text = count > 9 ? QStringLiteral("9+") : QString::number(count);
    return iconFrom([&text](int size) {
        QPixmap pm = trayPixmap(size);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        // A red disc in the upper right corner, the number in white on it.
        const qreal d = size * 0.6;
        const QRectF badge(size - d, 0, d, d);
        p.setPen(QPen(Qt::white, std::max(1.0, size / 24.0)));
        p.setBrush(QColor(0xd0, 0x21, 0x21));
        p.drawEllipse(badge.adjusted(0.5, 0.5, -0.5, -0.5));
        QFont font = p.font();
        font.setBold(true);
        font.setPixelSize(int(d * (text.size() > 1 ? 0.5 : 0.7)));
        p.setFont(font);
        p.setPen(Qt::white);
        p.drawText(badge, Qt::AlignCenter, text);
        return pm;
    });
}

QIcon Icons::connectIcon()
{
    static const QIcon icon = iconFrom([](int s) { return transferPixmap(s, 0); });
    return icon;
}

QIcon Icons::sendIcon()
{
    static const QIcon icon = iconFrom([](int s) { return transferPixmap(s, 1); });
    return icon;
}

QIcon Icons::receiveIcon()
{
    static const QIcon icon = iconFrom([](int s) { return transferPixmap(s, 2); });
    return icon;
}

QIcon Icons::browseIcon()
{
    static const QIcon icon = iconFrom([](int s) {
        QPixmap pm = blank(s);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x30, 0x30, 0x30));
        const qreal r = qMax(1.0, s * 0.08);
        for (int i = 0; i < 3; ++i)
            p.drawEllipse(QPointF(s * (0.25 + 0.25 * i), s * 0.62), r, r);
        return pm;
    });
    return icon;
}

QIcon Icons::statisticsIcon()
{
    static const QIcon icon = iconFrom([](int s) {
        QPixmap pm = blank(s);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(kBlue);
        const qreal width = s * 0.22;
        const qreal heights[] = {0.45, 0.8, 0.6};
        for (int i = 0; i < 3; ++i)
            p.drawRect(QRectF(s * 0.1 + i * s * 0.28, s * (0.9 - heights[i]), width, s * heights[i]));
        p.setBrush(QColor(0x30, 0x30, 0x30));
        p.drawRect(QRectF(s * 0.05, s * 0.9, s * 0.9, qMax(1.0, s * 0.06)));
        return pm;
    });
    return icon;
}

QPixmap Icons::messagePicture()
{
    static const QPixmap pm = [] {
        QPixmap out = blank(32);
        QPainter p(&out);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(kBlueDark, 1.0));
        p.setBrush(kBlue);
        p.drawEllipse(QRectF(1.5, 1.5, 29, 29));
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawEllipse(QRectF(14, 6.5, 4.5, 4.5));
        p.drawRoundedRect(QRectF(14, 13, 4.5, 13), 1.5, 1.5);
        return out;
    }();
    return pm;
}

QList<QPixmap> Icons::ringFrames(int size)
{
    QList<QPixmap> frames;
    for (int i = 0; i < 8; ++i)
        frames << ringFrame(size, i);
    return frames;
}

QList<QPixmap> Icons::convertFrames(int size)
{
    QList<QPixmap> frames;
    const int steps = 12;
    for (int i = 0; i < steps; ++i)
        frames << convertFrame(size, i, steps);
    return frames;
}
