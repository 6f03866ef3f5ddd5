#include "SuffixWriteFixture.h"

namespace {

QByteArray Hex(const char* spaced) {
    return QByteArray::fromHex(spaced);
}

class SuffixWrite : public WriteFixture {};

TEST_F(SuffixWrite, EveryWriteNeedsAnOpenLinkAndAConfirmation) {
    Start();
    for (auto handler :
         {&TFMmain::SuffixWriteClick, &TFMmain::BTBoardWriteClick, &TFMmain::BTHourClick}) {
        Dialogs.Clear();
        Guard([&] { (W.get()->*handler)(); });
        EXPECT_EQ(Dialogs.Texts(), QStringList{QStringLiteral("통신연결이 안되었습니다!")});
        EXPECT_EQ(Dialogs.Seen().value(0).kind, QStringLiteral("information"));
    }
    ConnectSerial();
    HoldTimers();
    const struct {
        THandler handler;
        const char* question;
    } cases[] = {{&TFMmain::SuffixWriteClick, "Write Suffix?"},
                 {&TFMmain::BTBoardWriteClick, "Write Board Suffix?"},
                 {&TFMmain::BTHourClick, "Write Hour?"}};
    for (const auto& c : cases) {
        Dialogs.Clear();
        Dialogs.Answer(QStringLiteral("아니오"));
        Guard([&] { (W.get()->*c.handler)(); });
        EXPECT_EQ(Dialogs.Texts(), QStringList{QString::fromUtf8(c.question)});
        EXPECT_FALSE(AnyMark());
    }
    EXPECT_TRUE(Pty->Drain().isEmpty());
    EXPECT_TRUE(W->Mm_TX->toPlainText().isEmpty());
}

TEST_F(SuffixWrite, SendsThePageAsItIsAndReportsTheAcceptedWriteOnce) {
    ConnectSerial();
    HoldTimers();
    W->CBSuffix->SetItemIndex(1);
    W->EDYear->setText(QStringLiteral("N"));
    W->EDCompany->setText(QStringLiteral("A"));
    W->EDNumber->setText(QStringLiteral("123"));
    const QByteArray request = ConfirmAndTake(&TFMmain::SuffixWriteClick, 13);
    EXPECT_EQ(request, Hex("01 10 C0 01 00 00 04 4E 41 7B 00 06 48"));
    EXPECT_EQ(W->Mm_TX->toPlainText(), QStringLiteral("01 10 C0 01 00 00 04 4E 41 7B 00 06 48 "));
    EXPECT_TRUE(OpState.SuffixWritePending);

    Dialogs.Clear();
    Accept(request);
    EXPECT_EQ(Dialogs.Texts(), QStringList{QStringLiteral("Suffix 쓰기 완료!!")});
    EXPECT_EQ(Dialogs.Seen().value(0).kind, QStringLiteral("plain"));
    Accept(request);
    EXPECT_EQ(Dialogs.Texts().size(), 1) << "a second reply shows nothing";
}

TEST_F(SuffixWrite, BoardSuffixGoesToItsRegisterAndGetsTheSuffixMessages) {
    ConnectSerial();
    HoldTimers();
    W->EDBoardYear->setText(QStringLiteral("23"));
    W->EdBoardMonth->setText(QStringLiteral("7"));
    W->EDBoardNumber->setText(QStringLiteral("500"));
    const QByteArray request = ConfirmAndTake(&TFMmain::BTBoardWriteClick, 13);
    EXPECT_EQ(request, Hex("01 10 CF F6 00 00 04 17 07 F4 01 5F A3"));
    EXPECT_TRUE(OpState.BoardSuffixWritePending);
    Dialogs.Clear();
    Accept(request);
    EXPECT_EQ(Dialogs.Texts(), QStringList{QStringLiteral("Suffix 쓰기 완료!!")});
}

TEST_F(SuffixWrite, AStandardModbusServerRejectsTheZeroRegisterCount) {
    ConnectToModbusServer();
    const struct {
        THandler handler;
        const char* question;
    } cases[] = {{&TFMmain::SuffixWriteClick, "Write Suffix?"},
                 {&TFMmain::BTBoardWriteClick, "Write Board Suffix?"}};
    for (const auto& c : cases) {
        Dialogs.Clear();
        Dialogs.Answer(QStringLiteral("예"));
        Guard([&] { (W.get()->*c.handler)(); });
        HandleReply(5);  // exception 0x90: libmodbus found our CRC good
        EXPECT_EQ(Dialogs.Texts(), (QStringList{QString::fromUtf8(c.question),
                                                QStringLiteral("Suffix 쓰기 에러 발생!!")}));
        EXPECT_TRUE(W->Mm_RX->toPlainText().endsWith(QStringLiteral("01 90 03 0C 01 ")));
        EXPECT_FALSE(AnyMark());
    }
    ASSERT_EQ(Server->Requests().size(), 2);
    EXPECT_EQ(Server->Requests()[1], Hex("01 10 CF F6 00 00 04 FF FF FF FF 6D 42"));
}

// A request that cannot be built leaves nothing waiting: otherwise the next reply, whatever it
// answers, would be reported as this write's result.
TEST_F(SuffixWrite, ASlaveIdThatIsNotANumberLeavesNothingPending) {
    ConnectSerial();
    HoldTimers();
    W->ED_Addr->setText(QStringLiteral("one"));
    for (auto handler : {&TFMmain::SuffixWriteClick, &TFMmain::BTBoardWriteClick}) {
        Dialogs.Clear();
        Dialogs.Answer(QStringLiteral("예"));
        bool markedWhileShown = true;
        Dialogs.AnswerWith([&](QWidget* box) {
            markedWhileShown = AnyMark();
            DialogAnswerer::Press(box, QStringLiteral("OK"));
        });
        Guard([&] { (W.get()->*handler)(); });
        ASSERT_EQ(Dialogs.Seen().size(), 2);
        EXPECT_EQ(Dialogs.Seen()[1].kind, QStringLiteral("error"));
        EXPECT_EQ(Dialogs.Seen()[1].text, QStringLiteral("'one' is not a valid integer value."));
        EXPECT_FALSE(markedWhileShown);
        EXPECT_FALSE(AnyMark());
    }
    EXPECT_TRUE(Pty->Drain().isEmpty());
}

class OneCharacterCheck : public WriteFixture {
protected:
    // The offscreen platform does not give the activation back to the window when a message box
    // closes, as a window manager does; the test does it.
    void Activate() {
        W->activateWindow();
        ASSERT_TRUE(WaitUntil([&] { return W->isActiveWindow(); }));
    }
    void FocusAndWait(QWidget* w) {
        Activate();
        w->setFocus();
        ASSERT_TRUE(WaitUntil([&] { return w->hasFocus(); }));
    }
};

TEST_F(OneCharacterCheck, LeavingALongerSuffixBoxBringsTheFocusBack) {
    Start();
    for (TEdit* box : {W->EDCompany, W->EDYear}) {
        TEdit* other = box == W->EDCompany ? W->EDYear : W->EDCompany;
        other->clear();
        FocusAndWait(box);
        box->setText(QStringLiteral("AB"));
        Dialogs.Clear();
        W->EDNumber->setFocus();
        ASSERT_TRUE(Dialogs.WaitForDialogs(1));
        EXPECT_EQ(Dialogs.Texts(), QStringList{QStringLiteral("한글자만 입력하세요!!")});
        EXPECT_EQ(Dialogs.Seen()[0].kind, QStringLiteral("plain"));
        Activate();
        EXPECT_TRUE(WaitUntil([&] { return box->hasFocus(); }));

        box->setText(QStringLiteral("A"));
        Dialogs.Clear();
        FocusAndWait(W->EDNumber);
        EXPECT_TRUE(Dialogs.Texts().isEmpty());
    }
}

TEST_F(OneCharacterCheck, BoxesOfTheOtherPagesCheckTheSuffixBoxes) {
    Start();
    const struct {
        TEdit* left;
        TEdit* checked;
    } cases[] = {
        {W->EDHour1, W->EDCompany},   {W->EDMin1, W->EDCompany}, {W->EDBoardYear, W->EDCompany},
        {W->EDHour2, W->EDYear},      {W->EDMin2, W->EDYear},    {W->EDMin3, W->EDYear},
        {W->EdBoardMonth, W->EDYear},
    };
    for (const auto& c : cases) {
        W->EDCompany->clear();
        W->EDYear->clear();
        Dialogs.Clear();
        Activate();
        emit c.left->OnExit();
        EXPECT_TRUE(Dialogs.Texts().isEmpty()) << c.left->objectName().toStdString();
        c.checked->setText(QStringLiteral("XY"));
        Activate();
        emit c.left->OnExit();
        EXPECT_EQ(Dialogs.Texts(), QStringList{QStringLiteral("한글자만 입력하세요!!")})
            << c.left->objectName().toStdString();
    }
}

// A dialog opening over the window takes the focus from the box without leaving it: the question
// of SUFFIX WRITE comes alone, and the first character of the longer text is sent.
TEST_F(OneCharacterCheck, ADialogOverTheWindowIsNotLeavingTheBox) {
    ConnectSerial();
    HoldTimers();
    FocusAndWait(W->EDCompany);
    W->EDCompany->setText(QStringLiteral("AB"));
    Dialogs.Clear();
    const QByteArray request = ConfirmAndTake(&TFMmain::SuffixWriteClick, 13);
    EXPECT_EQ(Dialogs.Texts(), QStringList{QStringLiteral("Write Suffix?")});
    EXPECT_EQ(request.mid(7, 2), QByteArray("\xFF"
                                            "A"));
}

}  // namespace
