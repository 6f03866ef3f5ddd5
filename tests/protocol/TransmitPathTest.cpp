#include <QTest>

#include "app/ErrorBox.h"
#include "link/ComPort.h"
#include "support/LinkedWindowFixture.h"
#include "widgets/DsFancyButton.h"
#include "widgets/SCLED.h"

namespace {

using TransmitPath = LinkedWindowFixture;

TEST_F(TransmitPath, CommunicationTestGoesOutWholeAndIsShown) {
    ConnectSerial();
    QTest::mouseClick(W->BT_Request, Qt::LeftButton);
    EXPECT_EQ(Pty->Receive(8).toHex(' '), QByteArray("01 04 00 00 00 2c f1 d7"));
    EXPECT_EQ(W->Mm_TX->toPlainText(), QStringLiteral("01 04 00 00 00 2C F1 D7 "));
    EXPECT_TRUE(W->LED_TX->Animating()) << "the TX lamp blinks";
    EXPECT_FALSE(W->LED_RX->Animating());
    W->BT_TXClearClick();
    EXPECT_TRUE(W->Mm_TX->toPlainText().isEmpty());
    W->BT_RequestClick();
    Pty->Receive(8);
    EXPECT_EQ(W->Mm_TX->toPlainText(), QStringLiteral("01 04 00 00 00 2C F1 D7 "))
        << "after CLEAR the next frame is the first line";
}

TEST_F(TransmitPath, SlaveIdIsSentAsOneByteAndOnlyWhenItFitsOne) {
    ConnectSerial();
    const struct {
        const char* id;
        const char* frame;
    } cases[] = {{"0", "00 04 00 00 00 2c"},
                 {"255", "ff 04 00 00 00 2c"},
                 {"$11", "11 04 00 00 00 2c"},
                 {"256", ""},
                 {"-1", ""},
                 {"300", ""}};
    for (const auto& c : cases) {
        W->ED_Addr->setText(QString::fromLatin1(c.id));
        Guard([&] { W->BT_RequestClick(); });
        EXPECT_EQ(Pty->Receive(8, std::chrono::milliseconds(100)).left(6).toHex(' '),
                  QByteArray(c.frame))
            << c.id;
    }
}

TEST_F(TransmitPath, AnEmptySlaveIdShowsTheConversionErrorAndSendsNothing) {
    ConnectSerial();
    W->ED_Addr->setText(QString());
    QTest::mouseClick(W->BT_Request, Qt::LeftButton);
    EXPECT_EQ(Dialogs.Texts().last(), QStringLiteral("'' is not a valid integer value."));
    EXPECT_TRUE(Pty->Receive(1, std::chrono::milliseconds(100)).isEmpty());
    EXPECT_TRUE(W->Mm_TX->toPlainText().isEmpty());
}

TEST_F(TransmitPath, AFailedSerialWriteShowsOneMessageNoLineNoBlink) {
    ConnectSerial();
    W->ComPort1->Close();  // the port fails under the window's feet
    W->BT_RequestClick();
    EXPECT_EQ(Dialogs.Texts().last(), QStringLiteral("숫자만 입력하세요!"));
    EXPECT_EQ(Dialogs.Seen().last().kind, QStringLiteral("information"));
    EXPECT_TRUE(W->Mm_TX->toPlainText().isEmpty());
    EXPECT_FALSE(W->LED_TX->Animating()) << "no blink for a frame that did not leave";
}

TEST_F(TransmitPath, LanBeforeTheConnectionExistsStillShowsTheFrame) {
    Start();
    QTest::mouseClick(W->RGChoice->Button(1), Qt::LeftButton);
    W->ED_Addr->setText(QStringLiteral("1"));
    W->TXCommand(QByteArray::fromHex("01040000002CF1D7"));
    EXPECT_EQ(W->Mm_TX->toPlainText(), QStringLiteral("01 04 00 00 00 2C F1 D7 "));
    EXPECT_TRUE(Dialogs.Seen().isEmpty());
}

TEST_F(TransmitPath, LanFrameReachesThePeerWhole) {
    ConnectLan();
    const QByteArray frame = QByteArray::fromHex("0110C000001020") + QByteArray(32, '\x5A');
    W->TXCommand(frame);
    ASSERT_TRUE(WaitUntil([&] { return Peer->bytesAvailable() >= frame.size(); }));
    EXPECT_EQ(Peer->readAll(), frame);
}

}  // namespace
