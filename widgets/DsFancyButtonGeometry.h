#pragma once

#include <QRect>
#include <vector>

#include "widgets/Colors.h"
#include "widgets/DsEffect.h"

class QColor;
class QPainter;

// The pure drawing arithmetic of the fancy button: shapes as pixel sets, colours of the frame
// bands and the placement of glyph and caption. Nothing here touches a widget, so the button's
// geometry can be checked without painting.

// A filled shape stored as one run of pixels per row. Row y covers x = Left .. Right - 1; a row
// with Left >= Right is empty. A pixel belongs to a shape when its centre lies inside it, so the
// same set serves for painting and for the pointer test.
struct TPixelRun {
    int Left = 0;
    int Right = 0;
    bool Empty() const { return Left >= Right; }
    bool operator==(const TPixelRun&) const = default;
};

class TPixelShape {
public:
    // Rectangle (l, t, r, b), right and bottom exclusive, whose corners are quarters of an
    // ellipse of cornerW x cornerH pixels. A corner larger than the rectangle is cut to its size,
    // so a corner as large as the rectangle gives the inscribed ellipse; corner 0 gives the plain
    // rectangle.
    static TPixelShape RoundRect(int l, int t, int r, int b, int cornerW, int cornerH);
    static TPixelShape RoundRect(int l, int t, int r, int b, int corner) {
        return RoundRect(l, t, r, b, corner, corner);
    }
    static TPixelShape Ellipse(int l, int t, int r, int b) {
        return RoundRect(l, t, r, b, r - l, b - t);
    }

    bool Contains(int x, int y) const;
    TPixelRun Row(int y) const;
    int Top() const { return FTop; }
    int Bottom() const { return FTop + int(FRows.size()); }

    // The shape without its one-pixel border: the pixels whose four neighbours are all in it.
    TPixelShape Interior() const;

    void Fill(QPainter& canvas, const QColor& color) const;
    // Paints the one-pixel border (the shape less its interior), as far as it lies in clip.
    void FillBorder(QPainter& canvas, const QColor& color, const QRect& clip) const;

private:
    int FTop = 0;
    std::vector<TPixelRun> FRows;
};

// The colour c resolved to RGB with d added to each of red, green and blue, each clamped to
// 0..255.
TColor ShiftColor(TColor c, int d);

// Colour of frame band i of frameWidth: from the edge colour b (i = 0) toward the face colour a
// along a quarter circle, so the frame looks like a cushion rather than a linear ramp.
TColor GradientBandColor(TColor a, TColor b, int i, int frameWidth);

// How many bands are drawn: all of them, or when pressed only the outer third and one more.
int GradientBandCount(int frameWidth, bool pressed);

// Corner of frame band i for a button whose outer corner is d: each band is a pixel further
// inside, so its corner is 2 pixels smaller; 0 once nothing is left of it (a plain rectangle).
int GradientBandCorner(int d, int i);

// Outer corner size for the shape on a W x H button (the oval has none: it is an ellipse).
int ShapeCorner(TBtnShape shape, int cornerRadius, int width, int height);

// The shape over the rectangle (l, t, r, b) with the given outer corner.
TPixelShape ButtonShape(TBtnShape shape, int l, int t, int r, int b, int corner);

// Frame band i of a W x H button; pressed bands are moved 2 pixels right and down.
TPixelShape GradientBandShape(TBtnShape shape, int cornerRadius, int width, int height, int i,
                              bool pressed);

struct TButtonLayout {
    int GlyphL = 0;
    int GlyphT = 0;
    int TextL = 0;
    int TextT = 0;
    bool operator==(const TButtonLayout&) const = default;
};

// Places glyph (gw x gh) and caption (tw x th) on a W x H button with the gap D between them.
// The gap is kept even when there is no glyph.
TButtonLayout ComputeButtonLayout(TBmpLayout layout, int width, int height, int gw, int gh, int tw,
                                  int th, int distance);
