#include "link/ComWatcher.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <system_error>

#include "app/Errors.h"
#include "link/ComPortLog.h"

namespace {

// While bytes sit unread in the receive queue, poll() reports the device readable at once, so the
// watcher looks for newly arrived bytes at this interval instead.
constexpr int UnreadRecheckMs = 10;

void Signal(int eventFd) {
    const std::uint64_t one = 1;
    // An eventfd only fails to count up when its counter is near overflow; it is readable then.
    [[maybe_unused]] const ssize_t n = ::write(eventFd, &one, sizeof one);
}

void Drain(int eventFd) {
    std::uint64_t value = 0;
    [[maybe_unused]] const ssize_t n = ::read(eventFd, &value, sizeof value);
}

}  // namespace

TComWatcher::TComWatcher(int deviceFd, TProcess process)
    : FDeviceFd(deviceFd), FProcess(std::move(process)) {}

std::shared_ptr<TComWatcher> TComWatcher::Start(int deviceFd, QObject* context, TProcess process) {
    std::shared_ptr<TComWatcher> watcher(new TComWatcher(deviceFd, std::move(process)));
    watcher->FStopFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    watcher->FHandOverFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (watcher->FStopFd < 0 || watcher->FHandOverFd < 0) {
        const int error = errno;
        watcher.reset();
        errno = error;
        return nullptr;
    }

    watcher->FNotifier = new QSocketNotifier(watcher->FHandOverFd, QSocketNotifier::Read, context);
    QObject::connect(watcher->FNotifier, &QSocketNotifier::activated, context,
                     [weak = std::weak_ptr<TComWatcher>(watcher)] {
                         // Holding a reference keeps the watcher alive even if the handler
                         // closes or destroys the port that owns it.
                         if (const std::shared_ptr<TComWatcher> self = weak.lock()) {
                             Drain(self->FHandOverFd);
                             self->Deliver();
                         }
                     });

    try {
        watcher->FThread = std::thread(&TComWatcher::Run, watcher.get());
    } catch (const std::system_error& e) {
        watcher.reset();
        errno = e.code().value();
        return nullptr;
    }
    return watcher;
}

TComWatcher::~TComWatcher() {
    if (FThread.joinable())
        Stop(false);
    if (FNotifier) {
        FNotifier->setEnabled(false);
        // The destructor may run inside the notifier's own signal.
        FNotifier->deleteLater();
    }
    if (FStopFd >= 0)
        ::close(FStopFd);
    if (FHandOverFd >= 0)
        ::close(FHandOverFd);
}

void TComWatcher::Stop(bool processPending) {
    bool deliverNow = false;
    {
        std::lock_guard lock(FMutex);
        FStopping = true;
        deliverNow = processPending && FState == TState::HandedOver;
        FFinishPending = deliverNow;
    }
    FChanged.notify_all();
    if (FNotifier)
        FNotifier->setEnabled(false);
    Signal(FStopFd);
    if (deliverNow)
        Deliver();
    if (FThread.joinable())
        FThread.join();
}

void TComWatcher::NoteCounted(int count) {
    std::lock_guard lock(FMutex);
    FCounted = true;
    FCountedUpTo = FTaken + std::uint64_t(qMax(count, 0));
}

qint64 TComWatcher::Take(const std::function<qint64()>& read) {
    // Under the mutex, so that the watcher never counts between the read and its bookkeeping.
    std::lock_guard lock(FMutex);
    const qint64 taken = read();
    if (taken > 0)
        FTaken += std::uint64_t(taken);
    return taken;
}

bool TComWatcher::HandOverPending() const {
    std::lock_guard lock(FMutex);
    return FState == TState::HandedOver;
}

bool TComWatcher::Measure(std::uint64_t& total, int& waiting) {
    std::lock_guard lock(FMutex);
    if (::ioctl(FDeviceFd, FIONREAD, &waiting) < 0) {
        qCWarning(lcSerial).noquote()
            << "counting received bytes failed; no more received-data events:"
            << SystemErrorText(errno);
        return false;
    }
    total = FTaken + std::uint64_t(qMax(waiting, 0));
    return true;
}

void TComWatcher::Run() {
    // Every byte the device has received is either still waiting or was taken by a read; those
    // two together, compared with what the last event covered, tell whether new bytes arrived.
    std::uint64_t reported = 0;
    bool deviceGone = false;
    for (;;) {
        std::uint64_t total = reported;
        int waiting = 0;
        if (!deviceGone && !Measure(total, waiting))
            deviceGone = true;
        if (total > reported) {
            if (!HandOver(reported))
                break;
            continue;
        }

        pollfd fds[2] = {{FStopFd, POLLIN, 0}, {FDeviceFd, POLLIN, 0}};
        nfds_t count = 2;
        int timeout = -1;
        if (deviceGone) {
            count = 1;
        } else if (waiting > 0) {
            count = 1;
            timeout = UnreadRecheckMs;
        }
        if (::poll(fds, count, timeout) < 0) {
            if (errno == EINTR)
                continue;
            qCWarning(lcSerial).noquote()
                << "waiting for the serial device failed; watcher ends:" << SystemErrorText(errno);
            break;
        }
        if (fds[0].revents != 0)
            break;
        if (count == 2 && (fds[1].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
            // Unplugged, or the far side of a pseudo-terminal closed. The port stays open for the
            // program until it is closed; only the stop signal matters from now on.
            qCWarning(lcSerial).noquote()
                << "the serial device hung up or reports an error; it is no longer"
                   " watched until the port is closed";
            deviceGone = true;
        }
    }

    // An event handed over before the stop is processed on the user-interface thread first, so
    // the watcher never leaves with a hand-over outstanding. When the port is closing its input
    // has already been discarded, and the event then finds nothing to report.
    {
        std::unique_lock lock(FMutex);
        FChanged.wait(lock, [this] { return !FFinishPending || FState == TState::Idle; });
    }
    // Whatever is still queued belongs to a link that is being closed.
    if (::tcflush(FDeviceFd, TCIOFLUSH) < 0 && !deviceGone)
        qCWarning(lcSerial).noquote()
            << "discarding the device queues failed:" << SystemErrorText(errno);
}

bool TComWatcher::HandOver(std::uint64_t& reported) {
    {
        std::lock_guard lock(FMutex);
        if (FStopping)
            return false;
        FState = TState::HandedOver;
        FCounted = false;
    }
    Signal(FHandOverFd);

    std::unique_lock lock(FMutex);
    FChanged.wait(lock, [this] { return FState == TState::Idle || FStopping; });
    if (FStopping)
        return false;
    if (FCounted) {
        reported = FCountedUpTo;
    } else {
        // The processing failed before it counted. Take what is there now as reported, so that a
        // failure that repeats does not make the watcher hand over again and again.
        int waiting = 0;
        if (::ioctl(FDeviceFd, FIONREAD, &waiting) == 0)
            reported = FTaken + std::uint64_t(qMax(waiting, 0));
    }
    return true;
}

void TComWatcher::Deliver() noexcept {
    {
        std::lock_guard lock(FMutex);
        if (FState != TState::HandedOver)
            return;
        FState = TState::Processing;
    }
    // An error here is not the operator's business: the program shows nothing and the watcher
    // goes on waiting for the next bytes. Service staff find it in the log.
    try {
        FProcess(*this);
    } catch (const EQuorrin& e) {
        qCWarning(lcSerial).noquote() << "error while processing received data:" << e.Message();
    } catch (const std::exception& e) {
        qCWarning(lcSerial).noquote() << "error while processing received data:" << e.what();
    } catch (...) {
        qCWarning(lcSerial).noquote() << "unknown error while processing received data";
    }
    {
        std::lock_guard lock(FMutex);
        FState = TState::Idle;
    }
    FChanged.notify_all();
}
