#pragma once

#include <QImage>

// The program's own pictures, drawn at start so that no image files have to travel with it.

// The banner logo: a stylised controller face, 110 × 90 (shown stretched to 55 × 45).
QImage MakeLogo();

// The window icon, size × size (32 in the window; the installed icon comes in several sizes).
QImage MakeWindowIcon(int size = 32);

// The small glyphs of the message dialog's buttons: a tick for "예"/"확인", a cross for "아니오".
QImage MakeDialogGlyph(bool yes);
