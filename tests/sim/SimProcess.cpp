#include "sim/SimProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QHostAddress>
#include <cerrno>

#include "protocol/CRC16.h"

TSimProcess::TSimProcess(const QStringList& options) {
    FProcess.start(QStringLiteral(QUORRIN_SIM_PATH), options);
    if (!FProcess.waitForStarted(5000))
        return;
    if (!WaitForLine(QStringLiteral("READY")))
        return;
    for (const QString& line : FLines) {
        if (line.startsWith(QStringLiteral("LISTEN tcp 127.0.0.1:")))
            FPort = quint16(line.section(u':', -1).toUInt());
        if (line.startsWith(QStringLiteral("PTY ")))
            FPtyPath = line.mid(4);
    }
    FStarted = true;
}

TSimProcess::~TSimProcess() {
    if (FProcess.state() != QProcess::NotRunning) {
        FProcess.kill();
        FProcess.waitForFinished(5000);
    }
}

void TSimProcess::ReadOutput(int waitMs) {
    if (FProcess.bytesAvailable() == 0)
        FProcess.waitForReadyRead(waitMs);
    FPartial += FProcess.readAllStandardOutput();
    qsizetype end;
    while ((end = FPartial.indexOf('\n')) >= 0) {
        FLines.append(QString::fromUtf8(FPartial.left(end)));
        FPartial.remove(0, end + 1);
    }
}

bool TSimProcess::WaitForLine(const QString& text, std::chrono::milliseconds deadline) {
    QDeadlineTimer timer(deadline);
    for (;;) {
        if (CountLines(text) > 0)
            return true;
        if (timer.hasExpired() || FProcess.state() == QProcess::NotRunning) {
            ReadOutput(0);
            return CountLines(text) > 0;
        }
        ReadOutput(20);
    }
}

int TSimProcess::CountLines(const QString& text) const {
    int n = 0;
    for (const QString& line : FLines)
        n += line.contains(text) ? 1 : 0;
    return n;
}

void TSimProcess::Signal(int signal) {
    // A simulator that has ended by itself has no process id any more, and kill() with 0 would
    // signal the whole process group: the test, and whatever started it.
    const qint64 pid = FProcess.processId();
    if (FProcess.state() == QProcess::NotRunning || pid <= 0)
        return;
    ::kill(pid_t(pid), signal);
}

int TSimProcess::Stop(int signal) {
    Signal(signal);
    return WaitForExit();
}

int TSimProcess::WaitForExit() {
    QDeadlineTimer timer(std::chrono::seconds(5));
    while (FProcess.state() != QProcess::NotRunning && !timer.hasExpired())
        ReadOutput(20);
    ReadOutput(0);
    if (FProcess.state() != QProcess::NotRunning || FProcess.exitStatus() != QProcess::NormalExit)
        return -1;
    return FProcess.exitCode();
}

QByteArray TSimClient::Receive(int count, std::chrono::milliseconds deadline) {
    QByteArray result;
    QDeadlineTimer timer(deadline);
    while (result.size() < count && !timer.hasExpired())
        ReadSome(result, 10);
    return result;
}

QByteArray TSimClient::Transact(const QByteArray& request, int replyLength) {
    Send(request);
    return Receive(replyLength);
}

TTcpClient::TTcpClient(quint16 port) {
    // A literal loopback address: no name lookup.
    FSocket.connectToHost(QHostAddress(QHostAddress::LocalHost), port);
    FSocket.waitForConnected(3000);
}

bool TTcpClient::WaitForClose(std::chrono::milliseconds deadline) {
    QDeadlineTimer timer(deadline);
    while (FSocket.state() != QAbstractSocket::UnconnectedState && !timer.hasExpired())
        FSocket.waitForReadyRead(10);
    return FSocket.state() == QAbstractSocket::UnconnectedState;
}

void TTcpClient::Send(const QByteArray& bytes) {
    FSocket.write(bytes);
    FSocket.waitForBytesWritten(1000);
}

void TTcpClient::ReadSome(QByteArray& into, int waitMs) {
    if (FSocket.bytesAvailable() == 0)
        FSocket.waitForReadyRead(waitMs);
    into += FSocket.readAll();
}

TPtyClient::TPtyClient(const QString& path) {
    FFd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (FFd < 0)
        return;
    termios raw{};
    ::tcgetattr(FFd, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(FFd, TCSANOW, &raw);
}

TPtyClient::~TPtyClient() {
    if (FFd >= 0)
        ::close(FFd);
}

void TPtyClient::Send(const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(FFd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0)
            done += n;
        else if (n < 0 && errno != EAGAIN && errno != EINTR)
            return;
    }
}

void TPtyClient::ReadSome(QByteArray& into, int waitMs) {
    pollfd p{FFd, POLLIN, 0};
    if (::poll(&p, 1, waitMs) <= 0)
        return;
    char buffer[4096];
    const ssize_t n = ::read(FFd, buffer, sizeof buffer);
    if (n > 0)
        into.append(buffer, n);
}

std::unique_ptr<TSimClient> ConnectClient(const QString& link, const TSimProcess& sim) {
    if (link == QStringLiteral("pty"))
        return std::make_unique<TPtyClient>(sim.PtyPath());
    return std::make_unique<TTcpClient>(sim.Port());
}

QByteArray Frame(std::initializer_list<int> bytes) {
    QByteArray frame;
    for (const int b : bytes)
        frame.append(char(b));
    return Frame(frame);
}

QByteArray Frame(const QByteArray& bytes) {
    const quint8 n = quint8(bytes.size());
    const quint8 low = CRC16Low(AsBytes(bytes), n);
    const quint8 high = CRC16High(AsBytes(bytes), n);
    return bytes + char(low) + char(high);
}

QByteArray DefaultBytes(int offset, int count) {
    QByteArray bytes;
    for (int k = offset; k < offset + count; ++k)
        bytes.append(char(k % 251));
    return bytes;
}
