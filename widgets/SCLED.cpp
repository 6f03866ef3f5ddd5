#include "widgets/SCLED.h"

#include <QPainter>

TSCLED::TSCLED(QWidget* parent) : QWidget(parent) {}

void TSCLED::SetCaption(const QString& caption) {
    FCaption = caption;
    update();
}

void TSCLED::Animate(int, int, int, int, int, int) {}

void TSCLED::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    painter.setPen(Qt::yellow);
    painter.drawText(rect(), Qt::AlignCenter, FCaption);
}

void SetupMainWindowLamp(TSCLED& led, const QString& caption, const QColor& backColor) {
    led.resize(51, 25);
    led.SetCaption(caption);
    QPalette palette = led.palette();
    palette.setColor(QPalette::Window, backColor);
    led.setPalette(palette);
}
