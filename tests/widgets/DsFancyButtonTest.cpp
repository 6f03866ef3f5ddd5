#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QSignalSpy>
#include <QTest>
#include <memory>

#include "support/DialogAnswerer.h"
#include "widgets/DsFancyButton.h"
#include "widgets/DsFancyButtonGlyphs.h"

namespace {

constexpr QRgb ParentBackground = 0x3060C0;

// A window with one main-window command button at (10, 10), 85 x 44, on a plain background
// that is none of the button's colours.
struct ButtonWindow {
    QWidget window;
    TDsFancyButton* button;

    explicit ButtonWindow(const QString& caption = QStringLiteral("연 결"),
                          const QImage& glyph = MakeButtonGlyph(TButtonGlyph::Connect, 20))
        : button(new TDsFancyButton(&window)) {
        window.resize(200, 100);
        QPalette palette = window.palette();
        palette.setColor(QPalette::Window, QColor(ParentBackground));
        window.setPalette(palette);
        window.setAutoFillBackground(true);
        button->setGeometry(10, 10, 85, 44);
        button->setFont(MainWindowButtonFont(16, true));
        button->SetCaption(caption);
        SetupMainWindowButton(*button, clBlue, 3, glyph);
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    }

    // The button as the operator sees it, parent background included.
    QImage Look() {
        return window.grab(button->geometry()).toImage().convertToFormat(QImage::Format_RGB32);
    }
};

QRgb Rgb(const QImage& image, int x, int y) {
    return image.pixel(x, y) & 0xFFFFFF;
}

// A pointer move with no button held, as the windowing system delivers it.
void Hover(QWidget* w, QPoint pos) {
    QMouseEvent move(QEvent::MouseMove, pos, w->mapToGlobal(pos), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(w, &move);
}

void Leave(QWidget* w) {
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(w, &leave);
}

int CountColor(const QImage& image, const QRect& area, QRgb color) {
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += Rgb(image, x, y) == (color & 0xFFFFFF);
    return n;
}

const QPoint Centre(42, 22);

struct PaintCounter : QObject {
    int count = 0;
    explicit PaintCounter(QWidget* w) { w->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* e) override {
        count += e->type() == QEvent::Paint;
        return false;
    }
};

// ---- Look ---------------------------------------------------------------------------------

TEST(FancyButtonLook, LeftEdgeAtMidHeightShowsFrameBandsHighlightAndFace) {
    const struct {
        const char* state;
        QRgb left[8];  // x = 0 .. 7 at mid-height
    } cases[] = {
        {"rest", {0xEEEEEE, 0x9E9E9E, 0xDFDFDF, 0xDADADA, 0xE3E3E3, 0xE9E9E9, 0xEDEDED, 0xEDEDED}},
        {"hovered",
         {0xEEEEEE, 0xA8A8A8, 0xDFDFDF, 0xE4E4E4, 0xEDEDED, 0xF3F3F3, 0xF7F7F7, 0xF7F7F7}},
        {"pressed",
         {0xE9E9E9, 0xADADAD, 0xE4E4E4, 0x9E9E9E, 0xCACACA, 0xDADADA, 0xDADADA, 0xDADADA}},
    };
    for (const auto& c : cases) {
        ButtonWindow w;
        if (std::string(c.state) != "rest")
            Hover(w.button, Centre);
        if (std::string(c.state) == "pressed")
            QTest::mousePress(w.button, Qt::LeftButton, {}, Centre);
        const QImage look = w.Look();
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(Rgb(look, x, 22), c.left[x]) << c.state << " x = " << x;
        if (std::string(c.state) == "pressed")
            QTest::mouseRelease(w.button, Qt::LeftButton, {}, Centre);
    }
}

TEST(FancyButtonLook, TopAndRightEdgesAtRestAndTheParentOutsideTheShape) {
    ButtonWindow w;
    const QImage look = w.Look();
    const QRgb top[] = {0xEEEEEE, 0x9E9E9E, 0xDFDFDF, 0xDADADA,
                        0xE3E3E3, 0xE9E9E9, 0xEDEDED, 0xEDEDED};
    for (int y = 0; y < 8; ++y)
        EXPECT_EQ(Rgb(look, 60, y), top[y]) << "y = " << y;
    // The face ends one pixel short of the right edge; no highlight on this side.
    const QRgb right[] = {ParentBackground, 0x9E9E9E, 0xCACACA, 0xDADADA,
                          0xE3E3E3,         0xE9E9E9, 0xEDEDED, 0xEDEDED};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(Rgb(look, 84 - i, 22), right[i]) << "x = " << 84 - i;
    EXPECT_EQ(Rgb(look, 0, 0), ParentBackground);  // rounded corner
    EXPECT_EQ(Rgb(look, 42, 43), ParentBackground);
}

TEST(FancyButtonLook, PressedWithFrameWidth14DrawsFiveBands) {
    ButtonWindow w;
    w.button->FancyEffects().SetFrameWidth(14);
    Hover(w.button, Centre);
    QTest::mousePress(w.button, Qt::LeftButton, {}, Centre);
    const QImage look = w.Look();
    // Bands 0..4 of 14 from $9E9E9E toward $EEEEEE; band 5 ($DBDBDB) is not drawn, so the face
    // inside keeps band 4's colour.
    const QRgb expected[] = {0x9E9E9E, 0xBCBCBC, 0xC7C7C7, 0xCFCFCF, 0xD6D6D6, 0xD6D6D6};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(Rgb(look, 3 + i, 22), expected[i]) << "x = " << 3 + i;
    QTest::mouseRelease(w.button, Qt::LeftButton, {}, Centre);
}

TEST(FancyButtonLook, CaptionColourAndEngravedCopyInEveryState) {
    const QColor shadowGrey = ColorToQColor(clBtnShadow);
    const struct {
        const char* state;
        QRgb caption;
        QRgb absent;  // the caption colour of the other states must not show
    } cases[] = {
        {"rest", 0x000000, 0x0000FF},
        {"hovered", 0x0000FF, 0x000000},
        {"pressed", 0x000000, 0x0000FF},
        {"disabled", shadowGrey.rgb() & 0xFFFFFF, 0x000000},
    };
    for (const auto& c : cases) {
        ButtonWindow w;
        const std::string state = c.state;
        if (state == "hovered" || state == "pressed")
            Hover(w.button, Centre);
        if (state == "pressed")
            QTest::mousePress(w.button, Qt::LeftButton, {}, Centre);
        if (state == "disabled")
            w.button->setEnabled(false);
        const QImage look = w.Look();
        const QRect captionArea(w.button->TextL() - 1, 8, 85 - 8 - w.button->TextL(), 44 - 16);
        EXPECT_GT(CountColor(look, captionArea, c.caption), 10) << state;
        EXPECT_EQ(CountColor(look, captionArea, c.absent), 0) << state;
        EXPECT_GT(CountColor(look, captionArea, 0xFFFFFF), 3) << state << ": white copy";
        if (state == "pressed")
            QTest::mouseRelease(w.button, Qt::LeftButton, {}, Centre);
    }
}

TEST(FancyButtonLook, WithoutFrameOnlyGlyphAndCaptionCoverTheParent) {
    ButtonWindow w;
    w.button->FancyEffects().SetFrameStyle(fmNone);
    const QImage look = w.Look();
    for (int x = 0; x < 8; ++x)
        EXPECT_EQ(Rgb(look, x, 22), ParentBackground) << "x = " << x;
    EXPECT_GT(CountColor(look, look.rect(), 0x000000), 10);

    // Flat, yet it still hovers and clicks within its shape.
    QSignalSpy clicks(w.button, &TDsFancyButton::OnClick);
    Hover(w.button, Centre);
    EXPECT_TRUE(w.button->InRegion());
    QTest::mouseClick(w.button, Qt::LeftButton, {}, Centre);
    EXPECT_EQ(clicks.count(), 1);
}

TEST(FancyButtonLayout, WithoutGlyphTheCaptionKeepsTheGap) {
    ButtonWindow w(QStringLiteral("연 결"), QImage());
    w.Look();
    const int tw = QFontMetrics(MainWindowButtonFont(16, true)).horizontalAdvance("연 결");
    EXPECT_EQ(w.button->TextL(), (85 - 3 - tw) / 2 + 3);
    EXPECT_EQ(w.button->BmpWidth(), 0);
}

// ---- Glyph strip --------------------------------------------------------------------------

// A strip of count pictures, each 25 x 20: a magenta surround (the transparent colour) around a
// block of its own colour.
QImage Strip(int count) {
    static const QRgb colors[] = {0xFF20A020, 0xFF808000, 0xFF00A0A0, 0xFFC06000};
    QImage strip(25 * count, 20, QImage::Format_ARGB32);
    strip.fill(QColor(255, 0, 255));
    QPainter p(&strip);
    for (int k = 0; k < count; ++k)
        p.fillRect(QRect(25 * k + 4, 4, 17, 12), QColor::fromRgb(colors[k]));
    return strip;
}

TEST(FancyButtonGlyph, StateChoosesThePictureOfTheStrip) {
    const QRgb picture[] = {0x20A020, 0x808000, 0x00A0A0, 0xC06000};
    const struct {
        int number;
        const char* state;
        int expectedPicture;
    } cases[] = {
        {4, "normal", 0}, {4, "disabled", 1}, {4, "pressed", 2}, {4, "hovered", 3},
        {1, "normal", 0}, {1, "disabled", 0}, {1, "pressed", 0}, {1, "hovered", 0},
    };
    for (const auto& c : cases) {
        ButtonWindow w(QString(), Strip(c.number));
        w.button->Glyphs().SetNumber(c.number);
        const std::string state = c.state;
        if (state == "hovered" || state == "pressed")
            Hover(w.button, Centre);
        if (state == "pressed")
            QTest::mousePress(w.button, Qt::LeftButton, {}, Centre);
        if (state == "disabled")
            w.button->setEnabled(false);
        const QImage look = w.Look();
        EXPECT_EQ(w.button->BmpWidth(), 25);
        const int shift = state == "pressed" ? 1 : 0;
        const int gx = w.button->GlyphL() + shift, gy = w.button->GlyphT() + shift;
        EXPECT_EQ(Rgb(look, gx + 12, gy + 10), picture[c.expectedPicture])
            << "Number " << c.number << " " << state;
        // The surround is the transparent colour and never shows.
        EXPECT_EQ(CountColor(look, look.rect(), 0xFF00FF), 0) << state;
        EXPECT_EQ(Rgb(look, gx + 1, gy + 10), Rgb(look, gx - 3, gy + 10)) << state;
        if (state == "pressed")
            QTest::mouseRelease(w.button, Qt::LeftButton, {}, Centre);
    }
}

TEST(FancyButtonGlyph, PressedGlyphSitsOnADarkAndALightOutline) {
    ButtonWindow w(QString(), Strip(1));
    Hover(w.button, Centre);
    QTest::mousePress(w.button, Qt::LeftButton, {}, Centre);
    const QImage look = w.Look();
    // Picture block at (4, 4)..(20, 15) of the glyph, moved (1, 1): the dark copy ($EE - 50)
    // shows above-left of it, the light one ($EE + 20, clamped to $FF) below-right.
    const int gx = w.button->GlyphL() + 1, gy = w.button->GlyphT() + 1;
    EXPECT_EQ(Rgb(look, gx + 3, gy + 3), 0xBCBCBCu);
    EXPECT_EQ(Rgb(look, gx + 21, gy + 16), 0xFFFFFFu);
    QTest::mouseRelease(w.button, Qt::LeftButton, {}, Centre);
}

TEST(FancyButtonGlyph, PicturesAreDistinctSquaresWithATransparentCorner) {
    QList<QImage> seen;
    for (int size : {20, 25, 32}) {
        for (TButtonGlyph glyph : kAllButtonGlyphs) {
            const QImage g = MakeButtonGlyph(glyph, size);
            const int which = int(glyph);
            ASSERT_EQ(g.size(), QSize(size, size)) << which;
            EXPECT_EQ(qAlpha(g.pixel(0, size - 1)), 0) << which;
            int opaque = 0;
            for (int y = 0; y < size; ++y)
                for (int x = 0; x < size; ++x)
                    opaque += qAlpha(g.pixel(x, y)) == 255;
            EXPECT_GT(opaque, size) << which;
            for (const QImage& other : seen)
                EXPECT_NE(g, other) << which;
            seen << g;
        }
    }
}

// ---- Pointer ------------------------------------------------------------------------------

TEST(FancyButtonPointer, HoverPressAndReleaseOverTheShapeClickOnce) {
    ButtonWindow w;
    QSignalSpy clicks(w.button, &TDsFancyButton::OnClick);
    Hover(w.button, Centre);
    EXPECT_TRUE(w.button->InRegion());
    EXPECT_EQ(w.button->GlyphToDraw(), 4);
    QTest::mousePress(w.button, Qt::LeftButton, {}, Centre);
    EXPECT_TRUE(w.button->IsDown());
    EXPECT_EQ(w.button->GlyphToDraw(), 3);

    bool downDuringClick = false;
    QObject::connect(w.button, &TDsFancyButton::OnClick,
                     [&](TDsFancyButton* sender) { downDuringClick = sender->IsDown(); });
    QTest::mouseRelease(w.button, Qt::LeftButton, {}, Centre);
    ASSERT_EQ(clicks.count(), 1);
    EXPECT_EQ(clicks[0][0].value<TDsFancyButton*>(), w.button);
    EXPECT_TRUE(downDuringClick);  // the pressed look lasts until the handler has returned
    EXPECT_FALSE(w.button->IsDown());
}

TEST(FancyButtonPointer, OnlyLeftAndMiddleButtonsClick) {
    const struct {
        Qt::MouseButton button;
        int clicks;
        bool pressed;
    } cases[] = {
        {Qt::LeftButton, 1, true}, {Qt::MiddleButton, 1, true}, {Qt::RightButton, 0, false}};
    for (const auto& c : cases) {
        ButtonWindow w;
        QSignalSpy clicks(w.button, &TDsFancyButton::OnClick);
        QSignalSpy downs(w.button, &TDsFancyButton::OnMouseDown);
        Hover(w.button, Centre);
        QTest::mousePress(w.button, c.button, {}, Centre);
        EXPECT_EQ(w.button->IsDown(), c.pressed) << c.button;
        QTest::mouseRelease(w.button, c.button, {}, Centre);
        EXPECT_EQ(clicks.count(), c.clicks) << c.button;
        EXPECT_EQ(downs.count(), 1) << c.button;  // every button reaches OnMouseDown
    }
}

TEST(FancyButtonPointer, DragOffTheShapeButNotOffTheControlStillClicks) {
    ButtonWindow w;
    w.button->FancyEffects().SetShape(btnOval);
    QSignalSpy clicks(w.button, &TDsFancyButton::OnClick);
    Hover(w.button, Centre);
    QTest::mousePress(w.button, Qt::LeftButton, {}, Centre);
    ASSERT_FALSE(w.button->InShape(3, 3));
    QTest::mouseMove(w.button, QPoint(3, 3));
    EXPECT_TRUE(w.button->IsDown());
    QTest::mouseRelease(w.button, Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_EQ(clicks.count(), 1);
}

TEST(FancyButtonPointer, LeavingTheControlCancelsThePress) {
    {  // the leave notification
        ButtonWindow w;
        QSignalSpy clicks(w.button, &TDsFancyButton::OnClick);
        Hover(w.button, Centre);
        QTest::mousePress(w.button, Qt::LeftButton, {}, Centre);
        Leave(w.button);
        EXPECT_FALSE(w.button->IsDown());
        EXPECT_FALSE(w.button->InRegion());
        EXPECT_EQ(w.button->GlyphToDraw(), 1);
        QTest::mouseRelease(w.button, Qt::LeftButton, {}, Centre);
        EXPECT_EQ(clicks.count(), 0);
    }
    {  // dragged out while the pointer is grabbed, released outside
        ButtonWindow w;
        QSignalSpy clicks(w.button, &TDsFancyButton::OnClick);
        Hover(w.button, Centre);
        QTest::mousePress(w.button, Qt::LeftButton, {}, Centre);
        QTest::mouseMove(w.button, QPoint(-5, 22));
        EXPECT_FALSE(w.button->IsDown());
        QTest::mouseRelease(w.button, Qt::LeftButton, {}, QPoint(-5, 22));
        EXPECT_EQ(clicks.count(), 0);
    }
    {  // released outside without a move in between
        ButtonWindow w;
        QSignalSpy clicks(w.button, &TDsFancyButton::OnClick);
        Hover(w.button, Centre);
        QTest::mousePress(w.button, Qt::LeftButton, {}, Centre);
        QTest::mouseRelease(w.button, Qt::LeftButton, {}, QPoint(90, 22));
        EXPECT_EQ(clicks.count(), 0);
        EXPECT_FALSE(w.button->IsDown());
    }
}

TEST(FancyButtonPointer, DoubleClickFiresTwoClicks) {
    ButtonWindow w;
    QSignalSpy clicks(w.button, &TDsFancyButton::OnClick);
    Hover(w.button, Centre);
    // What the window system delivers for a double click: press, release, double click, release.
    QTest::mouseClick(w.button, Qt::LeftButton, {}, Centre);
    QTest::mouseDClick(w.button, Qt::LeftButton, {}, Centre);
    QTest::mouseRelease(w.button, Qt::LeftButton, {}, Centre);
    EXPECT_EQ(clicks.count(), 2);
}

TEST(FancyButtonPointer, CornerOutsideTheShapeNeitherHoversNorClicks) {
    ButtonWindow w;
    QSignalSpy clicks(w.button, &TDsFancyButton::OnClick);
    const QPoint corner(84, 43);
    Hover(w.button, corner);
    EXPECT_FALSE(w.button->InRegion());
    QTest::mouseClick(w.button, Qt::LeftButton, {}, corner);
    EXPECT_EQ(clicks.count(), 0);

    // Moving from the face into the corner drops the hover look at once, although the glyph
    // state (back to normal after a paint, with a single picture) does not change.
    Hover(w.button, Centre);
    ASSERT_TRUE(WaitUntil([&] { return w.button->GlyphToDraw() == 1; }));
    PaintCounter paints(w.button);
    Hover(w.button, corner);
    EXPECT_FALSE(w.button->InRegion());
    EXPECT_TRUE(WaitUntil([&] { return paints.count > 0; }, std::chrono::seconds(2)));
    EXPECT_EQ(CountColor(w.Look(), QRect(0, 0, 85, 44), 0x0000FF), 0);
}

TEST(FancyButtonPointer, DisabledButtonIgnoresThePointer) {
    ButtonWindow w;
    QSignalSpy clicks(w.button, &TDsFancyButton::OnClick);
    w.button->setEnabled(false);
    EXPECT_EQ(w.button->GlyphToDraw(), 2);
    Hover(w.button, Centre);
    QTest::mousePress(w.button, Qt::LeftButton, {}, Centre);
    QTest::mouseRelease(w.button, Qt::LeftButton, {}, Centre);
    EXPECT_FALSE(w.button->InRegion());
    EXPECT_FALSE(w.button->IsDown());
    EXPECT_EQ(clicks.count(), 0);
    w.button->setEnabled(true);
    EXPECT_EQ(w.button->GlyphToDraw(), 1);
}

TEST(FancyButtonPointer, HiddenButtonComesBackAtRest) {
    ButtonWindow w;
    // The connect button hides itself from its own click handler.
    QObject::connect(w.button, &TDsFancyButton::OnClick, w.button, &QWidget::hide);
    Hover(w.button, Centre);
    QTest::mouseClick(w.button, Qt::LeftButton, {}, Centre);
    w.button->show();
    EXPECT_FALSE(w.button->InRegion());
    EXPECT_FALSE(w.button->IsDown());
}

TEST(FancyButtonPointer, ClickHandlerMayDeleteTheButton) {
    ButtonWindow w;
    QObject::connect(w.button, &TDsFancyButton::OnClick,
                     [&](TDsFancyButton* sender) { delete sender; });
    QPointer<TDsFancyButton> button = w.button;
    Hover(button, Centre);
    QTest::mousePress(button, Qt::LeftButton, {}, Centre);
    QTest::mouseRelease(button, Qt::LeftButton, {}, Centre);
    EXPECT_TRUE(button.isNull());
}

// ---- Keyboard -----------------------------------------------------------------------------

TEST(FancyButtonKeyboard, NeverTakesTheFocus) {
    ButtonWindow w;
    EXPECT_EQ(w.button->focusPolicy(), Qt::NoFocus);
    QTest::mouseClick(w.button, Qt::LeftButton, {}, Centre);
    EXPECT_FALSE(w.button->hasFocus());
}

TEST(FancyButtonKeyboard, AltAndTheAcceleratorLetterClicksAnEnabledButton) {
    ButtonWindow w(QStringLiteral(" &READ"));
    QSignalSpy clicks(w.button, &TDsFancyButton::OnClick);
    w.window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w.window));
    QTest::keyClick(&w.window, Qt::Key_R, Qt::AltModifier);
    EXPECT_EQ(clicks.count(), 1);
    QTest::keyClick(&w.window, Qt::Key_E, Qt::AltModifier);  // not the accelerator
    EXPECT_EQ(clicks.count(), 1);
    w.button->setEnabled(false);
    QTest::keyClick(&w.window, Qt::Key_R, Qt::AltModifier);
    EXPECT_EQ(clicks.count(), 1);

    w.button->setEnabled(true);
    w.button->SetCaption(QStringLiteral(" WRIT&E"));
    QTest::keyClick(&w.window, Qt::Key_R, Qt::AltModifier);
    EXPECT_EQ(clicks.count(), 1);
    QTest::keyClick(&w.window, Qt::Key_E, Qt::AltModifier);
    EXPECT_EQ(clicks.count(), 2);
}

}  // namespace
