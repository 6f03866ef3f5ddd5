#include <QTest>
#include <memory>

#include "operations/OperationState.h"
#include "support/MainWindowFixture.h"
#include "support/ModbusPeer.h"
#include "widgets/DsFancyButton.h"

namespace {

// The communication test end to end, judged by libmodbus as the controller: over a serial line
// and through a real serial gateway on the LAN.
class LinkToLibmodbus : public MainWindowFixture {
protected:
    void ClickConnect() {
        Dialogs.Answer(QStringLiteral("확인"));
        QTest::mouseClick(W->BT_Connect, Qt::LeftButton);
    }
    // The reply of 44 input registers: slave, function, byte count, 88 data bytes, CRC.
    static constexpr int kReplyBytes = 93;
    static QString LineOf(const QByteArray& bytes) {
        return QString::fromLatin1(bytes.toHex(' ').toUpper()) + u' ';
    }
};

TEST_F(LinkToLibmodbus, SerialCommunicationTest) {
    Start();
    PtyLink link;
    ModbusRtuServer::Options options;
    options.baud = 19200;
    ModbusRtuServer server(link.PeerPath(), options);
    W->ED_Addr->setText(QStringLiteral("1"));
    W->EDComPort->setText(link.ProgramPath());
    W->CB_Baud->SetItemIndex(1);
    W->CB_Parity->SetItemIndex(0);
    ClickConnect();
    ASSERT_TRUE(W->IsLinkOpen()) << Dialogs.Texts().join(u'|').toStdString();
    EXPECT_EQ(W->StatusBar1->PanelText(),
              QStringLiteral("Connected.. [ 1, 19200, NONE, , %1 ]").arg(link.ProgramPath()));
    EXPECT_FALSE(W->ED_Addr->isEnabled());

    QTest::mouseClick(W->BT_Request, Qt::LeftButton);
    EXPECT_EQ(W->Mm_TX->toPlainText(), QStringLiteral("01 04 00 00 00 2C F1 D7 "));
    ASSERT_TRUE(WaitUntil([&] { return !W->Mm_RX->toPlainText().isEmpty(); }));
    EXPECT_EQ(link.TakeFromProgram(), QByteArray::fromHex("01040000002CF1D7"));
    ASSERT_EQ(server.Requests().size(), 1);

    const QString line = W->Mm_RX->toPlainText();
    EXPECT_EQ(line.size(), kReplyBytes * 3);
    EXPECT_TRUE(line.startsWith(QStringLiteral("01 04 58 00 00 01 01 02 02 ")))
        << line.toStdString();
    EXPECT_FALSE(OpState.ResendFlag) << "the reply passed its slave and CRC checks";
    EXPECT_TRUE(OpState.RcvStr.isEmpty());
}

TEST_F(LinkToLibmodbus, LanCommunicationTestThroughASerialGateway) {
    Start();
    SocatGateway gateway;
    ModbusRtuServer server(gateway.PtyPath());
    QTest::mouseClick(W->RGChoice->Button(1), Qt::LeftButton);
    W->ED_Addr->setText(QStringLiteral("1"));
    W->ED_IPAddr->setText(QStringLiteral("127.0.0.1"));
    W->ED_Port->setText(QString::number(gateway.Port()));
    ClickConnect();
    EXPECT_EQ(W->StatusBar1->PanelText(),
              QStringLiteral("Connected.. [ 1, 127.0.0.1, %1 ] ").arg(gateway.Port()));
    ASSERT_TRUE(WaitUntil([&] { return W->IsLinkOpen(); }));

    QTest::mouseClick(W->BT_Request, Qt::LeftButton);
    EXPECT_EQ(W->Mm_TX->toPlainText(), QStringLiteral("01 04 00 00 00 2C F1 D7 "));
    ASSERT_TRUE(WaitUntil([&] { return !W->Mm_RX->toPlainText().isEmpty(); }));
    ASSERT_EQ(server.Requests().size(), 1);
    EXPECT_EQ(server.Requests().first(), QByteArray::fromHex("01040000002CF1D7"));
    const QString line = W->Mm_RX->toPlainText();
    EXPECT_EQ(line.size(), kReplyBytes * 3);
    EXPECT_TRUE(line.startsWith(QStringLiteral("01 04 58 00 00 01 01 "))) << line.toStdString();
    EXPECT_FALSE(OpState.ResendFlag);
}

}  // namespace
