#include "windows/CapiInfoDialog.h"

#include "capi/Capi20b.h"
#include "widgets/ElidedLabel.h"

#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>

namespace {
const char *const kUnknown = QT_TRANSLATE_NOOP("TfmCapiInfo", "unbekannt");
const QColor kBoard(0x2f, 0x7d, 0x4f);
const QColor kGold(0xd9, 0xa4, 0x2b);

QPixmap blank(int width, int height)
{
    QPixmap pm(width, height);
    pm.fill(Qt::transparent);
    return pm;
}

// An ISDN card seen from above, filling `box`: a board with gold contacts along its lower edge
// and a metal bracket at its left end. On it a white label carrying `label` in bold type, or,
// without a label, a chip and the line socket.
void drawCard(QPainter &p, const QRectF &box, const QString &label)
{
    const qreal w = box.width(), h = box.height();
    const qreal bracket = qMax(2.0, w * 0.08);
    const qreal fingers = qMax(2.0, h * 0.16);
    const QRectF board(box.left() + bracket, box.top(), w - bracket, h - fingers);

    p.setPen(QPen(QColor(0x70, 0x70, 0x78), 1.0));
    p.setBrush(QColor(0xc8, 0xcc, 0xd2));
    p.drawRect(QRectF(box.left() + 0.5, box.top() + 0.5, bracket - 0.5, h - fingers));

    p.setPen(QPen(kBoard.darker(150), 1.0));
    p.setBrush(kBoard);
    p.drawRoundedRect(board.adjusted(0.5, 0.5, -0.5, 0), 1.5, 1.5);

    // contact fingers: a gold strip below the middle of the board, notched into pins
    p.setPen(Qt::NoPen);
    p.setBrush(kGold);
    const qreal stripLeft = board.left() + board.width() * 0.18;
    const qreal stripWidth = board.width() * 0.62;
    const int pins = qMax(3, int(stripWidth / 3));
    for (int i = 0; i < pins; ++i) {
        const qreal x = stripLeft + stripWidth * i / pins;
        p.drawRect(QRectF(x, board.bottom(), stripWidth / pins - 0.8, fingers - 0.5));
    }

    if (label.isEmpty()) {
        // a chip with its legs, and the line socket at the bracket
        const QRectF chip(board.left() + board.width() * 0.38, board.top() + board.height() * 0.22,
                          board.width() * 0.34, board.height() * 0.46);
        p.setPen(QPen(QColor(0xd0, 0xd0, 0xd0), 1.0));
        for (int i = 1; i <= 3; ++i) {
            const qreal x = chip.left() + chip.width() * i / 4;
            p.drawLine(QPointF(x, chip.top() - 1.5), QPointF(x, chip.bottom() + 1.5));
        }
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x26, 0x26, 0x2a));
        p.drawRect(chip);
        p.setBrush(QColor(0xf2, 0xf2, 0xf2));
        const QRectF socket(board.left() + 1.5, board.top() + board.height() * 0.28, board.width() * 0.18,
                            board.height() * 0.40);
        p.drawRect(socket);
        p.setBrush(QColor(0x40, 0x40, 0x40));
        p.drawRect(socket.adjusted(socket.width() * 0.3, socket.height() * 0.3, -socket.width() * 0.3, 0));
        return;
    }

    const QRectF plate = board.adjusted(board.width() * 0.10, board.height() * 0.18, -board.width() * 0.06,
                                        -board.height() * 0.18);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawRoundedRect(plate, 1.0, 1.0);
    QFont font;
    font.setBold(true);
    font.setPixelSize(qMax(6, int(plate.height() * 0.80)));
    // Narrow the type until the initials fit on the label.
    while (font.pixelSize() > 6 && QFontMetricsF(font).horizontalAdvance(label) > plate.width() - 1)
        font.setPixelSize(font.pixelSize() - 1);
    p.setFont(font);
    p.setPen(QColor(0x20, 0x20, 0x20));
    p.drawText(plate, Qt::AlignCenter, label);
}

QPixmap cardPicture(int width, int height, const QString &label)
{
    QPixmap pm = blank(width, height);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    drawCard(p, QRectF(0, 0, width, height), label);
    return pm;
}

// The window's fixed picture and icon: a bare card, centred in a square.
QPixmap adapterPicture(int size)
{
    QPixmap pm = blank(size, size);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal h = size * 0.66;
    drawCard(p, QRectF(0, (size - h) / 2, size, h), QString());
    return pm;
}

// The picture of the serial number 000001A, the first card: a gold rosette with a "1" and two
// ribbons.
QPixmap firstCardPicture(int width, int height)
{
    QPixmap pm = blank(width, height);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    const qreal r = qMin(width, height) * 0.36;
    const QPointF c(width / 2.0, r + 1.0);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x1f, 0x5f, 0xbf));
    for (int side : {-1, 1}) {
        QPolygonF ribbon;
        ribbon << c + QPointF(side * r * 0.25, 0) << c + QPointF(side * r * 0.95, 0)
               << QPointF(c.x() + side * r * 1.05, height - 0.5)
               << QPointF(c.x() + side * r * 0.65, height - 3.5)
               << QPointF(c.x() + side * r * 0.25, height - 0.5);
        p.drawPolygon(ribbon);
    }
    QPainterPath star;
    const int points = 16;
    for (int i = 0; i < 2 * points; ++i) {
        const qreal a = M_PI * i / points;
        const qreal radius = (i % 2) ? r * 0.86 : r;
        const QPointF pt = c + QPointF(radius * qSin(a), -radius * qCos(a));
        i == 0 ? star.moveTo(pt) : star.lineTo(pt);
    }
    star.closeSubpath();
    p.setPen(QPen(kGold.darker(140), 1.0));
    p.setBrush(kGold);
    p.drawPath(star);
    p.setBrush(kGold.lighter(125));
    p.drawEllipse(c, r * 0.66, r * 0.66);
    QFont font;
    font.setBold(true);
    font.setPixelSize(qMax(7, int(r * 1.05)));
    p.setFont(font);
    p.setPen(QColor(0x5a, 0x3c, 0x00));
    p.drawText(QRectF(c.x() - r, c.y() - r, 2 * r, 2 * r), Qt::AlignCenter, QStringLiteral("1"));
    return pm;
}

QLabel *pictureLabel(QWidget *parent, const char *name, const QPixmap &picture, const QRect &geometry)
{
    auto *label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setPixmap(picture);
    label->setAlignment(Qt::AlignCenter);
    label->setGeometry(geometry);
    return label;
}
} // namespace

TfmCapiInfo::TfmCapiInfo(TCustomCapi20 &capi, QWidget *parent) : TToolDialog(parent), m_capi(capi)
{
    setObjectName(QStringLiteral("fmCapiInfo"));
    setWindowTitle(tr("Information zur ISDN-Karte / CAPI"));
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48})
        icon.addPixmap(adapterPicture(size));
    setWindowIcon(icon);

    // The captions' column grows with the desktop's type; everything right of it moves along.
    const QFontMetrics metrics(font());
    const int lineHeight = qMax(17, metrics.height() + 2);
    const QString captions[3] = {tr("Kartenhersteller :"), tr("Capi Version :"), tr("Serien-Nummer :")};
    int captionWidth = 81;
    for (const QString &caption : captions)
        captionWidth = qMax(captionWidth, metrics.horizontalAdvance(caption) + 4);
    const int captionLeft = 56;
    const int valueLeft = captionLeft + captionWidth + 3;
    const int valueWidth = 133;
    const int pictureLeft = valueLeft + valueWidth + 7;
    const int width = pictureLeft + 33 + 8;
    const int rowTop[3] = {24, 24 + lineHeight + 5, 24 + 3 * lineHeight - 1};

    Image1 = pictureLabel(this, "Image1", adapterPicture(33), QRect(8, 8, 33, 33));
    const char *captionNames[3] = {"LabelCtrl3", "LabelCtrl2", "LabelCtrl1"};
    QLabel *values[3];
    const char *valueNames[3] = {"lbHerst", "lbVersion", "lbSerNum"};
    for (int i = 0; i < 3; ++i) {
        auto *caption = new QLabel(captions[i], this);
        caption->setObjectName(QString::fromLatin1(captionNames[i]));
        caption->setAlignment(Qt::AlignRight | Qt::AlignTop);
        caption->setGeometry(captionLeft, rowTop[i], captionWidth, lineHeight);
        // A manufacturer text too long for its row is shortened, and shown whole as tooltip.
        values[i] = i == 1 ? new QLabel(this) : new TElidedLabel(this);
        values[i]->setObjectName(QString::fromLatin1(valueNames[i]));
        values[i]->setTextFormat(Qt::PlainText); // the driver's texts are never markup
        values[i]->setText(tr(kUnknown));
        values[i]->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        values[i]->setGeometry(valueLeft, rowTop[i], valueWidth, lineHeight);
    }
    lbHerst = values[0];
    lbVersion = values[1];
    lbSerNum = values[2];
    // Room for a second line.
    lbVersion->setWordWrap(true);
    lbVersion->resize(valueWidth, rowTop[2] - rowTop[1]);

    // The three pictures stand one below the other, so that two of them shown together stay apart.
    Image4 = pictureLabel(this, "Image4", cardPicture(33, 22, QStringLiteral("AVM")),
                          QRect(pictureLeft, 12, 33, 22));
    Image3 = pictureLabel(this, "Image3", cardPicture(33, 22, QStringLiteral("TELES")),
                          QRect(pictureLeft, 38, 33, 22));
    Image2 = pictureLabel(this, "Image2", firstCardPicture(33, 29), QRect(pictureLeft, 64, 33, 29));
    for (QLabel *picture : {Image2, Image3, Image4})
        picture->hide();

    const int bevelTop = qMax(rowTop[2] + lineHeight + 13, 64 + 29 + 8);
    auto *bevel = new QFrame(this);
    bevel->setObjectName(QStringLiteral("Bevel1"));
    bevel->setFrameShape(QFrame::HLine);
    bevel->setFrameShadow(QFrame::Sunken);
    bevel->setGeometry(8, bevelTop, width - 16, 2);

    CloseBtn = new QPushButton(tr("Schließen"), this);
    CloseBtn->setObjectName(QStringLiteral("CloseBtn"));
    const int buttonWidth = qMax(65, metrics.horizontalAdvance(CloseBtn->text()) + 20);
    const int bottomHeight = qMax(25, 2 * metrics.lineSpacing() + 2);
    const int bottomTop = bevelTop + 11;
    CloseBtn->setGeometry(width - 13 - buttonWidth, bottomTop + (bottomHeight - 25) / 2, buttonWidth, 25);
    CloseBtn->setDefault(true);
    setFocusOnShow(CloseBtn);
    connect(CloseBtn, &QPushButton::clicked, this, &QDialog::accept);

    lbConnection = new QLabel(this);
    lbConnection->setObjectName(QStringLiteral("lbConnection"));
    lbConnection->setWordWrap(true);
    lbConnection->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    lbConnection->setGeometry(8, bottomTop, width - 13 - buttonWidth - 16, bottomHeight);
    QPalette warning = lbConnection->palette();
    warning.setColor(QPalette::WindowText, QColor(0xb0, 0x10, 0x10));
    lbConnection->setPalette(warning);
    lbConnection->hide();

    setFixedSize(width, bottomTop + bottomHeight + 8);

    m_watch.setInterval(200);
    connect(&m_watch, &QTimer::timeout, this, [this] {
        if (m_capi.ConnectionLost())
            ShowConnectionLost();
    });
}

void TfmCapiInfo::FormShow()
{
    if (m_capi.ConnectionLost()) {
        ShowConnectionLost();
        return;
    }
    lbVersion->setText(m_capi.QueryVersion());
    lbSerNum->setText(m_capi.QuerySerialNumber());
    lbHerst->setText(m_capi.QueryManufacturer());
    Image2->setVisible(lbSerNum->text().toUpper() == QStringLiteral("000001A"));
    Image3->setVisible(lbHerst->text().toUpper().contains(QStringLiteral("TELES")));
    Image4->setVisible(lbHerst->text().toUpper().contains(QStringLiteral("AVM")));
    // A connection lost during the queries may have left the library's own defaults behind.
    if (m_capi.ConnectionLost())
        ShowConnectionLost();
    else
        m_watch.start();
}

void TfmCapiInfo::ShowConnectionLost()
{
    m_watch.stop();
    for (QLabel *value : {lbHerst, lbVersion, lbSerNum})
        value->setText(tr(kUnknown));
    for (QLabel *picture : {Image2, Image3, Image4})
        picture->hide();
    const QString server = m_capi.RemoteCapi();
    lbConnection->setText(server.isEmpty() ? tr("Verbindung zur CAPI verloren")
                                           : tr("Verbindung zum CAPI-Server %1 verloren").arg(server));
    lbConnection->show();
}

void ShowCapiInfo(TCustomCapi20 &capi, QWidget *parent)
{
    TfmCapiInfo fmCapiInfo(capi, parent);
    fmCapiInfo.exec();
}
