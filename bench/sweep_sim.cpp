// The real window, offscreen, with its own timers running, against the controller simulator as a
// separate process, driven as an operator drives it: link fields, CONNECT, READ, WRITE, each
// question answered "예" and each message "확인". Prints one "key value" line per figure for
// bench/run to put in its table.
//
//   bench_sweep_sim --sim PATH --link pty|tcp [--idle-seconds S]
//       idle CPU with the link open, READ and WRITE sweep wall times with the request count,
//       and the peak resident memory after the read sweep
//   bench_sweep_sim --startup
//       milliseconds from process start to the window's first paint, then exits

#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>

#include "app/Application.h"
#include "app/Main.h"
#include "widgets/DsFancyButton.h"

namespace {

[[noreturn]] void Fail(const QString& why) {
    std::fprintf(stderr, "bench_sweep_sim: %s\n", why.toLocal8Bit().constData());
    std::exit(2);
}

// Runs the event loop until pred() holds or the deadline passes; returns pred(). Blocks between
// events, so the wait itself costs no CPU beyond a 20 ms heartbeat for the deadline.
bool WaitFor(const std::function<bool()>& pred, int deadlineMs) {
    QElapsedTimer clock;
    clock.start();
    QTimer heartbeat;
    heartbeat.start(20);
    while (!pred()) {
        if (clock.elapsed() > deadlineMs)
            return pred();
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// Runs the event loop for this long with no wake-ups of its own.
void Idle(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Answers every modal window as it is shown: "예" where there is one, otherwise the first
// button ("확인"). Watching the Show event (rather than polling for the modal widget) stamps the
// completion message exactly and adds no wake-ups of its own while the window idles.
class TModalAnswerer : public QObject {
public:
    struct TShown {
        qint64 atNs;
        QString text;
    };

    explicit TModalAnswerer(const QElapsedTimer& clock) : FClock(clock) {
        qApp->installEventFilter(this);
    }
    ~TModalAnswerer() override { qApp->removeEventFilter(this); }

    const QList<TShown>& Shown() const { return FShown; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Show || !watched->isWidgetType())
            return false;
        auto* w = static_cast<QWidget*>(watched);
        if (!w->isWindow() || !w->isModal())
            return false;
        FShown.append({FClock.nsecsElapsed(), TextOf(w)});
        // Pressed from the dialog's own event loop, once it runs.
        QTimer::singleShot(0, this, [dialog = QPointer<QWidget>(w)] {
            if (dialog)
                Press(dialog);
        });
        return false;
    }

private:
    static QString TextOf(QWidget* w) {
        if (auto* box = qobject_cast<QMessageBox*>(w))
            return box->text();
        QStringList lines;
        for (QLabel* label : w->findChildren<QLabel*>())
            if (!label->text().trimmed().isEmpty())
                lines.append(label->text().trimmed());
        return lines.join(u' ');
    }

    static void Press(QWidget* dialog) {
        QAbstractButton* choice = nullptr;
        for (QAbstractButton* b : dialog->findChildren<QAbstractButton*>()) {
            if (!b->isVisible())
                continue;
            if (b->text().remove(u'&') == QStringLiteral("예")) {
                choice = b;
                break;
            }
            if (choice == nullptr)
                choice = b;
        }
        if (choice != nullptr)
            choice->click();
        else
            dialog->close();
    }

    const QElapsedTimer& FClock;
    QList<TShown> FShown;
};

// The simulator as a child process; counts the requests it logs.
class TSim {
public:
    explicit TSim(const QString& program) {
        FProcess.setProcessChannelMode(QProcess::SeparateChannels);
        FProcess.start(program, {});
        if (!FProcess.waitForStarted(5000))
            Fail(QStringLiteral("the simulator %1 did not start").arg(program));
        if (!WaitFor([&] { return Read(), FReady; }, 5000))
            Fail(QStringLiteral("the simulator printed no READY"));
    }
    ~TSim() {
        FProcess.terminate();
        if (!FProcess.waitForFinished(5000))
            FProcess.kill();
    }

    // Reads what the simulator has printed so far.
    void Read() {
        FPartial += FProcess.readAllStandardOutput();
        qsizetype end;
        while ((end = FPartial.indexOf('\n')) >= 0) {
            const QString line = QString::fromUtf8(FPartial.left(end));
            FPartial.remove(0, end + 1);
            if (line.startsWith(QStringLiteral("LISTEN tcp 127.0.0.1:")))
                Port = line.section(u':', -1).toUShort();
            else if (line.startsWith(QStringLiteral("PTY ")))
                PtyPath = line.mid(4);
            else if (line == QStringLiteral("READY"))
                FReady = true;
            else if (const qsizetype rx = line.indexOf(QStringLiteral(" RX ")); rx >= 0) {
                ++Requests;
                RequestBytes += int(line.mid(rx + 4).split(u' ', Qt::SkipEmptyParts).size());
            }
        }
    }

    quint16 Port = 0;
    QString PtyPath;
    int Requests = 0;
    int RequestBytes = 0;  // all requests together, as they went over the link

private:
    QProcess FProcess;
    QByteArray FPartial;
    bool FReady = false;
};

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long StatusKb(const char* field) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').first().toLong();
    return -1;
}

void Print(const char* key, double value) {
    std::printf("%s %.6f\n", key, value);
    std::fflush(stdout);
}

int RunSweeps(const QString& simPath, const QString& link, int idleSeconds) {
    QTemporaryDir dir;
    TSim sim(simPath);
    QElapsedTimer clock;
    clock.start();
    TModalAnswerer answerer(clock);

    auto W = std::make_unique<TFMmain>();
    W->SetSettingsFileName(dir.filePath(QStringLiteral("Tolma.ini")));
    W->show();
    W->activateWindow();
    if (!WaitFor([&] { return W->FormActivated(); }, 5000))
        Fail(QStringLiteral("the window did not start"));

    W->ED_Addr->setText(QStringLiteral("1"));
    if (link == QStringLiteral("pty")) {
        W->EDComPort->setText(sim.PtyPath);
        W->CB_Baud->SetItemIndex(2);  // 38400
        W->CB_Parity->SetItemIndex(0);
    } else {
        QTest::mouseClick(W->RGChoice->Button(1), Qt::LeftButton);
        W->ED_IPAddr->setText(QStringLiteral("127.0.0.1"));
        W->ED_Port->setText(QString::number(sim.Port));
    }
    QTest::mouseClick(W->BT_Connect, Qt::LeftButton);
    // The LAN link reports its connection later, from the event loop.
    if (!WaitFor([&] { return W->IsLinkOpen() && !answerer.Shown().isEmpty(); }, 5000))
        Fail(QStringLiteral("the %1 link did not open").arg(link));

    // The operator's way to the memory page, and the 128-block model.
    for (int i = 0; i < W->PageControl1->count(); ++i)
        if (W->PageControl1->widget(i)->isAncestorOf(W->BT_Read))
            W->PageControl1->setCurrentIndex(i);
    W->CBModelM->SetItemIndex(1);

    if (idleSeconds > 0) {
        Idle(1000);  // let the connection settle
        const double cpu0 = CpuSeconds();
        const qint64 wall0 = clock.nsecsElapsed();
        Idle(idleSeconds * 1000);
        const double wall = double(clock.nsecsElapsed() - wall0) / 1e9;
        Print("idle_cpu_percent", 100.0 * (CpuSeconds() - cpu0) / wall);
    }

    auto sweep = [&](TDsFancyButton* button, const QString& done, const char* key) {
        if (!WaitFor([&] { return button->isEnabled(); }, 5000))
            Fail(QStringLiteral("%1 stays disabled").arg(QLatin1String(key)));
        sim.Read();
        const int requests0 = sim.Requests;
        const int bytes0 = sim.RequestBytes;
        const qsizetype shown0 = answerer.Shown().size();
        // The click asks first; by the time it returns, "예" is pressed and the first request
        // has gone out.
        QTest::mouseClick(button, Qt::LeftButton);
        const qint64 start = clock.nsecsElapsed();
        if (!WaitFor([&] { return answerer.Shown().size() >= shown0 + 2; }, 120000))
            Fail(QStringLiteral("%1: no end of the sweep").arg(QLatin1String(key)));
        const TModalAnswerer::TShown& end = answerer.Shown()[shown0 + 1];
        if (end.text != done)
            Fail(QStringLiteral("%1 ended with \"%2\"").arg(QLatin1String(key), end.text));
        // The simulator logs each request before answering it; its last lines follow shortly.
        Idle(200);
        sim.Read();
        std::printf("%s_seconds %.6f\n%s_requests %d\n%s_request_bytes %d\n", key,
                    double(end.atNs - start) / 1e9, key, sim.Requests - requests0, key,
                    sim.RequestBytes - bytes0);
        std::fflush(stdout);
    };
    sweep(W->BT_Read, QStringLiteral("Reading OK!!"), "read");
    Print("vmhwm_kb", double(StatusKb("VmHWM:")));
    sweep(W->BT_Write, QStringLiteral("Writing OK!!"), "write");
    W.reset();
    return 0;
}

// Seconds since boot at which this process started (clock-tick resolution).
double ProcessStartSeconds() {
    QFile stat(QStringLiteral("/proc/self/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        Fail(QStringLiteral("no /proc/self/stat"));
    const QByteArray text = stat.readAll();
    // The fields after the command name, which may hold blanks and parentheses itself.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    // Field 22 (starttime) is the 20th after the name.
    return double(fields.value(19).toLongLong()) / double(sysconf(_SC_CLK_TCK));
}

double SecondsSinceBoot() {
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

class TFirstPaint : public QObject {
protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint && !FSeen) {
            FSeen = true;
            // Measured when the window's own painting is due, before it runs.
            Print("startup_ms", (SecondsSinceBoot() - ProcessStartSeconds()) * 1e3);
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        }
        return false;
    }

private:
    bool FSeen = false;
};

int RunStartup(TApplication& app) {
    QTemporaryDir dir;
    TFMmain window;
    window.SetSettingsFileName(dir.filePath(QStringLiteral("Tolma.ini")));
    TFirstPaint watch;
    window.installEventFilter(&watch);
    window.show();
    QTimer::singleShot(10000, &app, [] { Fail(QStringLiteral("the window was never painted")); });
    return app.exec();
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    TApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.contains(QStringLiteral("--startup")))
        return RunStartup(app);
    const auto value = [&](const QString& option, const QString& fallback) {
        const qsizetype i = args.indexOf(option);
        return i >= 0 && i + 1 < args.size() ? args[i + 1] : fallback;
    };
    const QString sim = value(QStringLiteral("--sim"), QString());
    const QString link = value(QStringLiteral("--link"), QStringLiteral("pty"));
    if (sim.isEmpty() || (link != QStringLiteral("pty") && link != QStringLiteral("tcp")))
        Fail(
            QStringLiteral("usage: bench_sweep_sim --sim PATH --link pty|tcp [--idle-seconds S] "
                           "| --startup"));
    return RunSweeps(sim, link,
                     value(QStringLiteral("--idle-seconds"), QStringLiteral("0")).toInt());
}
