#pragma once

#include <QImage>
#include <QString>
#include <QWidget>

// Stand-in for the fancy push-button until the real control lands: the right name, size,
// caption, enabled state and click.
class TDsFancyButton : public QWidget {
    Q_OBJECT
public:
    explicit TDsFancyButton(QWidget* parent = nullptr);
    QString Caption() const { return FCaption; }
    void SetCaption(const QString& caption);

signals:
    void OnClick();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QString FCaption;
};

void SetupMainWindowButton(TDsFancyButton& button, const QColor& hoverColor, int glyphDistance,
                           const QImage& glyph);
QImage MakeButtonGlyph(const QString& name, int size);
