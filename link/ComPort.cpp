#include "link/ComPort.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QFile>
#include <cerrno>
#include <climits>

#include "link/ComPortLog.h"
#include "link/ComPortName.h"
#include "link/ComWatcher.h"

namespace {

// Pseudo-terminals and some adapters have no modem-control lines and say so this way.
bool NoModemLines(int error) {
    return error == ENOTTY || error == EINVAL;
}

// The device has gone away (unplugged, or the far side of a pseudo-terminal closed).
bool DeviceGone(int error) {
    return error == EIO || error == ENXIO || error == ENODEV;
}

EComPort Failure(int code, int error, const char* what, const QString& path) {
    qCWarning(lcSerial).noquote()
        << QStringLiteral("%1 %2: %3").arg(QString::fromLatin1(what), path, SystemErrorText(error));
    return EComPort(code, error);
}

EComPort OpenFailure(int error, const char* what, const QString& path) {
    if (error == EACCES || error == EPERM) {
        qCWarning(lcSerial).noquote()
            << QStringLiteral("%1 %2: %3 - the user is probably not in the 'dialout' group")
                   .arg(QString::fromLatin1(what), path, SystemErrorText(error));
        return EComPort(EComPort::OpenFailed, error);
    }
    if (error == EBUSY || error == EWOULDBLOCK) {
        qCWarning(lcSerial).noquote()
            << QStringLiteral("%1 %2: %3 - another program holds the port")
                   .arg(QString::fromLatin1(what), path, SystemErrorText(error));
        return EComPort(EComPort::OpenFailed, error);
    }
    return Failure(EComPort::OpenFailed, error, what, path);
}

}  // namespace

TCustomComPort::TCustomComPort(QObject* owner) : QObject(owner) {}

TCustomComPort::~TCustomComPort() {
    // The owner is being torn down: no handler may run any more. The watcher still discards the
    // device queues on its way out.
    if (FConnected)
        Shutdown(false);
}

void TCustomComPort::SetConnected(bool value) {
    if (value)
        Open();
    else
        Close();
}

void TCustomComPort::Open() {
    if (FConnected)
        return;
    FDevicePath = DevicePathForPort(FPort);
    if (FDevicePath.isEmpty()) {
        qCWarning(lcSerial).noquote()
            << QStringLiteral("no serial device for the port name \"%1\"").arg(FPort);
        throw EComPort(EComPort::OpenFailed, ENOENT);
    }

    // Non-blocking: reads return what is waiting, writes wait in poll() against their timeout.
    const int fd = ::open(QFile::encodeName(FDevicePath).constData(),
                          O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        throw OpenFailure(errno, "opening", FDevicePath);

    // Exclusive use: the lock keeps out programs that lock serial ports, TIOCEXCL keeps out any
    // further open() of the device. The lock comes first, so that a port someone else holds is
    // left exactly as it was.
    if (::flock(fd, LOCK_EX | LOCK_NB) < 0) {
        const int error = errno;
        ::close(fd);
        throw OpenFailure(error, "locking", FDevicePath);
    }
    if (::ioctl(fd, TIOCEXCL) < 0) {
        const int error = errno;
        ::close(fd);
        throw OpenFailure(error, "claiming exclusive use of", FDevicePath);
    }

    FHandle = fd;
    FConnected = true;
    try {
        // The driver raises DTR and RTS when it opens the device, and once more when a device
        // another program left at speed 0 gets its speed; the line wants them inactive.
        FHasModemLines = ClearControlLines();
        ApplySettings();
        if (FHasModemLines)
            ClearControlLines();
        FWatcher = TComWatcher::Start(FHandle, this,
                                      [this](TComWatcher& watcher) { ProcessEvent(watcher); });
        if (!FWatcher)
            throw OpenFailure(errno, "starting the watcher of", FDevicePath);
    } catch (...) {
        Shutdown(false);
        throw;
    }

    // The input lines are read once, as a starting point for their change events. The line
    // itself works without them, so a device that cannot report them is used all the same.
    if (FHasModemLines) {
        int status = 0;
        if (ModemControl(FHandle, TIOCMGET, &status) < 0) {
            const int error = errno;
            if (!NoModemLines(error))
                qCWarning(lcSerial).noquote()
                    << QStringLiteral("reading the modem lines of %1: %2; the port is used without")
                           .arg(FDevicePath, SystemErrorText(error));
            FHasModemLines = false;
        }
    }
}

bool TCustomComPort::ClearControlLines() {
    int lines = TIOCM_DTR | TIOCM_RTS;
    if (ModemControl(FHandle, TIOCMBIC, &lines) == 0)
        return true;
    const int error = errno;
    if (NoModemLines(error))
        return false;
    throw Failure(EComPort::SetStateFailed, error, "clearing DTR and RTS of", FDevicePath);
}

int TCustomComPort::ModemControl(int handle, unsigned long request, int* lines) {
    return ::ioctl(handle, request, lines);
}

void TCustomComPort::ApplySettings() {
    // Queue sizes: the Linux tty layer has queues of its own fixed size and no call to change
    // them, so a size is only checked for sense. An odd size would be rounded down to even.
    if (FBuffer.InputSize() < 0 || FBuffer.OutputSize() < 0)
        throw Failure(EComPort::SetupFailed, EINVAL, "queue sizes refused for", FDevicePath);

    termios settings{};
    if (::tcgetattr(FHandle, &settings) < 0)
        throw Failure(EComPort::SetStateFailed, errno, "reading the line settings of", FDevicePath);
    if (!MakeLineSettings(settings, FBaudRate, FParity.Bits()))
        throw Failure(EComPort::SetStateFailed, EINVAL,
                      qPrintable(QStringLiteral("no such speed (%1 bit/s) for").arg(FBaudRate)),
                      FDevicePath);
    if (::tcsetattr(FHandle, TCSANOW, &settings) < 0)
        throw Failure(EComPort::SetStateFailed, errno, "applying the line settings of",
                      FDevicePath);
    termios taken{};
    if (::tcgetattr(FHandle, &taken) < 0)
        throw Failure(EComPort::SetStateFailed, errno, "reading back the line settings of",
                      FDevicePath);
    if (!LineSettingsTaken(settings, taken))
        throw Failure(EComPort::SetStateFailed, EINVAL,
                      "the device did not take the speed, parity or framing asked of", FDevicePath);

    // Timeouts: reads never wait (VMIN = VTIME = 0 above); writes are timed by Write() itself.
    if (FTimeouts.WriteTotalConstant() < 0 || FTimeouts.WriteTotalMultiplier() < 0)
        throw Failure(EComPort::SetTimeoutsFailed, EINVAL, "timeouts refused for", FDevicePath);
}

void TCustomComPort::Close() {
    if (!FConnected || FClosing)
        return;
    if (::tcflush(FHandle, TCIOFLUSH) < 0) {
        const int error = errno;
        // A device that has gone has nothing left to abort; refusing to close it would keep the
        // port open for good.
        if (!DeviceGone(error))
            throw Failure(EComPort::PurgeFailed, error, "aborting the transfers of", FDevicePath);
        qCWarning(lcSerial).noquote() << QStringLiteral("%1 has gone (%2); closing it anyway")
                                             .arg(FDevicePath, SystemErrorText(error));
    }
    Shutdown(true);
}

void TCustomComPort::Shutdown(bool processPending) noexcept {
    FClosing = true;
    if (FWatcher) {
        // The watcher stays reachable while a pending event is processed: its handler may read.
        FWatcher->Stop(processPending);
        FWatcher.reset();
    }
    ::ioctl(FHandle, TIOCNXCL);
    ::close(FHandle);  // also drops the lock
    FHandle = -1;
    FConnected = false;
    FClosing = false;
}

void TCustomComPort::RequireOpen() const {
    if (!FConnected)
        throw EComPort(EComPort::NotOpen);
}

void TCustomComPort::ProcessEvent(TComWatcher& watcher) {
    // Linux keeps no line-error state that would need clearing here: a byte received with a
    // framing or parity error is simply delivered as it came.
    const int count = InputCount();
    watcher.NoteCounted(count);
    if (count > 0)
        emit OnRxChar(count);
    // Nothing after this point: the handler may have closed or destroyed the port.
}

int TCustomComPort::InputCount() {
    RequireOpen();
    int count = 0;
    if (::ioctl(FHandle, FIONREAD, &count) < 0)
        throw Failure(EComPort::ClearErrorFailed, errno, "counting the received bytes of",
                      FDevicePath);
    return count;
}

int TCustomComPort::ReadStr(QString& str, int count) {
    RequireOpen();
    str.clear();
    if (count <= 0)
        return 0;
    // A terminal hands out at most a few KiB per read; a huge count must not mean a huge buffer.
    const int size = qMin(count, 1 << 16);
    QByteArray bytes(size, Qt::Uninitialized);
    int error = 0;
    const auto read = [&]() -> qint64 {
        for (;;) {
            const ssize_t n = ::read(FHandle, bytes.data(), size_t(size));
            if (n >= 0)
                return n;
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                return 0;
            error = errno;
            return -1;
        }
    };
    const qint64 got = FWatcher ? FWatcher->Take(read) : read();
    if (got < 0)
        throw Failure(EComPort::ReadFailed, error, "reading from", FDevicePath);
    // Latin-1 maps every byte to the character with the same code: no decoding happens.
    str = QString::fromLatin1(bytes.constData(), qsizetype(got));
    return int(got);
}

int TCustomComPort::Write(const void* buffer, int count) {
    RequireOpen();
    if (count <= 0)
        return 0;
    const auto* bytes = static_cast<const char*>(buffer);
    QDeadlineTimer deadline(WriteTimeoutMs(FTimeouts, count));
    int written = 0;
    while (written < count) {
        const ssize_t n = ::write(FHandle, bytes + written, size_t(count - written));
        if (n > 0) {
            written += int(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            throw Failure(EComPort::WriteFailed, errno, "writing to", FDevicePath);

        // The send queue is full: wait until it takes more, or the time is up. Running out of
        // time is not an error; the caller learns from the count.
        const qint64 left = deadline.remainingTime();
        if (left == 0)
            break;
        pollfd fd{FHandle, POLLOUT, 0};
        const int ready = ::poll(&fd, 1, int(qMin<qint64>(left, INT_MAX)));
        if (ready < 0 && errno != EINTR)
            throw Failure(EComPort::WriteFailed, errno, "waiting to write to", FDevicePath);
        if (ready == 0)
            break;
    }
    return written;
}
