#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QSocketNotifier>
#include <QString>
#include <QtGlobal>

#include "app/Errors.h"
#include "link/HostLookup.h"

// The LAN link: one non-blocking IPv4 TCP client. Every network step is asynchronous; its result
// arrives as a notification on the user-interface thread, and every notification runs inside the
// handler guard, so an error raised there is shown in the default error box.

class ESocketError : public EQuorrin {
public:
    using EQuorrin::EQuorrin;

    // "Windows socket error: <description> (<number>), on API '<step>'"
    static ESocketError Api(int errorCode, const QString& description, const QString& api);
    // The same with the system's description of errno errorCode.
    static ESocketError Api(int errorCode, const QString& api);
    // "Asynchronous socket error <number>": a notification that carried an error.
    static ESocketError Async(int errorCode);
};

// A connected (or connecting) socket handle and the notifications on it: reading, sending and the
// read notification for the owner.
class TCustomWinSocket : public QObject {
    Q_OBJECT
public:
    explicit TCustomWinSocket(QObject* parent = nullptr);
    ~TCustomWinSocket() override;

    // The socket handle, -1 when there is none.
    int SocketHandle() const { return FSocket; }
    // The TCP connection is established.
    bool Connected() const { return FConnected; }

    // Bytes waiting on the connection; 0 when not connected.
    int ReceiveLength() const;
    // One receive of at most ReceiveLength() bytes, each byte unchanged. A failure other than
    // would-block closes the socket and raises ESocketError ('recv').
    QByteArray ReceiveText();
    // One send of Count bytes. Not connected: 0, nothing sent. Would-block: -1. Otherwise the count
    // the system accepted; a partial send is not completed later. Any other failure closes the
    // socket and raises ESocketError ('send').
    int SendBuf(const void* Buf, int Count);

    // Closes the socket; a failing close raises ESocketError ('closesocket') after the socket is
    // gone anyway.
    virtual void Close();

signals:
    // Data is waiting. The owner turns this into its OnRead.
    void ReadReady(TCustomWinSocket* Socket);

protected:
    void AdoptHandle(int handle);
    // Closes the handle without raising: for sockets that are being given up after an error.
    void ReleaseHandle() noexcept;
    // Which notifications the handle delivers.
    void Watch(bool readable, bool writable);
    void MarkConnected();

    // Writable: only asked for while a connection attempt runs.
    virtual void WriteNotified() {}

private:
    int DetachHandle() noexcept;
    void ReadNotified();
    void DeliverRead();

    int FSocket = -1;
    bool FConnected = false;
    // A notification reported an error on the established connection: reading stops (the socket
    // would stay readable for ever), the connection stays as it is until sent on or closed.
    bool FReadBroken = false;
    // Changes whenever the handle is given up, so that code resuming after a nested event loop can
    // tell whether it still looks at the same connection.
    quint64 FGeneration = 0;
    QSocketNotifier FReadNotifier{QSocketNotifier::Read};
    QSocketNotifier FWriteNotifier{QSocketNotifier::Write};
};

// The client's socket: name lookup, connection attempt, then the connection itself.
class TClientWinSocket : public TCustomWinSocket {
    Q_OBJECT
public:
    enum class TState { Closed, LookingUp, Connecting, Connected, FailedAttempt };

    explicit TClientWinSocket(QObject* parent = nullptr);

    TState State() const;

    // Starts a new attempt, abandoning any earlier one that has not connected, and returns at once.
    // Raises "Socket already open", "Can't create new socket" or "No address specified".
    void Open(const QString& Host, quint16 Port);
    // Cancels a pending lookup, abandons an attempt, closes a connection.
    void Close() override;

    // Replaces the name lookup (tests); an empty one restores the system's.
    void SetHostLookup(THostLookup Lookup);

protected:
    void WriteNotified() override;

private:
    void CancelLookup() noexcept;
    void LookupDone(quint64 attempt, const QHostInfo& Info);
    void Connect(quint32 address);

    THostLookup FLookup;
    // Alive while a lookup is pending; destroying it drops the lookup's result.
    QPointer<QObject> FLookupContext;
    quint64 FAttempt = 0;
    quint16 FPort = 0;
    bool FFailed = false;
};

// The LAN client component placed on the main window as Client.
class TClientSocket : public QObject {
    Q_OBJECT
public:
    explicit TClientSocket(QObject* AOwner = nullptr);
    ~TClientSocket() override;

    // Only the low 16 bits of Port are used: 70000 is port 4464, -1 is 65535.
    static quint16 EffectivePort(int Port) { return static_cast<quint16>(Port); }

    // Name or dotted IPv4 address. Raises "Can't change value while socket is active" when changed
    // while active.
    const QString& Host() const { return FHost; }
    void SetHost(const QString& Value);
    int Port() const { return FPort; }
    void SetPort(int Value);

    // True from the moment the connection is established until it is closed here, by a failing
    // send or receive, or by the remote side without an error.
    bool Active() const { return FSocket->Connected(); }
    void SetActive(bool Value);
    // While not active: starts a new attempt and returns before the connection exists.
    void Open();
    // Ends any attempt or connection.
    void Close();

    TClientWinSocket* Socket() const { return FSocket; }

    // Replaces the name lookup (tests).
    void SetHostLookup(THostLookup Lookup) { FSocket->SetHostLookup(std::move(Lookup)); }

signals:
    // Data is waiting on Socket. Sender is this component.
    void OnRead(QObject* Sender, TCustomWinSocket* Socket);

private:
    void CheckInactive() const;

    TClientWinSocket* FSocket;
    QString FHost;
    int FPort = 0;
};
