#include "SuffixWriteFixture.h"

namespace {

QByteArray Hex(const char* spaced) {
    return QByteArray::fromHex(spaced);
}

class WritePages : public WriteFixture {};

TEST_F(WritePages, EveryWriteNeedsAnOpenLinkAndAConfirmation) {
    Start();
    for (const TWrite& w : Writes) {
        Dialogs.Clear();
        Guard([&] { (W.get()->*w.handler)(); });
        EXPECT_EQ(Dialogs.Texts(), QStringList{QStringLiteral("통신연결이 안되었습니다!")});
        EXPECT_EQ(Dialogs.Seen().value(0).kind, QStringLiteral("information"));
    }
    ConnectSerial();
    HoldTimers();
    for (const TWrite& w : Writes) {
        Dialogs.Clear();
        Dialogs.Answer(QStringLiteral("아니오"));
        Guard([&] { (W.get()->*w.handler)(); });
        EXPECT_EQ(Dialogs.Texts(), QStringList{QString::fromUtf8(w.question)});
        EXPECT_FALSE(AnyMark());
    }
    EXPECT_TRUE(Pty->Drain().isEmpty());
    EXPECT_TRUE(W->Mm_TX->toPlainText().isEmpty());
}

TEST_F(WritePages, SuffixPagesSendTheirBoxes) {
    ConnectSerial();
    HoldTimers();
    W->CBSuffix->SetItemIndex(1);
    W->EDYear->setText(QStringLiteral("N"));
    W->EDCompany->setText(QStringLiteral("A"));
    W->EDNumber->setText(QStringLiteral("123"));
    W->EDBoardYear->setText(QStringLiteral("23"));
    W->EdBoardMonth->setText(QStringLiteral("7"));
    W->EDBoardNumber->setText(QStringLiteral("500"));
    const char* expected[] = {"01 10 C0 01 00 00 04 4E 41 7B 00 06 48",
                              "01 10 CF F6 00 00 04 17 07 F4 01 5F A3"};
    for (int i = 0; i < 2; ++i) {
        W->Mm_TX->clear();
        EXPECT_EQ(ConfirmAndTake(Writes[i].handler, 13), Hex(expected[i]));
        EXPECT_EQ(W->Mm_TX->toPlainText(), QString::fromLatin1(expected[i]) + u' ');
        EXPECT_TRUE(*Writes[i].mark);
    }
}

TEST_F(WritePages, AnAcceptedWriteIsReportedOnce) {
    ConnectSerial();
    HoldTimers();
    for (const TWrite& w : Writes) {
        const QByteArray request = ConfirmAndTake(w.handler, w.requestSize);
        Dialogs.Clear();
        Accept(request);
        EXPECT_EQ(Dialogs.Texts(), QStringList{QString::fromUtf8(w.done)});
        EXPECT_EQ(Dialogs.Seen().value(0).kind, QStringLiteral("plain"));
        Accept(request);
        EXPECT_EQ(Dialogs.Texts().size(), 1) << "a second reply shows nothing";
    }
}

TEST_F(WritePages, AStandardModbusServerRejectsTheZeroRegisterCount) {
    ConnectToModbusServer();
    for (const TWrite& w : Writes) {
        Dialogs.Clear();
        Dialogs.Answer(QStringLiteral("예"));
        Guard([&] { (W.get()->*w.handler)(); });
        HandleReply(5);  // exception 0x90: libmodbus found our CRC good
        EXPECT_EQ(Dialogs.Texts(),
                  (QStringList{QString::fromUtf8(w.question), QString::fromUtf8(w.failed)}));
        EXPECT_TRUE(W->Mm_RX->toPlainText().endsWith(QStringLiteral("01 90 03 0C 01 ")));
        EXPECT_FALSE(AnyMark());
    }
    ASSERT_EQ(Server->Requests().size(), 3);
    EXPECT_EQ(Server->Requests()[1], Hex("01 10 CF F6 00 00 04 FF FF FF FF 6D 42"));
}

// A request that cannot be built leaves nothing waiting: otherwise the next reply, whatever it
// answers, would be reported as this write's result.
TEST_F(WritePages, ARequestThatCannotBeBuiltLeavesNothingPending) {
    ConnectSerial();
    HoldTimers();
    const struct {
        const TWrite& write;
        TEdit* box;
        const char* text;
        const char* error;
    } cases[] = {
        {Writes[0], W->ED_Addr, "one", "'one' is not a valid integer value."},
        {Writes[1], W->ED_Addr, "one", "'one' is not a valid integer value."},
        {Writes[2], W->ED_Addr, "1x", "'1x' is not a valid integer value."},
        {Writes[2], W->EDMin1, "", "'' is not a valid integer value."},
    };
    for (const auto& c : cases) {
        W->ED_Addr->setText(QStringLiteral("1"));
        c.box->setText(QString::fromUtf8(c.text));
        Dialogs.Clear();
        Dialogs.Answer(QStringLiteral("예"));
        bool markedWhileShown = true;
        Dialogs.AnswerWith([&](QWidget* box) {
            markedWhileShown = AnyMark();
            DialogAnswerer::Press(box, QStringLiteral("OK"));
        });
        Guard([&] { (W.get()->*c.write.handler)(); });
        ASSERT_EQ(Dialogs.Seen().size(), 2);
        EXPECT_EQ(Dialogs.Seen()[1].kind, QStringLiteral("error"));
        EXPECT_EQ(Dialogs.Seen()[1].text, QString::fromUtf8(c.error));
        EXPECT_FALSE(markedWhileShown) << c.write.question;
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
