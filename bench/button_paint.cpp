// One paint of an 85 x 44 main-window command button, at rest, hovered and pressed.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>

#include "widgets/DsFancyButton.h"
#include "widgets/DsFancyButtonGlyphs.h"

namespace {

enum State { Rest, Hovered, Pressed };

void SendMouse(QWidget* w, QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons held) {
    const QPointF centre(42, 22);
    QMouseEvent e(type, centre, w->mapToGlobal(centre), button, held, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

void PaintButton(benchmark::State& state) {
    QWidget window;
    auto* button = new TDsFancyButton(&window);
    button->setGeometry(625, 74, 85, 44);
    button->setFont(MainWindowButtonFont(16, true));
    button->SetCaption(QStringLiteral("연 결"));
    SetupMainWindowButton(*button, clBlue, 3, MakeButtonGlyph(TButtonGlyph::Connect, 20));
    if (state.range(0) != Rest)
        SendMouse(button, QEvent::MouseMove, Qt::NoButton, Qt::NoButton);
    if (state.range(0) == Pressed)
        SendMouse(button, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton);

    QImage canvas(85, 44, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        canvas.fill(Qt::transparent);
        QPainter painter(&canvas);
        button->Paint(painter);
        painter.end();
        benchmark::DoNotOptimize(canvas.constBits());
    }
    if (!button->IsDown() && state.range(0) == Pressed)
        state.SkipWithError("the button did not take the pressed state");
}

BENCHMARK(PaintButton)
    ->ArgName("state")
    ->Arg(Rest)
    ->Arg(Hovered)
    ->Arg(Pressed)
    ->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
