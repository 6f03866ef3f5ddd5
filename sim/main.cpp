// quorrin-sim: a controller as Quorrin sees it, on a loopback TCP port and on a pseudo-terminal,
// with faults on demand. See the README for the options.

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <cstdio>
#include <iterator>

#include "sim/Simulator.h"

namespace {

int gSignalPipe[2] = {-1, -1};

void OnSignal(int signal) {
    const char byte = char(signal);
    // Only async-signal-safe work here; the event loop does the rest.
    [[maybe_unused]] const ssize_t n = ::write(gSignalPipe[1], &byte, 1);
}

struct TUsageError {
    QString Message;
};

int Number(const QString& text, int min, int max, const QString& what) {
    bool ok = false;
    const QString digits = text.trimmed();
    const bool hex = digits.startsWith(QStringLiteral("0x"), Qt::CaseInsensitive);
    const int value = hex ? digits.mid(2).toInt(&ok, 16) : digits.toInt(&ok, 10);
    if (!ok || value < min || value > max)
        throw TUsageError{QStringLiteral("%1 must be a number from %2 to %3, not \"%4\"")
                              .arg(what)
                              .arg(min)
                              .arg(max)
                              .arg(text)};
    return value;
}

// "VALUE" or "VALUE:EVERY"; a missing period means every reply.
void ValueAndPeriod(const QString& text, int min, int max, const QString& what, int* value,
                    int* every) {
    const qsizetype colon = text.indexOf(u':');
    *value = Number(colon < 0 ? text : text.left(colon), min, max, what);
    *every =
        colon < 0 ? 1 : Number(text.mid(colon + 1), 1, 1000000, what + QStringLiteral(" period"));
}

TSimOptions ParseOptions(const QCoreApplication& app) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("A controller for Quorrin to talk to: Modbus RTU frames over a loopback "
                       "TCP port and over a pseudo-terminal. Prints LISTEN, PTY and READY lines "
                       "at start, then one timestamped line per request, reply and event."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption slave(QStringLiteral("slave"), QStringLiteral("Slave ID (default 1)."),
                                   QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption tcpPort(
        QStringLiteral("tcp-port"),
        QStringLiteral("Loopback TCP port; 0 picks a free one (default)."), QStringLiteral("PORT"),
        QStringLiteral("0"));
    const QCommandLineOption noTcp(QStringLiteral("no-tcp"), QStringLiteral("No TCP side."));
    const QCommandLineOption noPty(QStringLiteral("no-pty"), QStringLiteral("No pseudo-terminal."));
    const QCommandLineOption image(
        QStringLiteral("image"),
        QStringLiteral("Memory file loaded at start (when it exists) and "
                       "saved at exit and on SIGUSR1."),
        QStringLiteral("FILE"));
    const QCommandLineOption fill(
        QStringLiteral("fill"),
        QStringLiteral("Fill a fresh memory with this byte instead of the "
                       "pattern k mod 251."),
        QStringLiteral("BYTE"));
    const QCommandLineOption state(
        QStringLiteral("state-file"),
        QStringLiteral("JSON file with the suffix and hour-meter records, "
                       "written whenever one is stored and at exit."),
        QStringLiteral("FILE"));
    const QCommandLineOption delay(QStringLiteral("delay-ms"),
                                   QStringLiteral("Wait this long before every reply."),
                                   QStringLiteral("MS"));
    const QCommandLineOption baud(
        QStringLiteral("baud"),
        QStringLiteral("Send replies no faster than a serial line at RATE bit/s would carry them "
                       "(PARITY N, E or O; with parity a byte takes 11 bits, else 10)."),
        QStringLiteral("RATE[:PARITY]"));
    const QCommandLineOption chunk(
        QStringLiteral("chunk-ms"),
        QStringLiteral("With --baud, hand each reply over in the pieces the line has carried "
                       "every MS, as a USB adapter does."),
        QStringLiteral("MS"));
    const QCommandLineOption drop(QStringLiteral("drop-every"),
                                  QStringLiteral("Send no reply to every N-th request."),
                                  QStringLiteral("N"));
    const QCommandLineOption corrupt(QStringLiteral("corrupt-every"),
                                     QStringLiteral("Corrupt the CRC of every N-th reply."),
                                     QStringLiteral("N"));
    const QCommandLineOption exception(QStringLiteral("exception"),
                                       QStringLiteral("Answer every N-th request (default every "
                                                      "one) with this exception code."),
                                       QStringLiteral("CODE[:N]"));
    const QCommandLineOption split(
        QStringLiteral("split"),
        QStringLiteral("Send every N-th reply (default every one) in two "
                       "halves MS apart."),
        QStringLiteral("MS[:N]"));
    const QCommandLineOption merge(
        QStringLiteral("merge"), QStringLiteral("Hold every other reply back and send it together "
                                                "with the next."));
    const QCommandLineOption mergeEvery(QStringLiteral("merge-every"),
                                        QStringLiteral("Hold every N-th reply back and send it "
                                                       "together with the next."),
                                        QStringLiteral("N"));
    const QCommandLineOption garbage(
        QStringLiteral("garbage-every"),
        QStringLiteral("Send a few random bytes just before and just after every N-th reply."),
        QStringLiteral("N"));
    const QCommandLineOption truncate(QStringLiteral("truncate-every"),
                                      QStringLiteral("Cut the last bytes off every N-th reply."),
                                      QStringLiteral("N"));
    const QCommandLineOption wrongSlave(
        QStringLiteral("wrong-slave-every"),
        QStringLiteral("Send every N-th reply as another slave, with a valid CRC."),
        QStringLiteral("N"));
    const QCommandLineOption wrongFunction(
        QStringLiteral("wrong-function-every"),
        QStringLiteral("Send every N-th reply with another function code, with a valid CRC."),
        QStringLiteral("N"));
    const QCommandLineOption late(QStringLiteral("late"),
                                  QStringLiteral("Send every N-th reply (default every one) MS "
                                                 "later; the replies after it wait for it."),
                                  QStringLiteral("MS[:N]"));
    const QCommandLineOption random(
        QStringLiteral("random"),
        QStringLiteral("Give each reply PERCENT chances in a hundred of one random fault, from a "
                       "generator seeded with SEED."),
        QStringLiteral("SEED:PERCENT"));
    const QCommandLineOption randomFaults(
        QStringLiteral("random-faults"),
        QStringLiteral("The faults --random chooses from, separated by commas (default all): "
                       "drop, corrupt, exception, split, merge, garbage, truncate, wrong-slave, "
                       "wrong-function, late."),
        QStringLiteral("LIST"));
    const QCommandLineOption stopAfter(
        QStringLiteral("stop-after"),
        QStringLiteral("Stop on the N-th request, without replying: every link closes."),
        QStringLiteral("N"));
    parser.addOptions({slave, tcpPort,    noTcp,        noPty,     image,      fill,
                       state, delay,      drop,         corrupt,   exception,  split,
                       merge, mergeEvery, garbage,      truncate,  wrongSlave, wrongFunction,
                       late,  random,     randomFaults, stopAfter, baud,       chunk});
    if (!parser.parse(app.arguments()))
        throw TUsageError{parser.errorText()};
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();
    if (!parser.positionalArguments().isEmpty())
        throw TUsageError{
            QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first())};

    TSimOptions options;
    options.Slave = Number(parser.value(slave), 1, 255, QStringLiteral("--slave"));
    options.TcpPort = Number(parser.value(tcpPort), 0, 65535, QStringLiteral("--tcp-port"));
    options.Tcp = !parser.isSet(noTcp);
    options.Pty = !parser.isSet(noPty);
    if (!options.Tcp && !options.Pty)
        throw TUsageError{QStringLiteral("--no-tcp and --no-pty leave no link")};
    options.ImageFile = parser.value(image);
    options.StateFile = parser.value(state);
    if (parser.isSet(fill))
        options.Fill = Number(parser.value(fill), 0, 255, QStringLiteral("--fill"));
    if (parser.isSet(baud)) {
        const QStringList parts = parser.value(baud).split(u':');
        options.LineBaud = Number(parts[0], 50, 4000000, QStringLiteral("--baud rate"));
        const QString parity = parts.value(1, QStringLiteral("N")).toUpper();
        if (parts.size() > 2 || (parity != u"N" && parity != u"E" && parity != u"O"))
            throw TUsageError{
                QStringLiteral("--baud takes RATE[:N|E|O], not \"%1\"").arg(parser.value(baud))};
        options.LineParity = parity != u"N";
    }
    if (parser.isSet(chunk)) {
        if (!parser.isSet(baud))
            throw TUsageError{QStringLiteral("--chunk-ms needs --baud")};
        options.ChunkMs = Number(parser.value(chunk), 1, 1000, QStringLiteral("--chunk-ms"));
    }
    TFaultOptions& faults = options.Faults;
    if (parser.isSet(delay))
        faults.DelayMs = Number(parser.value(delay), 0, 600000, QStringLiteral("--delay-ms"));
    if (parser.isSet(exception))
        ValueAndPeriod(parser.value(exception), 1, 255, QStringLiteral("--exception code"),
                       &faults.ExceptionCode, &faults.ExceptionEvery);
    if (parser.isSet(split))
        ValueAndPeriod(parser.value(split), 1, 600000, QStringLiteral("--split time"),
                       &faults.SplitMs, &faults.SplitEvery);
    if (parser.isSet(merge))
        faults.MergeEvery = 1;
    const auto every = [&](const QCommandLineOption& option, int* period) {
        if (parser.isSet(option))
            *period = Number(parser.value(option), 1, 1000000,
                             QStringLiteral("--") + option.names().first());
    };
    every(drop, &faults.DropEvery);
    every(corrupt, &faults.CorruptEvery);
    every(mergeEvery, &faults.MergeEvery);
    every(garbage, &faults.GarbageEvery);
    every(truncate, &faults.TruncateEvery);
    every(wrongSlave, &faults.WrongSlaveEvery);
    every(wrongFunction, &faults.WrongFunctionEvery);
    every(stopAfter, &faults.StopAfter);
    if (parser.isSet(late))
        ValueAndPeriod(parser.value(late), 1, 600000, QStringLiteral("--late time"), &faults.LateMs,
                       &faults.LateEvery);
    if (parser.isSet(random)) {
        const QString text = parser.value(random);
        const qsizetype colon = text.indexOf(u':');
        if (colon < 0)
            throw TUsageError{QStringLiteral("--random takes SEED:PERCENT, not \"%1\"").arg(text)};
        faults.RandomSeed =
            quint32(Number(text.left(colon), 0, 2147483647, QStringLiteral("--random seed")));
        faults.RandomPercent =
            Number(text.mid(colon + 1), 0, 100, QStringLiteral("--random percent"));
        faults.RandomKinds = kAllFaultKinds;
    }
    if (parser.isSet(randomFaults)) {
        faults.RandomKinds = 0;
        for (const QString& name : parser.value(randomFaults).split(u',', Qt::SkipEmptyParts)) {
            quint32 bit = 0;
            for (int k = 0; k < int(std::size(kFaultKindNames)); ++k)
                if (name.trimmed() == QLatin1String(kFaultKindNames[k]))
                    bit = 1u << k;
            if (bit == 0)
                throw TUsageError{QStringLiteral("--random-faults: no fault \"%1\"").arg(name)};
            faults.RandomKinds |= bit;
        }
    }
    return options;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("quorrin-sim"));
    app.setApplicationVersion(QStringLiteral(QUORRIN_VERSION));

    TSimOptions options;
    try {
        options = ParseOptions(app);
    } catch (const TUsageError& error) {
        std::fprintf(stderr, "quorrin-sim: %s\n", qPrintable(error.Message));
        return 2;
    }

    // Signals reach the event loop through a socket pair, so that the exit and the save run as
    // ordinary code.
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, gSignalPipe) != 0) {
        std::perror("quorrin-sim: socketpair");
        return 1;
    }
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGINT, SIGTERM, SIGUSR1})
        ::sigaction(signal, &action, nullptr);
    // A client that goes away while a reply is written must not end the simulator.
    ::signal(SIGPIPE, SIG_IGN);

    TSimulator simulator(options);
    QSocketNotifier notifier(gSignalPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &app, [&simulator, &app] {
        char byte = 0;
        if (::read(gSignalPipe[0], &byte, 1) != 1)
            return;
        if (byte == SIGUSR1) {
            simulator.Save();
            TSimulator::Log(QStringLiteral("sim"), QStringLiteral("-- SAVED"));
        } else {
            TSimulator::Log(QStringLiteral("sim"),
                            QStringLiteral("-- signal %1; stopping").arg(int(byte)));
            app.quit();
        }
    });

    QString error;
    if (!simulator.Start(&error)) {
        std::fprintf(stderr, "quorrin-sim: %s\n", qPrintable(error));
        return 1;
    }
    app.exec();
    const bool saved = simulator.Save();
    TSimulator::Print(QStringLiteral("EXIT"));
    return saved ? 0 : 1;
}
