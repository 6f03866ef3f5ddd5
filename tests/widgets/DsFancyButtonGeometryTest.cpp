#include <gtest/gtest.h>

#include <QApplication>
#include <QPalette>
#include <QSignalSpy>
#include <functional>

#include "widgets/DsEffect.h"
#include "widgets/DsFancyButtonGeometry.h"

namespace {

TEST(FancyButtonSettings, OutOfRangeWritesAreClampedAndEveryWriteNotifies) {
    TDsEffect effect;
    TDsGlyph glyphs;
    QSignalSpy effectSpy(&effect, &TDsEffect::OnEffectChange);
    QSignalSpy glyphSpy(&glyphs, &TDsGlyph::OnGlyphChange);
    struct Case {
        const char* what;
        std::function<void(int)> write;
        std::function<int()> read;
        QSignalSpy& spy;
        int written;
        int stored;
    };
    auto frameWidth = [&](int v) { effect.SetFrameWidth(v); };
    auto corner = [&](int v) { effect.SetCornerRadius(v); };
    auto number = [&](int v) { glyphs.SetNumber(v); };
    auto distance = [&](int v) { glyphs.SetDistance(v); };
    auto readFrame = [&] { return effect.FrameWidth(); };
    auto readCorner = [&] { return effect.CornerRadius(); };
    auto readNumber = [&] { return glyphs.Number(); };
    auto readDistance = [&] { return glyphs.Distance(); };
    const Case cases[] = {
        {"FrameWidth", frameWidth, readFrame, effectSpy, 20, 14},
        {"FrameWidth", frameWidth, readFrame, effectSpy, 1, 3},
        {"FrameWidth", frameWidth, readFrame, effectSpy, 14, 14},
        {"FrameWidth", frameWidth, readFrame, effectSpy, 3, 3},
        {"CornerRadius", corner, readCorner, effectSpy, -5, 0},
        {"CornerRadius", corner, readCorner, effectSpy, 200, 145},
        {"CornerRadius", corner, readCorner, effectSpy, 145, 145},
        {"Number", number, readNumber, glyphSpy, 0, 1},
        {"Number", number, readNumber, glyphSpy, 9, 4},
        {"Number", number, readNumber, glyphSpy, 300, 4},
        {"Number", number, readNumber, glyphSpy, 2, 2},
        {"Distance", distance, readDistance, glyphSpy, -2, 0},
        {"Distance", distance, readDistance, glyphSpy, 7, 7},
    };
    for (const Case& c : cases) {
        c.spy.clear();
        c.write(c.written);
        EXPECT_EQ(c.read(), c.stored) << c.what << " written as " << c.written;
        EXPECT_EQ(c.spy.count(), 1) << c.what;
    }

    // Writing the value a property already has still notifies.
    effectSpy.clear();
    effect.SetShape(effect.Shape());
    effect.SetHoverColor(effect.HoverColor());
    EXPECT_EQ(effectSpy.count(), 2);
    glyphSpy.clear();
    glyphs.SetLayout(glyphs.Layout());
    EXPECT_EQ(glyphSpy.count(), 1);
}

TEST(FancyButtonColors, ShiftColorWorksPerByteAndClamps) {
    const struct {
        TColor c;
        int d;
        TColor shifted;
    } cases[] = {
        {0xEEEEEE, -80, 0x9E9E9E},  {0xEEEEEE, +25, 0xFFFFFF}, {0xEEEEEE, -65, 0xADADAD},
        {0x0A80FA, +10, 0x148AFF},  // red $FA, green $80, blue $0A, each on its own
        {0x102030, -300, 0x000000}, {0x102030, 0, 0x102030},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ShiftColor(c.c, c.d), c.shifted) << std::hex << c.c << " " << std::dec << c.d;

    // A system colour is resolved through the application palette first.
    const QColor face = QApplication::palette().color(QPalette::Active, QPalette::Button);
    const TColor faceRgb = RGBToColor(face.red(), face.green(), face.blue());
    EXPECT_EQ(ShiftColor(clBtnFace, 0), faceRgb);
    EXPECT_EQ(ColorToQColor(0x0000FF), QColor(255, 0, 0));
}

TEST(FancyButtonFrame, BandColoursFollowAQuarterCircleFromEdgeToFace) {
    // Worked out by hand from sqrt(FW^2 - (FW - i)^2) / FW for the main window's #EEEEEE face.
    const TColor rest[] = {0x9E9E9E, 0xCACACA, 0xDADADA, 0xE3E3E3, 0xE9E9E9, 0xEDEDED};
    const TColor hover[] = {0xA8A8A8, 0xD4D4D4, 0xE4E4E4, 0xEDEDED, 0xF3F3F3, 0xF7F7F7};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(GradientBandColor(0xEEEEEE, 0x9E9E9E, i, 6), rest[i]) << "band " << i;
        EXPECT_EQ(GradientBandColor(0xF8F8F8, 0xA8A8A8, i, 6), hover[i]) << "band " << i;
    }
}

TEST(FancyButtonFrame, PressedButtonDrawsOnlyTheOuterThirdOfItsBands) {
    const struct {
        int frameWidth;
        bool pressed;
        int bands;
    } cases[] = {{6, true, 3}, {14, true, 5}, {3, true, 2}, {6, false, 6}, {14, false, 14}};
    for (const auto& c : cases)
        EXPECT_EQ(GradientBandCount(c.frameWidth, c.pressed), c.bands)
            << "FW " << c.frameWidth << (c.pressed ? " pressed" : "");
}

TEST(FancyButtonFrame, BandCornersBecomePlainRectanglesFromTheFourthBand) {
    // Rectangle shape with radius 3: the outer corner is 6, two pixels less per band.
    const int corners[] = {6, 4, 2, 0, 0, 0};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(GradientBandCorner(6, i), corners[i]) << "band " << i;

    const int W = 85, H = 44;
    for (int i = 3; i < 6; ++i) {
        const TPixelShape band = GradientBandShape(btnRectangle, 3, W, H, i, false);
        for (int y = i + 1; y < H - i - 1; ++y)
            ASSERT_EQ(band.Row(y), (TPixelRun{i + 1, W - i - 1})) << "band " << i << " row " << y;
    }
    // The outer band is rounded: its corner pixels are not part of it.
    const TPixelShape outer = GradientBandShape(btnRectangle, 3, W, H, 0, false);
    EXPECT_FALSE(outer.Contains(1, 1));
    EXPECT_FALSE(outer.Contains(W - 2, H - 2));
    EXPECT_TRUE(outer.Contains(1, H / 2));
}

TEST(FancyButtonShape, PointTestFollowsCapsuleOvalAndRectangle) {
    const int W = 85, H = 44;
    const struct {
        TBtnShape shape;
        int x, y;
        bool inside;
    } cases[] = {
        {btnRectangle, 0, 0, false},   {btnRectangle, 1, 1, true},    {btnRectangle, 5, 5, true},
        {btnRectangle, 84, 43, false}, {btnRectangle, 0, 22, true},   {btnRectangle, 84, 22, true},
        {btnCapsule, 5, 5, false},     {btnCapsule, 22, 0, true},     {btnCapsule, 0, 22, true},
        {btnCapsule, 79, 38, false},   {btnOval, 5, 5, false},        {btnOval, 42, 1, true},
        {btnOval, 0, 22, true},        {btnOval, 12, 4, false},       {btnOval, 42, 22, true},
        {btnRectangle, 85, 22, false}, {btnRectangle, -1, 22, false},
    };
    for (const auto& c : cases) {
        const TPixelShape shape = ButtonShape(c.shape, 0, 0, W, H, ShapeCorner(c.shape, 3, W, H));
        EXPECT_EQ(shape.Contains(c.x, c.y), c.inside)
            << "shape " << c.shape << " at " << c.x << "," << c.y;
    }
}

TEST(FancyButtonLayout, PlacesGlyphAndCaptionForEveryLayout) {
    // Glyph 20 x 20, caption 40 x 18, gap 3, worked out by hand from the layout rules.
    const struct {
        TBmpLayout layout;
        int W, H, gw, gh, tw, th;
        TButtonLayout expected;
    } cases[] = {
        {lyLeft, 85, 44, 20, 20, 40, 18, {11, 11, 34, 12}},
        {lyRight, 85, 44, 20, 20, 40, 18, {54, 11, 11, 12}},
        {lyTop, 85, 44, 20, 20, 40, 18, {32, 0, 22, 23}},
        {lyBottom, 85, 44, 20, 20, 40, 18, {32, 23, 22, 2}},
        {lyCenter, 85, 44, 20, 20, 40, 18, {32, 12, 22, 13}},
        // Group wider or taller than the button: it starts at the edge.
        {lyLeft, 50, 44, 20, 20, 40, 18, {0, 11, 23, 12}},
        {lyRight, 50, 44, 20, 20, 40, 18, {30, 11, -13, 12}},
        {lyTop, 85, 30, 20, 20, 40, 18, {32, 0, 22, 23}},
        {lyBottom, 85, 30, 20, 20, 40, 18, {32, 10, 22, -11}},
        // Negative halves truncate toward zero: (44 - 47) div 2 - 1 = -2.
        {lyLeft, 85, 44, 20, 20, 40, 47, {11, 11, 34, -2}},
        // No glyph: the gap is still reserved, the caption starts at (W - 3 - tw) div 2 + 3.
        {lyLeft, 85, 44, 0, 0, 40, 18, {21, 21, 24, 12}},
    };
    for (const auto& c : cases) {
        const TButtonLayout got =
            ComputeButtonLayout(c.layout, c.W, c.H, c.gw, c.gh, c.tw, c.th, 3);
        EXPECT_EQ(got, c.expected)
            << "layout " << c.layout << " W " << c.W << " H " << c.H << ": " << got.GlyphL << ","
            << got.GlyphT << " " << got.TextL << "," << got.TextT;
    }
}

}  // namespace
