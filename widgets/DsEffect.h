#pragma once

#include <QImage>
#include <QObject>

#include "widgets/Colors.h"

// The fancy button's two settings objects: the look of face, frame and caption (FancyEffects)
// and the glyph with its placement (Glyphs). The button owns one of each and repaints whenever
// either of them reports a change.

enum TBtnShape { btnCapsule, btnOval, btnRectangle };
enum TFrameStyle { fmNone, fmGradient };
enum TTextStyle { txPlain, txLowered, txRaised, txShadowed };
enum TBmpLayout { lyLeft, lyTop, lyRight, lyBottom, lyCenter };
enum TGlyphStyle { gsNormal, gsRaised, gsLowered };

class TDsEffect : public QObject {
    Q_OBJECT
public:
    explicit TDsEffect(QObject* parent = nullptr);

    TFrameStyle FrameStyle() const { return FFrameStyle; }
    void SetFrameStyle(TFrameStyle value);
    int FrameWidth() const { return FFrameWidth; }
    void SetFrameWidth(int value);  // clamped to 3..14
    TColor HoverColor() const { return FHoverColor; }
    void SetHoverColor(TColor value);
    TBtnShape Shape() const { return FBtnShape; }
    void SetShape(TBtnShape value);
    int CornerRadius() const { return FCornerRadius; }
    void SetCornerRadius(int value);  // clamped to 0..145
    TTextStyle TextStyle() const { return FTextStyle; }
    void SetTextStyle(TTextStyle value);

signals:
    // Sent after every write, even one that leaves the value as it was.
    void OnEffectChange(TDsEffect* Sender);

private:
    void Changed();

    TBtnShape FBtnShape = btnRectangle;
    int FCornerRadius = 3;
    int FFrameWidth = 6;
    TColor FHoverColor = clBlue;
    TTextStyle FTextStyle = txLowered;
    TFrameStyle FFrameStyle = fmGradient;
};

// The glyph is a horizontal strip of Number equal pictures: normal, disabled, pressed, hovered.
class TDsGlyph : public QObject {
    Q_OBJECT
public:
    explicit TDsGlyph(QObject* parent = nullptr);

    // Stored as 32-bit ARGB so that pixels compare exactly when the transparent colour is sought.
    const QImage& Glyph() const { return FBmpGlyph; }
    void SetGlyph(const QImage& value);
    TGlyphStyle GlyphStyle() const { return FGlyphStyle; }
    void SetGlyphStyle(TGlyphStyle value);
    TBmpLayout Layout() const { return FBmpLayout; }
    void SetLayout(TBmpLayout value);
    int Number() const { return FGlyphsNum; }
    void SetNumber(int value);  // clamped to 1..4
    int Distance() const { return FGlyphSpace; }
    void SetDistance(int value);  // negative becomes 0

signals:
    void OnGlyphChange(TDsGlyph* Sender);

private:
    void Changed();

    QImage FBmpGlyph;
    TBmpLayout FBmpLayout = lyLeft;
    quint8 FGlyphsNum = 1;
    int FGlyphSpace = 0;
    TGlyphStyle FGlyphStyle = gsNormal;
};
