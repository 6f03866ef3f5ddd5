#pragma once

#include <QTcpServer>
#include <QTcpSocket>
#include <memory>

#include "support/MainWindowFixture.h"
#include "support/RawPty.h"

// The real window with a link to a stand-in controller: a raw pseudo-terminal for the serial link
// or a loopback listener for the LAN link. The test plays the controller byte by byte.
class LinkedWindowFixture : public MainWindowFixture {
protected:
    // Opens the serial link to a fresh pty as slave 1 at 19200, parity NONE.
    void ConnectSerial(const QString& slaveId = QStringLiteral("1"));
    // Opens the LAN link to a loopback listener and waits for the connection.
    void ConnectLan(const QString& slaveId = QStringLiteral("1"));

    // Stops both timers so the test can tick them by hand.
    void HoldTimers();
    void Tick10(int times);
    // Processes events until the program has started collecting a reply.
    bool WaitForReplyStart();

    QByteArray Frame(const QByteArray& withoutCrc) const;  // appends the CRC

    std::unique_ptr<RawPty> Pty;
    std::unique_ptr<QTcpServer> Listener;
    QTcpSocket* Peer = nullptr;  // the listener's side of the LAN connection
};
