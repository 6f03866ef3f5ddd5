#include <benchmark/benchmark.h>

#include <QApplication>

#include "widgets/SCLED.h"

namespace {

// Reaches the renderer directly, as a property change or an animation frame does.
class TRenderedLED : public TSCLED {
public:
    using TSCLED::RenderLEDs;
};

void RenderLamp(benchmark::State& state) {
    TRenderedLED led;
    SetupMainWindowLamp(led, QStringLiteral("TX"), clGreen);
    for (auto _ : state)
        led.RenderLEDs();
    state.counters["dots"] = double(led.LEDCountX()) * led.LEDCountY();
}
BENCHMARK(RenderLamp)->Unit(benchmark::kMicrosecond);

// A 160 × 40 control with 3-pixel round dots (40 × 10 dots), and a grid of 160 × 40 such dots.
void RenderRoundDots(benchmark::State& state) {
    TRenderedLED led;
    led.SetAutoSize(false);
    led.SetLEDSize(3);
    led.SetLEDStyle(sclsRound);
    led.resize(int(state.range(0)), int(state.range(1)));
    QFont font(QStringLiteral("DejaVu Sans Mono"));
    font.setPixelSize(int(state.range(1)) / 4);
    led.SetFont(font);
    led.SetCaption(QStringLiteral("QUORRIN 3.01"));
    for (auto _ : state)
        led.RenderLEDs();
    state.counters["dots"] = double(led.LEDCountX()) * led.LEDCountY();
}
BENCHMARK(RenderRoundDots)->Args({160, 40})->Args({641, 161})->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
