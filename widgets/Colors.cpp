#include "widgets/Colors.h"

#include <QGuiApplication>
#include <QPalette>

namespace {

bool IsSystemColor(TColor c) {
    return (c & 0xFF000000u) == 0xFF000000u;
}

// The palette entry that plays the part of each system colour index; indices without a
// counterpart fall back to the window background.
QColor SystemColor(int index) {
    const QPalette palette = QGuiApplication::palette();
    auto role = [&](QPalette::ColorRole r) { return palette.color(QPalette::Active, r); };
    switch (index) {
        case 5:  // window background
            return role(QPalette::Base);
        case 6:   // window frame
        case 21:  // dark 3-D shadow
            return role(QPalette::Shadow);
        case 7:   // menu text
        case 8:   // window text
        case 19:  // inactive caption text
            return role(QPalette::WindowText);
        case 2:   // active caption
        case 13:  // selection
        case 26:  // hot-tracked item
        case 29:  // menu selection
            return role(QPalette::Highlight);
        case 9:   // caption text
        case 14:  // selected text
            return role(QPalette::HighlightedText);
        case 12:  // application workspace
        case 16:  // button shadow
            return role(QPalette::Dark);
        case 15:  // button face
            return role(QPalette::Button);
        case 17:  // grey (disabled) text
            return palette.color(QPalette::Disabled, QPalette::Text);
        case 18:  // button text
            return role(QPalette::ButtonText);
        case 20:  // button highlight
            return role(QPalette::Light);
        case 22:  // light 3-D edge
            return role(QPalette::Midlight);
        case 23:  // tool tip text
            return role(QPalette::ToolTipText);
        case 24:  // tool tip background
            return role(QPalette::ToolTipBase);
        default:
            return role(QPalette::Window);
    }
}

}  // namespace

TColor ColorToRGB(TColor c) {
    if (!IsSystemColor(c))
        return c & 0x00FFFFFFu;
    const QColor q = SystemColor(int(c & 0xFF));
    return RGBToColor(q.red(), q.green(), q.blue());
}

QColor ColorToQColor(TColor c) {
    const TColor rgb = ColorToRGB(c);
    return QColor(ColorRed(rgb), ColorGreen(rgb), ColorBlue(rgb));
}
