#include "ComPortPty.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <cerrno>
#include <stdexcept>

namespace serialtest {

TPty::TPty() {
    char name[256] = {};
    if (::openpty(&FMaster, &FSlave, name, nullptr, nullptr) < 0)
        throw std::runtime_error("openpty failed");
    ::fcntl(FMaster, F_SETFL, ::fcntl(FMaster, F_GETFL) | O_NONBLOCK);
    FPath = QString::fromLocal8Bit(name);
}

TPty::~TPty() {
    HangUp();
}

void TPty::Send(const QByteArray& bytes) {
    qsizetype sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::write(FMaster, bytes.constData() + sent, size_t(bytes.size() - sent));
        if (n > 0) {
            sent += n;
        } else if (n < 0 && errno != EINTR && errno != EAGAIN) {
            throw std::runtime_error("writing to the pty failed");
        } else {
            pollfd fd{FMaster, POLLOUT, 0};
            ::poll(&fd, 1, 100);
        }
    }
}

QByteArray TPty::Receive(int count, std::chrono::milliseconds deadline) {
    QByteArray received;
    QDeadlineTimer timer(deadline);
    while (received.size() < count && !timer.hasExpired()) {
        pollfd fd{FMaster, POLLIN, 0};
        if (::poll(&fd, 1, int(timer.remainingTime())) <= 0)
            continue;
        char buffer[4096];
        const ssize_t n = ::read(FMaster, buffer, sizeof buffer);
        if (n > 0)
            received.append(buffer, n);
    }
    return received;
}

void TPty::HangUp() {
    if (FMaster >= 0)
        ::close(FMaster);
    if (FSlave >= 0)
        ::close(FSlave);
    FMaster = FSlave = -1;
}

QByteArray AllByteValues() {
    QByteArray bytes;
    for (int value = 0; value < 256; ++value)
        bytes.append(char(value));
    return bytes;
}

}  // namespace serialtest
