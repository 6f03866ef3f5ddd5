#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "link/ComPortName.h"
#include "link/ComSettings.h"

namespace {

// A terminal as a shell leaves it: line editing, echo, translations, flow control, 7 bits with
// two stop bits, so that every flag the port has to clear starts out set.
termios CookedTerminal() {
    termios t{};
    t.c_iflag = BRKINT | IGNPAR | PARMRK | INPCK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF |
                IXANY | IMAXBEL | IUTF8;
    t.c_oflag = OPOST | ONLCR;
    t.c_lflag = ICANON | ECHO | ECHOE | ECHOK | ECHOCTL | ECHOKE | ISIG | IEXTEN;
    t.c_cflag = CS7 | CSTOPB | CRTSCTS | PARENB;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 5;
    cfsetispeed(&t, B1200);
    cfsetospeed(&t, B1200);
    return t;
}

TEST(ComPortLineSettings, EveryRateAndParityGivesARawEightBitLineWithoutFlowControl) {
    const struct {
        int rate;
        speed_t speed;
    } rates[] = {{300, B300},       {1200, B1200},    {2400, B2400},   {4800, B4800},
                 {9600, B9600},     {19200, B19200},  {38400, B38400}, {57600, B57600},
                 {115200, B115200}, {230400, B230400}};
    const struct {
        TParityBits bits;
        bool enabled;
        bool odd;
    } parities[] = {{TParityBits::None, false, false},
                    {TParityBits::Odd, true, true},
                    {TParityBits::Even, true, false}};

    for (const auto& r : rates) {
        for (const auto& p : parities) {
            SCOPED_TRACE(testing::Message() << r.rate << " bit/s, parity " << int(p.bits));
            termios t = CookedTerminal();
            ASSERT_TRUE(MakeLineSettings(t, r.rate, p.bits));
            EXPECT_EQ(cfgetispeed(&t), r.speed);
            EXPECT_EQ(cfgetospeed(&t), r.speed);
            EXPECT_EQ((t.c_cflag & PARENB) != 0, p.enabled);
            EXPECT_EQ((t.c_cflag & PARODD) != 0, p.odd);
            EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t(CS8));
            EXPECT_EQ(t.c_cflag & (CSTOPB | CRTSCTS), 0u);
            EXPECT_EQ(t.c_cflag & (CREAD | CLOCAL), tcflag_t(CREAD | CLOCAL));
            // Received parity is not checked, no byte is dropped, marked, stripped or translated,
            // and XON/XOFF are ordinary data.
            EXPECT_EQ(t.c_iflag & (INPCK | IGNPAR | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON |
                                   IXOFF | IXANY | BRKINT),
                      0u);
            EXPECT_EQ(t.c_oflag & OPOST, 0u);
            EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ECHONL | ISIG | IEXTEN), 0u);
            EXPECT_EQ(t.c_cc[VMIN], 0);
            EXPECT_EQ(t.c_cc[VTIME], 0);
        }
    }
}

TEST(ComPortLineSettings, ARateWithoutATerminalSpeedIsRefusedAndChangesNothing) {
    for (const int rate : {0, -9600, 14400, 12345, 1000000000}) {
        SCOPED_TRACE(rate);
        const termios before = CookedTerminal();
        termios t = before;
        EXPECT_FALSE(MakeLineSettings(t, rate, TParityBits::None));
        EXPECT_EQ(t.c_cflag, before.c_cflag);
        EXPECT_EQ(t.c_lflag, before.c_lflag);
    }
}

TEST(ComPortLineSettings, ReadBackMustKeepSpeedAndFraming) {
    termios wanted = CookedTerminal();
    ASSERT_TRUE(MakeLineSettings(wanted, 19200, TParityBits::Even));

    termios same = wanted;
    same.c_iflag |= IXON;  // not part of the framing
    EXPECT_TRUE(LineSettingsTaken(wanted, same));

    termios parityDropped = wanted;  // what a pseudo-terminal does with PARENB
    parityDropped.c_cflag &= ~tcflag_t(PARENB);
    EXPECT_FALSE(LineSettingsTaken(wanted, parityDropped));

    termios otherSpeed = wanted;
    cfsetospeed(&otherSpeed, B9600);
    EXPECT_FALSE(LineSettingsTaken(wanted, otherSpeed));

    termios sevenBits = wanted;
    sevenBits.c_cflag = (sevenBits.c_cflag & ~tcflag_t(CSIZE)) | CS7;
    EXPECT_FALSE(LineSettingsTaken(wanted, sevenBits));

    termios wantedOdd = CookedTerminal();
    ASSERT_TRUE(MakeLineSettings(wantedOdd, 19200, TParityBits::Odd));
    termios oddAsEven = wantedOdd;
    oddAsEven.c_cflag &= ~tcflag_t(PARODD);
    EXPECT_FALSE(LineSettingsTaken(wantedOdd, oddAsEven));

    for (const tcflag_t flag : {tcflag_t(CSTOPB), tcflag_t(CRTSCTS), tcflag_t(CMSPAR)}) {
        termios changed = wanted;
        changed.c_cflag |= flag;
        EXPECT_FALSE(LineSettingsTaken(wanted, changed)) << flag;
    }
    termios otherInputSpeed = wanted;
    cfsetispeed(&otherInputSpeed, B9600);
    EXPECT_FALSE(LineSettingsTaken(wanted, otherInputSpeed));
}

TEST(ComPortWriteTimeout, IsTheConstantPlusTheMultiplierPerByte) {
    const TComTimeouts defaults;
    EXPECT_EQ(WriteTimeoutMs(defaults, 0), 1000);
    EXPECT_EQ(WriteTimeoutMs(defaults, 1), 1100);
    EXPECT_EQ(WriteTimeoutMs(defaults, 8), 1800);
    EXPECT_EQ(WriteTimeoutMs(defaults, 4096 + 9), 1000 + 100 * 4105);
}

TEST(ComPortName, MapsAbsolutePathsAndComNumbersToDevices) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const char* name : {"ttyUSB0", "ttyACM1", "ttyS1", "ttyS2", "ttyS10"}) {
        QFile f(dir.filePath(QString::fromLatin1(name)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    const QString d = dir.path();
    const struct {
        const char* port;
        QString device;
    } cases[] = {
        {"COM1", d + "/ttyUSB0"},  // USB adapters first
        {"COM2", d + "/ttyACM1"},  // then CDC-ACM devices, before the on-board port ttyS1
        {"COM3", d + "/ttyS2"},
        {"COM11", d + "/ttyS10"},
        {"COM03", d + "/ttyS2"},
        {"COM4", QString()},  // nothing of the three exists
        {"COM0", QString()},
        {"COM", QString()},
        {"COM-1", QString()},
        {"COM+1", QString()},
        {"COM 1", QString()},
        {"COM1 ", QString()},
        {"COMx", QString()},
        {"COM99999999999", QString()},
        {"com1", QString()},
        {"1", QString()},
        {"COM/dev/pts/5", "/dev/pts/5"},  // absolute paths are taken as they are
        {"COM/dev/serial/by-id/usb-x", "/dev/serial/by-id/usb-x"},
        {"COMdev/ttyS0", QString()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.port);
        EXPECT_EQ(DevicePathForPort(QString::fromLatin1(c.port), d), c.device);
    }
}

}  // namespace
