#pragma once

#include <QIcon>
#include <QList>
#include <QPixmap>

// The program's own pictures, drawn in code so they stay sharp at every size the desktop asks
// for. Every function is cheap after its first call (results are cached) and needs a
// QGuiApplication.
namespace Icons {
// The standing notification-area icon and window icon: a white handset on a blue disc,
// drawn separately for 16, 22, 24, 32, 48 and 64 pixels.
QIcon trayIcon();
// The icon with the number of missed calls on a red badge ("9+" above nine); the plain icon for
// a count of 0.
QIcon trayIconWithCount(int count);
// The same drawing at any size, for the icons installed into the desktop's icon theme.
QPixmap programPicture(int size);
// Transfer icons of the second notification-area icon: a B-channel connection, sending, receiving.
QIcon connectIcon();
QIcon sendIcon();
QIcon receiveIcon();
// The side button of edit fields that open a chooser: three dots.
QIcon browseIcon();
// The journal window's button to the statistics: three bars of a chart.
QIcon statisticsIcon();
// The 32 x 32 picture of the message dialog.
QPixmap messagePicture();
// Frames of the start page's call animation (a handset with growing sound waves), size x size.
QList<QPixmap> ringFrames(int size = 32);
// Frames of the conversion window's animation (a magnifier passing over journal pages).
QList<QPixmap> convertFrames(int size = 48);
} // namespace Icons
