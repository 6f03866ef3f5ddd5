#pragma once

#include <QColor>
#include <QtGlobal>

// A colour as the program stores it: $00BBGGRR for an RGB colour (red in the lowest byte), or
// $FF0000nn for the system colour with index nn. System colours are looked up in the
// application palette each time they are drawn, so they follow the desktop's colour scheme.
using TColor = quint32;

inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clWhite = 0xFFFFFF;
inline constexpr TColor clRed = 0x0000FF;
inline constexpr TColor clBlue = 0xFF0000;
inline constexpr TColor clGray = 0x808080;
inline constexpr TColor clWindowText = 0xFF000008;
inline constexpr TColor clBtnFace = 0xFF00000F;
inline constexpr TColor clBtnShadow = 0xFF000010;

constexpr TColor RGBToColor(int r, int g, int b) {
    return TColor(r & 0xFF) | (TColor(g & 0xFF) << 8) | (TColor(b & 0xFF) << 16);
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

// The RGB value of c; a system colour is resolved through the application palette.
TColor ColorToRGB(TColor c);
QColor ColorToQColor(TColor c);
