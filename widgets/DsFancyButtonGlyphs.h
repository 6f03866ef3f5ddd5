#pragma once

#include <QImage>
#include <QString>
#include <QStringList>

// The command buttons' pictures, drawn in code so that the program needs no image files. Each
// is a single square picture of size x size pixels on a transparent background (the bottom-left
// pixel is transparent, as the button expects of its glyph strip). Names: "connect",
// "disconnect", "test", "exit", "clear", "read", "write", "open", "save", "filewrite", "suffix",
// "hour". An unknown name gives an empty image, which the button does not draw.
QImage MakeButtonGlyph(const QString& name, int size);
QStringList ButtonGlyphNames();
