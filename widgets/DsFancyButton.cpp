#include "widgets/DsFancyButton.h"

#include <QEnterEvent>
#include <QFontMetrics>
#include <QKeySequence>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QShortcutEvent>

#include "widgets/DsFancyButtonGeometry.h"

namespace {

// Glyph states: which picture of the strip is wanted.
constexpr int GlyphNormal = 1;
constexpr int GlyphDisabled = 2;
constexpr int GlyphPressed = 3;
constexpr int GlyphHovered = 4;

bool IsClickButton(Qt::MouseButton button) {
    return button == Qt::LeftButton || button == Qt::MiddleButton;
}

// The picture with every pixel of colour transparent left out.
QImage WithoutColor(const QImage& picture, QRgb transparent) {
    QImage out = picture.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x)
            if (line[x] == transparent)
                line[x] = 0;
    }
    return out;
}

// A one-colour copy of the picture's outline: every pixel that differs from background becomes
// color, the rest is left out. Drawn with the background colour as the transparent one, a
// silhouette in that very colour would vanish, so it is then empty.
QImage Silhouette(const QImage& picture, QRgb background, QRgb color) {
    QImage out(picture.size(), QImage::Format_ARGB32);
    out.fill(0);
    if (color == background)
        return out;
    for (int y = 0; y < picture.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(picture.constScanLine(y));
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < picture.width(); ++x)
            if (in[x] != background)
                line[x] = color;
    }
    return out;
}

QRgb OpaqueRgb(TColor c) {
    return ColorToQColor(c).rgb();
}

}  // namespace

TDsFancyButton::TDsFancyButton(QWidget* parent)
    : QWidget(parent),
      FEffect(std::make_unique<TDsEffect>()),
      FGlyphs(std::make_unique<TDsGlyph>()) {
    setFocusPolicy(Qt::NoFocus);
    // Hover follows the pointer without a button held.
    setMouseTracking(true);
    resize(97, 25);
    connect(FEffect.get(), &TDsEffect::OnEffectChange, this, &TDsFancyButton::SettingsChanged);
    connect(FGlyphs.get(), &TDsGlyph::OnGlyphChange, this, &TDsFancyButton::SettingsChanged);
}

TDsFancyButton::~TDsFancyButton() = default;

void TDsFancyButton::SetColor(TColor value) {
    FColor = value;
    update();
}

void TDsFancyButton::SetCaption(const QString& value) {
    FCaption = value;
    GrabAccelerator();
    update();
}

void TDsFancyButton::SetFontColor(TColor value) {
    FFontColor = value;
    update();
}

void TDsFancyButton::SettingsChanged() {
    update();
}

bool TDsFancyButton::InShape(int x, int y) const {
    const int W = width(), H = height();
    const TBtnShape shape = FEffect->Shape();
    return ButtonShape(shape, 0, 0, W, H, ShapeCorner(shape, FEffect->CornerRadius(), W, H))
        .Contains(x, y);
}

// ---- Painting -------------------------------------------------------------------------------

void TDsFancyButton::paintEvent(QPaintEvent*) {
    QPainter canvas(this);
    Paint(canvas);
}

void TDsFancyButton::Paint(QPainter& canvas) {
    FBmpWidth = FGlyphs->Glyph().width() / FGlyphs->Number();
    canvas.setFont(font());
    canvas.setRenderHint(QPainter::Antialiasing, false);
    // Without a frame (fmNone) the button is flat on the parent: only glyph and caption.
    if (FEffect->FrameStyle() == fmGradient) {
        DrawBaseFace(canvas);
        DrawGradientFrame(canvas);
    }
    ComputeLayout();
    if (FBmpWidth > 0)
        DrawGlyph(canvas);
    DrawCaption(canvas);
}

void TDsFancyButton::DrawBaseFace(QPainter& canvas) {
    const int W = width(), H = height();
    const TBtnShape shape = FEffect->Shape();
    const TPixelShape face =
        ButtonShape(shape, 0, 0, W - 1, H - 1, ShapeCorner(shape, FEffect->CornerRadius(), W, H));
    if (!FIsDown) {
        face.Fill(canvas, ColorToQColor(FColor));
        return;
    }
    // Pressed: a darker face inside a one-pixel outline only slightly darker than the colour.
    face.Fill(canvas, ColorToQColor(ShiftColor(FColor, -5)));
    face.Interior().Fill(canvas, ColorToQColor(ShiftColor(FColor, -65)));
}

void TDsFancyButton::DrawGradientFrame(QPainter& canvas) {
    const TColor a = FIsDown     ? ColorToRGB(FColor)
                     : FInRegion ? ShiftColor(FColor, +10)
                                 : ColorToRGB(FColor);
    const TColor b = ShiftColor(a, -80);
    const int fw = FEffect->FrameWidth();
    // Each band lies one pixel inside the previous one and is filled whole, so the frame is a set
    // of one-pixel rings and the face inside has the colour of the last band.
    const int bands = GradientBandCount(fw, FIsDown);
    for (int i = 0; i < bands; ++i)
        GradientBandShape(FEffect->Shape(), FEffect->CornerRadius(), width(), height(), i, FIsDown)
            .Fill(canvas, ColorToQColor(GradientBandColor(a, b, i, fw)));
    DrawHighlight(canvas);
}

void TDsFancyButton::DrawHighlight(QPainter& canvas) {
    const int W = width(), H = height();
    const QColor line = ColorToQColor(ShiftColor(FColor, FIsDown ? -10 : -15));
    int rx = 0, ry = 0;
    switch (FEffect->Shape()) {
        case btnRectangle:
            rx = ry = FEffect->CornerRadius();
            break;
        case btnOval:
            rx = W / 2;
            ry = H / 2;
            break;
        case btnCapsule:
            rx = ry = H < W ? H / 2 : W / 2;
            break;
    }
    // The upper-left quarter of the corner ellipse, then the left and the top edge.
    TPixelShape::Ellipse(2, 2, 2 * rx + 2, 2 * ry + 2)
        .FillBorder(canvas, line, QRect(2, 2, rx, ry));
    if (H - ry - 1 > ry + 1)
        canvas.fillRect(QRect(2, ry + 1, 1, H - 2 * ry - 2), line);
    if (W - rx - 1 > rx + 1)
        canvas.fillRect(QRect(rx + 1, 2, W - 2 * rx - 2, 1), line);
}

void TDsFancyButton::ComputeLayout() {
    const QFontMetrics metrics(font());
    // Measured on the raw caption: the '&' of an accelerator counts.
    FTextW = metrics.horizontalAdvance(FCaption);
    FTextH = metrics.height();
    const TButtonLayout layout =
        ComputeButtonLayout(FGlyphs->Layout(), width(), height(), FBmpWidth,
                            FGlyphs->Glyph().height(), FTextW, FTextH, FGlyphs->Distance());
    FGlyphL = layout.GlyphL;
    FGlyphT = layout.GlyphT;
    FTextL = layout.TextL;
    FTextT = layout.TextT;
}

void TDsFancyButton::DrawGlyph(QPainter& canvas) {
    const QImage& strip = FGlyphs->Glyph();
    const int gh = strip.height();
    QPoint g(FGlyphL, FGlyphT);
    if (FIsDown)
        g += QPoint(1, 1);
    if (FGlyphToDraw > FGlyphs->Number())
        FGlyphToDraw = GlyphNormal;
    const int k = FGlyphToDraw - 1;
    const QImage picture = strip.copy(k * FBmpWidth, 0, FBmpWidth, gh);
    const QRgb tk = picture.pixel(0, gh - 1);

    const TGlyphStyle style = FGlyphs->GlyphStyle();
    if (FIsDown || style != gsNormal) {
        // Two one-colour copies of the outline, up-left and down-right, emboss the glyph
        // (raised), engrave it (lowered) or sink it (pressed).
        TColor c1 = ShiftColor(FColor, +20), c2 = ShiftColor(FColor, -50);
        if (style == gsLowered) {
            c1 = ShiftColor(FColor, -30);
            c2 = ShiftColor(FColor, +25);
        }
        if (FIsDown) {
            c1 = ShiftColor(FColor, -50);
            c2 = ShiftColor(FColor, +20);
        }
        canvas.drawImage(g - QPoint(1, 1), Silhouette(picture, tk, OpaqueRgb(c1)));
        canvas.drawImage(g + QPoint(1, 1), Silhouette(picture, tk, OpaqueRgb(c2)));
    }
    FTransparentColor = strip.pixel(0, gh - 1);
    canvas.drawImage(g, WithoutColor(picture, FTransparentColor));
}

void TDsFancyButton::DrawCaption(QPainter& canvas) {
    const QRect r(FTextL, FTextT, FTextW, FTextH);
    constexpr int flags =
        Qt::AlignCenter | Qt::TextSingleLine | Qt::TextShowMnemonic | Qt::TextDontClip;
    const int p = FIsDown ? 1 : 0;
    const TTextStyle style = FEffect->TextStyle();

    // The shadow keeps its place relative to the caption, which moves when pressed.
    QPoint shadowOffset;
    TColor shadowColor = 0;
    switch (style) {
        case txPlain:
            break;
        case txLowered:
            shadowOffset = QPoint(1 + p, 1 + p);
            shadowColor = ShiftColor(FColor, +25);
            break;
        case txRaised:
            shadowOffset = QPoint(-1 + p, -1 + p);
            shadowColor = ShiftColor(FColor, +25);
            break;
        case txShadowed:
            shadowOffset = QPoint(2 + p, 2 + p);
            shadowColor = ShiftColor(FColor, -50);
            break;
    }
    if (style != txPlain) {
        canvas.setPen(ColorToQColor(shadowColor));
        canvas.drawText(r.translated(shadowOffset), flags, FCaption);
    }

    TColor color;
    if (isEnabled())
        color = FInRegion && !FIsDown ? FEffect->HoverColor() : FFontColor;
    else
        color = style == txShadowed ? clBtnFace : clBtnShadow;
    canvas.setPen(ColorToQColor(color));
    canvas.drawText(r.translated(p, p), flags, FCaption);
}

// ---- Pointer --------------------------------------------------------------------------------

void TDsFancyButton::SeePointer(int x, int y) {
    const bool inShape = InShape(x, y);
    const int state = inShape ? GlyphHovered : GlyphNormal;
    // Also repaint when only the hover changes: with fewer than four pictures the state is
    // already back to normal after a paint, and a corner would otherwise keep the hover look.
    const bool changed = FGlyphToDraw != state || FInRegion != inShape;
    FInRegion = inShape;
    FGlyphToDraw = state;
    if (changed)
        update();
}

void TDsFancyButton::MouseLeave() {
    FInRegion = false;
    FIsDown = false;
    FGlyphToDraw = isEnabled() ? GlyphNormal : GlyphDisabled;
    update();
}

void TDsFancyButton::FireClick() {
    emit OnClick(this);
}

void TDsFancyButton::mousePressEvent(QMouseEvent* e) {
    const QPointer<TDsFancyButton> self(this);
    const QPoint pos = e->position().toPoint();
    emit OnMouseDown(e->button(), e->modifiers(), pos.x(), pos.y());
    if (!self || !IsClickButton(e->button()))
        return;
    // A press is a sighting of the pointer too: the window may have appeared under a pointer
    // that has not moved since.
    if (!FIsDown)
        SeePointer(pos.x(), pos.y());
    if (FInRegion) {
        FIsDown = true;
        FGlyphToDraw = GlyphPressed;
        update();
    }
}

void TDsFancyButton::mouseDoubleClickEvent(QMouseEvent* e) {
    // No double click of its own: the second click of a pair is a press like the first.
    mousePressEvent(e);
}

void TDsFancyButton::mouseMoveEvent(QMouseEvent* e) {
    const QPointer<TDsFancyButton> self(this);
    const QPoint pos = e->position().toPoint();
    emit OnMouseMove(e->modifiers(), pos.x(), pos.y());
    if (!self)
        return;
    // While a button is held the pointer stays grabbed and no leave arrives until the release;
    // dragging out of the control must cancel the press all the same.
    if (!rect().contains(pos)) {
        if (!FDraggedOut) {
            FDraggedOut = true;
            MouseLeave();
        }
        return;
    }
    FDraggedOut = false;
    if (FIsDown)
        return;
    SeePointer(pos.x(), pos.y());
}

void TDsFancyButton::mouseReleaseEvent(QMouseEvent* e) {
    const QPointer<TDsFancyButton> self(this);
    const QPoint pos = e->position().toPoint();
    emit OnMouseUp(e->button(), e->modifiers(), pos.x(), pos.y());
    if (!self || !IsClickButton(e->button()))
        return;
    if (!rect().contains(pos)) {
        // Released off the control: that is a leave, never a click.
        if (!FDraggedOut)
            MouseLeave();
        FDraggedOut = false;
        return;
    }
    if (!FInRegion)
        return;
    // The pressed look stays while the click runs; the handler may even delete the button.
    FireClick();
    if (!self)
        return;
    FIsDown = false;
    update();
}

void TDsFancyButton::enterEvent(QEnterEvent* e) {
    QWidget::enterEvent(e);
    FDraggedOut = false;
}

void TDsFancyButton::leaveEvent(QEvent* e) {
    QWidget::leaveEvent(e);
    FDraggedOut = false;
    MouseLeave();
}

void TDsFancyButton::hideEvent(QHideEvent* e) {
    QWidget::hideEvent(e);
    // A hidden button is under no pointer; shown again it must not come back hovered or pressed.
    MouseLeave();
}

void TDsFancyButton::changeEvent(QEvent* e) {
    QWidget::changeEvent(e);
    if (e->type() == QEvent::EnabledChange) {
        FGlyphToDraw = isEnabled() ? GlyphNormal : GlyphDisabled;
        update();
    }
}

// ---- Accelerator ----------------------------------------------------------------------------

void TDsFancyButton::GrabAccelerator() {
    if (FAcceleratorId != 0)
        releaseShortcut(FAcceleratorId);
    FAcceleratorId = 0;
    const QKeySequence key = QKeySequence::mnemonic(FCaption);
    if (!key.isEmpty())
        FAcceleratorId = grabShortcut(key);
}

bool TDsFancyButton::event(QEvent* e) {
    if (e->type() == QEvent::Shortcut &&
        static_cast<QShortcutEvent*>(e)->shortcutId() == FAcceleratorId && FAcceleratorId != 0) {
        if (isEnabled())
            FireClick();
        return true;
    }
    return QWidget::event(e);
}

// ---- The main window's buttons --------------------------------------------------------------

void SetupMainWindowButton(TDsFancyButton& b, TColor hoverColor, int glyphDistance,
                           const QImage& glyph) {
    b.SetColor(RGBToColor(0xEE, 0xEE, 0xEE));
    b.SetFontColor(clWindowText);
    TDsEffect& effect = b.FancyEffects();
    effect.SetFrameStyle(fmGradient);
    effect.SetFrameWidth(6);
    effect.SetShape(btnRectangle);
    effect.SetCornerRadius(3);
    effect.SetTextStyle(txLowered);
    effect.SetHoverColor(hoverColor);
    TDsGlyph& glyphs = b.Glyphs();
    glyphs.SetGlyph(glyph);
    glyphs.SetNumber(1);
    glyphs.SetGlyphStyle(gsNormal);
    glyphs.SetLayout(lyLeft);
    glyphs.SetDistance(glyphDistance);
}

QFont MainWindowButtonFont(int pixelSize, bool bold) {
    // NanumGothic stands in for the Korean UI face the window was designed with.
    QFont font(QStringLiteral("NanumGothic"));
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}
