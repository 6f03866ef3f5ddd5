#include "support/LinkedWindowFixture.h"

#include <QTest>

#include "app/ErrorBox.h"
#include "link/ClientSocket.h"
#include "operations/OperationState.h"
#include "protocol/CRC16.h"
#include "widgets/DsFancyButton.h"

void LinkedWindowFixture::ConnectSerial(const QString& slaveId) {
    OpState = TOperationState();
    Start();
    Pty = std::make_unique<RawPty>();
    W->ED_Addr->setText(slaveId);
    W->EDComPort->setText(Pty->Path());
    W->CB_Baud->SetItemIndex(1);
    W->CB_Parity->SetItemIndex(0);
    Dialogs.Answer(QStringLiteral("확인"));
    QTest::mouseClick(W->BT_Connect, Qt::LeftButton);
    ASSERT_TRUE(W->IsLinkOpen()) << "serial link did not open: "
                                 << Dialogs.Texts().join(u'|').toStdString();
}

void LinkedWindowFixture::ConnectLan(const QString& slaveId) {
    OpState = TOperationState();
    Start();
    Listener = std::make_unique<QTcpServer>();
    ASSERT_TRUE(Listener->listen(QHostAddress(QStringLiteral("127.0.0.1")), 0));
    W->ED_Addr->setText(slaveId);
    QTest::mouseClick(W->RGChoice->Button(1), Qt::LeftButton);
    W->ED_IPAddr->setText(QStringLiteral("127.0.0.1"));
    W->ED_Port->setText(QString::number(Listener->serverPort()));
    Dialogs.Answer(QStringLiteral("확인"));
    QTest::mouseClick(W->BT_Connect, Qt::LeftButton);
    // The memory buttons follow the link at the next 10 ms tick. Tests hold the timers right
    // after connecting, so wait for that tick: a click on a still disabled READ does nothing.
    ASSERT_TRUE(WaitUntil([&] {
        return W->IsLinkOpen() && Listener->hasPendingConnections() && W->BT_Read->isEnabled();
    }));
    Peer = Listener->nextPendingConnection();
    ASSERT_NE(Peer, nullptr);
}

void LinkedWindowFixture::HoldTimers() {
    W->Timer10->stop();
    W->Timer50->stop();
}

void LinkedWindowFixture::Tick10(int times) {
    // Through the guard, as the timer's own wiring does.
    for (int i = 0; i < times; ++i)
        Guard([&] { W->Timer10Timer(); });
}

bool LinkedWindowFixture::WaitForReplyStart() {
    return WaitUntil([] { return OpState.RcvActive; });
}

QByteArray LinkedWindowFixture::Frame(const QByteArray& withoutCrc) const {
    QByteArray frame = withoutCrc;
    const auto n = static_cast<quint8>(frame.size());
    frame.append(char(CRC16Low(AsBytes(withoutCrc), n)));
    frame.append(char(CRC16High(AsBytes(withoutCrc), n)));
    return frame;
}
