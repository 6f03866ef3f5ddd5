#include <QTcpServer>
#include <QTest>

#include "link/ClientSocket.h"
#include "link/ComPort.h"
#include "support/LinkedWindowFixture.h"
#include "widgets/DsFancyButton.h"

namespace {

using LinkManagement = LinkedWindowFixture;

TEST_F(LinkManagement, SerialOpenLocksTheHeaderAndReleaseUnlocksIt) {
    ConnectSerial();
    EXPECT_EQ(Dialogs.Texts(), QStringList{QStringLiteral("연결되었습니다!")});
    EXPECT_EQ(W->StatusBar1->PanelText(),
              QStringLiteral("Connected.. [ 1, 19200, NONE, , %1 ]").arg(Pty->Path()));
    EXPECT_TRUE(W->BT_DisConnect->isVisible());
    EXPECT_FALSE(W->BT_Connect->isVisible());
    EXPECT_FALSE(W->ED_Addr->isEnabled());
    EXPECT_FALSE(W->RGChoice->isEnabled());
    EXPECT_TRUE(W->BT_Request->isEnabled());
    EXPECT_EQ(W->ComPort1->BaudRate(), 19200);
    EXPECT_EQ(W->ComPort1->Parity().Bits(), TParityBits::None);
    EXPECT_TRUE(W->Timer10->isActive());

    Dialogs.Answer(QStringLiteral("확인"));
    QTest::mouseClick(W->BT_DisConnect, Qt::LeftButton);
    EXPECT_FALSE(W->ComPort1->Connected());
    EXPECT_EQ(Dialogs.Texts().last(), QStringLiteral("연결 해제되었습니다!"));
    EXPECT_EQ(W->StatusBar1->PanelText(), QStringLiteral("Disconnected.."));
    EXPECT_TRUE(W->BT_Connect->isVisible());
    EXPECT_TRUE(W->ED_Addr->isEnabled());
    EXPECT_FALSE(W->BT_Request->isEnabled());
    EXPECT_FALSE(W->Timer10->isActive());
    EXPECT_FALSE(W->Timer50->isActive());
}

TEST_F(LinkManagement, SettingsWithNoRowKeepThePortsPreviousValues) {
    Start();
    RawPty pty;
    W->EDComPort->setText(pty.Path());
    W->CB_Baud->SetItemIndex(-1);
    W->CB_Parity->SetItemIndex(2);
    W->ComPortSet();
    EXPECT_EQ(W->ComPort1->Port(), QStringLiteral("COM") + pty.Path());
    EXPECT_EQ(W->ComPort1->BaudRate(), 9600) << "first open: the port's own value";
    EXPECT_EQ(W->ComPort1->Parity().Bits(), TParityBits::Odd);
    W->CB_Baud->SetItemIndex(2);
    W->CB_Parity->SetItemIndex(1);
    W->ComPortSet();
    EXPECT_EQ(W->ComPort1->BaudRate(), 38400);
    EXPECT_EQ(W->ComPort1->Parity().Bits(), TParityBits::Even);
    EXPECT_EQ(W->ComPort1->Buffer().InputSize(), 0);
    EXPECT_EQ(W->ComPort1->Buffer().OutputSize(), 0);
}

TEST_F(LinkManagement, AMissingSerialDeviceFailsAndChangesNothing) {
    Start();
    const QString before = W->StatusBar1->PanelText();
    for (const QString& port : {FDir.filePath(QStringLiteral("no-such-tty")), QString()}) {
        Dialogs.Clear();
        W->EDComPort->setText(port);
        QTest::mouseClick(W->BT_Connect, Qt::LeftButton);
        EXPECT_EQ(Dialogs.Texts(), QStringList{QStringLiteral("연결 실패!!")});
        EXPECT_FALSE(W->ComPort1->Connected());
        EXPECT_TRUE(W->BT_Connect->isVisible());
        EXPECT_EQ(W->StatusBar1->PanelText(), before);
        EXPECT_TRUE(W->ED_Addr->isEnabled());
        EXPECT_TRUE(W->Timer10->isActive()) << "the serial branch leaves the timers as they were";
    }
}

TEST_F(LinkManagement, LanPortWithLettersFailsAndLeavesTimer10Stopped) {
    Start();
    QTest::mouseClick(W->RGChoice->Button(1), Qt::LeftButton);
    W->ED_IPAddr->setText(QStringLiteral("127.0.0.1"));
    W->ED_Port->setText(QStringLiteral("50a"));
    QTest::mouseClick(W->BT_Connect, Qt::LeftButton);
    EXPECT_EQ(Dialogs.Texts(), QStringList{QStringLiteral("연결 실패!!")});
    EXPECT_FALSE(W->Timer10->isActive());
    EXPECT_TRUE(W->Timer50->isActive());
    EXPECT_TRUE(W->BT_Connect->isVisible());

    // An empty host fails the same way; a good open starts the timer again.
    W->ED_Port->setText(QStringLiteral("1"));
    W->ED_IPAddr->clear();
    Dialogs.Clear();
    QTest::mouseClick(W->BT_Connect, Qt::LeftButton);
    EXPECT_EQ(Dialogs.Texts(), QStringList{QStringLiteral("연결 실패!!")});

    QTcpServer listener;
    ASSERT_TRUE(listener.listen(QHostAddress(QStringLiteral("127.0.0.1")), 0));
    W->ED_IPAddr->setText(QStringLiteral("127.0.0.1"));
    W->ED_Port->setText(QString::number(listener.serverPort()));
    QTest::mouseClick(W->BT_Connect, Qt::LeftButton);
    EXPECT_TRUE(W->Timer10->isActive());
}

TEST_F(LinkManagement, LanOpenShowsItsStatusAndBecomesOpenOnceConnected) {
    ConnectLan();
    EXPECT_EQ(W->StatusBar1->PanelText(),
              QStringLiteral("Connected.. [ 1, 127.0.0.1, %1 ] ").arg(Listener->serverPort()));
    EXPECT_TRUE(W->ED_IPAddr->isEnabled()) << "the LAN fields stay editable";
    W->ED_Port->setText(QStringLiteral("1"));
    EXPECT_TRUE(W->StatusBar1->PanelText().contains(QString::number(Listener->serverPort())));

    QTest::mouseClick(W->BT_Request, Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return Peer->bytesAvailable() >= 8; }));
    EXPECT_EQ(Peer->readAll().toHex(' '), QByteArray("01 04 00 00 00 2c f1 d7"));

    Dialogs.Answer(QStringLiteral("확인"));
    QTest::mouseClick(W->BT_DisConnect, Qt::LeftButton);
    EXPECT_FALSE(W->Client->Active());
    EXPECT_EQ(W->StatusBar1->PanelText(), QStringLiteral("Disconnected.."));
    EXPECT_FALSE(W->Timer10->isActive());
    EXPECT_FALSE(W->Timer50->isActive());
}

TEST_F(LinkManagement, ReleaseEndsARefusedAttemptAndOneStillLookingUp) {
    Start();
    quint16 closedPort = 0;
    {
        QTcpServer probe;  // a port that was free a moment ago and now has no listener
        ASSERT_TRUE(probe.listen(QHostAddress(QStringLiteral("127.0.0.1")), 0));
        closedPort = probe.serverPort();
    }
    QTest::mouseClick(W->RGChoice->Button(1), Qt::LeftButton);
    W->ED_IPAddr->setText(QStringLiteral("127.0.0.1"));
    W->ED_Port->setText(QString::number(closedPort));
    QTest::mouseClick(W->BT_Connect, Qt::LeftButton);
    // The refusal may arrive while "connected" is still open and is then shown on top of it.
    const auto sorted = [](QStringList texts) {
        texts.sort();
        return texts;
    };
    ASSERT_TRUE(Dialogs.WaitForDialogs(2));
    EXPECT_EQ(sorted(Dialogs.Texts()), sorted({QStringLiteral("연결되었습니다!"),
                                               QStringLiteral("Asynchronous socket error 111.")}));
    EXPECT_FALSE(W->IsLinkOpen());
    EXPECT_FALSE(W->ED_Addr->isEnabled());

    const auto releaseShowsReleased = [&] {
        const int before = int(Dialogs.Texts().size());
        QTest::mouseClick(W->BT_DisConnect, Qt::LeftButton);
        EXPECT_EQ(Dialogs.Texts().mid(before), QStringList{QStringLiteral("연결 해제되었습니다!")});
        EXPECT_EQ(W->Client->Socket()->State(), TClientWinSocket::TState::Closed);
        EXPECT_EQ(W->StatusBar1->PanelText(), QStringLiteral("Disconnected.."));
        EXPECT_TRUE(W->BT_Connect->isVisible());
        EXPECT_TRUE(W->ED_Addr->isEnabled());
        EXPECT_FALSE(W->Timer50->isActive());
    };
    releaseShowsReleased();

    // A lookup that never answers: the release cancels it and nothing arrives later.
    W->Client->SetHostLookup(
        [](const QString&, QObject*, std::function<void(const QHostInfo&)>) {});
    W->ED_IPAddr->setText(QStringLiteral("controller.invalid"));
    QTest::mouseClick(W->BT_Connect, Qt::LeftButton);
    ASSERT_EQ(W->Client->Socket()->State(), TClientWinSocket::TState::LookingUp);
    releaseShowsReleased();
}

TEST_F(LinkManagement, ClosingTheWindowWithTheSerialLinkOpenClosesItSilently) {
    ConnectSerial();
    W->ED_Addr->setText(QStringLiteral("4"));
    W->close();
    EXPECT_FALSE(W->ComPort1->Connected());
    EXPECT_EQ(Dialogs.Texts(), QStringList{QStringLiteral("연결되었습니다!")});
    EXPECT_TRUE(ReadIni().contains("ID=4"));
}

}  // namespace
