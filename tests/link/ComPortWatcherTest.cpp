#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <QDeadlineTimer>
#include <QObject>
#include <thread>

#include "ComPortPty.h"
#include "link/ComWatcher.h"
#include "support/DialogAnswerer.h"

using serialtest::TPty;

namespace {

// Watches the terminal side of a pseudo-terminal directly, as the port does.
struct TWatched {
    TWatched() {
        termios t{};
        tcgetattr(Pty.Slave(), &t);
        cfmakeraw(&t);
        tcsetattr(Pty.Slave(), TCSANOW, &t);
        Watcher = TComWatcher::Start(Pty.Slave(), &Context, [this](TComWatcher& w) {
            int waiting = 0;
            ioctl(Pty.Slave(), FIONREAD, &waiting);
            w.NoteCounted(waiting);
            Seen.push_back(waiting);
        });
    }

    // Waits without processing any event of this thread, so that a hand-over stays pending.
    bool WaitForHandOver() {
        QDeadlineTimer deadline(5000);
        while (!Watcher->HandOverPending()) {
            if (deadline.hasExpired())
                return false;
            std::this_thread::yield();
        }
        return true;
    }

    TPty Pty;
    QObject Context;
    std::vector<int> Seen;
    std::shared_ptr<TComWatcher> Watcher;
};

TEST(ComPortWatcher, WaitsUntilTheUserInterfaceThreadHasProcessedAnEvent) {
    TWatched w;
    ASSERT_TRUE(w.Watcher);
    w.Pty.Send("ab");
    ASSERT_TRUE(w.WaitForHandOver());
    EXPECT_TRUE(w.Seen.empty());  // nothing runs on the watcher's own thread
    ASSERT_TRUE(WaitUntil([&] { return w.Seen.size() == 1; }));
    EXPECT_EQ(w.Seen[0], 2);
    w.Watcher->Stop(true);
}

TEST(ComPortWatcher, StoppingProcessesAnEventAlreadyHandedOverAndDoesNotDeadlock) {
    TWatched w;
    ASSERT_TRUE(w.Watcher);
    w.Pty.Send("xyz");
    ASSERT_TRUE(w.WaitForHandOver());
    w.Watcher->Stop(true);
    ASSERT_EQ(w.Seen.size(), 1u);
    EXPECT_EQ(w.Seen[0], 3);
    // The watcher discarded the queue on its way out, and no late event follows.
    int waiting = -1;
    ioctl(w.Pty.Slave(), FIONREAD, &waiting);
    EXPECT_EQ(waiting, 0);
    EXPECT_FALSE(WaitUntil([&] { return w.Seen.size() > 1; }, std::chrono::milliseconds(50)));
}

TEST(ComPortWatcher, StoppingForTeardownRunsNoHandler) {
    TWatched w;
    ASSERT_TRUE(w.Watcher);
    w.Pty.Send("xyz");
    ASSERT_TRUE(w.WaitForHandOver());
    w.Watcher->Stop(false);
    w.Watcher.reset();
    EXPECT_FALSE(WaitUntil([&] { return !w.Seen.empty(); }, std::chrono::milliseconds(50)));
}

}  // namespace
