#pragma once

#include <QObject>
#include <QString>
#include <memory>

#include "link/ComPortError.h"
#include "link/ComSettings.h"

class TComWatcher;

// The serial port: a device opened by name for exclusive use, with the program's line settings
// (8 data bits, 1 stop bit, the chosen parity generated but never checked, no flow control, DTR
// and RTS inactive, every byte passed through untouched). While it is open a watcher thread waits
// for received bytes and raises OnRxChar on the user-interface thread, one event at a time: the
// watcher waits again only after the handler has returned.
//
// Everything here is called on the user-interface thread. Settings changed while the port is open
// take effect at the next open.
class TCustomComPort : public QObject {
    Q_OBJECT
public:
    explicit TCustomComPort(QObject* owner = nullptr);
    // Closes the port if it is open, without raising further events.
    ~TCustomComPort() override;

    QString Port() const { return FPort; }
    void SetPort(const QString& value) { FPort = value; }
    int BaudRate() const { return FBaudRate; }
    void SetBaudRate(int value) { FBaudRate = value; }
    TComParity& Parity() { return FParity; }
    const TComParity& Parity() const { return FParity; }
    TComBuffer& Buffer() { return FBuffer; }
    const TComBuffer& Buffer() const { return FBuffer; }
    TComTimeouts& Timeouts() { return FTimeouts; }
    const TComTimeouts& Timeouts() const { return FTimeouts; }

    bool Connected() const { return FConnected; }
    // true opens, false closes; setting the current value does nothing.
    void SetConnected(bool value);

    // Raise EComPort on failure. A failed open leaves the port closed; a failed close leaves it
    // open.
    void Open();
    void Close();

    // The number of received bytes waiting to be read.
    int InputCount();
    // Reads up to count waiting bytes without waiting for more; str gets one character per byte,
    // with the byte's value as its code. Returns the number of bytes read.
    int ReadStr(QString& str, int count);
    // Sends count bytes and returns how many the device took before the write timeout ran out.
    int Write(const void* buffer, int count);

signals:
    // Received bytes are waiting; count (at least 1) is their number when the event is handled.
    void OnRxChar(int count);

protected:
    // The modem-control requests (TIOCMBIC, TIOCMGET) on the open device: ioctl, unless a test
    // stands in for a device that has the lines a pseudo-terminal lacks.
    virtual int ModemControl(int handle, unsigned long request, int* lines);

private:
    // Drops DTR and RTS; false when the device has no modem lines.
    bool ClearControlLines();
    void ProcessEvent(TComWatcher& watcher);
    void ApplySettings();
    void Shutdown(bool processPending) noexcept;
    void RequireOpen() const;

    QString FPort = QStringLiteral("COM1");
    int FBaudRate = 9600;
    TComParity FParity;
    TComBuffer FBuffer;
    TComTimeouts FTimeouts;

    QString FDevicePath;
    bool FConnected = false;
    bool FClosing = false;
    int FHandle = -1;
    bool FHasModemLines = true;
    std::shared_ptr<TComWatcher> FWatcher;
};

class TComPort : public TCustomComPort {
    Q_OBJECT
public:
    using TCustomComPort::TCustomComPort;
};
