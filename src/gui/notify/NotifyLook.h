#pragma once

#include <QColor>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

class QLabel;
class QWidget;

// What the notification windows share: where they appear, their text colour and their
// background (a stretched bitmap, or a colour). Settings: CallMsgLeft, CallMsgTop,
// ExtWinFontColor, ExtWinBackColor, ExtWinShowing, BmpDir. Their texts read as
// Settings::Read does: a value stored in a form that is no text (by another program) reads as
// empty, so the window's default stands, and is logged: a notification opens during a call and
// must neither fail nor wait for a dialog.
namespace NotifyLook {

// The stored edges count by their low 16 bits as unsigned numbers (so -20 is 65516). The
// window goes there when left > 0, left < desktop width and top < desktop height; otherwise it
// is centred on centreOn.
QPoint placement(qint32 storedLeft, qint32 storedTop, QSize windowSize, QSize desktopSize,
                 const QRect &centreOn);
// Moves a top-level window to the stored position (or the middle of the primary screen).
// Positions are those of the window's client area, so they come back exactly whatever frame
// the window manager draws.
void placeFromSettings(QWidget *window);
// Writes the left and top edges of the window's client area; a failing write is reported in a
// message dialog.
void storePosition(const QWidget *window);

// The default background picture shipped with the program.
QString defaultBitmapPath();
// ISDN_BmpDir, or the default picture when it is empty.
QString bitmapPath();
// ISDN_ExtWinShowing: absent or on means the bitmap is used.
bool useBitmap();
// ISDN_ExtWinFontColor as a screen colour; yellow when empty or no colour.
QColor fontColor();
// ISDN_ExtWinBackColor as a screen colour; the button face colour when empty or no colour.
QColor backColor();

// Colours the labels' text with the font colour.
void applyFontColor(std::initializer_list<QLabel *> labels);
// Shows the background bitmap stretched in image when the bitmap is in use and its file loads;
// otherwise hides image and fills window with the background colour. True when the bitmap shows.
bool applyBackground(QWidget *window, QLabel *image);

} // namespace NotifyLook
