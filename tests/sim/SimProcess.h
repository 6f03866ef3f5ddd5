#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTcpSocket>
#include <chrono>
#include <initializer_list>
#include <memory>

// The built simulator as a child process, started with the given options; the constructor
// returns once it has printed READY (Started() tells whether it did).
class TSimProcess {
public:
    explicit TSimProcess(const QStringList& options);
    ~TSimProcess();

    bool Started() const { return FStarted; }
    quint16 Port() const { return FPort; }
    QString PtyPath() const { return FPtyPath; }
    QStringList Lines() const { return FLines; }
    QString ErrorOutput() { return QString::fromUtf8(FProcess.readAllStandardError()); }

    // Reads output until a line containing the text has appeared (counting lines already read).
    bool WaitForLine(const QString& text,
                     std::chrono::milliseconds deadline = std::chrono::seconds(5));
    // Lines containing the text.
    int CountLines(const QString& text) const;
    // Sends the signal and waits for the exit; the exit code, or -1 for a crash or no exit.
    int Stop(int signal);
    // The exit code of a process that ends by itself, or -1.
    int WaitForExit();
    void Signal(int signal);

private:
    void ReadOutput(int waitMs);

    QProcess FProcess;
    QStringList FLines;
    QByteArray FPartial;
    bool FStarted = false;
    quint16 FPort = 0;
    QString FPtyPath;
};

// A plain master on one of the simulator's links.
class TSimClient {
public:
    virtual ~TSimClient() = default;
    virtual void Send(const QByteArray& bytes) = 0;
    // Bytes received until at least count have arrived or the deadline has passed.
    QByteArray Receive(int count, std::chrono::milliseconds deadline = std::chrono::seconds(3));
    // Sends a request and returns what came back, waiting for the expected length.
    QByteArray Transact(const QByteArray& request, int replyLength);

protected:
    // Appends what arrives within waitMs.
    virtual void ReadSome(QByteArray& into, int waitMs) = 0;
};

class TTcpClient : public TSimClient {
public:
    explicit TTcpClient(quint16 port);
    bool Connected() const { return FSocket.state() == QAbstractSocket::ConnectedState; }
    // True when the simulator closes the connection within the deadline.
    bool WaitForClose(std::chrono::milliseconds deadline = std::chrono::seconds(3));
    void Send(const QByteArray& bytes) override;

protected:
    void ReadSome(QByteArray& into, int waitMs) override;

private:
    QTcpSocket FSocket;
};

class TPtyClient : public TSimClient {
public:
    explicit TPtyClient(const QString& path);
    ~TPtyClient() override;
    bool Opened() const { return FFd >= 0; }
    void Send(const QByteArray& bytes) override;

protected:
    void ReadSome(QByteArray& into, int waitMs) override;

private:
    int FFd = -1;
};

std::unique_ptr<TSimClient> ConnectClient(const QString& link, const TSimProcess& sim);

// Bytes with their Modbus CRC appended.
QByteArray Frame(std::initializer_list<int> bytes);
QByteArray Frame(const QByteArray& bytes);
// The simulator's fresh memory: byte k holds k mod 251.
QByteArray DefaultBytes(int offset, int count);
