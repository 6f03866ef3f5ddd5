#include "widgets/DsEffect.h"

#include <algorithm>

TDsEffect::TDsEffect(QObject* parent) : QObject(parent) {}

void TDsEffect::Changed() {
    emit OnEffectChange(this);
}

void TDsEffect::SetFrameStyle(TFrameStyle value) {
    FFrameStyle = value;
    Changed();
}

void TDsEffect::SetFrameWidth(int value) {
    FFrameWidth = std::clamp(value, 3, 14);
    Changed();
}

void TDsEffect::SetHoverColor(TColor value) {
    FHoverColor = value;
    Changed();
}

void TDsEffect::SetShape(TBtnShape value) {
    FBtnShape = value;
    Changed();
}

void TDsEffect::SetCornerRadius(int value) {
    FCornerRadius = std::clamp(value, 0, 145);
    Changed();
}

void TDsEffect::SetTextStyle(TTextStyle value) {
    FTextStyle = value;
    Changed();
}

TDsGlyph::TDsGlyph(QObject* parent) : QObject(parent) {}

void TDsGlyph::Changed() {
    emit OnGlyphChange(this);
}

void TDsGlyph::SetGlyph(const QImage& value) {
    FBmpGlyph = value.isNull() ? QImage() : value.convertToFormat(QImage::Format_ARGB32);
    Changed();
}

void TDsGlyph::SetGlyphStyle(TGlyphStyle value) {
    FGlyphStyle = value;
    Changed();
}

void TDsGlyph::SetLayout(TBmpLayout value) {
    FBmpLayout = value;
    Changed();
}

void TDsGlyph::SetNumber(int value) {
    FGlyphsNum = quint8(std::clamp(value, 1, 4));
    Changed();
}

void TDsGlyph::SetDistance(int value) {
    FGlyphSpace = std::max(value, 0);
    Changed();
}
