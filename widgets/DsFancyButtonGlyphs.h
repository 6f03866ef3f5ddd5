#pragma once

#include <QImage>
#include <array>

// The command buttons' pictures, drawn in code so that the program needs no image files. Each
// is a single square picture of size x size pixels on a transparent background (the bottom-left
// pixel is transparent, as the button expects of its glyph strip).
enum class TButtonGlyph {
    Connect,
    Disconnect,
    Test,
    Exit,
    Clear,
    Read,
    Write,
    Open,
    Save,
    FileWrite,
    Suffix,
    BoardSuffix,
    Hour,
};

inline constexpr std::array kAllButtonGlyphs{
    TButtonGlyph::Connect,   TButtonGlyph::Disconnect, TButtonGlyph::Test,
    TButtonGlyph::Exit,      TButtonGlyph::Clear,      TButtonGlyph::Read,
    TButtonGlyph::Write,     TButtonGlyph::Open,       TButtonGlyph::Save,
    TButtonGlyph::FileWrite, TButtonGlyph::Suffix,     TButtonGlyph::BoardSuffix,
    TButtonGlyph::Hour};

// An empty image only for a size of 0 or less.
QImage MakeButtonGlyph(TButtonGlyph glyph, int size);
