#include "link/ClientSocket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>

#include <QHostAddress>
#include <QMetaObject>


ESocketError ESocketError::Api(int errorCode, const QString& description, const QString& api) {
    // One multi-argument arg(): a description that itself contains "%1" stays as it is.
    return ESocketError(QStringLiteral("Windows socket error: %1 (%2), on API '%3'")
                            .arg(description, QString::number(errorCode), api));
}

ESocketError ESocketError::Api(int errorCode, const QString& api) {
    return Api(errorCode, SystemErrorText(errorCode), api);
}

ESocketError ESocketError::Async(int errorCode) {
    return ESocketError(QStringLiteral("Asynchronous socket error %1").arg(errorCode));
}

namespace {

bool WouldBlock(int error) {
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}

}  // namespace

// ---- TCustomWinSocket ----------------------------------------------------------------------

TCustomWinSocket::TCustomWinSocket(QObject* parent) : QObject(parent) {
    // The notifiers live as long as this object and are pointed at each new handle, never deleted
    // while one of their own notifications might still be on the stack.
    connect(&FReadNotifier, &QSocketNotifier::activated, this,
            [this] { Guard([this] { ReadNotified(); }); });
    connect(&FWriteNotifier, &QSocketNotifier::activated, this,
            [this] { Guard([this] { WriteNotified(); }); });
}

TCustomWinSocket::~TCustomWinSocket() {
    ReleaseHandle();
}

void TCustomWinSocket::AdoptHandle(int handle) {
    ReleaseHandle();
    FSocket = handle;
    FReadBroken = false;
    ++FGeneration;
    FReadNotifier.setSocket(handle);
    FWriteNotifier.setSocket(handle);
}

int TCustomWinSocket::DetachHandle() noexcept {
    // Notifiers first: a descriptor must not be watched once it is closed (its number is reused by
    // the next socket).
    FReadNotifier.setEnabled(false);
    FWriteNotifier.setEnabled(false);
    const int handle = FSocket;
    FSocket = -1;
    FConnected = false;
    ++FGeneration;
    return handle;
}

void TCustomWinSocket::ReleaseHandle() noexcept {
    const int handle = DetachHandle();
    if (handle >= 0)
        ::close(handle);
}

void TCustomWinSocket::Close() {
    const int handle = DetachHandle();
    // Linux closes the descriptor even when close() reports EINTR; only other errors count.
    if (handle >= 0 && ::close(handle) != 0 && errno != EINTR)
        throw ESocketError::Api(errno, QStringLiteral("closesocket"));
}

void TCustomWinSocket::Watch(bool readable, bool writable) {
    FReadNotifier.setEnabled(readable && FSocket >= 0);
    FWriteNotifier.setEnabled(writable && FSocket >= 0);
}

void TCustomWinSocket::MarkConnected() {
    FConnected = true;
    // Send space has no use here: sends are never completed later.
    Watch(true, false);
}

int TCustomWinSocket::ReceiveLength() const {
    if (!FConnected)
        return 0;
    int waiting = 0;
    if (::ioctl(FSocket, FIONREAD, &waiting) != 0)
        return 0;
    return waiting;
}

QByteArray TCustomWinSocket::ReceiveText() {
    const int length = ReceiveLength();
    if (length <= 0)
        return {};
    QByteArray text(length, Qt::Uninitialized);
    const ssize_t received = ::recv(FSocket, text.data(), static_cast<size_t>(length), 0);
    if (received >= 0) {
        text.truncate(static_cast<qsizetype>(received));
        return text;
    }
    const int error = errno;
    if (WouldBlock(error))
        return {};
    ReleaseHandle();
    throw ESocketError::Api(error, QStringLiteral("recv"));
}

int TCustomWinSocket::SendBuf(const void* Buf, int Count) {
    if (!FConnected || Count <= 0)
        return 0;
    // MSG_NOSIGNAL: a connection the peer has dropped must give an error here, not SIGPIPE.
    const ssize_t sent = ::send(FSocket, Buf, static_cast<size_t>(Count), MSG_NOSIGNAL);
    if (sent >= 0)
        return static_cast<int>(sent);
    const int error = errno;
    if (WouldBlock(error))
        return -1;
    ReleaseHandle();
    throw ESocketError::Api(error, QStringLiteral("send"));
}

void TCustomWinSocket::ReadNotified() {
    if (!FConnected || FReadBroken)
        return;
    // Peek first: data that arrived before a close or a reset is delivered before either.
    char probe;
    const ssize_t peeked = ::recv(FSocket, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
    if (peeked > 0) {
        DeliverRead();
        return;
    }
    if (peeked == 0) {
        // The remote side ended the connection normally: nobody is told.
        ReleaseHandle();
        return;
    }
    const int error = errno;
    if (WouldBlock(error))
        return;
    // A reset or a failed read. The connection is left as it is (a send or a close ends it), but
    // reading stops, or the broken socket would notify again at once, for ever.
    FReadBroken = true;
    FReadNotifier.setEnabled(false);
    throw ESocketError::Async(error);
}

void TCustomWinSocket::DeliverRead() {
    // The handler may open a modal dialog whose event loop keeps notifications running; holding
    // back further read notifications until it returns keeps it from being entered again for the
    // same bytes.
    const QPointer<TCustomWinSocket> self(this);
    const quint64 generation = FGeneration;
    FReadNotifier.setEnabled(false);
    struct Resume {
        const QPointer<TCustomWinSocket>& self;
        quint64 generation;
        ~Resume() {
            if (self && self->FGeneration == generation && self->FConnected && !self->FReadBroken)
                self->FReadNotifier.setEnabled(true);
        }
    } resume{self, generation};
    emit ReadReady(this);
}

// ---- TClientWinSocket ----------------------------------------------------------------------

TClientWinSocket::TClientWinSocket(QObject* parent)
    : TCustomWinSocket(parent), FLookup(SystemHostLookup()) {}

TClientWinSocket::TState TClientWinSocket::State() const {
    if (Connected())
        return TState::Connected;
    if (FLookupContext)
        return TState::LookingUp;
    if (SocketHandle() >= 0)
        return TState::Connecting;
    return FFailed ? TState::FailedAttempt : TState::Closed;
}

void TClientWinSocket::SetHostLookup(THostLookup Lookup) {
    FLookup = Lookup ? std::move(Lookup) : SystemHostLookup();
}

void TClientWinSocket::CancelLookup() noexcept {
    if (FLookupContext) {
        // Later: the lookup's own result may be what is being handled right now.
        FLookupContext->deleteLater();
        FLookupContext = nullptr;
    }
}

void TClientWinSocket::Open(const QString& Host, quint16 Port) {
    if (Connected())
        throw ESocketError(QStringLiteral("Socket already open"));
    // An earlier attempt that is still looking up, connecting or has failed is given up, with its
    // socket; the attempt counter makes sure none of its late results is taken for this one.
    CancelLookup();
    ReleaseHandle();
    FFailed = false;
    ++FAttempt;

    const int handle = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (handle < 0)
        throw ESocketError(QStringLiteral("Can't create new socket"));
    AdoptHandle(handle);
    if (Host.isEmpty()) {
        ReleaseHandle();
        throw ESocketError(QStringLiteral("No address specified"));
    }

    FPort = Port;
    const quint64 attempt = FAttempt;
    FLookupContext = new QObject(this);
    TLookupDone done = [this, attempt](const QHostInfo& Info) {
        Guard([&] { LookupDone(attempt, Info); });
    };
    // A numeric address never goes to the resolver: for a dotted quad it asks the name server for
    // the reverse name first, and an unreachable one stalls the connection for seconds. The
    // result still arrives later, as a lookup's would.
    if (const std::optional<quint32> quad = DottedQuad(Host)) {
        QHostInfo info;
        info.setHostName(Host);
        info.setAddresses({QHostAddress(*quad)});
        QMetaObject::invokeMethod(
            FLookupContext, [done = std::move(done), info] { done(info); }, Qt::QueuedConnection);
        return;
    }
    FLookup(Host, FLookupContext, std::move(done));
}

void TClientWinSocket::Close() {
    CancelLookup();
    FFailed = false;
    ++FAttempt;
    TCustomWinSocket::Close();
}

void TClientWinSocket::LookupDone(quint64 attempt, const QHostInfo& Info) {
    if (attempt != FAttempt || !FLookupContext)
        return;
    CancelLookup();
    const std::optional<quint32> address = FirstIPv4Address(Info);
    if (!address) {
        ReleaseHandle();
        const TLookupFailure failure = LookupFailureOf(Info);
        throw ESocketError::Api(failure.Code, failure.Text, QStringLiteral("ASync Lookup"));
    }
    Connect(*address);
}

void TClientWinSocket::Connect(quint32 address) {
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(FPort);
    peer.sin_addr.s_addr = htonl(address);
    // The outcome (success or error) shows as writability; reading is watched once connected.
    Watch(false, true);
    if (::connect(SocketHandle(), reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == 0)
        return;
    const int error = errno;
    if (error == EINPROGRESS || error == EINTR)
        return;
    ReleaseHandle();
    FFailed = true;
    throw ESocketError::Api(error, QStringLiteral("connect"));
}

void TClientWinSocket::WriteNotified() {
    if (Connected() || SocketHandle() < 0 || FLookupContext) {
        Watch(Connected(), false);
        return;
    }
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(SocketHandle(), SOL_SOCKET, SO_ERROR, &error, &size) != 0)
        error = errno;
    if (error != 0) {
        ReleaseHandle();
        FFailed = true;
        throw ESocketError::Async(error);
    }
    // A readiness left over from a descriptor number's previous socket must not pass for a
    // completed connection.
    sockaddr_in peer{};
    socklen_t peerSize = sizeof peer;
    if (::getpeername(SocketHandle(), reinterpret_cast<sockaddr*>(&peer), &peerSize) != 0) {
        // Writable, no pending error and yet no peer: the attempt failed in a way the socket
        // does not report. Ending it here also stops a still-writable socket from notifying
        // for ever.
        const int failure = errno;
        ReleaseHandle();
        FFailed = true;
        throw ESocketError::Async(failure);
    }
    MarkConnected();
}

// ---- TClientSocket -------------------------------------------------------------------------

TClientSocket::TClientSocket(QObject* AOwner)
    : QObject(AOwner), FSocket(new TClientWinSocket(this)) {
    connect(FSocket, &TCustomWinSocket::ReadReady, this,
            [this](TCustomWinSocket* Socket) { emit OnRead(this, Socket); });
}

// The inner socket is a child: destroying the component closes its connection.
TClientSocket::~TClientSocket() = default;

void TClientSocket::CheckInactive() const {
    if (Active())
        throw ESocketError(QStringLiteral("Can't change value while socket is active"));
}

void TClientSocket::SetHost(const QString& Value) {
    if (Value == FHost)
        return;
    CheckInactive();
    FHost = Value;
}

void TClientSocket::SetPort(int Value) {
    if (Value == FPort)
        return;
    CheckInactive();
    FPort = Value;
}

void TClientSocket::SetActive(bool Value) {
    if (Value)
        Open();
    else
        Close();
}

void TClientSocket::Open() {
    if (Active())
        return;
    FSocket->Open(FHost, EffectivePort(FPort));
}

void TClientSocket::Close() {
    FSocket->Close();
}
