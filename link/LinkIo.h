#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QObject>
#include <QString>
#include <exception>
#include <functional>
#include <memory>

#include "link/ComSettings.h"

class TComPort;
class TClientSocket;

// A link driven request by request, without a window: open it, send a frame, take what has
// arrived, wait for more. One small set of operations over the serial port and the LAN client,
// so that the transaction engine never asks which one it drives.
class TLinkIo : public QObject {
    Q_OBJECT
public:
    ~TLinkIo() override;

    // Returns once the link can carry frames; raises the link's own error when it cannot.
    virtual void Open(QDeadlineTimer deadline) = 0;
    virtual void Close() = 0;
    // Sends the whole frame or raises.
    virtual void Send(const QByteArray& frame) = 0;
    // The link as a log or trace names it: "serial /dev/ttyUSB0 38400 8E1", "lan 10.0.0.5:502".
    virtual QString Describe() const = 0;
    // Bits per second on the line; 0 when the link has no line speed of its own (LAN).
    virtual int LineSpeed() const { return 0; }
    // Bits a byte takes on the line: start, 8 data, parity, stop.
    virtual int BitsPerByte() const { return 10; }

    // Every byte that has arrived and not been taken yet.
    QByteArray Take();
    // Waits until bytes are waiting or the deadline has passed; true when bytes are waiting.
    // Raises an error a notification of the link reported meanwhile (see Fail).
    bool WaitForBytes(QDeadlineTimer deadline);
    // An error escaped a notification of this link: the next wait raises it.
    void Fail(std::exception_ptr error);

protected:
    void Arrived(const QByteArray& bytes);
    void RaisePendingError();
    // Runs the event loop until ready() holds, an error is reported or the deadline passes;
    // with poll, ready() is also looked at every few milliseconds, for progress nothing reports.
    bool WaitUntil(const std::function<bool()>& ready, QDeadlineTimer deadline, bool poll = false);

signals:
    // Bytes arrived or an error was reported: a wait looks again.
    void Wake();

private:
    QByteArray FReceived;
    std::exception_ptr FError;
};

// The serial port: a COM name mapped as the window maps it ("COM3") or "COM" and a device path.
class TSerialLinkIo : public TLinkIo {
    Q_OBJECT
public:
    TSerialLinkIo(const QString& port, int baudRate, TParityBits parity);
    ~TSerialLinkIo() override;

    void Open(QDeadlineTimer deadline) override;
    void Close() override;
    void Send(const QByteArray& frame) override;
    QString Describe() const override;
    int LineSpeed() const override;
    int BitsPerByte() const override;

private:
    std::unique_ptr<TComPort> FPort;
};

// RTU frames over a plain TCP stream, as the window's LAN link sends them.
class TLanLinkIo : public TLinkIo {
    Q_OBJECT
public:
    TLanLinkIo(const QString& host, int port);
    ~TLanLinkIo() override;

    void Open(QDeadlineTimer deadline) override;
    void Close() override;
    void Send(const QByteArray& frame) override;
    QString Describe() const override;

private:
    std::unique_ptr<TClientSocket> FClient;
};
