// Wall time of full memory sweeps with the real 10 ms and 50 ms timers, against libmodbus as an
// instantly answering controller over a pseudo-terminal at 38400 bit/s, compared with the floor
// the receive window sets: every block costs at least the eleven-tick window plus the time its
// request takes on the wire.

#include <benchmark/benchmark.h>

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <memory>
#include <vector>

#include "app/Application.h"
#include "app/Main.h"
#include "operations/OperationState.h"
#include "support/DialogAnswerer.h"
#include "support/ModbusPeer.h"
#include "widgets/DsFancyButton.h"

namespace {

constexpr double kWindowSeconds = 11 * 0.010;
constexpr double kBitsPerByte = 10;  // start bit, 8 data bits, stop bit
constexpr double kBaud = 38400;

struct TSweepResult {
    const char* name;
    int requests;
    int requestBytes;
    double seconds;
};
std::vector<TSweepResult> Results;

class TSweepHarness {
public:
    TSweepHarness() : FServer(FLink.PeerPath(), ModbusRtuServer::Options{.baud = 38400}) {
        FServer.FillHolding([](int a) { return quint16(a * 0x9E37u); });
        W = std::make_unique<TFMmain>();
        W->SetSettingsFileName(FDir.filePath(QStringLiteral("Tolma.ini")));
        W->show();
        W->activateWindow();
        WaitUntil([&] { return W->FormActivated(); });
        W->ED_Addr->setText(QStringLiteral("1"));
        W->EDComPort->setText(FLink.ProgramPath());
        W->CB_Baud->SetItemIndex(2);
        W->CB_Parity->SetItemIndex(0);
        FDialogs.Answer(QStringLiteral("확인"));
        QTest::mouseClick(W->BT_Connect, Qt::LeftButton);
        if (!W->IsLinkOpen())
            throw EPeer(QStringLiteral("the serial link did not open"));
        W->CBModelM->SetItemIndex(1);
    }

    // The window closes its port before the cable goes.
    ~TSweepHarness() { W.reset(); }

    // Seconds from the first request to the completion message.
    double Sweep(TDsFancyButton* button, const QString& done) {
        if (!WaitUntil([&] { return button->isEnabled(); }))
            throw EPeer(QStringLiteral("the command button stays disabled"));
        FServer.ClearRequests();
        QElapsedTimer clock;
        qint64 finished = -1;
        FDialogs.Answer(QStringLiteral("예"));
        FDialogs.AnswerWith([&](QWidget* box) {
            finished = clock.nsecsElapsed();
            DialogAnswerer::Press(box, QStringLiteral("확인"));
        });
        QTest::mouseClick(button, Qt::LeftButton);
        clock.start();  // the click has just sent the first request
        if (!WaitUntil([&] { return finished >= 0; }, std::chrono::seconds(60)) ||
            FDialogs.Texts().last() != done)
            throw EPeer(QStringLiteral("the sweep did not complete: ") +
                        FDialogs.Texts().join(u'|'));
        return double(finished) / 1e9;
    }
    int Requests() const { return int(FServer.Requests().size()); }

    std::unique_ptr<TFMmain> W;

private:
    QTemporaryDir FDir;
    PtyLink FLink;
    ModbusRtuServer FServer;
    DialogAnswerer FDialogs;
};

std::unique_ptr<TSweepHarness> Harness;

void Report(benchmark::State& state, const TSweepResult& r) {
    const double floor = r.requests * (kWindowSeconds + r.requestBytes * kBitsPerByte / kBaud);
    state.counters["requests"] = r.requests;
    state.counters["floor_s"] = floor;
    state.counters["ratio"] = r.seconds / floor;
    Results.push_back(r);
}

void ReadSweep(benchmark::State& state) {
    for (auto _ : state) {
        const double s = Harness->Sweep(Harness->W->BT_Read, QStringLiteral("Reading OK!!"));
        state.SetIterationTime(s);
        Report(state, {"READ", Harness->Requests(), 8, s});
    }
}

void WriteSweep(benchmark::State& state) {
    for (auto _ : state) {
        const double s = Harness->Sweep(Harness->W->BT_Write, QStringLiteral("Writing OK!!"));
        state.SetIterationTime(s);
        Report(state, {"WRITE", Harness->Requests(), 9 + 32, s});
    }
}

// The write sweep needs the completed read before it.
BENCHMARK(ReadSweep)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(WriteSweep)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

void PrintTable() {
    std::printf("\n%-6s %9s %10s %16s %14s %10s %7s\n", "sweep", "requests", "wall [s]",
                "window floor [s]", "request [ms]", "floor [s]", "ratio");
    for (const TSweepResult& r : Results) {
        const double request = r.requestBytes * kBitsPerByte / kBaud;
        const double floor = r.requests * (kWindowSeconds + request);
        std::printf("%-6s %9d %10.3f %16.3f %14.3f %10.3f %7.3f\n", r.name, r.requests, r.seconds,
                    r.requests * kWindowSeconds, request * 1e3, floor, r.seconds / floor);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    TApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    Harness = std::make_unique<TSweepHarness>();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    PrintTable();
    Harness.reset();
    return 0;
}
