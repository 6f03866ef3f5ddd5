#include "SuffixWriteFixture.h"

namespace {

// A write whose reply never comes must not wait for ever: the next reply of any kind (a memory
// block, a communication test) would otherwise be reported as its result.
class PendingMarks : public WriteFixture {
protected:
    // Through the retry timer's tick, which runs the expiry first whatever the sweep does.
    void Expire(int ticks) {
        for (int i = 0; i < ticks; ++i)
            Guard([&] { W->Timer50Timer(); });
    }
};

TEST_F(PendingMarks, AnUnansweredWriteIsForgottenAfterOneRetryPeriod) {
    ConnectSerial();
    HoldTimers();
    for (const TWrite& w : Writes) {
        const QByteArray request = ConfirmAndTake(w.handler, w.requestSize);
        ASSERT_EQ(request.size(), w.requestSize);
        Expire(19);
        EXPECT_TRUE(*w.mark) << w.done << ": still waiting after 19 ticks";
        Expire(1);
        EXPECT_FALSE(*w.mark) << w.done;
        Dialogs.Clear();
        Accept(request);  // too late to count as the result
        EXPECT_TRUE(Dialogs.Texts().isEmpty()) << w.done;
    }
}

TEST_F(PendingMarks, AReplyBeingCollectedIsStillTheResult) {
    ConnectSerial();
    HoldTimers();
    const TWrite& w = Writes[0];
    const QByteArray request = ConfirmAndTake(w.handler, w.requestSize);
    Expire(19);
    const QByteArray reply = Frame(request.left(6));
    Pty->Send(reply);
    ASSERT_TRUE(WaitUntil([&] { return OpState.RcvStr.size() == reply.size(); }));
    Expire(5);
    EXPECT_TRUE(*w.mark);
    Dialogs.Clear();
    Tick10(11);
    EXPECT_EQ(Dialogs.Texts(), QStringList{QString::fromUtf8(w.done)});
}

TEST_F(PendingMarks, ANewWriteStartsAFullPeriod) {
    ConnectSerial();
    HoldTimers();
    ConfirmAndTake(&TFMmain::SuffixWriteClick, 13);
    Expire(15);
    ConfirmAndTake(&TFMmain::BTHourClick, 33);
    Expire(15);
    EXPECT_TRUE(OpState.HourWritePending);
    Expire(5);
    EXPECT_FALSE(AnyMark());
    EXPECT_EQ(OpState.PendingMarkTicks, 0);
}

}  // namespace
