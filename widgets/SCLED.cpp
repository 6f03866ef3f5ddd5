#include "widgets/SCLED.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QMetaMethod>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>
#include <vector>

#include "widgets/WidgetGuard.h"

TColor AverageColor(TColor a, TColor b) {
    TColor result = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const TColor average = (((a >> shift) & 0xFF) + ((b >> shift) & 0xFF)) / 2;
        result |= average << shift;
    }
    return result;
}

namespace {

// An all-black 1-bit raster; index 0 is black (unlit), index 1 white (lit).
QImage BlankRaster(int width, int height) {
    if (width <= 0 || height <= 0)
        return QImage();
    QImage raster(width, height, QImage::Format_Mono);
    if (raster.isNull())
        return raster;
    raster.setColorCount(2);
    raster.setColor(0, qRgb(0, 0, 0));
    raster.setColor(1, qRgb(255, 255, 255));
    raster.fill(0);
    return raster;
}

// Reduces a drawing to the 1-bit raster: a pixel is lit when it is nearer white than black.
QImage ReduceToRaster(const QImage& drawing) {
    QImage raster = BlankRaster(drawing.width(), drawing.height());
    if (raster.isNull())
        return raster;
    for (int y = 0; y < drawing.height(); ++y) {
        const auto* source = reinterpret_cast<const QRgb*>(drawing.constScanLine(y));
        uchar* target = raster.scanLine(y);
        for (int x = 0; x < drawing.width(); ++x) {
            if (qGray(source[x]) >= 128)
                target[x >> 3] |= uchar(0x80 >> (x & 7));
        }
    }
    return raster;
}

// The text laid out as the raster needs it: every line break starts a new line, nothing wraps,
// and each line is as high as the font's ascent plus descent.
struct TTextLayout {
    QStringList lines;
    QList<int> widths;
    int width = 0;
    int height = 0;
    int lineHeight = 0;
    int ascent = 0;
};

QStringList SplitLines(const QString& text) {
    QStringList lines;
    QString line;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\r' || c == u'\n') {
            lines.append(line);
            line.clear();
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
        } else {
            line += c;
        }
    }
    lines.append(line);
    return lines;
}

// Metrics and drawing both go to images of the same kind, so that a font sized in points measures
// exactly as it is drawn.
const QImage& MeasuringDevice() {
    static const QImage device(1, 1, QImage::Format_RGB32);
    return device;
}

TTextLayout LayoutText(const QString& text, const QFont& font) {
    const QFontMetrics metrics(font, &MeasuringDevice());
    TTextLayout layout;
    // An empty text has no line at all, so its raster is empty in both directions.
    if (!text.isEmpty())
        layout.lines = SplitLines(text);
    layout.lineHeight = metrics.ascent() + metrics.descent();
    layout.ascent = metrics.ascent();
    for (const QString& line : layout.lines) {
        const int width = metrics.horizontalAdvance(line);
        layout.widths.append(width);
        layout.width = std::max(layout.width, width);
    }
    layout.height = int(layout.lines.size()) * layout.lineHeight;
    return layout;
}

// Draws the laid-out text in white on black into a raster of the given size; the text rectangle
// may lie partly outside it, and whatever falls outside is lost.
QImage DrawTextRaster(int width, int height, const TTextLayout& layout, const QFont& font,
                      const QRect& textRect, TSCHorizontalAlignment alignment) {
    if (width <= 0 || height <= 0)
        return QImage();
    QImage drawing(width, height, QImage::Format_RGB32);
    if (drawing.isNull())
        return QImage();
    drawing.fill(Qt::black);
    {
        QPainter painter(&drawing);
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.setRenderHint(QPainter::TextAntialiasing, false);
        painter.setFont(font);
        painter.setPen(Qt::white);
        for (qsizetype i = 0; i < layout.lines.size(); ++i) {
            const int lineWidth = layout.widths[i];
            int x = textRect.left();
            if (alignment == schaCenter)
                x += (textRect.width() - lineWidth) / 2;
            else if (alignment == schaRight)
                x += textRect.width() - lineWidth;
            const int baseline = textRect.top() + int(i) * layout.lineHeight + layout.ascent;
            painter.drawText(QPoint(x, baseline), layout.lines[i]);
        }
    }
    return ReduceToRaster(drawing);
}

QFont RasterFontOf(const QFont& font) {
    QFont raster = font;
    raster.setStyleStrategy(QFont::NoAntialias);
    return raster;
}

// Rounds to the nearest integer, halves to even. Values that no raster could reach (or that are
// not numbers) give no result, so that wild factors never overflow a coordinate.
std::optional<qint64> RoundCoordinate(long double value) {
    if (!std::isfinite(value) || std::fabs(value) > 1e15L)
        return std::nullopt;
    return qint64(std::nearbyint(value));
}

}  // namespace

TSCLED::TSCLED(QWidget* parent)
    : QWidget(parent), FLines(new TSCLEDLines), FFilterTimer(new QTimer(this)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    FRasterFont = RasterFontOf(font());
    FLines->OnChange = [this] { FullRefresh(); };
    FFilterTimer->setTimerType(Qt::PreciseTimer);
    connect(FFilterTimer, &QTimer::timeout, this,
            [this] { WidgetGuard([this] { AnimationTick(); }); });
    resize(160, 40);
    FullRefresh();
}

TSCLED::~TSCLED() {
    Bitmap = QImage();
    FBuffer = QImage();
    delete FLines;
    FLines = nullptr;
    delete FFilterTimer;
    FFilterTimer = nullptr;
}

void TSCLED::FullRefresh() {
    FRefreshedSize = size();
    UpdateTextBitmap();
    RenderLEDs();
    update();
}

void TSCLED::ReRender() {
    RenderLEDs();
    update();
}

void TSCLED::SetControlSize(qint64 width, qint64 height) {
    const int w = int(std::clamp<qint64>(width, 0, QWIDGETSIZE_MAX));
    const int h = int(std::clamp<qint64>(height, 0, QWIDGETSIZE_MAX));
    if (w == this->width() && h == this->height())
        return;
    resize(w, h);
    // A hidden widget hears of its new size only when it is shown; keep the picture current.
    if (testAttribute(Qt::WA_PendingResizeEvent))
        FullRefresh();
}

bool TSCLED::HasCustomDraw() const {
    return isSignalConnected(QMetaMethod::fromSignal(&TSCLED::OnCustomDraw));
}

bool TSCLED::HasAfterDrawText() const {
    return isSignalConnected(QMetaMethod::fromSignal(&TSCLED::OnAfterDrawText));
}

// Connecting or disconnecting a draw event changes what the raster shows.
void TSCLED::connectNotify(const QMetaMethod& signal) {
    if (signal == QMetaMethod::fromSignal(&TSCLED::OnCustomDraw) ||
        signal == QMetaMethod::fromSignal(&TSCLED::OnAfterDrawText))
        FullRefresh();
}

void TSCLED::disconnectNotify(const QMetaMethod& signal) {
    // Qt still holds its connection lock here, so asking which events are connected would
    // deadlock: the refresh runs as soon as the event loop is back.
    if (!signal.isValid() || signal == QMetaMethod::fromSignal(&TSCLED::OnCustomDraw) ||
        signal == QMetaMethod::fromSignal(&TSCLED::OnAfterDrawText))
        QMetaObject::invokeMethod(
            this, [this] { WidgetGuard([this] { FullRefresh(); }); }, Qt::QueuedConnection);
}

void TSCLED::SetLines(const QStringList& lines) {
    FLines->Assign(lines);
}

void TSCLED::SetForeColor(TColor value) {
    if (value == FForeColor)
        return;
    FForeColor = value;
    ReRender();
}

void TSCLED::SetBackColor(TColor value) {
    if (value == FBackColor)
        return;
    FBackColor = value;
    ReRender();
}

void TSCLED::SetLEDSize(quint8 value) {
    if (value == FLEDSize || value == 0)
        return;
    if (FAutosize) {
        const qint64 pitch = qint64(value) + FLEDDistance;
        SetControlSize(FLEDDistance + LEDCountX() * pitch, FLEDDistance + LEDCountY() * pitch);
    }
    FLEDSize = value;
    FullRefresh();
}

void TSCLED::SetLEDDistance(quint8 value) {
    if (value == FLEDDistance)
        return;
    if (FAutosize) {
        const qint64 pitch = qint64(FLEDSize) + value;
        SetControlSize(value + LEDCountX() * pitch, value + LEDCountY() * pitch);
    }
    FLEDDistance = value;
    FullRefresh();
}

void TSCLED::SetOffsetX(qint32 value) {
    if (value == FOffsetX)
        return;
    FOffsetX = value;
    ReRender();
}

void TSCLED::SetOffsetY(qint32 value) {
    if (value == FOffsetY)
        return;
    FOffsetY = value;
    ReRender();
}

qint32 TSCLED::LEDCountX() const {
    return width() / (FLEDSize + FLEDDistance);
}

qint32 TSCLED::LEDCountY() const {
    return height() / (FLEDSize + FLEDDistance);
}

void TSCLED::SetLEDCountX(qint32 value) {
    if (!FAutosize || value <= 0 || value == LEDCountX())
        return;
    SetControlSize(FLEDDistance + qint64(value) * (FLEDSize + FLEDDistance), height());
    FullRefresh();
}

void TSCLED::SetLEDCountY(qint32 value) {
    if (!FAutosize || value <= 0 || value == LEDCountY())
        return;
    SetControlSize(width(), FLEDDistance + qint64(value) * (FLEDSize + FLEDDistance));
    FullRefresh();
}

void TSCLED::SetLEDStyle(TSCLEDStyle value) {
    if (value == FLEDStyle)
        return;
    FLEDStyle = value;
    ReRender();
}

void TSCLED::SetClipMode(TSCClipMode value) {
    if (value == FClipMode)
        return;
    FClipMode = value;
    FullRefresh();
}

void TSCLED::SetAlignmentH(TSCHorizontalAlignment value) {
    if (value == FAlignmentH)
        return;
    FAlignmentH = value;
    FullRefresh();
}

void TSCLED::SetAlignmentV(TSCVerticalAlignment value) {
    if (value == FAlignmentV)
        return;
    FAlignmentV = value;
    FullRefresh();
}

void TSCLED::SetAutoSize(bool value) {
    if (value == FAutosize)
        return;
    FAutosize = value;
    if (value) {
        const qint64 pitch = FLEDSize + FLEDDistance;
        SetControlSize(FLEDDistance + LEDCountX() * pitch, FLEDDistance + LEDCountY() * pitch);
    }
}

void TSCLED::SetCaption(const QString& value) {
    if (value == FCaption)
        return;
    FCaption = value;
    FullRefresh();
}

void TSCLED::SetColor(TColor value) {
    if (value == FColor)
        return;
    FColor = value;
    ReRender();
}

void TSCLED::BitmapChanged() {
    ReRender();
}

void TSCLED::PaintBitmap(const std::function<void(QPainter&)>& draw) {
    if (Bitmap.isNull())
        return;
    QImage drawing = Bitmap.convertToFormat(QImage::Format_RGB32);
    {
        QPainter painter(&drawing);
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.setRenderHint(QPainter::TextAntialiasing, false);
        draw(painter);
    }
    Bitmap = ReduceToRaster(drawing);
}

void TSCLED::UpdateTextBitmap() {
    Bitmap = QImage();
    FBitmapW = 0;
    FBitmapH = 0;

    if (HasCustomDraw()) {
        Bitmap = BlankRaster(LEDCountX(), LEDCountY());
        FBitmapW = LEDCountX();
        FBitmapH = LEDCountY();
        emit OnCustomDraw(this);
        return;
    }

    // Lines come with a line break after each; the last one would add an empty line.
    QString text = FCaption;
    if (FLines->Count() > 0) {
        text = FLines->Text();
        if (text.size() > 2)
            text.chop(2);
    }

    const TTextLayout layout = LayoutText(text, FRasterFont);
    QRect textRect;
    if (FClipMode == sccmText) {
        FBitmapW = layout.width;
        FBitmapH = layout.height;
        textRect = QRect(0, 0, layout.width, layout.height);
    } else {
        FBitmapW = LEDCountX();
        FBitmapH = LEDCountY();
        int top = 0;
        if (FAlignmentV == scvaCenter)
            top = (FBitmapH - layout.height) / 2;
        else if (FAlignmentV == scvaBottom)
            top = FBitmapH - layout.height;
        textRect = QRect(0, top, FBitmapW, FBitmapH);
    }
    Bitmap = DrawTextRaster(FBitmapW, FBitmapH, layout, FRasterFont, textRect, FAlignmentH);

    if (HasAfterDrawText())
        emit OnAfterDrawText(this);
}

bool TSCLED::RasterLit(qint64 x, qint64 y) const {
    if (x < 0 || y < 0 || x >= FBitmapW || y >= FBitmapH || x >= Bitmap.width() ||
        y >= Bitmap.height())
        return false;
    return (Bitmap.pixel(int(x), int(y)) & 0xFFFFFF) == 0xFFFFFF;
}

void TSCLED::UpdateAnimFactors() {
    if (FFilterStyle < 4 || FFilterStyle > 9)
        return;
    const qint64 degrees = (qint64(FFilterTimerTag) * FFilterP1) % 360;
    const long double theta = (long double)degrees * std::numbers::pi_v<long double> / 180;
    const long double cosine = std::cos(theta);
    if (FFilterStyle == 8) {
        FAnim1 = float(std::fabs(cosine));
    } else {
        FAnim1 = float(cosine);
        if (FFilterStyle == 9)
            FAnim2 = float(std::sin(theta));
    }
}

bool TSCLED::IsLEDLit(qint64 x, qint64 y) const {
    const qint64 t = FFilterTimerTag;
    const bool evenFrame = t % 2 == 0;
    const long double a1 = FAnim1;
    const long double a2 = FAnim2;
    const qint64 p1 = FFilterP1;
    const qint64 p2 = FFilterP2;
    const qint64 p3 = FFilterP3;
    const auto litAt = [this](std::optional<qint64> rx, std::optional<qint64> ry) {
        return rx && ry && RasterLit(*rx, *ry);
    };
    // A squeeze or zoom whose factor has reached zero would divide by it: nothing shows.
    const bool flat = std::fabs(double(FAnim1)) < 1e-8;

    switch (FFilterStyle) {
        case 1:
            return evenFrame ? false : RasterLit(x, y);
        case 2:
            return evenFrame ? true : RasterLit(x, y);
        case 3:
            return evenFrame ? !RasterLit(x, y) : RasterLit(x, y);
        case 4:
            return litAt(RoundCoordinate(p2 + (x - p2) * a1), y);
        case 5:
            return litAt(x, RoundCoordinate(p2 + (y - p2) * a1));
        case 6:
            return !flat && litAt(RoundCoordinate((x - p2) / a1 + p2), y);
        case 7:
            return !flat && litAt(x, RoundCoordinate((y - p2) / a1 + p2));
        case 8:
            return !flat &&
                   litAt(RoundCoordinate((x - p2) / a1 + p2), RoundCoordinate((y - p3) / a1 + p3));
        case 9: {
            const qint64 dx = x - p2;
            const qint64 dy = y - p3;
            const auto rx = RoundCoordinate(dx * a1 + dy * a2);
            const auto ry = RoundCoordinate(-dx * a2 + dy * a1);
            return rx && ry && RasterLit(*rx + p2, *ry + p3);
        }
        case 10:
        case 11: {
            // A period of 0 has no picture to repeat.
            if (p2 == 0)
                return false;
            const qint64 along = FFilterStyle == 10 ? x : y;
            qint64 m = (along + t * p1) % p2;
            if (m < 0)
                m += p2;
            return FFilterStyle == 10 ? RasterLit(m, y) : RasterLit(x, m);
        }
        case 12:
        case 13: {
            const qint64 extent = FFilterStyle == 12 ? FBitmapW : FBitmapH;
            // An empty raster has no width to wipe across.
            if (extent == 0)
                return false;
            const qint64 along = FFilterStyle == 12 ? x : y;
            const qint64 s = t * p1;
            const bool r = RasterLit(x, y);
            if ((s / extent) % 2 == 0)
                return along < s % extent ? !r : r;
            return along > s % extent ? !r : r;
        }
        default:
            // No animation, or a style without a picture of its own: the plain picture.
            return RasterLit(x, y);
    }
}

void TSCLED::RenderLEDs() {
    const TColor litCorner = AverageColor(FForeColor, FBackColor);
    const TColor unlitCorner = AverageColor(FBackColor, FColor);

    if (FBuffer.width() != width() || FBuffer.height() != height()) {
        FBuffer = QImage();
        if (width() > 0 && height() > 0)
            FBuffer = QImage(width(), height(), QImage::Format_RGB32);
    }
    if (FBuffer.isNull())
        return;
    FBuffer.fill(ColorToQColor(FColor));

    const qint32 countX = LEDCountX();
    const qint32 countY = LEDCountY();
    qint64 alignX = 0;
    if (FAlignmentH == schaCenter)
        alignX = (qint64(countX) - FBitmapW) / 2;
    else if (FAlignmentH == schaRight)
        alignX = qint64(countX) - FBitmapW;
    qint64 alignY = 0;
    if (FAlignmentV == scvaCenter)
        alignY = (qint64(countY) - FBitmapH) / 2;
    else if (FAlignmentV == scvaBottom)
        alignY = qint64(countY) - FBitmapH;

    UpdateAnimFactors();

    const QRgb fore = ColorToQColor(FForeColor).rgb();
    const QRgb back = ColorToQColor(FBackColor).rgb();
    const QRgb litCornerRgb = ColorToQColor(litCorner).rgb();
    const QRgb unlitCornerRgb = ColorToQColor(unlitCorner).rgb();
    const int size = FLEDSize;
    const int distance = FLEDDistance;
    const int pitch = size + distance;
    const bool round = FLEDStyle == sclsRound;

    // Every dot lies inside the buffer: the grid has Width div pitch columns.
    uchar* const bits = FBuffer.bits();
    const qsizetype bytesPerLine = FBuffer.bytesPerLine();
    const auto pixel = [bits, bytesPerLine](int x, int y) -> QRgb& {
        return reinterpret_cast<QRgb*>(bits + y * bytesPerLine)[x];
    };

    // The ellipse inscribed in a cell: a pixel belongs to it when its centre lies inside, so the
    // dot is symmetric and stays within its cell.
    std::vector<bool> ellipse;
    if (size >= 4 && round) {
        ellipse.resize(size_t(size) * size);
        const double radius = size / 2.0;
        for (int dy = 0; dy < size; ++dy)
            for (int dx = 0; dx < size; ++dx) {
                const double cx = dx + 0.5 - radius, cy = dy + 0.5 - radius;
                ellipse[size_t(dy) * size + dx] = cx * cx + cy * cy <= radius * radius;
            }
    }

    for (qint32 i = 0; i < countX; ++i) {
        const int px = distance + i * pitch;
        for (qint32 j = 0; j < countY; ++j) {
            const int py = distance + j * pitch;
            const bool lit = IsLEDLit(i - qint64(FOffsetX) - alignX, j - qint64(FOffsetY) - alignY);
            const QRgb colour = lit ? fore : back;
            if (size == 1) {
                pixel(px, py) = colour;
            } else if (size == 2) {
                pixel(px, py) = colour;
                pixel(px + 1, py) = colour;
                pixel(px, py + 1) = colour;
                pixel(px + 1, py + 1) = colour;
            } else if (size == 3 && round) {
                const QRgb corner = lit ? litCornerRgb : unlitCornerRgb;
                pixel(px, py) = corner;
                pixel(px + 2, py) = corner;
                pixel(px, py + 2) = corner;
                pixel(px + 2, py + 2) = corner;
                pixel(px + 1, py) = colour;
                pixel(px, py + 1) = colour;
                pixel(px + 1, py + 1) = colour;
                pixel(px + 2, py + 1) = colour;
                pixel(px + 1, py + 2) = colour;
            } else if (!ellipse.empty()) {
                for (int dy = 0; dy < size; ++dy) {
                    QRgb* line = &pixel(px, py + dy);
                    for (int dx = 0; dx < size; ++dx)
                        if (ellipse[size_t(dy) * size + dx])
                            line[dx] = colour;
                }
            } else {
                for (int dy = 0; dy < size; ++dy) {
                    QRgb* line = &pixel(px, py + dy);
                    std::fill(line, line + size, colour);
                }
            }
        }
    }
}

void TSCLED::Animate(qint32 Style, qint32 Interval, qint32 Steps, qint32 P1, qint32 P2, qint32 P3) {
    if (Style == 0) {
        StopAnimate();
        return;
    }
    if (Style < 0 || Style > 100 || Interval < 1 || Steps < 1)
        return;
    StopAnimate();
    FFilterTimer->setInterval(Interval);
    FFilterTimerTag = 0;
    FFilterStyle = Style;
    FFilterSteps = Steps;
    FFilterP1 = P1;
    FFilterP2 = P2;
    FFilterP3 = P3;
    // The first frame appears at the first tick.
    FFilterTimer->start();
}

void TSCLED::StopAnimate() {
    if (!FFilterTimer->isActive())
        return;
    FFilterTimer->stop();
    FFilterStyle = 0;
    ReRender();
    emit OnStop(this);
}

void TSCLED::AnimationTick() {
    if (!FFilterTimer->isActive())
        return;  // a tick already queued when the animation stopped
    if (qint64(FFilterTimerTag) + 1 > FFilterSteps) {
        StopAnimate();
        return;
    }
    ++FFilterTimerTag;
    ReRender();
}

bool TSCLED::Animating() const {
    return FFilterTimer->isActive();
}

void TSCLED::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(0, 0, FBuffer);
}

void TSCLED::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // A hidden widget hears of a resize only when it is shown or grabbed, often after the
    // picture has already been rebuilt for that size; rebuilding again would show the current
    // animation frame early.
    if (size() != FRefreshedSize)
        WidgetGuard([this] { FullRefresh(); });
}

void TSCLED::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        FRasterFont = RasterFontOf(font());
        WidgetGuard([this] { FullRefresh(); });
    } else if (event->type() == QEvent::PaletteChange) {
        // System colours follow the palette.
        WidgetGuard([this] { ReRender(); });
    }
}

void TSCLED::mousePressEvent(QMouseEvent* event) {
    QWidget::mousePressEvent(event);
    if (event->button() == Qt::LeftButton)
        FPressed = true;
}

void TSCLED::mouseReleaseEvent(QMouseEvent* event) {
    QWidget::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton)
        return;
    const bool click = FPressed && rect().contains(event->position().toPoint());
    FPressed = false;
    if (click)
        WidgetGuard([this] { emit OnClick(this); });
}

void TSCLED::mouseDoubleClickEvent(QMouseEvent* event) {
    QWidget::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton)
        WidgetGuard([this] { emit OnDblClick(this); });
}

void SetupMainWindowLamp(TSCLED& led, const QString& caption, TColor backColor) {
    led.SetLEDSize(1);
    led.SetLEDDistance(0);
    led.resize(51, 25);
    led.SetAlignmentH(schaCenter);
    led.SetAlignmentV(scvaCenter);
    led.SetClipMode(sccmText);
    led.SetForeColor(clYellow);
    led.SetBackColor(backColor);
    led.SetCaption(caption);

    const QString lucida = QStringLiteral("Lucida Console");
    QFont font(QFontDatabase::hasFamily(lucida) ? lucida : QStringLiteral("DejaVu Sans Mono"));
    font.setBold(true);
    font.setPixelSize(21);
    led.SetFont(font);
}
