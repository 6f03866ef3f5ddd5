#pragma once

#include <QPointer>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class QObject;
class QSocketNotifier;

// The watcher of an open serial device: a thread that waits for received bytes and hands each
// event to the user-interface thread, then waits until the user-interface thread has processed it
// before it waits for the device again. It never touches the program's data; all it shares with
// the user-interface thread are the counters below, under one mutex.
//
// The hand-over goes through an eventfd that a QSocketNotifier watches on the user-interface
// thread, so it is picked up wherever that thread processes events, nested dialog loops included.
class TComWatcher : public std::enable_shared_from_this<TComWatcher> {
public:
    // Processes one received-characters event on the user-interface thread. It must call
    // NoteCounted() with the number of waiting bytes it saw before it hands them on.
    using TProcess = std::function<void(TComWatcher&)>;

    // Starts watching deviceFd (which the caller keeps open until Stop() has returned). The
    // notifier is created as a child of context, on the calling thread. Returns nullptr with errno
    // set when the descriptors or the thread cannot be created.
    static std::shared_ptr<TComWatcher> Start(int deviceFd, QObject* context, TProcess process);
    ~TComWatcher();

    TComWatcher(const TComWatcher&) = delete;
    TComWatcher& operator=(const TComWatcher&) = delete;

    // User-interface thread. Stops the thread and waits for it; the thread discards both device
    // queues on its way out. With processPending, an event already handed over but not yet
    // picked up is processed here first, so that the thread is never left waiting on us.
    void Stop(bool processPending);

    // User-interface thread, from TProcess: count bytes were waiting when the event was handled.
    void NoteCounted(int count);

    // User-interface thread: runs a read of the device and counts the bytes it took, so that the
    // watcher can tell bytes that arrived from bytes that are still waiting.
    qint64 Take(const std::function<qint64()>& read);

    // An event has been handed over and not yet picked up (for tests).
    bool HandOverPending() const;

private:
    enum class TState { Idle, HandedOver, Processing };

    TComWatcher(int deviceFd, TProcess process);
    void Run();
    bool HandOver(std::uint64_t& reported);
    bool Measure(std::uint64_t& total, int& waiting);
    void Deliver() noexcept;

    const int FDeviceFd;
    TProcess FProcess;
    int FStopFd = -1;
    int FHandOverFd = -1;
    QPointer<QSocketNotifier> FNotifier;
    std::thread FThread;

    mutable std::mutex FMutex;
    std::condition_variable FChanged;
    TState FState = TState::Idle;
    bool FStopping = false;
    bool FFinishPending = false;     // Stop() processes the event handed over before the stop
    std::uint64_t FTaken = 0;        // bytes read by the user-interface thread so far
    bool FCounted = false;           // NoteCounted() ran while processing the current event
    std::uint64_t FCountedUpTo = 0;  // bytes taken plus bytes waiting at that moment
};
