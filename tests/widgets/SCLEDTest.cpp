#include <gtest/gtest.h>

#include <QFontDatabase>
#include <QPainter>
#include <QSignalSpy>
#include <QTimer>
#include <functional>
#include <stdexcept>

#include "support/DialogAnswerer.h"
#include "widgets/SCLED.h"

namespace {

QImage Shot(TSCLED& led) {
    QImage shot(led.size(), QImage::Format_RGB32);
    shot.fill(Qt::magenta);
    led.render(&shot);
    return shot;
}

// The rendered dots of a grid with one pixel per dot: '#' ForeColor, '.' BackColor.
QStringList Picture(TSCLED& led) {
    const QImage shot = Shot(led);
    const QRgb fore = ColorToQColor(led.ForeColor()).rgb();
    const QRgb back = ColorToQColor(led.BackColor()).rgb();
    QStringList rows;
    for (int y = 0; y < shot.height(); ++y) {
        QString row;
        for (int x = 0; x < shot.width(); ++x) {
            const QRgb c = shot.pixel(x, y);
            row += c == fore ? u'#' : c == back ? u'.' : u'?';
        }
        rows.append(row);
    }
    return rows;
}

void MakeDotPerPixel(TSCLED& led, int columns, int rows) {
    led.SetLEDSize(1);
    led.SetLEDDistance(0);
    led.SetLEDCountX(columns);
    led.SetLEDCountY(rows);
}

// Makes the raster the given picture ('#' white) through OnCustomDraw, on a grid of its size.
void ShowRaster(TSCLED& led, const QStringList& raster) {
    MakeDotPerPixel(led, int(raster[0].size()), int(raster.size()));
    QObject::connect(&led, &TSCLED::OnCustomDraw, &led, [raster](TSCLED* sender) {
        sender->PaintBitmap([&](QPainter& painter) {
            for (int y = 0; y < raster.size(); ++y)
                for (int x = 0; x < raster[y].size(); ++x)
                    if (raster[y][x] == u'#')
                        painter.fillRect(x, y, 1, 1, Qt::white);
        });
    });
}

bool WhiteAt(const QImage& image, int x, int y) {
    return x >= 0 && y >= 0 && x < image.width() && y < image.height() &&
           (image.pixel(x, y) & 0xFFFFFF) == 0xFFFFFF;
}

bool RasterLit(const TSCLED& led, int x, int y) {
    return WhiteAt(led.Bitmap, x, y);
}

void UseMonoFont(TSCLED& led, int pixels) {
    QFont font(QStringLiteral("DejaVu Sans Mono"));
    font.setPixelSize(pixels);
    led.SetFont(font);
}

class TCountingLED : public TSCLED {
public:
    int renders = 0;

protected:
    void RenderLEDs() override {
        ++renders;
        TSCLED::RenderLEDs();
    }
};

TEST(SCLEDProperties, EachWriteRefreshesReRendersOrIsIgnored) {
    enum Kind { Ignored, ReRender, Full };
    const struct {
        const char* name;
        std::function<void(TSCLED&)> write;
        Kind kind;
    } cases[] = {
        {"same ForeColor", [](TSCLED& l) { l.SetForeColor(clLime); }, Ignored},
        {"ForeColor", [](TSCLED& l) { l.SetForeColor(clRed); }, ReRender},
        {"same BackColor", [](TSCLED& l) { l.SetBackColor(clGreen); }, Ignored},
        {"BackColor", [](TSCLED& l) { l.SetBackColor(clBlue); }, ReRender},
        {"Color", [](TSCLED& l) { l.SetColor(clBlack); }, ReRender},
        {"OffsetX", [](TSCLED& l) { l.SetOffsetX(5); }, ReRender},
        {"same OffsetY", [](TSCLED& l) { l.SetOffsetY(0); }, Ignored},
        {"OffsetY", [](TSCLED& l) { l.SetOffsetY(-5); }, ReRender},
        {"LEDStyle", [](TSCLED& l) { l.SetLEDStyle(sclsRound); }, ReRender},
        {"same LEDStyle", [](TSCLED& l) { l.SetLEDStyle(sclsSquare); }, Ignored},
        {"BitmapChanged", [](TSCLED& l) { l.BitmapChanged(); }, ReRender},
        {"LEDSize 0", [](TSCLED& l) { l.SetLEDSize(0); }, Ignored},
        {"same LEDSize", [](TSCLED& l) { l.SetLEDSize(2); }, Ignored},
        {"LEDSize", [](TSCLED& l) { l.SetLEDSize(3); }, Full},
        {"same LEDDistance", [](TSCLED& l) { l.SetLEDDistance(1); }, Ignored},
        {"LEDDistance", [](TSCLED& l) { l.SetLEDDistance(0); }, Full},
        {"ClipMode", [](TSCLED& l) { l.SetClipMode(sccmDisplay); }, Full},
        {"same ClipMode", [](TSCLED& l) { l.SetClipMode(sccmText); }, Ignored},
        {"AlignmentH", [](TSCLED& l) { l.SetAlignmentH(schaLeft); }, Full},
        {"AlignmentV", [](TSCLED& l) { l.SetAlignmentV(scvaBottom); }, Full},
        {"same AlignmentV", [](TSCLED& l) { l.SetAlignmentV(scvaCenter); }, Ignored},
        {"Caption", [](TSCLED& l) { l.SetCaption(QStringLiteral("A")); }, Full},
        {"same Caption", [](TSCLED& l) { l.SetCaption(QString()); }, Ignored},
        {"Font", [](TSCLED& l) { UseMonoFont(l, 30); }, Full},
        {"Lines", [](TSCLED& l) { l.SetLines({QStringLiteral("A")}); }, Full},
        {"Lines edited in place", [](TSCLED& l) { l.Lines().Add(QStringLiteral("B")); }, Full},
        {"same LEDCountX", [](TSCLED& l) { l.SetLEDCountX(53); }, Ignored},
        {"LEDCountX 0", [](TSCLED& l) { l.SetLEDCountX(0); }, Ignored},
        {"LEDCountY -1", [](TSCLED& l) { l.SetLEDCountY(-1); }, Ignored},
        {"LEDCountX", [](TSCLED& l) { l.SetLEDCountX(10); }, Full},
        {"same AutoSize", [](TSCLED& l) { l.SetAutoSize(true); }, Ignored},
        {"OnStop connected",
         [](TSCLED& l) { QObject::connect(&l, &TSCLED::OnStop, &l, [](TSCLED*) {}); }, Ignored},
        {"OnCustomDraw connected",
         [](TSCLED& l) { QObject::connect(&l, &TSCLED::OnCustomDraw, &l, [](TSCLED*) {}); }, Full},
        {"painting", [](TSCLED& l) { Shot(l); }, Ignored},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TCountingLED led;
        int textDrawn = 0;
        QObject::connect(&led, &TSCLED::OnAfterDrawText, &led, [&](TSCLED*) { ++textDrawn; });
        Shot(led);  // delivers the pending first resize
        led.renders = 0;
        textDrawn = 0;

        c.write(led);

        switch (c.kind) {
            case Ignored:
                EXPECT_EQ(led.renders, 0);
                EXPECT_EQ(textDrawn, 0);
                break;
            case ReRender:
                EXPECT_GE(led.renders, 1);
                EXPECT_EQ(textDrawn, 0);
                break;
            case Full:
                EXPECT_GE(led.renders, 1);
                // A custom draw replaces the text, so the text event stays silent then.
                if (QString(c.name) != QLatin1String("OnCustomDraw connected")) {
                    EXPECT_GE(textDrawn, 1);
                }
                break;
        }
    }
}

TEST(SCLEDGeometry, AutoSizeKeepsTheDotCountWhenDotsChange) {
    TSCLED led;
    MakeDotPerPixel(led, 51, 25);
    ASSERT_EQ(led.size(), QSize(51, 25));

    led.SetLEDSize(2);
    EXPECT_EQ(led.size(), QSize(102, 50));
    EXPECT_EQ(led.LEDCountX(), 51);
    EXPECT_EQ(led.LEDCountY(), 25);

    led.SetLEDDistance(1);
    EXPECT_EQ(led.size(), QSize(1 + 51 * 3, 1 + 25 * 3));
    EXPECT_EQ(led.LEDCountX(), 51);

    // Without AutoSize the control keeps its size and the grid loses dots instead.
    MakeDotPerPixel(led, 51, 25);
    led.SetAutoSize(false);
    led.SetLEDSize(2);
    EXPECT_EQ(led.size(), QSize(51, 25));
    EXPECT_EQ(led.LEDCountX(), 25);
    EXPECT_EQ(led.LEDCountY(), 12);

    led.SetLEDCountX(10);
    led.SetLEDCountY(3);
    EXPECT_EQ(led.size(), QSize(51, 25));

    led.resize(50, 20);  // 16 × 6 dots with a pitch of 3
    led.SetLEDDistance(1);
    led.SetAutoSize(true);
    EXPECT_EQ(led.size(), QSize(1 + 16 * 3, 1 + 6 * 3));
}

TEST(SCLEDRendering, DotsSitOnTheirPitchWithColorInTheGaps) {
    TSCLED led;  // dot size 2, distance 1
    ShowRaster(led, {QStringLiteral(".#.."), QStringLiteral("....")});
    led.SetLEDSize(2);
    led.SetLEDDistance(1);
    led.SetLEDCountX(4);
    led.SetLEDCountY(2);
    led.SetColor(clBlue);
    ASSERT_EQ(led.size(), QSize(13, 7));

    const QImage shot = Shot(led);
    const QRgb gap = qRgb(0, 0, 255), fore = qRgb(0, 255, 0), back = qRgb(0, 128, 0);
    const struct {
        int x, y;
        QRgb colour;
    } pixels[] = {
        {0, 0, gap},  {1, 0, gap},  {1, 1, back}, {2, 2, back},  {3, 1, gap},
        {4, 1, fore}, {5, 1, fore}, {4, 2, fore}, {5, 2, fore},  {6, 1, gap},
        {4, 3, gap},  {4, 4, back}, {12, 5, gap}, {11, 5, back}, {12, 6, gap},
    };
    for (const auto& p : pixels) {
        EXPECT_EQ(shot.pixel(p.x, p.y), p.colour) << p.x << "," << p.y;
    }
}

TEST(SCLEDRendering, RoundThreePixelDotsBlendTheirCornersFromStoredValues) {
    TSCLED led;
    ShowRaster(led, {QStringLiteral("#.")});
    led.SetLEDSize(3);
    led.SetLEDDistance(1);
    led.SetLEDStyle(sclsRound);
    led.SetForeColor(RGBToColor(0xFF, 0xFF, 0x00));
    led.SetBackColor(RGBToColor(0x10, 0x80, 0x41));
    led.SetColor(clBtnFace);  // stored as $FF00000F: averaged as stored, not resolved

    const QImage shot = Shot(led);
    const QRgb fore = qRgb(0xFF, 0xFF, 0x00), back = qRgb(0x10, 0x80, 0x41);
    const QRgb litCorner = qRgb(0x87, 0xBF, 0x20);    // (fore + back) / 2, byte by byte
    const QRgb unlitCorner = qRgb(0x0F, 0x40, 0x20);  // (back + $0F,$00,$00) / 2
    for (const auto& [left, dot, corner] :
         {std::tuple{1, fore, litCorner}, std::tuple{5, back, unlitCorner}}) {
        SCOPED_TRACE(left);
        for (const QPoint c : {QPoint(0, 0), QPoint(2, 0), QPoint(0, 2), QPoint(2, 2)})
            EXPECT_EQ(shot.pixel(left + c.x(), 1 + c.y()), corner);
        for (const QPoint c :
             {QPoint(1, 0), QPoint(0, 1), QPoint(1, 1), QPoint(2, 1), QPoint(1, 2)})
            EXPECT_EQ(shot.pixel(left + c.x(), 1 + c.y()), dot);
    }
    EXPECT_EQ(AverageColor(clBtnFace, 0x00FFFFFF), 0x007F7F87u);
}

TEST(SCLEDRendering, LargeDotsAreSquaresOrInscribedEllipses) {
    TSCLED led;
    ShowRaster(led, {QStringLiteral("#")});
    led.SetLEDSize(6);
    ASSERT_EQ(led.size(), QSize(6, 6));
    led.SetColor(clBlue);
    const QRgb fore = qRgb(0, 255, 0), gap = qRgb(0, 0, 255);

    QImage shot = Shot(led);
    for (const QPoint p : {QPoint(0, 0), QPoint(5, 5), QPoint(3, 3)})
        EXPECT_EQ(shot.pixel(p), fore);

    led.SetLEDStyle(sclsRound);
    shot = Shot(led);
    for (const QPoint p : {QPoint(0, 0), QPoint(5, 0), QPoint(0, 5), QPoint(5, 5)})
        EXPECT_EQ(shot.pixel(p), gap);
    for (const QPoint p : {QPoint(3, 3), QPoint(0, 2), QPoint(2, 0), QPoint(5, 3), QPoint(3, 5),
                           QPoint(1, 0), QPoint(4, 5)})
        EXPECT_EQ(shot.pixel(p), fore);
}

// Dot (i, j) shows raster pixel (i − OffsetX − alignX, j − OffsetY − alignY), with the
// alignment offsets taken from the grid and the raster size.
void ExpectRasterShown(TSCLED& led, int alignX, int alignY) {
    const QStringList picture = Picture(led);
    for (int j = 0; j < led.LEDCountY(); ++j)
        for (int i = 0; i < led.LEDCountX(); ++i) {
            const bool lit = RasterLit(led, i - led.OffsetX() - alignX, j - led.OffsetY() - alignY);
            ASSERT_EQ(picture[j][i], lit ? u'#' : u'.') << i << "," << j;
        }
}

TEST(SCLEDText, TextSitsInTheGridByItsAlignment) {
    TSCLED led;
    UseMonoFont(led, 12);
    MakeDotPerPixel(led, 40, 30);
    led.SetCaption(QStringLiteral("Qy"));
    const int plainWidth = led.BitmapWidth();
    led.SetCaption(QStringLiteral("Q&y"));  // '&' is an ordinary character
    EXPECT_GT(led.BitmapWidth(), plainWidth);
    for (const auto h : {schaLeft, schaCenter, schaRight})
        for (const auto v : {scvaTop, scvaCenter, scvaBottom}) {
            SCOPED_TRACE(testing::Message() << h << v);
            led.SetAlignmentH(h);
            led.SetAlignmentV(v);
            const int w = led.BitmapWidth(), ht = led.BitmapHeight();
            ASSERT_LT(w, 40);
            ASSERT_LT(ht, 30);
            const int alignX = h == schaLeft ? 0 : h == schaCenter ? (40 - w) / 2 : 40 - w;
            const int alignY = v == scvaTop ? 0 : v == scvaCenter ? (30 - ht) / 2 : 30 - ht;
            ExpectRasterShown(led, alignX, alignY);
        }
    EXPECT_TRUE(Picture(led).join(QString()).contains(u'#'));
}

TEST(SCLEDText, CentredTextWiderThanTheGridShowsItsMiddleAndOffsetsReachTheEnds) {
    TSCLED led;
    UseMonoFont(led, 12);
    MakeDotPerPixel(led, 10, 20);
    led.SetCaption(QStringLiteral("MWMWMWMWM"));
    ASSERT_EQ(led.Bitmap.format(), QImage::Format_Mono);
    const int w = led.BitmapWidth(), h = led.BitmapHeight();
    ASSERT_GT(w, 10);
    const int alignX = (10 - w) / 2;  // negative, truncated toward zero
    const int alignY = (20 - h) / 2;
    ExpectRasterShown(led, alignX, alignY);

    led.SetOffsetX(-alignX);  // the left end
    ExpectRasterShown(led, alignX, alignY);
    led.SetOffsetX(10 - w - alignX);  // the right end
    ExpectRasterShown(led, alignX, alignY);
}

TEST(SCLEDText, DisplayClipModeLosesTextOutsideTheGrid) {
    TSCLED led;
    UseMonoFont(led, 12);
    MakeDotPerPixel(led, 20, 16);
    led.SetAlignmentH(schaLeft);
    led.SetCaption(QStringLiteral("MMMMMMMMMM"));
    led.SetOffsetX(-10);

    const auto litColumnsFrom = [&](int first) {
        int lit = 0;
        for (const QString& row : Picture(led))
            lit += int(row.mid(first).count(u'#'));
        return lit;
    };
    EXPECT_GT(litColumnsFrom(10), 0);  // the raster holds the whole text

    led.SetClipMode(sccmDisplay);
    EXPECT_EQ(led.Bitmap.size(), QSize(20, 16));
    EXPECT_EQ(litColumnsFrom(10), 0);
    EXPECT_GT(litColumnsFrom(0), 0);
}

TEST(SCLEDText, DisplayClipModePlacesTheTextRowsByVerticalAlignment) {
    TSCLED led;
    UseMonoFont(led, 12);
    MakeDotPerPixel(led, 20, 40);
    led.SetCaption(QStringLiteral("Hg"));
    const int h = led.BitmapHeight();
    led.SetClipMode(sccmDisplay);
    led.SetAlignmentV(scvaTop);
    const QImage top = led.Bitmap;
    for (const auto& [v, shift] :
         {std::pair{scvaCenter, (40 - h) / 2}, std::pair{scvaBottom, 40 - h}}) {
        led.SetAlignmentV(v);
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 20; ++x) {
                ASSERT_EQ(RasterLit(led, x, y), WhiteAt(top, x, y - shift))
                    << v << ": " << x << "," << y;
            }
    }
}

TEST(SCLEDText, LinesReplaceTheCaptionWithoutTheirFinalLineBreak) {
    TSCLED led;
    UseMonoFont(led, 12);
    led.SetCaption(QStringLiteral("AB"));
    const QImage ab = led.Bitmap;
    led.SetCaption(QStringLiteral("A"));
    const int lineHeight = led.BitmapHeight();
    led.SetCaption(QStringLiteral("WWWW"));
    const QImage wwww = led.Bitmap;

    led.SetLines({QStringLiteral("AB")});
    EXPECT_EQ(led.Bitmap, ab);

    led.SetLines({QStringLiteral("AB"), QStringLiteral("CD")});
    EXPECT_EQ(led.BitmapWidth(), ab.width());
    EXPECT_EQ(led.BitmapHeight(), 2 * lineHeight);

    // One empty line is exactly CR LF, which is kept: two empty lines.
    led.SetLines({QString()});
    EXPECT_EQ(led.BitmapWidth(), 0);
    EXPECT_EQ(led.BitmapHeight(), 2 * lineHeight);

    led.Lines().Clear();
    EXPECT_EQ(led.Bitmap, wwww);  // the caption again
}

TEST(SCLEDText, LinesTextSplitsAtEveryKindOfLineBreak) {
    TSCLEDLines lines;
    int changes = 0;
    lines.OnChange = [&] { ++changes; };
    lines.SetText(QStringLiteral("a\r\nb\nc\rd\r\n"));
    EXPECT_EQ(lines.Items(), QStringList({"a", "b", "c", "d"}));
    EXPECT_EQ(lines.Text(), QStringLiteral("a\r\nb\r\nc\r\nd\r\n"));
    EXPECT_EQ(changes, 1);
    EXPECT_THROW(lines.Strings(4), std::out_of_range);
    EXPECT_THROW(lines.Delete(-1), std::out_of_range);
}

TEST(SCLEDEvents, CustomDrawReplacesTheTextWithAnAllBlackGridSizedRaster) {
    TSCLED led;
    MakeDotPerPixel(led, 6, 3);
    led.SetCaption(QStringLiteral("X"));
    int afterText = 0;
    QObject::connect(&led, &TSCLED::OnAfterDrawText, &led, [&](TSCLED*) { ++afterText; });
    afterText = 0;
    QSize handedSize;
    bool allBlack = false;
    const auto connection =
        QObject::connect(&led, &TSCLED::OnCustomDraw, &led, [&](TSCLED* sender) {
            handedSize = sender->Bitmap.size();
            allBlack = true;
            for (int y = 0; y < sender->Bitmap.height(); ++y)
                for (int x = 0; x < sender->Bitmap.width(); ++x)
                    allBlack = allBlack && RasterLit(*sender, x, y) == false;
            sender->PaintBitmap([](QPainter& p) { p.fillRect(2, 1, 1, 1, Qt::white); });
        });

    EXPECT_EQ(handedSize, QSize(6, 3));
    EXPECT_TRUE(allBlack);
    EXPECT_EQ(afterText, 0);
    EXPECT_EQ(Picture(led), QStringList({"......", "..#...", "......"}));

    QObject::disconnect(connection);
    EXPECT_TRUE(WaitUntil([&] { return afterText == 1; }));
}

TEST(SCLEDEvents, OwnerDrawingShowsAfterBitmapChangedAndLastsUntilTheNextRebuild) {
    TSCLED led;
    MakeDotPerPixel(led, 4, 2);
    QObject::connect(&led, &TSCLED::OnAfterDrawText, &led, [](TSCLED* sender) {
        sender->Bitmap = QImage(4, 2, QImage::Format_Mono);  // the owner may even replace it
        sender->Bitmap.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
        sender->Bitmap.fill(0);
        sender->Bitmap.setPixel(0, 0, 1);
    });
    // The empty caption measures 0 × 0, so the replacement raster lies outside its recorded size.
    EXPECT_EQ(Picture(led), QStringList({"....", "...."}));

    led.SetClipMode(sccmDisplay);  // a grid-sized raster
    EXPECT_EQ(Picture(led), QStringList({"#...", "...."}));

    led.PaintBitmap([](QPainter& p) { p.fillRect(3, 1, 1, 1, Qt::white); });
    EXPECT_EQ(Picture(led), QStringList({"#...", "...."}));
    led.BitmapChanged();
    EXPECT_EQ(Picture(led), QStringList({"#...", "...#"}));
    led.SetForeColor(clYellow);
    EXPECT_EQ(Picture(led), QStringList({"#...", "...#"}));
    led.SetCaption(QStringLiteral(" "));
    EXPECT_EQ(Picture(led), QStringList({"#...", "...."}));
}

const QStringList Raster = {"#....", ".#...", "..##."};

TEST(SCLEDAnimation, EachStyleDrawsItsFrame) {
    const struct {
        int style, p1, p2, p3, frame;
        QStringList picture;
    } cases[] = {
        {1, 0, 0, 0, 1, Raster},
        {1, 0, 0, 0, 2, {".....", ".....", "....."}},
        {2, 0, 0, 0, 2, {"#####", "#####", "#####"}},
        {3, 0, 0, 0, 1, Raster},
        {3, 0, 0, 0, 2, {".####", "#.###", "##..#"}},
        // cos 60° = 0.5; x takes column Round(x / 2), halves to even.
        {4, 60, 0, 0, 1, {"##...", "..#..", "...##"}},
        {5, 60, 0, 0, 1, {"#....", "#....", ".#..."}},
        {6, 60, 0, 0, 1, {"#....", ".....", ".#..."}},
        {6, 90, 0, 0, 1, {".....", ".....", "....."}},
        {7, 60, 0, 0, 1, {"#....", "..##.", "....."}},
        {8, 120, 0, 0, 1, {"#....", ".#...", "....."}},
        // A quarter turn about (2, 1): dot (x, y) shows raster pixel (y + 1, 3 − x).
        {9, 90, 2, 1, 1, {"..#..", ".#...", ".#..."}},
        {10, 1, 5, 0, 1, {"....#", "#....", ".##.."}},
        {10, 1, 5, 0, 5, Raster},
        {10, -1, 5, 0, 1, {".#...", "..#..", "...##"}},
        {10, 1, 0, 0, 1, {".....", ".....", "....."}},
        {11, 1, 3, 0, 1, {".#...", "..##.", "#...."}},
        {11, 0, 0, 0, 1, {".....", ".....", "....."}},
        {12, 2, 0, 0, 1, {".#...", "#....", "####."}},
        {12, 3, 0, 0, 2, {"#.###", ".####", "....#"}},
        {13, 1, 0, 0, 1, {".####", ".#...", "..##."}},
        {14, 7, 7, 7, 2, Raster},
        {100, 7, 7, 7, 1, Raster},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "style " << c.style << " P1 " << c.p1 << " P2 " << c.p2
                                        << " frame " << c.frame);
        TSCLED led;
        ShowRaster(led, Raster);
        led.Animate(c.style, 50, 100, c.p1, c.p2, c.p3);
        for (int t = 0; t < c.frame; ++t)
            led.AnimationTick();
        EXPECT_EQ(led.AnimationFrame(), c.frame);
        EXPECT_EQ(Picture(led), c.picture);
    }
}

TEST(SCLEDAnimation, EmptyCaptionBlinksFullyOnEvenInverseFramesAndWipesNothing) {
    TSCLED led;
    MakeDotPerPixel(led, 4, 2);
    QSignalSpy stops(&led, &TSCLED::OnStop);
    const QStringList dark = {"....", "...."}, bright = {"####", "####"};
    ASSERT_EQ(led.BitmapWidth(), 0);

    led.Animate(3, 50, 2, 0, 0, 0);
    EXPECT_EQ(Picture(led), dark);
    led.AnimationTick();
    EXPECT_EQ(Picture(led), dark);
    led.AnimationTick();
    EXPECT_EQ(Picture(led), bright);
    led.AnimationTick();
    EXPECT_EQ(Picture(led), dark);
    EXPECT_FALSE(led.Animating());
    EXPECT_EQ(stops.count(), 1);

    for (const int style : {12, 13}) {
        led.Animate(style, 50, 5, 1, 0, 0);
        for (int t = 0; t < 3; ++t) {
            led.AnimationTick();
            EXPECT_EQ(Picture(led), dark) << style;
        }
        EXPECT_TRUE(led.Animating());
    }
}

TEST(SCLEDAnimation, InvalidRequestsAreIgnoredAndLeaveARunningAnimationAlone) {
    TSCLED led;
    QSignalSpy stops(&led, &TSCLED::OnStop);
    const struct {
        int style, interval, steps;
    } invalid[] = {{3, 50, 0}, {-1, 50, 2}, {101, 50, 2}, {3, 0, 2}, {3, 50, -4}};
    for (const auto& c : invalid) {
        led.Animate(c.style, c.interval, c.steps, 0, 0, 0);
        EXPECT_FALSE(led.Animating()) << c.style << " " << c.interval << " " << c.steps;
    }
    led.StopAnimate();
    led.Animate(0, 0, 0, 0, 0, 0);
    EXPECT_EQ(stops.count(), 0);

    led.Animate(2, 40, 9, 0, 0, 0);
    led.AnimationTick();
    for (const auto& c : invalid)
        led.Animate(c.style, c.interval, c.steps, 0, 0, 0);
    EXPECT_TRUE(led.Animating());
    EXPECT_EQ(led.FilterTimer().interval(), 40);
    EXPECT_EQ(led.AnimationFrame(), 1);
    EXPECT_EQ(stops.count(), 0);

    // A new animation stops the running one and starts again from frame 0.
    led.Animate(3, 70, 2, 0, 0, 0);
    EXPECT_EQ(stops.count(), 1);
    EXPECT_EQ(led.AnimationFrame(), 0);
    EXPECT_EQ(led.FilterTimer().interval(), 70);

    led.Animate(0, 0, 0, 0, 0, 0);
    EXPECT_FALSE(led.Animating());
    EXPECT_EQ(stops.count(), 2);
}

TEST(SCLEDAnimation, TheTimerRunsTheFramesAndStopsAfterTheLast) {
    TSCLED led;
    QSignalSpy stops(&led, &TSCLED::OnStop);
    led.Animate(1, 5, 3, 0, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return stops.count() == 1; }));
    EXPECT_FALSE(led.Animating());
    EXPECT_EQ(led.AnimationFrame(), 3);
}

TEST(LedLamp, ShowsYellowLettersOnItsColourAndFlashesItsNegative) {
    for (const auto& [caption, backColor, back] :
         {std::tuple{"TX", clGreen, qRgb(0, 128, 0)}, std::tuple{"RX", clRed, qRgb(255, 0, 0)}}) {
        SCOPED_TRACE(caption);
        TSCLED led;
        SetupMainWindowLamp(led, QString::fromLatin1(caption), backColor);
        EXPECT_EQ(led.size(), QSize(51, 25));
        EXPECT_EQ(led.LEDCountX(), 51);
        EXPECT_EQ(led.LEDCountY(), 25);
        EXPECT_TRUE(led.Font().bold());
        EXPECT_EQ(led.Font().pixelSize(), 21);
        EXPECT_TRUE(led.Font().family() == QLatin1String("Lucida Console") ||
                    (!QFontDatabase::hasFamily(QStringLiteral("Lucida Console")) &&
                     led.Font().family() == QLatin1String("DejaVu Sans Mono")));

        const QRgb yellow = qRgb(255, 255, 0);
        const QImage plain = Shot(led);
        int letters = 0, left = 51, right = -1;
        for (int y = 0; y < 25; ++y)
            for (int x = 0; x < 51; ++x) {
                const QRgb c = plain.pixel(x, y);
                ASSERT_TRUE(c == yellow || c == back) << x << "," << y;
                if (c == yellow) {
                    ++letters;
                    left = std::min(left, x);
                    right = std::max(right, x);
                }
            }
        EXPECT_GT(letters, 60);
        EXPECT_LE(std::abs(left - (50 - right)), 2) << left << " " << right;

        QSignalSpy stops(&led, &TSCLED::OnStop);
        led.Animate(3, 50, 2, 0, 0, 0);
        EXPECT_EQ(led.FilterTimer().interval(), 50);
        EXPECT_EQ(Shot(led), plain);
        led.AnimationTick();
        EXPECT_EQ(Shot(led), plain);
        led.AnimationTick();
        const QImage negative = Shot(led);
        for (int y = 0; y < 25; ++y)
            for (int x = 0; x < 51; ++x)
                ASSERT_EQ(negative.pixel(x, y), plain.pixel(x, y) == yellow ? back : yellow);
        led.AnimationTick();
        EXPECT_EQ(Shot(led), plain);
        EXPECT_EQ(stops.count(), 1);
    }
}

}  // namespace
