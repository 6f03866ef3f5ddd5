#include <QTest>

#include "operations/OperationState.h"
#include "protocol/ReceivePath.h"
#include "support/LinkedWindowFixture.h"
#include "widgets/SCLED.h"

namespace {

TEST(ReplyDecoding, SerialAndLanTextsGiveTheSameBytesAndTheirOwnLines) {
    QString serial;
    for (int b : {0x01, 0x80, 0xFF, 0x00})
        serial += QChar(b);
    const TReplyText s = DecodeSerialReply(serial);
    EXPECT_EQ(s.Bytes, QByteArray::fromHex("0180FF00"));
    EXPECT_EQ(s.MonitorLine, QStringLiteral("01 80 FF 00 "));
    EXPECT_EQ(DecodeSerialReply(QString(QChar(1))).MonitorLine, QStringLiteral("01"));

    const TReplyText lan = DecodeLanReply(QStringLiteral("0180FF00"));
    EXPECT_EQ(lan.Bytes, QByteArray::fromHex("0180FF00"));
    EXPECT_EQ(lan.MonitorLine, QStringLiteral("01 80 FF 00 "));
    EXPECT_EQ(DecodeLanReply(QStringLiteral("01")).MonitorLine, QStringLiteral("01 "));
    EXPECT_EQ(DecodeLanReply(QStringLiteral("0")).Bytes, QByteArray()) << "a lone digit is dropped";
    EXPECT_EQ(DecodeLanReply(QString()).MonitorLine, QString());
}

class ReceivePath : public LinkedWindowFixture {
protected:
    // Sends raw bytes from the controller side and lets the window collect and handle them.
    void SerialReply(const QByteArray& bytes) {
        Pty->Send(bytes);
        ASSERT_TRUE(WaitForReplyStart());
        ASSERT_TRUE(WaitUntil([&] { return OpState.RcvStr.size() >= bytes.size(); }));
        Tick10(11);
    }
    QStringList RxLines() const { return W->Mm_RX->toPlainText().split(u'\n'); }

    const QByteArray WriteReply = Frame(QByteArray::fromHex("0110CFF10000"));
};

TEST_F(ReceivePath, AcceptedWriteReplyReportsTheSuffixWriteOnceAndClearsTheMarks) {
    ConnectSerial();
    HoldTimers();
    OpState.SuffixWritePending = true;
    SerialReply(WriteReply);
    EXPECT_EQ(W->Mm_RX->toPlainText(), QStringLiteral("01 10 CF F1 00 00 AE EE "));
    EXPECT_TRUE(W->LED_RX->Animating()) << "the RX lamp blinks when a reply is handled";
    ASSERT_EQ(Dialogs.Seen().size(), 2);  // "연결되었습니다!", then the result
    EXPECT_EQ(Dialogs.Seen()[1].text, QStringLiteral("Suffix 쓰기 완료!!"));
    EXPECT_EQ(Dialogs.Seen()[1].kind, QStringLiteral("plain"));
    EXPECT_FALSE(OpState.SuffixWritePending);
    EXPECT_FALSE(OpState.BoardSuffixWritePending);
    EXPECT_FALSE(OpState.HourWritePending);
    EXPECT_TRUE(OpState.RcvStr.isEmpty());
    EXPECT_TRUE(OpState.RcvBuf.isEmpty());
    Tick10(30);  // nothing more is shown
    EXPECT_EQ(Dialogs.Seen().size(), 2);
}

TEST_F(ReceivePath, DispatchByPendingMarkAndFunctionCode) {
    ConnectSerial();
    HoldTimers();
    const QByteArray exception = Frame(QByteArray::fromHex("019003"));
    const struct {
        bool suffix, board, hour;
        QByteArray reply;
        QString shown;
    } cases[] = {
        {false, true, false, WriteReply, QStringLiteral("Suffix 쓰기 완료!!")},
        {true, false, false, exception, QStringLiteral("Suffix 쓰기 에러 발생!!")},
        {false, false, true, WriteReply, QStringLiteral("Hour 쓰기 완료!!")},
        {false, false, true, exception, QStringLiteral("Hour 쓰기 에러 발생!!")},
        {true, false, true, exception, QStringLiteral("Suffix 쓰기 에러 발생!!")},  // suffix first
        {false, false, false, WriteReply, QString()},  // nothing waits: nothing shown
    };
    for (const auto& c : cases) {
        Dialogs.Clear();
        OpState.SuffixWritePending = c.suffix;
        OpState.BoardSuffixWritePending = c.board;
        OpState.HourWritePending = c.hour;
        SerialReply(c.reply);
        const QStringList expected = c.shown.isEmpty() ? QStringList() : QStringList{c.shown};
        EXPECT_EQ(Dialogs.Texts(), expected) << c.reply.toHex().toStdString();
        EXPECT_FALSE(OpState.SuffixWritePending || OpState.BoardSuffixWritePending ||
                     OpState.HourWritePending);
    }
}

TEST_F(ReceivePath, BadCrcSetsResendAndCancelsTheWriteSilently) {
    ConnectSerial();
    HoldTimers();
    QByteArray damaged = WriteReply;
    damaged[3] = char(damaged[3] ^ 0x01);
    OpState.SuffixWritePending = true;
    SerialReply(damaged);
    EXPECT_TRUE(OpState.ResendFlag);
    EXPECT_FALSE(OpState.SuffixWritePending);
    EXPECT_EQ(Dialogs.Seen().size(), 1) << "only the connect message";
}

TEST_F(ReceivePath, AReplyFromAnotherSlaveIsShownAndOtherwiseIgnored) {
    ConnectSerial();
    HoldTimers();
    OpState.HourWritePending = true;
    OpState.ResendFlag = true;
    SerialReply(Frame(QByteArray::fromHex("0210CFF10000")));
    EXPECT_EQ(RxLines().size(), 1);
    EXPECT_TRUE(OpState.ResendFlag) << "left as it was";
    EXPECT_FALSE(OpState.HourWritePending);
    EXPECT_EQ(Dialogs.Seen().size(), 1);
}

TEST_F(ReceivePath, HighBytesOnTheSerialLinkAreCheckedAsBytes) {
    ConnectSerial();
    HoldTimers();
    // A read reply full of bytes above 0x7F; an idle sweep kind only clears the resend flag, which
    // shows that the CRC was found good.
    OpState.MemoryJobActive = true;
    OpState.MemoryJob = 3;
    OpState.ResendFlag = true;
    const QByteArray reply = Frame(QByteArray::fromHex("010304FF80C0FE"));
    SerialReply(reply);
    EXPECT_FALSE(OpState.ResendFlag);
    EXPECT_EQ(W->Mm_RX->toPlainText(),
              QString::fromLatin1(reply.toHex(' ').toUpper()) + QStringLiteral(" "));
}

TEST_F(ReceivePath, OneByteSerialReplyHasNoTrailingBlankAndFailsTheCrc) {
    ConnectSerial();
    HoldTimers();
    SerialReply(QByteArray::fromHex("01"));
    EXPECT_EQ(W->Mm_RX->toPlainText(), QStringLiteral("01"));
    EXPECT_TRUE(OpState.ResendFlag);
}

TEST_F(ReceivePath, SerialWindowIsElevenTicksFromTheFirstChunk) {
    ConnectSerial();
    HoldTimers();
    Pty->Send(WriteReply.left(4));
    ASSERT_TRUE(WaitForReplyStart());
    Tick10(10);
    EXPECT_TRUE(OpState.RcvActive) << "ten ticks only count down";
    Tick10(2);  // the 11th handles the first chunk
    EXPECT_FALSE(OpState.RcvActive);
    Pty->Send(WriteReply.mid(4));
    ASSERT_TRUE(WaitForReplyStart());
    Tick10(11);
    EXPECT_EQ(RxLines(),
              (QStringList{QStringLiteral("01 10 CF F1 "), QStringLiteral("00 00 AE EE ")}));
    EXPECT_TRUE(OpState.ResendFlag) << "each half fails its CRC";
}

TEST_F(ReceivePath, ALaterSerialChunkDoesNotExtendTheWindow) {
    ConnectSerial();
    HoldTimers();
    Pty->Send(WriteReply.left(3));
    ASSERT_TRUE(WaitForReplyStart());
    Tick10(5);
    Pty->Send(WriteReply.mid(3));
    ASSERT_TRUE(WaitUntil([&] { return OpState.RcvStr.size() == WriteReply.size(); }));
    EXPECT_EQ(OpState.RcvIdleTicks, 5);
    Tick10(6);
    EXPECT_EQ(RxLines().size(), 1);
}

TEST_F(ReceivePath, ASerialReplyStillArrivingKeepsItsWindowOpen) {
    // The 93-byte test answer at 9600 bit/s with parity takes 107 ms, and a USB adapter hands
    // it over in chunks: its tail comes just before the 11th tick.
    ConnectSerial();
    HoldTimers();
    const QByteArray answer = Frame(QByteArray::fromHex("010458") + QByteArray(88, '\x01'));
    Pty->Send(answer.left(80));
    ASSERT_TRUE(WaitForReplyStart());
    Tick10(10);
    Pty->Send(answer.mid(80));
    ASSERT_TRUE(WaitUntil([&] { return OpState.RcvStr.size() == answer.size(); }));
    Tick10(1);
    EXPECT_TRUE(OpState.RcvActive) << "a chunk came less than two ticks ago";
    Tick10(1);
    EXPECT_FALSE(OpState.RcvActive);
    EXPECT_EQ(RxLines().size(), 1);
    EXPECT_EQ(W->Mm_RX->toPlainText().size(), 93 * 3);
    EXPECT_FALSE(OpState.ResendFlag) << "one reply, with a good CRC";
}

TEST_F(ReceivePath, ASlaveIdOutsideTheByteRangeNeverMatchesAReply) {
    // The reply's byte is compared with the whole number: 257 is not slave 1.
    ConnectSerial(QStringLiteral("257"));
    HoldTimers();
    OpState.SuffixWritePending = true;
    SerialReply(WriteReply);
    EXPECT_EQ(Dialogs.Seen().size(), 1) << "no result shown";
    EXPECT_FALSE(OpState.SuffixWritePending);
}

TEST_F(ReceivePath, LanChunksFiveTicksApartAreOneReply) {
    ConnectLan();
    HoldTimers();
    OpState.SuffixWritePending = true;
    Peer->write(WriteReply.left(5));
    Peer->flush();
    ASSERT_TRUE(WaitUntil([] { return OpState.RcvStr.size() == 10; }));
    Tick10(5);
    Peer->write(WriteReply.mid(5));
    Peer->flush();
    ASSERT_TRUE(WaitUntil([] { return OpState.RcvStr.size() == 16; }));
    EXPECT_EQ(OpState.RcvIdleTicks, 10) << "every LAN chunk restarts the window";
    Tick10(10);
    EXPECT_TRUE(W->Mm_RX->toPlainText().isEmpty());
    Tick10(1);
    EXPECT_EQ(W->Mm_RX->toPlainText(), QStringLiteral("01 10 CF F1 00 00 AE EE "));
    EXPECT_EQ(Dialogs.Texts().last(), QStringLiteral("Suffix 쓰기 완료!!"));
}

TEST_F(ReceivePath, AnEmptyLanReadStartsTheWindowAndGivesAnEmptyLine) {
    ConnectLan(QStringLiteral("1"));
    HoldTimers();
    W->ClientRead();
    EXPECT_TRUE(OpState.RcvActive);
    OpState.ResendFlag = true;
    Tick10(11);
    EXPECT_EQ(W->Mm_RX->toPlainText(), QString());
    EXPECT_EQ(W->Mm_RX->blockCount(), 1);
    EXPECT_TRUE(OpState.ResendFlag) << "handled as a reply from another slave";
}

TEST_F(ReceivePath, ANonIntegerSlaveIdKeepsTheReplyAndShowsTheConversionError) {
    ConnectSerial();
    HoldTimers();
    OpState.SuffixWritePending = true;
    W->ED_Addr->setText(QStringLiteral("x1"));
    SerialReply(WriteReply);
    EXPECT_EQ(Dialogs.Texts().last(), QStringLiteral("'x1' is not a valid integer value."));
    EXPECT_EQ(Dialogs.Seen().last().kind, QStringLiteral("error"));
    EXPECT_TRUE(OpState.SuffixWritePending);
    EXPECT_EQ(OpState.RcvStr.size(), WriteReply.size());
}

TEST_F(ReceivePath, ClearEmptiesTheMonitorButNotAReplyBeingCollected) {
    ConnectSerial();
    HoldTimers();
    SerialReply(WriteReply);
    Pty->Send(WriteReply.left(2));
    ASSERT_TRUE(WaitForReplyStart());
    W->BT_RXClearClick();
    EXPECT_TRUE(W->Mm_RX->toPlainText().isEmpty());
    EXPECT_EQ(OpState.RcvStr.size(), 2);
}

}  // namespace
