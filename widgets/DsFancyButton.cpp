#include "widgets/DsFancyButton.h"

#include <QMouseEvent>
#include <QPainter>

TDsFancyButton::TDsFancyButton(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::NoFocus);
}

void TDsFancyButton::SetCaption(const QString& caption) {
    FCaption = caption;
    update();
}

void TDsFancyButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(0xEE, 0xEE, 0xEE));
    painter.setPen(isEnabled() ? Qt::black : Qt::gray);
    painter.drawText(rect(), Qt::AlignCenter, FCaption);
}

void TDsFancyButton::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit OnClick();
}

void SetupMainWindowButton(TDsFancyButton&, const QColor&, int, const QImage&) {}

QImage MakeButtonGlyph(const QString&, int size) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    return image;
}
