#pragma once

#include <QFont>
#include <QImage>
#include <QString>
#include <QWidget>
#include <memory>

#include "widgets/Colors.h"
#include "widgets/DsEffect.h"

class QPainter;

// The push button used for every command of the main window. It draws itself completely: a face
// shaped as a capsule, an ellipse or a rounded rectangle, a cushion frame of one-pixel bands, a
// glyph and an embossed, engraved or shadowed caption. Outside its shape nothing is painted, so
// the parent shows through; the pointer hovers and presses only within the shape. It never takes
// the keyboard focus: the only keyboard access is the caption's accelerator (Alt + the letter
// after '&').
class TDsFancyButton : public QWidget {
    Q_OBJECT
public:
    explicit TDsFancyButton(QWidget* parent = nullptr);
    ~TDsFancyButton() override;

    TColor Color() const { return FColor; }  // the face colour
    void SetColor(TColor value);
    QString Caption() const { return FCaption; }
    void SetCaption(const QString& value);
    // The caption's colour; the font itself is the widget's font().
    TColor FontColor() const { return FFontColor; }
    void SetFontColor(TColor value);

    TDsEffect& FancyEffects() { return *FEffect; }
    const TDsEffect& FancyEffects() const { return *FEffect; }
    TDsGlyph& Glyphs() { return *FGlyphs; }
    const TDsGlyph& Glyphs() const { return *FGlyphs; }

    // Whether the point (control coordinates) lies in the button's shape.
    bool InShape(int x, int y) const;

    // Draws the whole button onto canvas, which covers the control's rectangle.
    void Paint(QPainter& canvas);

    // The pointer state and the last layout, as the next paint will use them.
    bool IsDown() const { return FIsDown; }
    bool InRegion() const { return FInRegion; }
    int GlyphToDraw() const { return FGlyphToDraw; }
    int BmpWidth() const { return FBmpWidth; }
    int GlyphL() const { return FGlyphL; }
    int GlyphT() const { return FGlyphT; }
    int TextL() const { return FTextL; }
    int TextT() const { return FTextT; }

signals:
    // The left or middle button was released over the shape, or the accelerator was typed.
    // The button keeps its pressed look until the handlers have returned.
    void OnClick(TDsFancyButton* Sender);
    void OnMouseDown(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y);
    void OnMouseUp(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y);
    void OnMouseMove(Qt::KeyboardModifiers Shift, int X, int Y);

protected:
    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    void SettingsChanged();
    void SeePointer(int x, int y);
    void MouseLeave();
    void FireClick();
    void GrabAccelerator();

    void DrawBaseFace(QPainter& canvas);
    void DrawGradientFrame(QPainter& canvas);
    void DrawHighlight(QPainter& canvas);
    void ComputeLayout();
    void DrawGlyph(QPainter& canvas);
    void DrawCaption(QPainter& canvas);

    std::unique_ptr<TDsEffect> FEffect;
    std::unique_ptr<TDsGlyph> FGlyphs;
    bool FIsDown = false;
    bool FInRegion = false;
    int FBmpWidth = 0;
    int FGlyphToDraw = 1;
    int FGlyphL = 0;
    int FGlyphT = 0;
    QRgb FTransparentColor = 0;
    int FTextL = 0;
    int FTextT = 0;

    TColor FColor = clBtnFace;
    QString FCaption;
    TColor FFontColor = clWindowText;
    int FTextW = 0;
    int FTextH = 0;
    int FAcceleratorId = 0;
    // A button is held and the pointer has been dragged out of the control: the leave has
    // already been handled for this excursion.
    bool FDraggedOut = false;
};

// The look every command button of the main window shares: face #EEEEEE, a 6-pixel gradient
// frame, a rectangle with corners of radius 3, engraved caption in the window-text colour, the
// given hover colour, and the glyph (one picture) on the left at glyphDistance from the caption.
// Geometry, caption, font and the click connection are the window's own.
void SetupMainWindowButton(TDsFancyButton& b, TColor hoverColor, int glyphDistance,
                           const QImage& glyph);

// The command buttons' font: the Korean UI face at the given character height in pixels.
QFont MainWindowButtonFont(int pixelSize, bool bold);
