#include <QTest>
#include <chrono>

#include "app/ErrorBox.h"
#include "operations/MemoryTextBox.h"
#include "operations/OperationState.h"
#include "support/LinkedWindowFixture.h"
#include "widgets/DsFancyButton.h"

namespace {

using namespace std::chrono_literals;

// The memory copy against a controller played byte by byte on a raw pty (or a loopback peer),
// with both timers ticked by hand.
class MemoryCopy : public LinkedWindowFixture {
protected:
    void Tick50(int times) {
        for (int i = 0; i < times; ++i)
            Guard([&] { W->Timer50Timer(); });
    }
    void Click(TDsFancyButton* button, const QString& answer = QStringLiteral("예")) {
        Dialogs.Answer(answer);
        QTest::mouseClick(button, Qt::LeftButton);
    }
    // The next request the program wrote must be exactly this one.
    void ExpectRequest(const QByteArray& expected) {
        EXPECT_EQ(Pty->Receive(int(expected.size()), 2s).toHex(' '), expected.toHex(' '));
    }
    void ExpectNoRequest() { EXPECT_EQ(Pty->Receive(1, 150ms).toHex(' '), QByteArray()); }
    void Reply(const QByteArray& bytes) {
        Pty->Send(bytes);
        ASSERT_TRUE(WaitForReplyStart());
        ASSERT_TRUE(WaitUntil([&] { return OpState.RcvStr.size() >= bytes.size(); }));
        Tick10(11);
    }
    QByteArray ReadRequest(int offset, int length) const {
        QByteArray frame = QByteArray::fromHex("0103");
        frame.append(char((0xC000 + offset) >> 8)).append(char(offset & 0xFF));
        frame.append('\0').append(char(length / 2));
        return Frame(frame);
    }
    QByteArray ReadReply(const QByteArray& data) const {
        return Frame(QByteArray::fromHex("0103") + char(data.size()) + data);
    }
    static QByteArray Data(int length, int seed) {
        QByteArray data;
        for (int i = 0; i < length; ++i)
            data.append(char(seed + 7 * i));
        return data;
    }
    QString Memory() const { return MemoryText(*W->mmOpen); }
    // READ on the serial link, with the first block unanswered until the check has asked again.
    void ReadWithTheFirstBlockAskedTwice() {
        ConnectSerial();
        HoldTimers();
        Click(W->BT_Read);
        ExpectRequest(FirstRead);
        Tick50(21);
        ExpectRequest(FirstRead);
    }

    QByteArray CommTestReply() const {
        return Frame(QByteArray::fromHex("010458") + QByteArray(88, '\x01'));
    }

    QByteArray WriteRequest(int offset, const QByteArray& data) const {
        QByteArray frame = QByteArray::fromHex("0110");
        frame.append(char((0xC000 + offset) >> 8)).append(char(offset & 0xFF));
        frame.append('\0').append(char(data.size() / 2)).append(char(data.size()));
        return Frame(frame + data);
    }
    QByteArray WriteAck(int offset) const {
        return Frame(WriteRequest(offset, Data(32, 0)).left(6));
    }
    // FILE WRITE of a memory text of 0xAB bytes, whose first block must be this one.
    void StartFileWrite() {
        SetMemoryText(*W->mmOpen, QStringLiteral("AB").repeated(4096));
        Click(W->btTextWrite);
    }
    const QByteArray FileBlock = QByteArray(32, char(0xAB));

    const QByteArray FirstRead = QByteArray::fromHex("0103C00000107806");
    const QByteArray CommTest = QByteArray::fromHex("01040000002CF1D7");
    const QString ReadFail = QStringLiteral("Read Parameter Fail!! Please Check Connection!!");
};

TEST_F(MemoryCopy, WithNoControllerTheFirstBlockIsAskedElevenTimesThenTheSweepFails) {
    ConnectSerial();
    HoldTimers();
    Click(W->BT_Read);
    Tick10(1);
    EXPECT_FALSE(W->BT_Read->isEnabled());
    // One request at the click, one at each of the first ten checks, a check every 21st tick.
    Tick50(21 * 11 - 1);
    EXPECT_EQ(Pty->Receive(8 * 11, 3s), FirstRead.repeated(11));
    EXPECT_FALSE(Dialogs.Texts().contains(ReadFail));
    Tick50(1);
    EXPECT_EQ(Dialogs.Texts().last(), ReadFail);
    EXPECT_EQ(OpState.MemoryJob, 0);
    ExpectNoRequest();
    EXPECT_FALSE(W->BT_Read->isEnabled());
    Tick10(1);
    EXPECT_TRUE(W->BT_Read->isEnabled()) << "enabled at the next 10 ms tick";
}

TEST_F(MemoryCopy, TheFirstRetryCheckComesAFullPeriodAfterTheStart) {
    // An idle engine has no countdown left. Checking at once would ask for the first block a
    // second time, and the late answer to it would be stored as the second block.
    ConnectSerial();
    HoldTimers();
    ASSERT_EQ(OpState.RetryTicks, 0);
    Click(W->BT_Read);
    ExpectRequest(FirstRead);
    Tick50(20);
    ExpectNoRequest();
    Tick50(1);
    ExpectRequest(FirstRead);
}

TEST_F(MemoryCopy, AnExceptionReplyIsNotStoredAndTheBlockIsAskedAgain) {
    ConnectSerial();
    HoldTimers();
    OpState.MemImage[0] = 0x66;
    Click(W->BT_Read);
    ExpectRequest(FirstRead);
    Reply(Frame(QByteArray::fromHex("018302")));
    EXPECT_TRUE(OpState.ResendFlag);
    EXPECT_EQ(OpState.ReadBlockNo, 0);
    EXPECT_EQ(OpState.MemImage[0], 0x66);
    EXPECT_EQ(Memory(), QString());
    ExpectNoRequest();
    Tick50(21);
    ExpectRequest(FirstRead);

    const QByteArray data = Data(32, 0x90);
    Reply(ReadReply(data));
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(OpState.MemImage.data()), 32), data);
    EXPECT_EQ(Memory(), QString::fromLatin1(data.toHex().toUpper()));
    ExpectRequest(ReadRequest(32, 32));
}

TEST_F(MemoryCopy, ASecondAnswerToARepeatedBlockIsNeverTakenForTheNextBlock) {
    // The controller answers the first request for block 0 only after the retry check has sent it
    // again: the answer to the repeat comes after the sweep has moved on.
    ReadWithTheFirstBlockAskedTwice();
    const QByteArray block0 = Data(32, 0x10);
    Reply(ReadReply(block0));
    ExpectRequest(CommTest);
    Reply(ReadReply(block0));  // the late second answer: only now is block 1 asked for
    EXPECT_EQ(Memory(), QString::fromLatin1(block0.toHex().toUpper()));
    EXPECT_EQ(OpState.ReadBlockNo, 1);
    ExpectRequest(ReadRequest(32, 32));
    Reply(CommTestReply());  // the test's answer is no block's
    ExpectNoRequest();
    const QByteArray block1 = Data(32, 0x55);
    Reply(ReadReply(block1));
    EXPECT_EQ(Memory(), QString::fromLatin1((block0 + block1).toHex().toUpper()));
    ExpectRequest(ReadRequest(64, 32));

    // A further test answer answers nothing that is open: it may have taken the place of the
    // block's answer, so the block is asked again, and the line settled after its answer.
    Reply(CommTestReply());
    EXPECT_TRUE(OpState.ResendFlag);
    Tick50(21);
    ExpectRequest(ReadRequest(64, 32));
    const QByteArray block2 = Data(32, 0x23);
    Reply(ReadReply(block2));
    ExpectRequest(CommTest);
    Reply(ReadReply(block2));
    ExpectRequest(ReadRequest(96, 32));
    EXPECT_EQ(Memory(), QString::fromLatin1((block0 + block1 + block2).toHex().toUpper()));
}

TEST_F(MemoryCopy, ABlockAnsweredOnceAfterABadReplyNeedsNoResynchronisation) {
    ConnectSerial();
    HoldTimers();
    Click(W->BT_Read);
    ExpectRequest(FirstRead);
    Reply(Frame(QByteArray::fromHex("018302")));
    Tick50(21);
    ExpectRequest(FirstRead);
    Reply(ReadReply(Data(32, 1)));
    ExpectRequest(ReadRequest(32, 32));

    // A reply that fails its checksum may have been noise: the block is sent again and, once
    // acknowledged, followed by the test, in case the first request is answered yet.
    Reply(ReadReply(Data(32, 2)).chopped(1) + '\x00');
    Tick50(21);
    ExpectRequest(ReadRequest(32, 32));
    Reply(ReadReply(Data(32, 2)));
    ExpectRequest(CommTest);
}

TEST_F(MemoryCopy, ALateAcknowledgementNeverSkipsAWriteBlock) {
    ConnectSerial();
    HoldTimers();
    for (int i = 0; i < TOperationState::kImageSize; ++i)
        OpState.MemImage[i] = quint8(i * 3);
    OpState.ReadDone = true;
    Tick10(1);
    Click(W->BT_Write);
    const QByteArray image(reinterpret_cast<const char*>(OpState.MemImage.data()), 64);
    const QByteArray write0 =
        Frame(QByteArray::fromHex("0110C0000010") + char(32) + image.left(32));
    const QByteArray write1 = Frame(QByteArray::fromHex("0110C0200010") + char(32) + image.mid(32));
    const QByteArray ack0 = Frame(QByteArray::fromHex("0110C0000010"));
    ExpectRequest(write0);
    Tick50(21);
    ExpectRequest(write0);
    Reply(ack0);
    ExpectRequest(CommTest);
    Reply(ack0);  // the repeat's acknowledgement must not count for block 1
    Reply(CommTestReply());
    ExpectRequest(write1);
    EXPECT_EQ(OpState.WriteBlockNo, 1);
}

TEST_F(MemoryCopy, AShortReadReplyIsABadReply) {
    ConnectSerial();
    HoldTimers();
    OpState.MemImage.fill(0x66);
    Click(W->BT_Read);
    ExpectRequest(FirstRead);
    const QByteArray shortReplies[] = {
        Frame(QByteArray::fromHex("010300")),  // no data at all
        ReadReply(Data(30, 1)),                // two data bytes short: the CRC would be data
    };
    for (const QByteArray& reply : shortReplies) {
        OpState.ReadAck = false;
        Reply(reply);
        EXPECT_TRUE(OpState.ResendFlag) << reply.toHex().toStdString();
        EXPECT_FALSE(OpState.ReadAck);
        EXPECT_EQ(OpState.ReadBlockNo, 0);
        EXPECT_EQ(Memory(), QString());
        EXPECT_EQ(OpState.MemImage[0], 0x66);
        ExpectNoRequest();
    }
    Tick50(21);
    ExpectRequest(FirstRead);
}

TEST_F(MemoryCopy, AStartWithASlaveIdThatIsNotANumberLeavesTheEngineIdle) {
    ConnectSerial();
    HoldTimers();
    W->ED_Addr->setText(QStringLiteral("x"));
    OpState.ReadDone = true;  // enables WRITE
    Tick10(1);
    for (TDsFancyButton* button : {W->BT_Read, W->BT_Write, W->btTextWrite}) {
        SetMemoryText(*W->mmOpen, QStringLiteral("0A"));
        OpState.MemImage[0] = 0x66;
        OpState.ReadBlockNo = 5;
        OpState.ReadAddr = 160;
        OpState.WriteBlockNo = 7;
        OpState.WriteAddr = 224;
        OpState.RetryCount = 3;
        Dialogs.Clear();
        Click(button);
        const QString name = button->objectName();
        EXPECT_EQ(Dialogs.Texts().last(), QStringLiteral("'x' is not a valid integer value."))
            << name.toStdString();
        EXPECT_EQ(OpState.MemoryJob, 0) << name.toStdString();
        EXPECT_FALSE(OpState.MemoryJobActive) << name.toStdString();
        EXPECT_EQ(OpState.ReadBlockNo, 5);
        EXPECT_EQ(OpState.ReadAddr, 160);
        EXPECT_EQ(OpState.WriteBlockNo, 7);
        EXPECT_EQ(OpState.WriteAddr, 224);
        EXPECT_EQ(OpState.RetryCount, 3);
        EXPECT_EQ(OpState.MemImage[0], 0x66);
        EXPECT_EQ(Memory(), QStringLiteral("0A")) << name.toStdString();
        Tick50(30);  // no retry check of a sweep that never started
        EXPECT_EQ(OpState.MemoryJob, 0);
    }
    ExpectNoRequest();
}

TEST_F(MemoryCopy, ButtonsFollowTheLinkAndTheSweep) {
    ConnectSerial();
    HoldTimers();
    Tick10(1);
    EXPECT_TRUE(W->BT_Read->isEnabled());
    EXPECT_FALSE(W->BT_Write->isEnabled()) << "nothing read yet";
    EXPECT_TRUE(W->btTextWrite->isEnabled());
    EXPECT_TRUE(W->SuffixWrite->isEnabled());

    OpState.ReadDone = true;  // what a completed sweep leaves
    Click(W->BT_Read);
    Tick10(1);
    EXPECT_FALSE(W->BT_Read->isEnabled());
    EXPECT_TRUE(W->BT_Write->isEnabled()) << "a new read does not take WRITE away";
    EXPECT_TRUE(W->btTextWrite->isEnabled()) << "FILE WRITE stays available during a sweep";
}

TEST_F(MemoryCopy, TheDisconnectButtonFreezesTheSweep) {
    ConnectSerial();
    HoldTimers();
    Click(W->BT_Read);
    ExpectRequest(FirstRead);
    Tick50(5);
    const qint32 ticksLeft = OpState.RetryTicks;
    QTest::mouseClick(W->BT_DisConnect, Qt::LeftButton);
    ASSERT_FALSE(W->IsLinkOpen());
    EXPECT_FALSE(W->Timer10->isActive());
    EXPECT_FALSE(W->Timer50->isActive());
    EXPECT_EQ(OpState.MemoryJob, 1);
    EXPECT_EQ(OpState.RetryTicks, ticksLeft);

    // Connecting starts the timers, which run for a moment while "연결되었습니다!" is shown.
    QTest::mouseClick(W->BT_Connect, Qt::LeftButton);
    HoldTimers();
    ASSERT_TRUE(W->IsLinkOpen());
    EXPECT_EQ(OpState.MemoryJob, 1) << "the sweep goes on";
    ASSERT_LE(OpState.RetryTicks, ticksLeft);
    Tick50(OpState.RetryTicks + 1);
    ExpectRequest(FirstRead);
}

TEST_F(MemoryCopy, ALinkLostWhileTheTimersRunDropsTheSweepSilently) {
    ConnectLan();
    HoldTimers();
    OpState.ReadDone = true;
    Click(W->BT_Read);
    ASSERT_TRUE(WaitUntil([&] { return Peer->bytesAvailable() >= 8; }));
    const qsizetype shown = Dialogs.Seen().size();
    Peer->close();
    ASSERT_TRUE(WaitUntil([&] { return !W->IsLinkOpen(); }));
    Tick10(1);
    EXPECT_EQ(OpState.MemoryJob, 0);
    EXPECT_FALSE(OpState.ReadDone);
    EXPECT_EQ(OpState.RetryCount, 0);
    for (QWidget* button :
         {static_cast<QWidget*>(W->BT_Read), static_cast<QWidget*>(W->BT_Write),
          static_cast<QWidget*>(W->btTextWrite), static_cast<QWidget*>(W->SuffixWrite)})
        EXPECT_FALSE(button->isEnabled()) << button->objectName().toStdString();
    EXPECT_EQ(Dialogs.Seen().size(), shown) << "no message";
}

TEST_F(MemoryCopy, AnOperatorTestDuringTheResyncDoesNotEndIt) {
    // Block 0 is answered late, after the operator's test and the retry check's repeat. The
    // operator's test answer must not be taken for the resync's: the repeat's answer follows.
    ConnectSerial();
    HoldTimers();
    Click(W->BT_Read);
    ExpectRequest(FirstRead);
    QTest::mouseClick(W->BT_Request, Qt::LeftButton);
    ExpectRequest(CommTest);
    Tick50(21);
    ExpectRequest(FirstRead);
    const QByteArray block0 = Data(32, 0x10);
    const QByteArray block1 = Data(32, 0x44);
    Reply(ReadReply(block0));
    ExpectRequest(CommTest);
    Reply(CommTestReply());  // the operator's test
    ExpectNoRequest();
    Reply(ReadReply(block0));  // the repeat: nothing else can be answered now
    ExpectRequest(ReadRequest(32, 32));
    // The settled line clears the resend flag: a check before block 1's answer does not repeat it.
    EXPECT_FALSE(OpState.ResendFlag);
    Reply(CommTestReply());  // the resync's own test
    Tick50(21);
    ExpectNoRequest();
    Reply(ReadReply(block1));
    ExpectRequest(ReadRequest(64, 32));
    EXPECT_EQ(Memory(), QString::fromLatin1((block0 + block1).toHex().toUpper()));
}

TEST_F(MemoryCopy, ANewWriteSweepWaitsOutTheAnswerToTheOneItAbandons) {
    ConnectSerial();
    HoldTimers();
    StartFileWrite();
    ExpectRequest(WriteRequest(0, FileBlock));
    StartFileWrite();
    ExpectRequest(CommTest);
    Reply(WriteAck(0));  // the abandoned sweep's answer
    ExpectRequest(WriteRequest(0, FileBlock));
    Reply(CommTestReply());
    ExpectNoRequest();
    Reply(Frame(QByteArray::fromHex("019004")));  // the controller rejects the new block 0
    EXPECT_TRUE(OpState.ResendFlag);
    Tick50(21);
    ExpectRequest(WriteRequest(0, FileBlock));
    Reply(WriteAck(0));
    ExpectRequest(WriteRequest(32, FileBlock));
}

TEST_F(MemoryCopy, ASuffixWriteDuringAWriteSweepNeitherSwallowsNorAcknowledgesABlock) {
    ConnectSerial();
    HoldTimers();
    StartFileWrite();
    ExpectRequest(WriteRequest(0, FileBlock));
    Reply(WriteAck(0));
    ExpectRequest(WriteRequest(32, FileBlock));
    W->EDYear->setText(QStringLiteral("N"));
    W->EDCompany->setText(QStringLiteral("A"));
    W->EDNumber->setText(QStringLiteral("7"));
    Click(W->SuffixWrite);
    const QByteArray suffix = Pty->Receive(13, 2s);
    ASSERT_EQ(suffix.size(), 13);
    Dialogs.Clear();
    // Block 1 is rejected while the suffix write waits: the rejection is the block's.
    Reply(Frame(QByteArray::fromHex("019004")));
    EXPECT_TRUE(Dialogs.Texts().isEmpty());
    EXPECT_TRUE(OpState.ResendFlag);
    Tick50(21);  // the mark expires; the check sends block 1 again
    EXPECT_FALSE(OpState.SuffixWritePending);
    ExpectRequest(WriteRequest(32, FileBlock));
    Reply(Frame(suffix.left(6)));  // the suffix write's late answer is no block's
    ExpectNoRequest();
    Reply(WriteAck(32));
    ExpectRequest(WriteRequest(64, FileBlock));
    EXPECT_TRUE(Dialogs.Texts().isEmpty());
}

TEST_F(MemoryCopy, TheResyncWaitsAFullPeriodEndsOnAnExceptionAndDiesWithItsSweep) {
    ReadWithTheFirstBlockAskedTwice();
    Tick50(10);
    Reply(ReadReply(Data(32, 0x10)));
    ExpectRequest(CommTest);
    Tick50(20);  // the countdown was loaded afresh when the resync began
    ExpectNoRequest();
    Tick50(1);
    ExpectRequest(CommTest);
    // Nothing more is answered: the sweep fails, and its resync with it.
    Tick50(21 * 11);
    EXPECT_EQ(Dialogs.Texts().last(), ReadFail);
    EXPECT_FALSE(OpState.Resyncing);
    Tick10(1);
    Pty->Receive(8 * 12, 500ms);  // the tests sent meanwhile

    // Requests are still open: the next sweep first waits for a test's answer, and an exception
    // to the test says just as well that everything before it has been answered.
    Click(W->BT_Read);
    ExpectRequest(CommTest);
    Reply(Frame(QByteArray::fromHex("018401")));
    ExpectRequest(FirstRead);
}

TEST_F(MemoryCopy, ASlaveIdOutsideTheByteRangeIsRefusedBeforeAnythingIsSent) {
    // 256 would go out as 0, the broadcast address that every controller on the line obeys.
    ConnectSerial(QStringLiteral("256"));
    HoldTimers();
    SetMemoryText(*W->mmOpen, QStringLiteral("AB"));
    OpState.ReadDone = true;
    const std::function<void()> operations[] = {
        [&] { W->BT_RequestClick(); },  [&] { W->BT_ReadClick(); },
        [&] { W->BT_WriteClick(); },    [&] { W->btTextWriteClick(); },
        [&] { W->SuffixWriteClick(); }, [&] { W->BTBoardWriteClick(); },
        [&] { W->BTHourClick(); },
    };
    for (const auto& operation : operations) {
        Dialogs.Clear();
        Guard(operation);
        ASSERT_FALSE(Dialogs.Texts().isEmpty());
        EXPECT_TRUE(Dialogs.Texts().last().contains(QStringLiteral("256")))
            << Dialogs.Texts().last().toStdString();
    }
    ExpectNoRequest();
    EXPECT_EQ(OpState.MemoryJob, 0) << "no sweep was started";
}

}  // namespace
