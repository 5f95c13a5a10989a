#include "notify/ColorText.h"

#include <QGuiApplication>
#include <QPalette>
#include <array>

namespace ColorText {
namespace {

struct Named
{
    const char *name;
    ColorValue value;
};

constexpr ColorValue sys(int index)
{
    return clSystemColor + ColorValue(index);
}

// The 42 names. A value appears once, so writing gives one name back.
constexpr std::array<Named, 42> kNames = {{
    {"clBlack", 0x000000},         {"clMaroon", 0x000080},        {"clGreen", 0x008000},
    {"clOlive", 0x008080},         {"clNavy", 0x800000},          {"clPurple", 0x800080},
    {"clTeal", 0x808000},          {"clGray", 0x808080},          {"clSilver", 0xC0C0C0},
    {"clRed", 0x0000FF},           {"clLime", 0x00FF00},          {"clYellow", 0x00FFFF},
    {"clBlue", 0xFF0000},          {"clFuchsia", 0xFF00FF},       {"clAqua", 0xFFFF00},
    {"clWhite", 0xFFFFFF},         {"clScrollBar", sys(0)},       {"clBackground", sys(1)},
    {"clActiveCaption", sys(2)},   {"clInactiveCaption", sys(3)}, {"clMenu", sys(4)},
    {"clWindow", sys(5)},          {"clWindowFrame", sys(6)},     {"clMenuText", sys(7)},
    {"clWindowText", sys(8)},      {"clCaptionText", sys(9)},     {"clActiveBorder", sys(10)},
    {"clInactiveBorder", sys(11)}, {"clAppWorkSpace", sys(12)},   {"clHighlight", sys(13)},
    {"clHighlightText", sys(14)},  {"clBtnFace", sys(15)},        {"clBtnShadow", sys(16)},
    {"clGrayText", sys(17)},       {"clBtnText", sys(18)},        {"clInactiveCaptionText", sys(19)},
    {"clBtnHighlight", sys(20)},   {"cl3DDkShadow", sys(21)},     {"cl3DLight", sys(22)},
    {"clInfoText", sys(23)},       {"clInfoBk", sys(24)},         {"clNone", clNone},
}};

struct PaletteSlot
{
    QPalette::ColorGroup group;
    QPalette::ColorRole role;
};

// System colour index 0..24 -> the palette colour used for the same purpose.
constexpr std::array<PaletteSlot, 25> kSystemSlots = {{
    {QPalette::Active, QPalette::Midlight},          // scroll bar track
    {QPalette::Active, QPalette::Dark},              // desktop
    {QPalette::Active, QPalette::Highlight},         // active caption
    {QPalette::Inactive, QPalette::Mid},             // inactive caption
    {QPalette::Active, QPalette::Window},            // menu
    {QPalette::Active, QPalette::Base},              // window (text areas)
    {QPalette::Active, QPalette::Shadow},            // window frame
    {QPalette::Active, QPalette::WindowText},        // menu text
    {QPalette::Active, QPalette::Text},              // window text
    {QPalette::Active, QPalette::HighlightedText},   // caption text
    {QPalette::Active, QPalette::Button},            // active border
    {QPalette::Inactive, QPalette::Button},          // inactive border
    {QPalette::Active, QPalette::Mid},               // application work space
    {QPalette::Active, QPalette::Highlight},         // selection
    {QPalette::Active, QPalette::HighlightedText},   // selected text
    {QPalette::Active, QPalette::Button},            // button face
    {QPalette::Active, QPalette::Dark},              // button shadow
    {QPalette::Disabled, QPalette::Text},            // grey text
    {QPalette::Active, QPalette::ButtonText},        // button text
    {QPalette::Inactive, QPalette::HighlightedText}, // inactive caption text
    {QPalette::Active, QPalette::Light},             // button highlight
    {QPalette::Active, QPalette::Shadow},            // 3D dark shadow
    {QPalette::Active, QPalette::Midlight},          // 3D light
    {QPalette::Active, QPalette::ToolTipText},       // tool tip text
    {QPalette::Active, QPalette::ToolTipBase},       // tool tip background
}};

bool isHexDigit(QChar c)
{
    return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
           (c >= QLatin1Char('a') && c <= QLatin1Char('f')) ||
           (c >= QLatin1Char('A') && c <= QLatin1Char('F'));
}

} // namespace

std::optional<ColorValue> toColor(const QString &text)
{
    if (text.size() == 9 && text.front() == QLatin1Char('$')) {
        for (int i = 1; i < 9; ++i) {
            if (!isHexDigit(text.at(i)))
                return std::nullopt;
        }
        return ColorValue(text.mid(1).toUInt(nullptr, 16));
    }
    for (const Named &named : kNames) {
        if (text.compare(QLatin1String(named.name), Qt::CaseInsensitive) == 0)
            return named.value;
    }
    return std::nullopt;
}

QString toText(ColorValue value)
{
    for (const Named &named : kNames) {
        if (named.value == value)
            return QLatin1String(named.name);
    }
    return QStringLiteral("$%1").arg(value, 8, 16, QLatin1Char('0'));
}

QColor toQColor(ColorValue value)
{
    if (value == clNone)
        return QColor(Qt::transparent);
    if ((value & 0xFF000000) == clSystemColor) {
        const ColorValue index = value & 0x00FFFFFF;
        if (index >= kSystemSlots.size())
            return QColor(Qt::black); // an index the system does not know has no colour of its own
        const QPalette palette = QGuiApplication::palette();
        return palette.color(kSystemSlots[index].group, kSystemSlots[index].role);
    }
    // Plain colours; other flag bytes in the top byte do not change the colour drawn.
    return QColor(int(value & 0xFF), int((value >> 8) & 0xFF), int((value >> 16) & 0xFF));
}

ColorValue fromQColor(const QColor &color)
{
    const QColor rgb = color.toRgb();
    return ColorValue(rgb.red()) | (ColorValue(rgb.green()) << 8) | (ColorValue(rgb.blue()) << 16);
}

QColor resolve(const QString &text, ColorValue fallback)
{
    return toQColor(toColor(text).value_or(fallback));
}

} // namespace ColorText
