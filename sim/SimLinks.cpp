#include "sim/SimLinks.h"

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QHostAddress>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "sim/RegisterMap.h"
#include "sim/Simulator.h"

namespace {

// Silence that ends a frame whose length cannot be told from its function code. The master's
// own receive window is far longer, so a reply to such a frame still reaches it in time.
constexpr int kGapMs = 20;

}  // namespace

TSimLink::TSimLink(TSimulator& simulator, const QString& name)
    : FSimulator(simulator), FName(name) {
    FClock.start();
    FGapTimer.setSingleShot(true);
    FGapTimer.setInterval(kGapMs);
    FSendTimer.setSingleShot(true);
    FSendTimer.setTimerType(Qt::PreciseTimer);
    connect(&FGapTimer, &QTimer::timeout, this, &TSimLink::QuietLine);
    connect(&FSendTimer, &QTimer::timeout, this, &TSimLink::SendDue);
}

void TSimLink::SetPacing(int baudRate, bool parity, int chunkMs) {
    FBaudRate = baudRate;
    FBitsPerByte = parity ? 11 : 10;
    FChunkMs = chunkMs;
}

void TSimLink::QueueAt(const QByteArray& bytes, qint64 due) {
    for (const TPending& piece : Paced(bytes, due)) {
        FQueue.append(piece);
        FLastDue = qMax(FLastDue, piece.Due);
    }
    SendDue();
}

QList<TSimLink::TPending> TSimLink::Paced(const QByteArray& bytes, qint64 due) {
    if (FBaudRate <= 0 || bytes.isEmpty())
        return {{due, bytes}};
    // One byte after the other: a reply starts when the one before it has left the line.
    const double msPerByte = 1000.0 * FBitsPerByte / FBaudRate;
    const double start = qMax(double(due), FLineFree);
    const double end = start + msPerByte * double(bytes.size());
    FLineFree = end;
    QList<TPending> pieces;
    qsizetype sent = 0;
    for (double at = FChunkMs > 0 ? start + FChunkMs : end; sent < bytes.size(); at += FChunkMs) {
        at = qMin(at, end);
        const qsizetype carried =
            at >= end ? bytes.size() : qMin(bytes.size(), qsizetype((at - start) / msPerByte));
        if (carried > sent) {
            pieces.append({qint64(std::ceil(at)), bytes.mid(sent, carried - sent)});
            sent = carried;
        }
    }
    return pieces;
}

QByteArray TSimLink::TakeHeld() {
    QByteArray held;
    held.swap(FHeld);
    return held;
}

void TSimLink::Received(const QByteArray& bytes) {
    const QList<QByteArray> frames = FCollector.Append(bytes);
    for (const QByteArray& frame : frames)
        FSimulator.HandleFrame(*this, frame);
    if (FCollector.Empty())
        FGapTimer.stop();
    else
        FGapTimer.start();
}

void TSimLink::QuietLine() {
    if (!FCollector.Empty())
        FSimulator.HandleFrame(*this, FCollector.TakeRest());
}

void TSimLink::SendDue() {
    // Replies leave in the order they were queued, even when a later one is due earlier.
    while (!FQueue.isEmpty() && FQueue.first().Due <= Now()) {
        const QByteArray bytes = FQueue.takeFirst().Bytes;
        TSimulator::Log(FName, QStringLiteral("TX ") + HexBytes(bytes));
        Write(bytes);
    }
    if (!FQueue.isEmpty())
        FSendTimer.start(int(FQueue.first().Due - Now()));
}

void TSimLink::Reset() {
    FCollector.Clear();
    FGapTimer.stop();
    FSendTimer.stop();
    FQueue.clear();
    FHeld.clear();
    FLastDue = -1;
    FLineFree = 0;
}

TTcpLink::TTcpLink(TSimulator& simulator)
    : TSimLink(simulator, QStringLiteral("tcp")), FServer(new QTcpServer(this)) {
    connect(FServer, &QTcpServer::newConnection, this, &TTcpLink::Accept);
}

bool TTcpLink::Listen(quint16 port, QString* error) {
    if (FServer->listen(QHostAddress::LocalHost, port))
        return true;
    *error =
        QStringLiteral("cannot listen on 127.0.0.1:%1: %2").arg(port).arg(FServer->errorString());
    return false;
}

quint16 TTcpLink::Port() const {
    return FServer->serverPort();
}

void TTcpLink::Accept() {
    while (QTcpSocket* socket = FServer->nextPendingConnection()) {
        const QString peer =
            QStringLiteral("%1:%2").arg(socket->peerAddress().toString()).arg(socket->peerPort());
        if (FClient) {
            // One master at a time, as on a serial line; a second one learns it at once.
            TSimulator::Log(Name(),
                            QStringLiteral("-- refused %1: a client is connected").arg(peer));
            socket->abort();
            socket->deleteLater();
            continue;
        }
        FClient = socket;
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        TSimulator::Log(Name(), QStringLiteral("-- client %1 connected").arg(peer));
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
            if (socket == FClient)
                Received(socket->readAll());
        });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket, peer] {
            if (socket != FClient)
                return;
            TSimulator::Log(Name(), QStringLiteral("-- client %1 disconnected").arg(peer));
            FClient = nullptr;
            Reset();
            socket->deleteLater();
        });
    }
}

void TTcpLink::Write(const QByteArray& bytes) {
    if (FClient)
        FClient->write(bytes);
}

TPtyLink::TPtyLink(TSimulator& simulator) : TSimLink(simulator, QStringLiteral("pty")) {}

TPtyLink::~TPtyLink() {
    if (FSlave >= 0)
        ::close(FSlave);
    if (FMaster >= 0)
        ::close(FMaster);
}

bool TPtyLink::Open(QString* error) {
    char name[256] = {};
    // Raw from the start, so that a client that sets nothing still gets every byte unchanged.
    termios raw{};
    ::cfmakeraw(&raw);
    if (::openpty(&FMaster, &FSlave, name, &raw, nullptr) != 0) {
        *error = QStringLiteral("cannot create a pseudo-terminal: %1").arg(std::strerror(errno));
        return false;
    }
    // The simulator keeps the device side open too: otherwise the pty hangs up whenever the
    // master program closes its port, and reading it would fail until the port is reopened.
    ::fcntl(FMaster, F_SETFL, ::fcntl(FMaster, F_GETFL) | O_NONBLOCK);
    ::fcntl(FMaster, F_SETFD, FD_CLOEXEC);
    ::fcntl(FSlave, F_SETFD, FD_CLOEXEC);
    FPath = QString::fromLocal8Bit(name);
    FReadNotifier = new QSocketNotifier(FMaster, QSocketNotifier::Read, this);
    connect(FReadNotifier, &QSocketNotifier::activated, this, &TPtyLink::ReadMaster);
    FWriteNotifier = new QSocketNotifier(FMaster, QSocketNotifier::Write, this);
    FWriteNotifier->setEnabled(false);
    connect(FWriteNotifier, &QSocketNotifier::activated, this, &TPtyLink::Flush);
    return true;
}

void TPtyLink::ReadMaster() {
    QByteArray bytes;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(FMaster, buffer, sizeof buffer);
        if (n > 0) {
            bytes.append(buffer, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN) {
            TSimulator::Log(Name(), QStringLiteral("-- read failed: %1").arg(std::strerror(errno)));
            FReadNotifier->setEnabled(false);
        }
        break;
    }
    if (!bytes.isEmpty())
        Received(bytes);
}

void TPtyLink::Write(const QByteArray& bytes) {
    FOut.append(bytes);
    Flush();
}

void TPtyLink::Flush() {
    while (!FOut.isEmpty()) {
        const ssize_t n = ::write(FMaster, FOut.constData(), size_t(FOut.size()));
        if (n > 0) {
            FOut.remove(0, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN) {
            TSimulator::Log(Name(),
                            QStringLiteral("-- write failed: %1").arg(std::strerror(errno)));
            FOut.clear();
        }
        break;
    }
    // Nobody reading the device side fills its queue; the rest goes when there is room.
    FWriteNotifier->setEnabled(!FOut.isEmpty());
}
