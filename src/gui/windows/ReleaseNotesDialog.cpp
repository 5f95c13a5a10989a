#include "windows/ReleaseNotesDialog.h"

#include "common/Paths.h"
#include "common/Utils.h"
#include "widgets/MessageDialog.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>

namespace {
// A sheet of notes with a folded corner, lines of text, and a blue disc with an "i".
QPixmap notesPicture(int size)
{
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    const QRectF sheet(s * 0.12, s * 0.04, s * 0.64, s * 0.86);
    const qreal fold = s * 0.20;
    QPainterPath outline;
    outline.moveTo(sheet.topLeft());
    outline.lineTo(sheet.right() - fold, sheet.top());
    outline.lineTo(sheet.right(), sheet.top() + fold);
    outline.lineTo(sheet.bottomRight());
    outline.lineTo(sheet.bottomLeft());
    outline.closeSubpath();
    p.setPen(QPen(QColor(0x60, 0x60, 0x68), 1.0));
    p.setBrush(Qt::white);
    p.drawPath(outline);
    QPolygonF corner;
    corner << QPointF(sheet.right() - fold, sheet.top()) << QPointF(sheet.right() - fold, sheet.top() + fold)
           << QPointF(sheet.right(), sheet.top() + fold);
    p.setBrush(QColor(0xdc, 0xdc, 0xe0));
    p.drawPolygon(corner);
    p.setPen(QPen(QColor(0x80, 0x88, 0x98), qMax(1.0, s * 0.04)));
    for (int i = 0; i < 6; ++i) {
        const qreal y = sheet.top() + s * (0.28 + 0.09 * i);
        const qreal right = sheet.right() - s * (i % 3 == 2 ? 0.22 : 0.08);
        p.drawLine(QPointF(sheet.left() + s * 0.08, y), QPointF(right, y));
    }
    const QPointF c(s * 0.74, s * 0.74);
    const qreal r = s * 0.22;
    p.setPen(QPen(QColor(0x12, 0x3a, 0x7a), 1.0));
    p.setBrush(QColor(0x1f, 0x5f, 0xbf));
    p.drawEllipse(c, r, r);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(c.x(), c.y() - r * 0.48), r * 0.16, r * 0.16);
    p.drawRoundedRect(QRectF(c.x() - r * 0.14, c.y() - r * 0.20, r * 0.28, r * 0.72), r * 0.08, r * 0.08);
    return pm;
}

// The end of a line: LF, CR LF, or a CR of its own at the end of the file.
QByteArray withoutLineEnd(QByteArray line)
{
    if (line.endsWith('\n'))
        line.chop(1);
    if (line.endsWith('\r'))
        line.chop(1);
    return line;
}

QString cannotRead(const QString &path, const QString &why)
{
    return QCoreApplication::translate("TfmReadme", "%1 kann nicht gelesen werden: %2").arg(path, why);
}
} // namespace

TfmReadme::TfmReadme(QWidget *parent) : TToolDialog(parent)
{
    setObjectName(QStringLiteral("fmReadme"));
    setWindowTitle(tr("Hinweise / Release Information"));
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48})
        icon.addPixmap(notesPicture(size));
    setWindowIcon(icon);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(notesPicture(32));
    Image1->setGeometry(8, 8, 32, 32);

    Memo = new QPlainTextEdit(this);
    Memo->setObjectName(QStringLiteral("Memo"));
    Memo->setReadOnly(true);
    Memo->setGeometry(40, 40, 425, 281);
    Memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    QFont font = QApplication::font();
    font.setPixelSize(11);
    Memo->setFont(font);
    setFocusOnShow(Memo);

    setFixedSize(475, 331);
}

bool TfmReadme::LoadFile(const QString &path)
{
    Memo->clear();
    if (!QFileInfo::exists(path)) {
        ShowMessageDlg(tr("Keine Hinweise vorhanden ..."));
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ShowMessageDlg(cannotRead(path, file.errorString()));
        return false;
    }
    QStringList lines;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine();
        if (file.error() != QFileDevice::NoError)
            break;
        // Ctrl+Z ends a DOS text; what follows it is no text.
        const qsizetype end = line.indexOf('\x1a');
        if (end >= 0) {
            if (end > 0)
                lines << DecodeOem(withoutLineEnd(line.left(end)));
            break;
        }
        // Lines are shown whole, however long.
        lines << DecodeOem(withoutLineEnd(line));
    }
    if (file.error() != QFileDevice::NoError) {
        ShowMessageDlg(cannotRead(path, file.errorString()));
        return false;
    }
    Memo->setPlainText(lines.join(QLatin1Char('\n')));
    return true;
}

QString ReadmePath()
{
    return Paths::sharedFile(QStringLiteral("readme.txt"));
}

void ShowReadme(QWidget *parent, const QString &path)
{
    TfmReadme fmReadme(parent);
    if (fmReadme.LoadFile(path))
        fmReadme.exec();
}
