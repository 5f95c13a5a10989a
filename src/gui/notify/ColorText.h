#pragma once

#include <QColor>
#include <QString>
#include <optional>

// Colours as the settings store them. A colour value is 32 bits: 00BBGGRR for a plain colour,
// 0x80000000 plus an index 0 to 24 for a system colour (drawn in the current palette's matching
// colour), 0x1FFFFFFF for "no colour". Its text is one of 42 names ("clYellow", "clBtnFace" ...)
// or "$" and eight hexadecimal digits of the value ("$00adad5c").
namespace ColorText {

using ColorValue = quint32;

inline constexpr ColorValue clBlack = 0x000000;
inline constexpr ColorValue clYellow = 0x00FFFF;
inline constexpr ColorValue clWhite = 0xFFFFFF;
inline constexpr ColorValue clSystemColor = 0x80000000;
inline constexpr ColorValue clBtnFace = clSystemColor + 15;
inline constexpr ColorValue clNone = 0x1FFFFFFF;

// The value of a colour text: a name in any case, or "$" and eight hex digits in any case.
// Anything else (empty, other digits, unknown names, blanks around it) is no colour.
std::optional<ColorValue> toColor(const QString &text);
// The text of a value: its name when it has one, "$" and eight lower-case hex digits otherwise.
QString toText(ColorValue value);

// What a value looks like on screen. System colours take the application palette's current
// colour for the same purpose; "no colour" is fully transparent.
QColor toQColor(ColorValue value);
// The plain colour value (00BBGGRR) of a screen colour; alpha is dropped.
ColorValue fromQColor(const QColor &color);

// The screen colour of a colour text, or the screen colour of fallback when the text is no colour.
QColor resolve(const QString &text, ColorValue fallback);

} // namespace ColorText
