#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QDir>
#include <QHostAddress>
#include <QPointer>
#include <cerrno>
#include <vector>

#include "link/ClientSocket.h"
#include "support/DialogAnswerer.h"

namespace {

using namespace std::chrono_literals;

// A loopback listener on an ephemeral port, with the accepted peer.
class Listener {
public:
    Listener() {
        FListen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (::bind(FListen, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
            ::listen(FListen, 4) != 0 ||
            ::getsockname(FListen, reinterpret_cast<sockaddr*>(&address), &size) != 0)
            ADD_FAILURE() << "no loopback listener: " << strerror(errno);
        FPort = ntohs(address.sin_port);
    }
    ~Listener() {
        ClosePeer();
        StopListening();
    }
    int Port() const { return FPort; }
    void StopListening() {
        if (FListen >= 0)
            ::close(FListen);
        FListen = -1;
    }

    bool HasPending() const {
        pollfd p{FListen, POLLIN, 0};
        return ::poll(&p, 1, 0) > 0;
    }
    // Waits for the client's connection and accepts it.
    bool Accept() {
        if (!WaitUntil([&] { return HasPending(); }))
            return false;
        FPeer = ::accept4(FListen, nullptr, nullptr, SOCK_CLOEXEC);
        return FPeer >= 0;
    }
    void Send(const QByteArray& bytes) const {
        ASSERT_EQ(::send(FPeer, bytes.constData(), bytes.size(), MSG_NOSIGNAL), bytes.size());
    }
    // Everything that arrives within the deadline, stopping early at count bytes or at the end of
    // the stream.
    QByteArray Receive(int count, std::chrono::milliseconds deadline = 5s) {
        QByteArray received;
        bool ended = false;
        WaitUntil(
            [&] {
                char buffer[512];
                const ssize_t n = ::recv(FPeer, buffer, sizeof buffer, MSG_DONTWAIT);
                if (n > 0)
                    received.append(buffer, n);
                ended = n == 0;
                return ended || received.size() >= count;
            },
            deadline);
        return received;
    }
    // True once the client's side of the accepted connection is gone.
    bool PeerEnded() {
        return WaitUntil([&] {
            char c;
            return ::recv(FPeer, &c, 1, MSG_DONTWAIT) == 0;
        });
    }
    void ClosePeer() {
        if (FPeer >= 0)
            ::close(FPeer);
        FPeer = -1;
    }
    // Closing with a zero linger time resets the connection instead of ending it.
    void ResetPeer() {
        linger abort{1, 0};
        ::setsockopt(FPeer, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        ClosePeer();
    }

private:
    int FListen = -1;
    int FPeer = -1;
    int FPort = 0;
};

// A port nobody listens on: one the system just handed out and took back.
int UnusedPort() {
    Listener listener;
    return listener.Port();
}

// A name lookup under the test's control: requests wait until the test answers them. Like
// QHostInfo, an answer is dropped once its context is gone.
class FakeLookup {
public:
    struct Request {
        QString host;
        QPointer<QObject> context;
        TLookupDone done;
    };
    THostLookup Seam() {
        return [this](const QString& Host, QObject* Context, TLookupDone Done) {
            FRequests.push_back({Host, Context, std::move(Done)});
        };
    }
    const std::vector<Request>& Requests() const { return FRequests; }
    void Answer(size_t index, const QHostInfo& info) {
        ASSERT_LT(index, FRequests.size());
        if (FRequests[index].context)
            FRequests[index].done(info);
    }
    void Resolve(size_t index, const QString& address) {
        QHostInfo info;
        info.setAddresses({QHostAddress(address)});
        Answer(index, info);
    }
    void Fail(size_t index) {
        QHostInfo info;
        info.setError(QHostInfo::HostNotFound);
        info.setErrorString(QStringLiteral("Host not found"));
        Answer(index, info);
    }

private:
    std::vector<Request> FRequests;
};

int OpenDescriptors() {
    return QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size();
}

QString RaisedBy(const std::function<void()>& action) {
    try {
        action();
    } catch (const ESocketError& e) {
        return e.Message();
    }
    return QStringLiteral("<nothing raised>");
}

TEST(ClientSocketPort, OnlyTheLowSixteenBitsAreUsed) {
    const struct {
        int port;
        quint16 wire;
    } cases[] = {{502, 502}, {70000, 4464}, {-1, 65535}, {65536, 0}, {65535, 65535}, {0, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(TClientSocket::EffectivePort(c.port), c.wire) << c.port;
}

TEST(ClientSocketLookup, FailuresKeepTheResolversNumberAndText) {
    const auto failure = [](QHostInfo::HostInfoError error, const char* text) {
        QHostInfo info;
        info.setError(error);
        info.setErrorString(QString::fromUtf8(text));
        return info;
    };
    QHostInfo onlyIPv6;
    onlyIPv6.setAddresses({QHostAddress(QStringLiteral("::1"))});
    // Numbers and texts as glibc's getaddrinfo gives them.
    const struct {
        QHostInfo info;
        int code;
        const char* text;
    } cases[] = {
        {failure(QHostInfo::HostNotFound, "Host not found"), -2, "Name or service not known"},
        {failure(QHostInfo::UnknownError, "Temporary failure in name resolution"), -3,
         "Temporary failure in name resolution"},
        {failure(QHostInfo::UnknownError, "System error"), -11, "System error"},
        {failure(QHostInfo::UnknownError, "something new"), -4, "something new"},
        {onlyIPv6, -9, "Address family for hostname not supported"},
    };
    for (const auto& c : cases) {
        const TLookupFailure f = LookupFailureOf(c.info);
        EXPECT_EQ(f.Code, c.code) << c.text;
        EXPECT_EQ(f.Text, QString::fromUtf8(c.text));
    }
    QHostInfo mixed;
    mixed.setAddresses({QHostAddress(QStringLiteral("::1")), QHostAddress(0x0A000102u),
                        QHostAddress(0x0A000103u)});
    EXPECT_EQ(FirstIPv4Address(mixed), 0x0A000102u);
    EXPECT_EQ(FirstIPv4Address(onlyIPv6), std::nullopt);
}

// "localhost" goes through the lookup; a dotted address never reaches it (an unreachable name
// server would stall it with a reverse query), but its result still comes after Open returns.
// Neither leaves the machine.
TEST(ClientSocket, OpenReturnsBeforeTheConnectionAndActiveFollowsIt) {
    for (const QString& host : {QStringLiteral("127.0.0.1"), QStringLiteral("localhost")}) {
        DialogAnswerer answerer;
        Listener listener;
        TClientSocket client;
        FakeLookup lookup;
        if (host == QStringLiteral("127.0.0.1"))
            client.SetHostLookup(lookup.Seam());
        client.SetHost(host);
        client.SetPort(listener.Port());
        client.Open();
        EXPECT_FALSE(client.Active()) << host.toStdString();
        EXPECT_EQ(client.Socket()->State(), TClientWinSocket::TState::LookingUp);
        EXPECT_FALSE(listener.HasPending());
        ASSERT_TRUE(WaitUntil([&] { return client.Active(); })) << host.toStdString();
        EXPECT_TRUE(listener.Accept());
        client.Close();
        EXPECT_FALSE(client.Active());
        EXPECT_TRUE(listener.PeerEnded());
        EXPECT_TRUE(answerer.Seen().isEmpty());
        EXPECT_TRUE(lookup.Requests().empty());
    }
}

TEST(ClientSocketLookup, OnlyFourDecimalNumbersUpTo255AreADottedQuad) {
    EXPECT_EQ(DottedQuad(QStringLiteral("192.0.2.1")), 0xC0000201u);
    EXPECT_EQ(DottedQuad(QStringLiteral("0.0.0.0")), 0u);
    EXPECT_EQ(DottedQuad(QStringLiteral("255.255.255.255")), 0xFFFFFFFFu);
    for (const char* text :
         {"256.0.0.1", "10.1", "1.2.3", "1.2.3.4.5", "1..3.4", "a.b.c.d", " 1.2.3.4", "1.2.3.4 ",
          "+1.2.3.4", "0x1.2.3.4", "1000.2.3.4", "", "controller.test"})
        EXPECT_EQ(DottedQuad(QString::fromLatin1(text)), std::nullopt) << text;
}

TEST(ClientSocket, RefusedConnectionShowsTheAsynchronousErrorAndStaysInactive) {
    DialogAnswerer answerer;
    TClientSocket client;
    client.SetHost(QStringLiteral("127.0.0.1"));
    client.SetPort(UnusedPort());
    client.Open();
    ASSERT_TRUE(answerer.WaitForDialogs(1));
    EXPECT_EQ(answerer.Seen()[0].kind, QStringLiteral("error"));
    EXPECT_EQ(answerer.Seen()[0].text, QStringLiteral("Asynchronous socket error 111."));
    EXPECT_FALSE(client.Active());
    EXPECT_EQ(client.Socket()->State(), TClientWinSocket::TState::FailedAttempt);
    EXPECT_EQ(client.Socket()->SocketHandle(), -1);
    WaitUntil([] { return false; }, 50ms);
    EXPECT_EQ(answerer.Seen().size(), 1);
}

TEST(ClientSocket, FailedLookupShowsTheResolverErrorWithoutAFullStop) {
    DialogAnswerer answerer;
    FakeLookup lookup;
    TClientSocket client;
    client.SetHostLookup(lookup.Seam());
    client.SetHost(QStringLiteral("controller.invalid"));
    client.SetPort(502);
    client.Open();
    ASSERT_EQ(lookup.Requests().size(), 1u);
    EXPECT_EQ(lookup.Requests()[0].host, QStringLiteral("controller.invalid"));
    lookup.Fail(0);
    ASSERT_EQ(answerer.Seen().size(), 1);
    EXPECT_EQ(answerer.Seen()[0].kind, QStringLiteral("error"));
    EXPECT_EQ(answerer.Seen()[0].text,
              QStringLiteral(
                  "Windows socket error: Name or service not known (-2), on API 'ASync Lookup'"));
    EXPECT_FALSE(client.Active());
    EXPECT_EQ(client.Socket()->State(), TClientWinSocket::TState::Closed);
    EXPECT_EQ(client.Socket()->SocketHandle(), -1);
}

TEST(ClientSocket, ErrorsFoundAtOnceGoToTheCaller) {
    DialogAnswerer answerer;
    TClientSocket client;
    client.SetPort(502);
    const int before = OpenDescriptors();
    EXPECT_EQ(RaisedBy([&] { client.Open(); }), QStringLiteral("No address specified"));
    EXPECT_EQ(OpenDescriptors(), before);

    client.SetHost(QStringLiteral("127.0.0.1"));
    rlimit saved{};
    ::getrlimit(RLIMIT_NOFILE, &saved);
    rlimit exhausted = saved;
    exhausted.rlim_cur = 0;  // no new descriptor can be had
    ::setrlimit(RLIMIT_NOFILE, &exhausted);
    const QString raised = RaisedBy([&] { client.Open(); });
    ::setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_EQ(raised, QStringLiteral("Can't create new socket"));

    EXPECT_FALSE(client.Active());
    EXPECT_TRUE(answerer.Seen().isEmpty());
}

TEST(ClientSocket, HostAndPortAreLockedOnlyWhileActive) {
    Listener listener;
    TClientSocket client;
    client.SetHost(QStringLiteral("127.0.0.1"));
    client.SetPort(listener.Port());
    client.Open();
    // Still looking up: not active, so a change is allowed; the running lookup is not disturbed.
    client.SetHost(QStringLiteral("127.0.0.2"));
    ASSERT_TRUE(WaitUntil([&] { return client.Active(); }));

    const QString locked = QStringLiteral("Can't change value while socket is active");
    EXPECT_EQ(RaisedBy([&] { client.SetHost(QStringLiteral("10.0.0.1")); }), locked);
    EXPECT_EQ(RaisedBy([&] { client.SetPort(listener.Port() + 1); }), locked);
    EXPECT_EQ(client.Host(), QStringLiteral("127.0.0.2"));
    EXPECT_EQ(client.Port(), listener.Port());
    client.SetHost(QStringLiteral("127.0.0.2"));  // the same value is no change
    EXPECT_TRUE(client.Active());

    client.SetActive(false);
    client.SetPort(70000);
    EXPECT_EQ(client.Port(), 70000);
}

TEST(ClientSocket, SendBufBeforeTheConnectionSendsNothing) {
    FakeLookup lookup;
    Listener listener;
    TClientSocket client;
    client.SetHostLookup(lookup.Seam());
    client.SetHost(QStringLiteral("controller.test"));
    client.SetPort(listener.Port());
    const char early[] = "early";
    EXPECT_EQ(client.Socket()->SendBuf(early, 5), 0);  // closed
    client.Open();
    EXPECT_EQ(client.Socket()->SendBuf(early, 5), 0);  // looking up
    lookup.Resolve(0, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(client.Socket()->State(), TClientWinSocket::TState::Connecting);
    EXPECT_EQ(client.Socket()->SendBuf(early, 5), 0);  // connecting
    ASSERT_TRUE(WaitUntil([&] { return client.Active(); }));
    ASSERT_TRUE(listener.Accept());
    EXPECT_EQ(client.Socket()->SendBuf("\x01\x03", 2), 2);
    EXPECT_EQ(listener.Receive(100, 200ms), QByteArray("\x01\x03", 2));
}

TEST(ClientSocket, EveryByteValuePassesUnchangedBothWays) {
    DialogAnswerer answerer;
    Listener listener;
    TClientSocket client;
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(static_cast<char>(b));

    QByteArray received;
    int emptyReads = 0;
    QObject::connect(&client, &TClientSocket::OnRead, [&](QObject* Sender, TCustomWinSocket* s) {
        EXPECT_EQ(Sender, &client);
        EXPECT_EQ(s, client.Socket());
        if (s->ReceiveLength() == 0)
            ++emptyReads;
        received += s->ReceiveText();
    });
    client.SetHost(QStringLiteral("127.0.0.1"));
    client.SetPort(listener.Port());
    client.Open();
    ASSERT_TRUE(WaitUntil([&] { return client.Active(); }));
    ASSERT_TRUE(listener.Accept());

    listener.Send(all.left(100));
    listener.Send(all.mid(100));
    ASSERT_TRUE(WaitUntil([&] { return received.size() >= all.size(); }));
    EXPECT_EQ(received, all);
    EXPECT_EQ(emptyReads, 0);
    EXPECT_EQ(client.Socket()->ReceiveLength(), 0);

    EXPECT_EQ(client.Socket()->SendBuf(all.constData(), all.size()), all.size());
    EXPECT_EQ(listener.Receive(all.size()), all);
    EXPECT_TRUE(answerer.Seen().isEmpty());
}

TEST(ClientSocket, RemoteCloseDeliversPendingDataThenEndsSilently) {
    DialogAnswerer answerer;
    Listener listener;
    TClientSocket client;
    QByteArray received;
    QObject::connect(&client, &TClientSocket::OnRead,
                     [&](QObject*, TCustomWinSocket* s) { received += s->ReceiveText(); });
    client.SetHost(QStringLiteral("127.0.0.1"));
    client.SetPort(listener.Port());
    client.Open();
    ASSERT_TRUE(WaitUntil([&] { return client.Active(); }));
    ASSERT_TRUE(listener.Accept());
    listener.Send("last words");
    listener.ClosePeer();
    ASSERT_TRUE(WaitUntil([&] { return !client.Active(); }));
    EXPECT_EQ(received, QByteArray("last words"));
    EXPECT_EQ(client.Socket()->SocketHandle(), -1);
    EXPECT_EQ(client.Socket()->State(), TClientWinSocket::TState::Closed);
    EXPECT_EQ(client.Socket()->SendBuf("x", 1), 0);
    EXPECT_TRUE(answerer.Seen().isEmpty());
}

TEST(ClientSocket, ResetIsReportedOnceAndTheNextSendEndsTheConnection) {
    DialogAnswerer answerer;
    Listener listener;
    TClientSocket client;
    int reads = 0;
    QObject::connect(&client, &TClientSocket::OnRead, [&] { ++reads; });
    client.SetHost(QStringLiteral("127.0.0.1"));
    client.SetPort(listener.Port());
    client.Open();
    ASSERT_TRUE(WaitUntil([&] { return client.Active(); }));
    ASSERT_TRUE(listener.Accept());
    listener.ResetPeer();
    ASSERT_TRUE(answerer.WaitForDialogs(1));
    EXPECT_EQ(answerer.Seen()[0].text, QStringLiteral("Asynchronous socket error 104."));
    WaitUntil([] { return false; }, 50ms);
    EXPECT_EQ(answerer.Seen().size(), 1);
    EXPECT_EQ(reads, 0);
    EXPECT_TRUE(client.Active());

    const QString raised = RaisedBy([&] { client.Socket()->SendBuf("x", 1); });
    EXPECT_TRUE(raised.startsWith(QStringLiteral("Windows socket error: ")))
        << raised.toStdString();
    EXPECT_TRUE(raised.endsWith(QStringLiteral(", on API 'send'"))) << raised.toStdString();
    EXPECT_FALSE(client.Active());
    EXPECT_EQ(client.Socket()->SocketHandle(), -1);
}

// Late results of an abandoned lookup: neither a failure nor a success touches the new attempt.
TEST(ClientSocket, ReopeningWhileLookingUpIgnoresTheEarlierLookup) {
    DialogAnswerer answerer;
    FakeLookup lookup;
    Listener listener;
    TClientSocket client;
    client.SetHostLookup(lookup.Seam());
    client.SetHost(QStringLiteral("controller.test"));
    client.SetPort(listener.Port());
    client.Open();
    const int afterFirst = OpenDescriptors();
    client.Open();
    client.Open();
    EXPECT_EQ(OpenDescriptors(), afterFirst);  // each earlier socket was released
    ASSERT_EQ(lookup.Requests().size(), 3u);

    lookup.Fail(0);
    lookup.Resolve(2, QStringLiteral("127.0.0.1"));
    ASSERT_TRUE(WaitUntil([&] { return client.Active(); }));
    lookup.Resolve(1, QStringLiteral("127.0.0.1"));
    lookup.Fail(1);
    WaitUntil([] { return false; }, 50ms);
    EXPECT_TRUE(client.Active());
    EXPECT_TRUE(answerer.Seen().isEmpty());
    ASSERT_TRUE(listener.Accept());
    EXPECT_FALSE(listener.HasPending());

    // Closing cancels a pending lookup in the same way.
    client.Close();
    client.Open();
    client.Close();
    lookup.Resolve(3, QStringLiteral("127.0.0.1"));
    WaitUntil([] { return false; }, 50ms);
    EXPECT_EQ(client.Socket()->State(), TClientWinSocket::TState::Closed);
    EXPECT_FALSE(listener.HasPending());
}

TEST(ClientSocket, ReopeningWhileConnectingIgnoresTheEarlierConnection) {
    DialogAnswerer answerer;
    FakeLookup lookup;
    Listener first;
    TClientSocket client;
    client.SetHostLookup(lookup.Seam());
    client.SetHost(QStringLiteral("controller.test"));
    client.SetPort(first.Port());
    client.Open();
    lookup.Resolve(0, QStringLiteral("127.0.0.1"));
    ASSERT_EQ(client.Socket()->State(), TClientWinSocket::TState::Connecting);

    // The first attempt's handshake completes in the kernel, but its socket is gone.
    client.SetPort(UnusedPort());
    client.Open();
    ASSERT_TRUE(first.Accept());
    EXPECT_TRUE(first.PeerEnded());
    EXPECT_FALSE(client.Active());
    EXPECT_EQ(client.Socket()->State(), TClientWinSocket::TState::LookingUp);

    lookup.Resolve(1, QStringLiteral("127.0.0.1"));
    ASSERT_TRUE(answerer.WaitForDialogs(1));
    EXPECT_EQ(answerer.Texts(), QStringList{QStringLiteral("Asynchronous socket error 111.")});
    EXPECT_FALSE(client.Active());
}

}  // namespace
