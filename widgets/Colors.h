#pragma once

#include <QColor>
#include <QtGlobal>

// A colour value as the widgets store it: $00BBGGRR for an RGB colour (red in the lowest byte), or
// $FF0000nn for the system colour with index nn, which is resolved only when it is drawn.
using TColor = quint32;

constexpr TColor clBlack = 0x000000;
constexpr TColor clMaroon = 0x000080;
constexpr TColor clGreen = 0x008000;
constexpr TColor clOlive = 0x008080;
constexpr TColor clNavy = 0x800000;
constexpr TColor clPurple = 0x800080;
constexpr TColor clTeal = 0x808000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clFuchsia = 0xFF00FF;
constexpr TColor clAqua = 0xFFFF00;
constexpr TColor clWhite = 0xFFFFFF;

constexpr TColor clHighlight = 0xFF00000D;
constexpr TColor clHighlightText = 0xFF00000E;
constexpr TColor clBtnFace = 0xFF00000F;
constexpr TColor clBtnShadow = 0xFF000010;
constexpr TColor clGrayText = 0xFF000011;
constexpr TColor clBtnText = 0xFF000012;
constexpr TColor clBtnHighlight = 0xFF000014;
constexpr TColor clWindow = 0xFF000005;
constexpr TColor clWindowText = 0xFF000008;

constexpr TColor RGBToColor(int r, int g, int b) {
    return TColor(r & 0xFF) | (TColor(g & 0xFF) << 8) | (TColor(b & 0xFF) << 16);
}

constexpr bool IsSystemColor(TColor color) {
    return (color & 0x80000000u) != 0;
}

constexpr int ColorRed(TColor rgb) {
    return int(rgb & 0xFF);
}
constexpr int ColorGreen(TColor rgb) {
    return int((rgb >> 8) & 0xFF);
}
constexpr int ColorBlue(TColor rgb) {
    return int((rgb >> 16) & 0xFF);
}

// The RGB value of a colour, system colours resolved through the application palette.
TColor ColorToRGB(TColor color);

// The RGB colour to draw with: system colours come from the application palette, so the widgets
// follow the desktop theme as the window around them does.
QColor ColorToQColor(TColor color);
