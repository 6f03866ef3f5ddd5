#pragma once

#include <QString>
#include <QWidget>

// Stand-in for the LED matrix lamp until the real control lands: the right name, size, caption
// and the animation call, drawn as a plain coloured box.
class TSCLED : public QWidget {
    Q_OBJECT
public:
    explicit TSCLED(QWidget* parent = nullptr);
    QString Caption() const { return FCaption; }
    void SetCaption(const QString& caption);
    void Animate(int style, int interval, int steps, int p1, int p2, int p3);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString FCaption;
};

void SetupMainWindowLamp(TSCLED& led, const QString& caption, const QColor& backColor);
