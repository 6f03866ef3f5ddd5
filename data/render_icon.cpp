// Writes the window icon as PNG files for the desktop's icon theme: render_icon DIR SIZE...
// gives DIR/SIZExSIZE/apps/io.github.quorrin.Quorrin.png for each size.
#include <QDir>
#include <QGuiApplication>
#include <cstdio>

#include "app/Pictures.h"

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() < 2)
        return 1;
    for (const QString& text : args.mid(1)) {
        const int size = text.toInt();
        const QString dir = QStringLiteral("%1/%2x%2/apps").arg(args.first()).arg(size);
        if (size <= 0 || !QDir().mkpath(dir) ||
            !MakeWindowIcon(size).save(dir + QStringLiteral("/io.github.quorrin.Quorrin.png"))) {
            std::fprintf(stderr, "render_icon: cannot write the %s icon\n", qPrintable(text));
            return 1;
        }
    }
    return 0;
}
