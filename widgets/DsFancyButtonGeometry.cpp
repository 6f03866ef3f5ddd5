#include "widgets/DsFancyButtonGeometry.h"

#include <QColor>
#include <QPainter>
#include <algorithm>
#include <cmath>

TPixelShape TPixelShape::RoundRect(int l, int t, int r, int b, int cornerW, int cornerH) {
    TPixelShape shape;
    shape.FTop = t;
    if (r <= l || b <= t)
        return shape;
    const double rx = std::clamp(cornerW, 0, r - l) / 2.0;
    const double ry = std::clamp(cornerH, 0, b - t) / 2.0;
    shape.FRows.reserve(std::size_t(b - t));
    for (int y = t; y < b; ++y) {
        const double yc = y + 0.5;
        double inset = 0.0;
        if (rx > 0 && ry > 0) {
            double dy = 0.0;
            if (yc < t + ry)
                dy = t + ry - yc;
            else if (yc > b - ry)
                dy = yc - (b - ry);
            const double q = dy / ry;
            inset = rx - rx * std::sqrt(std::max(0.0, 1.0 - q * q));
        }
        // Pixel x is in the row when its centre x + 0.5 lies within [l + inset, r - inset].
        const int left = int(std::ceil(l + inset - 0.5));
        const int right = int(std::floor(r - inset - 0.5)) + 1;
        shape.FRows.push_back({left, std::max(left, right)});
    }
    return shape;
}

TPixelRun TPixelShape::Row(int y) const {
    if (y < FTop || y >= Bottom())
        return {};
    return FRows[std::size_t(y - FTop)];
}

bool TPixelShape::Contains(int x, int y) const {
    const TPixelRun run = Row(y);
    return x >= run.Left && x < run.Right;
}

TPixelShape TPixelShape::Interior() const {
    TPixelShape inner;
    inner.FTop = FTop;
    inner.FRows.reserve(FRows.size());
    for (int y = FTop; y < Bottom(); ++y) {
        const TPixelRun here = Row(y), above = Row(y - 1), below = Row(y + 1);
        if (here.Empty() || above.Empty() || below.Empty()) {
            inner.FRows.push_back({});
            continue;
        }
        const int left = std::max({here.Left + 1, above.Left, below.Left});
        const int right = std::min({here.Right - 1, above.Right, below.Right});
        inner.FRows.push_back({left, std::max(left, right)});
    }
    return inner;
}

void TPixelShape::Fill(QPainter& canvas, const QColor& color) const {
    // Rows with equal runs are filled as one rectangle: a rounded rectangle is then a handful of
    // rectangles instead of one per row.
    std::size_t i = 0;
    while (i < FRows.size()) {
        std::size_t j = i + 1;
        while (j < FRows.size() && FRows[j] == FRows[i])
            ++j;
        if (!FRows[i].Empty())
            canvas.fillRect(
                QRect(FRows[i].Left, FTop + int(i), FRows[i].Right - FRows[i].Left, int(j - i)),
                color);
        i = j;
    }
}

void TPixelShape::FillBorder(QPainter& canvas, const QColor& color, const QRect& clip) const {
    const TPixelShape inner = Interior();
    auto segment = [&](int y, int left, int right) {
        left = std::max(left, clip.left());
        right = std::min(right, clip.right() + 1);
        if (left < right)
            canvas.fillRect(QRect(left, y, right - left, 1), color);
    };
    const int top = std::max(FTop, clip.top());
    const int bottom = std::min(Bottom(), clip.bottom() + 1);
    for (int y = top; y < bottom; ++y) {
        const TPixelRun run = Row(y), in = inner.Row(y);
        if (run.Empty())
            continue;
        if (in.Empty()) {
            segment(y, run.Left, run.Right);
        } else {
            segment(y, run.Left, in.Left);
            segment(y, in.Right, run.Right);
        }
    }
}

TColor ShiftColor(TColor c, int d) {
    const TColor rgb = ColorToRGB(c);
    auto shift = [d](int v) { return std::clamp(v + d, 0, 255); };
    return RGBToColor(shift(ColorRed(rgb)), shift(ColorGreen(rgb)), shift(ColorBlue(rgb)));
}

TColor GradientBandColor(TColor a, TColor b, int i, int frameWidth) {
    const double fw = frameWidth;
    const double f = std::sqrt(fw * fw - (fw - i) * (fw - i)) / fw;
    // nearbyint rounds halves to even in the default rounding mode.
    auto mix = [f](int ak, int bk) { return bk + int(std::nearbyint((ak - bk) * f)); };
    return RGBToColor(mix(ColorRed(a), ColorRed(b)), mix(ColorGreen(a), ColorGreen(b)),
                      mix(ColorBlue(a), ColorBlue(b)));
}

int GradientBandCount(int frameWidth, bool pressed) {
    return pressed ? std::min(frameWidth, frameWidth / 3 + 1) : frameWidth;
}

int GradientBandCorner(int d, int i) {
    return d - 2 * i > 0 ? d - 2 * i : 0;
}

int ShapeCorner(TBtnShape shape, int cornerRadius, int width, int height) {
    switch (shape) {
        case btnCapsule:
            return std::min(width, height);
        case btnRectangle:
            return 2 * cornerRadius;
        case btnOval:
            break;
    }
    return 0;
}

TPixelShape ButtonShape(TBtnShape shape, int l, int t, int r, int b, int corner) {
    if (shape == btnOval)
        return TPixelShape::Ellipse(l, t, r, b);
    return TPixelShape::RoundRect(l, t, r, b, corner);
}

TPixelShape GradientBandShape(TBtnShape shape, int cornerRadius, int width, int height, int i,
                              bool pressed) {
    const int o = pressed ? 2 : 0;
    const int d = ShapeCorner(shape, cornerRadius, width, height);
    return ButtonShape(shape, i + 1 + o, i + 1 + o, width - i - 1 + o, height - i - 1 + o,
                       GradientBandCorner(d, i));
}

TButtonLayout ComputeButtonLayout(TBmpLayout layout, int width, int height, int gw, int gh, int tw,
                                  int th, int distance) {
    const int W = width, H = height, D = distance;
    TButtonLayout r;
    switch (layout) {
        case lyLeft:
        case lyRight: {
            const int c = gw + D + tw < W ? (W - gw - D - tw) / 2 : 0;
            r.GlyphT = gh < H ? (H - gh) / 2 - 1 : 0;
            r.TextT = (H - th) / 2 - 1;
            if (layout == lyLeft) {
                r.GlyphL = c;
                r.TextL = r.GlyphL + gw + D;
            } else {
                r.GlyphL = W - c - gw;
                r.TextL = r.GlyphL - tw - D;
            }
            break;
        }
        case lyTop:
        case lyBottom: {
            const bool fits = gh + D + th < H;
            const int c = fits ? (H - gh - D - th) / 2 : 0;
            r.GlyphL = gw < W ? (W - gw) / 2 : 0;
            r.TextL = (W - tw) / 2;
            if (layout == lyTop) {
                r.GlyphT = fits ? c - 1 : 0;
                r.TextT = r.GlyphT + gh + D;
            } else {
                r.GlyphT = H - c - gh;
                r.TextT = r.GlyphT - D - th;
            }
            break;
        }
        case lyCenter:
            r.GlyphL = gw < W ? (W - gw) / 2 : 0;
            r.GlyphT = gh < H ? (H - gh) / 2 : 0;
            r.TextL = (W - tw) / 2;
            r.TextT = (H - th) / 2;
            break;
    }
    return r;
}
