#pragma once

#include <QByteArray>
#include <QString>
#include <chrono>

namespace serialtest {

// A pseudo-terminal standing in for a serial line: the port opens the terminal side by its path,
// the test plays the far end through the controlling side.
class TPty {
public:
    TPty();
    ~TPty();
    TPty(const TPty&) = delete;
    TPty& operator=(const TPty&) = delete;

    QString Path() const { return FPath; }
    QString Port() const { return QStringLiteral("COM") + FPath; }
    int Master() const { return FMaster; }
    int Slave() const { return FSlave; }

    // Sends bytes from the far end towards the port.
    void Send(const QByteArray& bytes);
    // Collects what the port sent until count bytes have come or the deadline passes.
    QByteArray Receive(int count, std::chrono::milliseconds deadline = std::chrono::seconds(5));
    // The far end goes away; the terminal side is hung up.
    void HangUp();

private:
    int FMaster = -1;
    int FSlave = -1;
    QString FPath;
};

// All 256 byte values in ascending order.
QByteArray AllByteValues();

}  // namespace serialtest
