#pragma once

#include <QFont>
#include <QImage>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>

#include "widgets/Colors.h"
#include "widgets/SCLEDLines.h"

class QPainter;
class QTimer;

enum TSCLEDStyle { sclsSquare, sclsRound };
enum TSCClipMode { sccmText, sccmDisplay };
enum TSCHorizontalAlignment { schaLeft, schaCenter, schaRight };
enum TSCVerticalAlignment { scvaTop, scvaCenter, scvaBottom };

// Averages the three low bytes of two stored colour values, each on its own; the top byte of the
// result is 0. System colours are averaged as stored, not resolved first.
TColor AverageColor(TColor a, TColor b);

// A dot-matrix LED panel. A grid of square or round dots shows a text, or any 1-bit picture, by
// lighting the dots that fall on white pixels of the raster (Bitmap), and can animate that
// picture frame by frame on a timer. The whole picture is rendered into an off-screen buffer
// whenever something changes; painting only copies that buffer, so the control is opaque and
// never flickers.
class TSCLED : public QWidget {
    Q_OBJECT
public:
    explicit TSCLED(QWidget* parent = nullptr);
    ~TSCLED() override;

    // The raster: white pixels are lit dots, black ones unlit. A 1-bit image (Format_Mono); the
    // owner may change it inside OnCustomDraw / OnAfterDrawText, or at any time followed by
    // BitmapChanged(). PaintBitmap() lets the owner draw into it with a QPainter.
    QImage Bitmap;

    TSCLEDLines& Lines() { return *FLines; }
    const TSCLEDLines& Lines() const { return *FLines; }
    void SetLines(const QStringList& lines);

    TColor ForeColor() const { return FForeColor; }
    void SetForeColor(TColor value);
    TColor BackColor() const { return FBackColor; }
    void SetBackColor(TColor value);
    quint8 LEDSize() const { return FLEDSize; }
    void SetLEDSize(quint8 value);
    quint8 LEDDistance() const { return FLEDDistance; }
    void SetLEDDistance(quint8 value);
    qint32 OffsetX() const { return FOffsetX; }
    void SetOffsetX(qint32 value);
    qint32 OffsetY() const { return FOffsetY; }
    void SetOffsetY(qint32 value);
    qint32 LEDCountX() const;
    void SetLEDCountX(qint32 value);
    qint32 LEDCountY() const;
    void SetLEDCountY(qint32 value);
    TSCLEDStyle LEDStyle() const { return FLEDStyle; }
    void SetLEDStyle(TSCLEDStyle value);
    TSCClipMode ClipMode() const { return FClipMode; }
    void SetClipMode(TSCClipMode value);
    TSCHorizontalAlignment AlignmentH() const { return FAlignmentH; }
    void SetAlignmentH(TSCHorizontalAlignment value);
    TSCVerticalAlignment AlignmentV() const { return FAlignmentV; }
    void SetAlignmentV(TSCVerticalAlignment value);
    bool AutoSize() const { return FAutosize; }
    void SetAutoSize(bool value);
    QString Caption() const { return FCaption; }
    void SetCaption(const QString& value);
    // Background around and between the dots. Starts as the button face colour, the colour of
    // the window the control sits on.
    TColor Color() const { return FColor; }
    void SetColor(TColor value);
    // The widget's font (inherited from the parent until set); its colour plays no part.
    QFont Font() const { return font(); }
    void SetFont(const QFont& value) { setFont(value); }

    // Size of the raster as recorded when it was last built (a text may measure 0 × h).
    qint32 BitmapWidth() const { return FBitmapW; }
    qint32 BitmapHeight() const { return FBitmapH; }

    // Re-renders after the owner has drawn into Bitmap outside the two draw events.
    void BitmapChanged();
    // Draws into Bitmap without antialiasing: paint in white to light dots, in black to clear
    // them. Pixels come out lit when they are drawn closer to white than to black. Does not
    // re-render; call BitmapChanged() when drawing outside the draw events.
    void PaintBitmap(const std::function<void(QPainter&)>& draw);

    void Animate(qint32 Style, qint32 Interval, qint32 Steps, qint32 P1, qint32 P2, qint32 P3);
    void StopAnimate();
    // The animation timer's handler; public so that its ticks can be driven by hand.
    void AnimationTick();
    bool Animating() const;
    qint32 AnimationFrame() const { return FFilterTimerTag; }
    const QTimer& FilterTimer() const { return *FFilterTimer; }

signals:
    // When connected, replaces the text: it gets an all-black Bitmap of LEDCountX × LEDCountY.
    void OnCustomDraw(TSCLED* sender);
    // After the text has been drawn into Bitmap (not when OnCustomDraw is connected).
    void OnAfterDrawText(TSCLED* sender);
    // After a running animation has stopped, however it stopped.
    void OnStop(TSCLED* sender);
    void OnClick(TSCLED* sender);
    void OnDblClick(TSCLED* sender);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void connectNotify(const QMetaMethod& signal) override;
    void disconnectNotify(const QMetaMethod& signal) override;

    // Draws the whole control into the off-screen buffer.
    virtual void RenderLEDs();

    void UpdateTextBitmap();
    bool IsLEDLit(qint64 x, qint64 y) const;

private:
    void FullRefresh();
    void ReRender();
    void SetControlSize(qint64 width, qint64 height);
    void UpdateAnimFactors();
    bool RasterLit(qint64 x, qint64 y) const;
    bool HasCustomDraw() const;
    bool HasAfterDrawText() const;

    QImage FBuffer;
    TColor FForeColor = clLime;
    TColor FBackColor = clGreen;
    quint8 FLEDSize = 2;
    quint8 FLEDDistance = 1;
    TSCLEDStyle FLEDStyle = sclsSquare;
    TSCLEDLines* FLines;
    qint32 FOffsetX = 0;
    qint32 FOffsetY = 0;
    TSCClipMode FClipMode = sccmText;
    TSCHorizontalAlignment FAlignmentH = schaCenter;
    TSCVerticalAlignment FAlignmentV = scvaCenter;
    QTimer* FFilterTimer;
    qint32 FFilterTimerTag = 0;  // the animation frame counter t
    qint32 FFilterStyle = 0;
    qint32 FFilterSteps = 0;
    qint32 FFilterP1 = 0;
    qint32 FFilterP2 = 0;
    qint32 FFilterP3 = 0;
    qint32 FBitmapW = 0;
    qint32 FBitmapH = 0;
    float FAnim1 = 0;
    float FAnim2 = 0;
    bool FAutosize = true;
    QString FCaption;
    TColor FColor = clBtnFace;
    QFont FRasterFont;
    QSize FRefreshedSize;  // the control's size when the raster was last built
    bool FPressed = false;
};

// Sets up one of the main window's transmit/receive lamps: a 51 × 25 grid of 1-pixel dots without
// gaps, so that every pixel is a dot, showing the caption in yellow, centred, in a bold monospace
// font 21 pixels high, on the given colour.
void SetupMainWindowLamp(TSCLED& led, const QString& caption, TColor backColor);
