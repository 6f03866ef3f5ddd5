#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include "sim/FrameCollector.h"

class QSocketNotifier;
class QTcpServer;
class QTcpSocket;
class TSimulator;

// One side of the simulator that a master talks to. It cuts the incoming bytes into requests
// for the simulator and sends the replies the simulator queues, each at its time and in order.
class TSimLink : public QObject {
    Q_OBJECT
public:
    TSimLink(TSimulator& simulator, const QString& name);

    QString Name() const { return FName; }
    // Milliseconds on the link's own clock, for QueueAt.
    qint64 Now() const { return FClock.elapsed(); }
    void QueueAt(const QByteArray& bytes, qint64 due);
    // Replies leave no faster than a serial line at this rate would carry them (10 bits a byte,
    // 11 with parity), whole when their last byte would have arrived or, with chunkMs, in the
    // pieces a USB adapter hands over every chunkMs. A rate of 0 sends every reply at once.
    void SetPacing(int baudRate, bool parity, int chunkMs);
    // When the last queued bytes are due; earlier than Now() when nothing waits.
    qint64 LastDue() const { return FLastDue; }
    // A reply is still waiting to be sent.
    bool Busy() const { return !FQueue.isEmpty(); }

    // A reply kept back to go out together with the next one.
    void Hold(const QByteArray& reply) { FHeld = reply; }
    bool Holding() const { return !FHeld.isEmpty(); }
    QByteArray TakeHeld();

protected:
    void Received(const QByteArray& bytes);
    // The master has gone: half a request, a held reply and replies still queued belong to it.
    void Reset();
    virtual void Write(const QByteArray& bytes) = 0;

private:
    struct TPending {
        qint64 Due;
        QByteArray Bytes;
    };

    void QuietLine();
    // The pieces a reply due then leaves in, each with its own time.
    QList<TPending> Paced(const QByteArray& bytes, qint64 due);
    void SendDue();

    TSimulator& FSimulator;
    QString FName;
    TFrameCollector FCollector;
    QTimer FGapTimer;
    QTimer FSendTimer;
    QElapsedTimer FClock;
    QList<TPending> FQueue;
    QByteArray FHeld;
    qint64 FLastDue = -1;
    int FBaudRate = 0;
    int FBitsPerByte = 10;
    int FChunkMs = 0;
    double FLineFree = 0;  // when the line has carried the last reply queued, in ms
};

// RTU frames inside a TCP stream on the loopback interface; one client at a time.
class TTcpLink : public TSimLink {
    Q_OBJECT
public:
    explicit TTcpLink(TSimulator& simulator);
    bool Listen(quint16 port, QString* error);
    quint16 Port() const;

protected:
    void Write(const QByteArray& bytes) override;

private:
    void Accept();

    QTcpServer* FServer;
    QTcpSocket* FClient = nullptr;
};

// A pseudo-terminal: the master opens the printed device path as its serial port.
class TPtyLink : public TSimLink {
    Q_OBJECT
public:
    explicit TPtyLink(TSimulator& simulator);
    ~TPtyLink() override;
    bool Open(QString* error);
    QString Path() const { return FPath; }

protected:
    void Write(const QByteArray& bytes) override;

private:
    void ReadMaster();
    void Flush();

    int FMaster = -1;
    int FSlave = -1;
    QString FPath;
    QSocketNotifier* FReadNotifier = nullptr;
    QSocketNotifier* FWriteNotifier = nullptr;
    QByteArray FOut;
};
