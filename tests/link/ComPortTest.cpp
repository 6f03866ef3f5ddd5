#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QList>
#include <atomic>
#include <cerrno>
#include <functional>
#include <numeric>
#include <thread>

#include "ComPortPty.h"
#include "link/ComPort.h"
#include "support/DialogAnswerer.h"

using namespace std::chrono_literals;
using serialtest::AllByteValues;
using serialtest::TPty;

namespace {

// A port set up for a pseudo-terminal the way link management sets it up, with parity NONE
// (a pseudo-terminal keeps no parity).
void SetUpFor(TComPort& port, const TPty& pty) {
    port.SetPort(pty.Port());
    port.SetBaudRate(19200);
    port.Parity().SetBits(TParityBits::None);
    port.Buffer().SetInputSize(0);
    port.Buffer().SetOutputSize(0);
}

// Runs f and returns the EComPort it raised; fails the test when it raised none.
EComPort RaisedBy(const std::function<void()>& f) {
    try {
        f();
    } catch (const EComPort& e) {
        return e;
    }
    ADD_FAILURE() << "no EComPort raised";
    return EComPort(0);
}

// The receive handler of the main window in miniature: read all that is waiting.
struct TReader {
    explicit TReader(TComPort& port) : Port(port) {
        QObject::connect(&port, &TComPort::OnRxChar, [this](int count) {
            Counts.append(count);
            if (!ReadInHandler)
                return;
            try {
                QString part;
                const int read = Port.ReadStr(part, count);
                EXPECT_EQ(read, part.size());
                Text += part;
                if (AfterRead)
                    AfterRead();
            } catch (const EComPort& e) {
                ADD_FAILURE() << e.what();
            }
        });
    }
    int Total() const { return std::accumulate(Counts.begin(), Counts.end(), 0); }

    TComPort& Port;
    bool ReadInHandler = true;
    std::function<void()> AfterRead;
    QList<int> Counts;
    QString Text;
};

TEST(ComPortOpen, OpensThroughAnAbsolutePathWithTheLineSettingsAndCloses) {
    TPty pty;
    TComPort port;
    SetUpFor(port, pty);
    port.Open();
    EXPECT_TRUE(port.Connected());

    // What a pseudo-terminal keeps of the settings: the speed and the raw, untranslated line.
    termios t{};
    ASSERT_EQ(tcgetattr(pty.Slave(), &t), 0);
    EXPECT_EQ(cfgetospeed(&t), speed_t(B19200));
    EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(t.c_iflag & (ICRNL | IXON | ISTRIP | INPCK | PARMRK), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);

    port.SetConnected(true);  // the current value: nothing happens
    EXPECT_TRUE(port.Connected());
    port.SetConnected(false);
    EXPECT_FALSE(port.Connected());
    port.Close();  // closing a closed port does nothing either

    // The device and its lock were released: another port object gets it, and destroying that
    // one while open releases it again.
    {
        TComPort second;
        SetUpFor(second, pty);
        second.Open();
        EXPECT_TRUE(second.Connected());
    }
    port.Open();
    EXPECT_TRUE(port.Connected());
}

TEST(ComPortOpen, FailuresRaiseTheirCodeAndLeaveThePortClosedAndFree) {
    TPty pty;
    const struct {
        const char* what;
        std::function<void(TComPort&)> setUp;
        int code;
        int platformError;
        const char* message;
    } cases[] = {
        {"missing device", [](TComPort& p) { p.SetPort("COM/dev/quorrin-no-such-tty"); }, 1, ENOENT,
         "Unable to open com port (Error: 2)"},
        {"bare COM", [](TComPort& p) { p.SetPort("COM"); }, 1, ENOENT, nullptr},
        {"COM and text", [](TComPort& p) { p.SetPort("COMabc"); }, 1, ENOENT, nullptr},
        {"not a terminal", [](TComPort& p) { p.SetPort("COM/dev/null"); }, 1, ENOTTY, nullptr},
        {"no such speed", [](TComPort& p) { p.SetBaudRate(12345); }, 7, EINVAL,
         "SetCommState function failed (Error: 22)"},
        // A pseudo-terminal drops (or refuses) parity: the read-back catches it.
        {"parity not kept", [](TComPort& p) { p.Parity().SetBits(TParityBits::Even); }, 7, EINVAL,
         nullptr},
        {"queue size", [](TComPort& p) { p.Buffer().SetInputSize(-2); }, 9, EINVAL,
         "SetupComm function failed (Error: 22)"},
        {"timeouts", [](TComPort& p) { p.Timeouts().SetWriteTotalConstant(-1); }, 8, EINVAL,
         "SetCommTimeouts failed (Error: 22)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TComPort port;
        SetUpFor(port, pty);
        c.setUp(port);
        const EComPort e = RaisedBy([&] { port.Open(); });
        EXPECT_EQ(e.Code(), c.code);
        EXPECT_EQ(e.PlatformError(), c.platformError);
        if (c.message != nullptr) {
            EXPECT_EQ(e.Message(), QString::fromLatin1(c.message));
        }
        EXPECT_FALSE(port.Connected());
        EXPECT_EQ(RaisedBy([&] { port.InputCount(); }).Code(), 24);

        // Nothing of the failed attempt holds the pseudo-terminal.
        TComPort good;
        SetUpFor(good, pty);
        good.Open();
        EXPECT_TRUE(good.Connected());
    }
}

TEST(ComPortOpen, ASecondOpenOfAHeldPortFailsAndTheHolderKeepsWorking) {
    TPty pty;
    TComPort holder;
    SetUpFor(holder, pty);
    holder.Open();

    TComPort intruder;
    SetUpFor(intruder, pty);
    const EComPort e = RaisedBy([&] { intruder.Open(); });
    EXPECT_EQ(e.Code(), 1);
    // The lock refuses it; without root rights the exclusive flag already refuses the open.
    EXPECT_TRUE(e.PlatformError() == EWOULDBLOCK || e.PlatformError() == EBUSY)
        << e.PlatformError();
    EXPECT_FALSE(intruder.Connected());

    EXPECT_TRUE(holder.Connected());
    EXPECT_EQ(holder.Write("\x01\x03", 2), 2);
    EXPECT_EQ(pty.Receive(2), QByteArray("\x01\x03", 2));
}

// A device with modem lines, played on a pseudo-terminal: it notes the line speed at every
// clearing of DTR and RTS, and cannot report its input lines.
class TModemLinePort : public TComPort {
public:
    QList<speed_t> SpeedsAtClearing;
    int StatusReads = 0;

protected:
    int ModemControl(int handle, unsigned long request, int* lines) override {
        if (request == TIOCMBIC && *lines == (TIOCM_DTR | TIOCM_RTS)) {
            termios t{};
            tcgetattr(handle, &t);
            SpeedsAtClearing.append(cfgetospeed(&t));
            return 0;
        }
        if (request == TIOCMGET)
            ++StatusReads;
        errno = EIO;
        return -1;
    }
};

TEST(ComPortOpen, DtrAndRtsAreClearedOnceTheSpeedIsSetAndUnreadableInputLinesAreNoFailure) {
    TPty pty;
    TModemLinePort port;
    SetUpFor(port, pty);
    port.Open();
    EXPECT_TRUE(port.Connected());
    ASSERT_FALSE(port.SpeedsAtClearing.isEmpty());
    EXPECT_EQ(port.SpeedsAtClearing.last(), speed_t(B19200));
    EXPECT_EQ(port.StatusReads, 1);
    EXPECT_EQ(port.Write("\x01", 1), 1);
    EXPECT_EQ(pty.Receive(1), QByteArray("\x01"));
}

TEST(ComPortReceive, EveryByteValueArrivesAsTheCharacterWithTheSameCode) {
    TPty pty;
    TComPort port;
    SetUpFor(port, pty);
    TReader reader(port);
    port.Open();

    // Includes NUL, XON/XOFF, CR/LF, the interrupt and end-of-file characters, 0x7F..0xFF.
    pty.Send(AllByteValues());
    ASSERT_TRUE(WaitUntil([&] { return reader.Text.size() >= 256; }));
    ASSERT_EQ(reader.Text.size(), 256);
    for (int code = 0; code < 256; ++code)
        ASSERT_EQ(reader.Text[code].unicode(), code) << "at " << code;
    EXPECT_EQ(reader.Total(), 256);
    for (const int count : reader.Counts)
        EXPECT_GE(count, 1);
}

TEST(ComPortTransmit, EveryByteValueLeavesUntouched) {
    TPty pty;
    TComPort port;
    SetUpFor(port, pty);
    port.Open();
    const QByteArray bytes = AllByteValues();
    EXPECT_EQ(port.Write(bytes.constData(), int(bytes.size())), 256);
    EXPECT_EQ(pty.Receive(256), bytes);
    EXPECT_EQ(pty.Receive(1, 20ms), QByteArray());  // no echo, no added CR
}

TEST(ComPortReceive, TwoBurstsGiveEventsWhoseCountsAddUpToTen) {
    TPty pty;
    TComPort port;
    SetUpFor(port, pty);
    TReader reader(port);
    port.Open();

    pty.Send(QByteArray("\x01\x03\x20\x00", 4));
    ASSERT_TRUE(WaitUntil([&] { return reader.Total() == 4; }));
    pty.Send(QByteArray("\x11\x22\x33\x44\x55\x66", 6));
    ASSERT_TRUE(WaitUntil([&] { return reader.Total() == 10; }));
    EXPECT_GE(reader.Counts.size(), 2);
    EXPECT_EQ(reader.Text, QString::fromLatin1("\x01\x03\x20\x00\x11\x22\x33\x44\x55\x66", 10));
}

TEST(ComPortReceive, BytesLeftUnreadAreReportedOnceUntilMoreArrive) {
    TPty pty;
    TComPort port;
    SetUpFor(port, pty);
    TReader reader(port);
    reader.ReadInHandler = false;
    port.Open();

    pty.Send("abc");
    ASSERT_TRUE(WaitUntil([&] { return reader.Counts.size() == 1; }));
    EXPECT_EQ(reader.Counts[0], 3);
    // Still waiting in the queue, but nothing new: no flood of events.
    EXPECT_FALSE(WaitUntil([&] { return reader.Counts.size() > 1; }, 100ms));

    pty.Send("de");
    ASSERT_TRUE(WaitUntil([&] { return reader.Counts.size() == 2; }));
    EXPECT_EQ(reader.Counts[1], 5);
    QString text;
    EXPECT_EQ(port.ReadStr(text, 100), 5);
    EXPECT_EQ(text, QStringLiteral("abcde"));
    EXPECT_EQ(port.ReadStr(text, 100), 0);
    EXPECT_EQ(text, QString());
}

TEST(ComPortClose, DiscardsBytesReceivedButNotRead) {
    TPty pty;
    TComPort port;
    SetUpFor(port, pty);
    port.Open();
    pty.Send("12345");
    ASSERT_TRUE(WaitUntil([&] { return port.InputCount() == 5; }));
    port.Close();

    TReader reader(port);
    port.Open();
    EXPECT_EQ(port.InputCount(), 0);
    pty.Send("6");
    ASSERT_TRUE(WaitUntil([&] { return reader.Total() == 1; }));
    EXPECT_EQ(reader.Text, QStringLiteral("6"));
}

TEST(ComPortClose, NeverHangsWhileBytesKeepArriving) {
    TPty pty;
    std::atomic<bool> feeding{true};
    std::thread feeder([&] {
        const char chunk[64] = {};
        while (feeding.load()) {
            // Non-blocking: once the port is closed for good the queue fills up.
            if (::write(pty.Master(), chunk, sizeof chunk) < 0) {
                pollfd fd{pty.Master(), POLLOUT, 0};
                ::poll(&fd, 1, 10);
            }
        }
    });

    TComPort port;
    SetUpFor(port, pty);
    TReader reader(port);
    for (int round = 0; round < 30; ++round) {
        SCOPED_TRACE(round);
        reader.Counts.clear();
        reader.AfterRead = nullptr;
        port.Open();
        QElapsedTimer timer;
        timer.start();
        switch (round % 3) {
            case 0:  // from the user-interface thread between events
                ASSERT_TRUE(WaitUntil([&] { return reader.Counts.size() >= 2; }));
                port.Close();
                break;
            case 1:  // from inside the received-data handler
                reader.AfterRead = [&] { port.Close(); };
                ASSERT_TRUE(WaitUntil([&] { return !port.Connected(); }));
                break;
            case 2:  // while the watcher is most likely waiting for an event to be picked up
                while (port.InputCount() == 0 && timer.elapsed() < 5000)
                    std::this_thread::yield();
                port.Close();
                break;
        }
        EXPECT_FALSE(port.Connected());
        EXPECT_LT(timer.elapsed(), 5000);
    }
    feeding = false;
    feeder.join();
}

TEST(ComPortWrite, OnAClosedPortRaisesPortNotOpen) {
    TComPort port;
    QString text = QStringLiteral("old");
    for (const auto& call : std::initializer_list<std::function<void()>>{
             [&] { port.Write("\x01", 1); },
             [&] { port.ReadStr(text, 10); },
             [&] { port.InputCount(); },
         }) {
        const EComPort e = RaisedBy(call);
        EXPECT_EQ(e.Code(), 24);
        EXPECT_EQ(e.PlatformError(), -1);
        EXPECT_EQ(e.Message(), QStringLiteral("Port Not Open"));
    }
}

TEST(ComPortWrite, GivesUpAtItsTimeoutWhenTheFarSideNeverReadsAndReturnsTheSmallerCount) {
    TPty pty;
    TComPort port;
    SetUpFor(port, pty);
    port.Timeouts().SetWriteTotalConstant(300);
    port.Timeouts().SetWriteTotalMultiplier(0);
    port.Open();

    // Far more than a pseudo-terminal buffers.
    const QByteArray bytes(1 << 20, '\x5A');
    QElapsedTimer timer;
    timer.start();
    const int written = port.Write(bytes.constData(), int(bytes.size()));
    const qint64 elapsed = timer.elapsed();
    EXPECT_GT(written, 0);
    EXPECT_LT(written, bytes.size());
    EXPECT_GE(elapsed, 290);
    EXPECT_LT(elapsed, 3000);
    EXPECT_TRUE(port.Connected());
}

TEST(ComPortLink, AFarSideThatGoesAwayLeavesThePortOpenUntilItIsClosed) {
    TPty pty;
    TComPort port;
    SetUpFor(port, pty);
    TReader reader(port);
    port.Open();
    pty.HangUp();

    EXPECT_FALSE(WaitUntil([&] { return !reader.Counts.isEmpty(); }, 100ms));
    EXPECT_TRUE(port.Connected());
    EXPECT_EQ(RaisedBy([&] { port.Write("\x01", 1); }).Code(), 2);
    port.Close();
    EXPECT_FALSE(port.Connected());
}

}  // namespace
