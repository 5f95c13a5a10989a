#include "notify/NotifyLook.h"

#include "common/Errors.h"
#include "common/Paths.h"
#include "notify/ColorText.h"
#include "settings/SettingsStore.h"
#include "widgets/MessageDialog.h"

#include <QDebug>
#include <QGuiApplication>
#include <QLabel>
#include <QPixmap>
#include <QScreen>
#include <QWidget>
#include <QWindow>

namespace NotifyLook {

QPoint placement(qint32 storedLeft, qint32 storedTop, QSize windowSize, QSize desktopSize,
                 const QRect &centreOn)
{
    const int x = quint16(quint32(storedLeft));
    const int y = quint16(quint32(storedTop));
    if (x > 0 && x < desktopSize.width() && y < desktopSize.height())
        return {x, y};
    return {centreOn.x() + centreOn.width() / 2 - windowSize.width() / 2,
            centreOn.y() + centreOn.height() / 2 - windowSize.height() / 2};
}

void placeFromSettings(QWidget *window)
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    // The whole desktop counts, so a window left on a second monitor stays there.
    const QRect desktop = screen->virtualGeometry();
    const QSize desktopSize(desktop.x() + desktop.width(), desktop.y() + desktop.height());
    // Positions are those of the client area: before a window is on screen its frame is not known,
    // so frame positions would not come back where they were stored and windows would creep.
    const QPoint topLeft =
        placement(Settings::Read(Settings::CallMsgLeft), Settings::Read(Settings::CallMsgTop), window->size(),
                  desktopSize, screen->geometry());
    window->winId();
    if (QWindow *handle = window->windowHandle())
        handle->setPosition(topLeft); // frame excluded
    else
        window->setGeometry(QRect(topLeft, window->size()));
}

void storePosition(const QWidget *window)
{
    // A position that is already stored is not written again: every write goes to the disk, and
    // many notifications closing one after the other would hold up the calls behind them.
    const auto store = [](const Settings::Integer &key, int value) {
        if (Settings::StoredText(key) != QString::number(value))
            Settings::Write(key, value);
    };
    try {
        store(Settings::CallMsgLeft, window->geometry().x());
        store(Settings::CallMsgTop, window->geometry().y());
    } catch (const IoError &e) {
        ShowMessageDlg(e.message());
    }
}

QString defaultBitmapPath()
{
    return Paths::sharedFile(QStringLiteral("bitmaps/himmel.bmp"));
}

QString bitmapPath()
{
    const QString path = Settings::Read(Settings::BmpDir);
    return path.isEmpty() ? defaultBitmapPath() : path;
}

bool useBitmap()
{
    return Settings::Read(Settings::ExtWinShowing);
}

QColor fontColor()
{
    return ColorText::resolve(Settings::Read(Settings::ExtWinFontColor), ColorText::clYellow);
}

QColor backColor()
{
    return ColorText::resolve(Settings::Read(Settings::ExtWinBackColor), ColorText::clBtnFace);
}

void applyFontColor(std::initializer_list<QLabel *> labels)
{
    const QColor color = fontColor();
    if (color.alpha() == 0)
        return; // "no colour": the labels keep the palette's text colour
    for (QLabel *label : labels) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, color);
        label->setPalette(palette);
    }
}

bool applyBackground(QWidget *window, QLabel *image)
{
    if (useBitmap()) {
        // A file that is missing or is no picture gives the colour instead, without a message.
        const QPixmap bitmap(bitmapPath());
        if (!bitmap.isNull()) {
            image->setScaledContents(true);
            image->setPixmap(bitmap);
            image->show();
            return true;
        }
    }
    image->clear();
    image->hide();
    const QColor color = backColor();
    if (color.alpha() != 0) {
        QPalette palette = window->palette();
        palette.setColor(QPalette::Window, color);
        window->setPalette(palette);
    }
    window->setAutoFillBackground(true);
    return false;
}

} // namespace NotifyLook
