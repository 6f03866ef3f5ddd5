#include "support/RawPty.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <cerrno>
#include <stdexcept>

RawPty::RawPty() {
    char name[256] = {};
    termios raw{};
    cfmakeraw(&raw);
    if (openpty(&FMaster, &FSlave, name, &raw, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    FPath = QString::fromLocal8Bit(name);
    fcntl(FMaster, F_SETFL, fcntl(FMaster, F_GETFL) | O_NONBLOCK);
    // The slave end stays open here too, so that the pty survives the program closing its side.
}

RawPty::~RawPty() {
    if (FSlave >= 0)
        close(FSlave);
    if (FMaster >= 0)
        close(FMaster);
}

void RawPty::Send(const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(FMaster, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            throw std::runtime_error("pty write failed");
        if (n > 0)
            done += n;
    }
}

QByteArray RawPty::Drain() {
    QByteArray result;
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(FMaster, buffer, sizeof buffer);
        if (n <= 0)
            break;
        result.append(buffer, n);
    }
    return result;
}

QByteArray RawPty::Receive(int count, std::chrono::milliseconds deadline) {
    QByteArray result;
    QDeadlineTimer timer(deadline);
    while (result.size() < count && !timer.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        pollfd p{FMaster, POLLIN, 0};
        if (poll(&p, 1, 5) > 0)
            result += Drain();
    }
    return result;
}
