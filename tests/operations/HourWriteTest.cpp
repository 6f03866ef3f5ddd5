#include "SuffixWriteFixture.h"

namespace {

QByteArray Hex(const char* spaced) {
    return QByteArray::fromHex(spaced);
}

class HourWrite : public WriteFixture {
protected:
    void SelectModel(int row) {
        W->CB_Model->SetItemIndex(row);
        emit W->CB_Model->activated(row);  // as the operator's choice does
    }
    void FillBoxes(const QStringList& texts) {  // Hour1, Min1, Hour2, Min2, Hour3, Min3
        TEdit* boxes[] = {W->EDHour1, W->EDMin1, W->EDHour2, W->EDMin2, W->EDHour3, W->EDMin3};
        for (int i = 0; i < 6; ++i)
            boxes[i]->setText(texts[i]);
    }
};

TEST_F(HourWrite, TheModelBoxRelabelsThePage) {
    Start();
    W->PageControl1->setCurrentIndex(1);
    const struct {
        int model;
        const char *hour1, *hour2, *semi2, *hour3, *semi3;
        bool hour3Shown, min3Shown;
    } sequence[] = {
        {0, "운전시간", "적산 전력량", ".", "무효 전력량", ".", true, true},
        {1, "운전시간", "적산 전력량", ".", "무효 전력량", ".", false, false},  // kept
        {2, "총 운전시간", "부하운전시간", ":", "적산 전력량", ".", true, false},
        {1, "운전시간", "적산 전력량", ".", "적산 전력량", ".", false, false},  // kept
        {3, "총 운전시간", "부하운전시간", ":", "적산 전력량", ".", true, false},
        {0, "운전시간", "적산 전력량", ".", "무효 전력량", ".", true, true},
    };
    for (const auto& s : sequence) {
        SelectModel(s.model);
        EXPECT_EQ(OpState.HourModel, s.model);
        EXPECT_EQ(W->LBHour1->text(), QString::fromUtf8(s.hour1)) << s.model;
        EXPECT_EQ(W->LBHour2->text(), QString::fromUtf8(s.hour2)) << s.model;
        EXPECT_EQ(W->LBSemi2->text(), QString::fromUtf8(s.semi2)) << s.model;
        EXPECT_EQ(W->LBHour3->text(), QString::fromUtf8(s.hour3)) << s.model;
        EXPECT_EQ(W->LBSemi3->text(), QString::fromUtf8(s.semi3)) << s.model;
        EXPECT_EQ(W->LBHour3->isVisible(), s.hour3Shown) << s.model;
        EXPECT_EQ(W->EDHour3->isVisible(), s.hour3Shown) << s.model;
        EXPECT_EQ(W->LBSemi3->isVisible(), s.min3Shown) << s.model;
        EXPECT_EQ(W->EDMin3->isVisible(), s.min3Shown) << s.model;
        EXPECT_EQ(W->Label8->text(), QStringLiteral(":"));
    }
}

TEST_F(HourWrite, OtherModelBoxesReapplyTheHourModelAndNoRowKeepsIt) {
    Start();
    SelectModel(2);
    W->CB_Model->SetItemIndex(1);  // changed in code: the page is not relaid yet
    emit W->CBSuffix->activated(1);
    EXPECT_EQ(OpState.HourModel, 1) << "the hour page follows CB_Model whichever box changed";
    EXPECT_TRUE(W->EDHour3->isHidden());
    emit W->CBModelM->activated(2);
    EXPECT_EQ(OpState.HourModel, 1);
    W->CB_Model->SetItemIndex(-1);
    emit W->CBModelM->activated(0);
    EXPECT_EQ(OpState.HourModel, 1);
    EXPECT_EQ(W->LBHour1->text(), QStringLiteral("운전시간"));
}

// The boxes go into their fields; bytes 13 and 14 of models 2 and 3 carry zero, whatever an
// earlier request put in their place.
TEST_F(HourWrite, SendsTheBoxesInTheLayoutOfTheSelectedModel) {
    ConnectSerial();
    HoldTimers();
    SelectModel(0);
    FillBoxes({"1234", "30", "5678", "50", "9", "12"});
    EXPECT_EQ(ConfirmAndTake(&TFMmain::BTHourClick, 33),
              Hex("01 10 C1 E0 00 00 18 08 07 00 00 D2 04 00 00 08 07 00 00 2E 16 00 00 B0 01 00 "
                  "00 09 00 00 00 43 EF"));
    FillBoxes({"4294967295", "4294967295", "4294967295", "4294967295", "4294967295", "4294967295"});
    ConfirmAndTake(&TFMmain::BTHourClick, 33);
    for (int model : {2, 3}) {
        SelectModel(model);
        FillBoxes({"65535", "65535", "65535", "65535", "65535", "65535"});
        const QByteArray request = ConfirmAndTake(&TFMmain::BTHourClick, 33);
        ASSERT_EQ(request.size(), 33);
        EXPECT_EQ(request.mid(11, 4), Hex("00 00 00 00")) << "model " << model;
    }
}

TEST_F(HourWrite, AnEmptyValueBoxIsRefusedEvenWhenHidden) {
    ConnectSerial();
    HoldTimers();
    SelectModel(0);
    W->EDHour3->clear();  // while model 0 shows it
    SelectModel(1);
    ASSERT_TRUE(W->EDHour3->isHidden());
    const QStringList boxes[] = {
        {"", "0", "", "0", "", "0"},
        {"1", "0", "", "0", "3", "0"},
        {"1", "0", "2", "0", "", "0"},
    };
    for (const QStringList& texts : boxes) {
        FillBoxes(texts);
        Dialogs.Clear();
        Guard([&] { W->BTHourClick(); });
        EXPECT_EQ(Dialogs.Texts(), QStringList{QStringLiteral("시간이 잘못되었습니다!!")});
        EXPECT_EQ(Dialogs.Seen().value(0).kind, QStringLiteral("information"));
        EXPECT_FALSE(OpState.HourWritePending);
    }
    EXPECT_TRUE(Pty->Drain().isEmpty());
}

}  // namespace
