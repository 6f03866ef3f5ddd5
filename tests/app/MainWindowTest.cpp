#include <QImage>
#include <QTabBar>
#include <QTest>
#include <tuple>

#include "app/ErrorBox.h"
#include "support/MainWindowFixture.h"
#include "widgets/DsFancyButton.h"
#include "widgets/DsFancyButtonGlyphs.h"
#include "widgets/SCLED.h"

namespace {

using MainWindow = MainWindowFixture;

TEST_F(MainWindow, StartsIdleOnTheSerialLinkAndTheFirstPageWithoutASettingsFile) {
    Start();
    EXPECT_EQ(W->windowTitle(), QStringLiteral("Quorrin  V3.01"));
    EXPECT_EQ(W->size(), QSize(924, 712));
    EXPECT_EQ(W->PageControl1->currentIndex(), 0);
    EXPECT_EQ(W->RGChoice->ItemIndex(), 0);
    EXPECT_TRUE(W->PN_Comm->isVisible());
    EXPECT_FALSE(W->PN_Lan->isVisible());
    EXPECT_EQ(W->PN_Comm->geometry(), W->PN_Lan->geometry());
    EXPECT_TRUE(W->BT_Connect->isVisible());
    EXPECT_FALSE(W->BT_DisConnect->isVisible());
    EXPECT_EQ(W->BT_DisConnect->geometry(), W->BT_Connect->geometry());
    EXPECT_TRUE(W->Mm_TX->toPlainText().isEmpty());
    EXPECT_TRUE(W->Mm_RX->toPlainText().isEmpty());
    EXPECT_TRUE(W->mmOpen->toPlainText().isEmpty());
    EXPECT_TRUE(W->StatusBar1->PanelText().isEmpty());

    // No settings file: the address fields stay empty, the lists show their first rows.
    EXPECT_TRUE(W->ED_Addr->text().isEmpty());
    EXPECT_TRUE(W->EDComPort->text().isEmpty());
    EXPECT_TRUE(W->ED_IPAddr->text().isEmpty());
    EXPECT_TRUE(W->ED_Port->text().isEmpty());
    EXPECT_EQ(W->CB_Baud->currentText(), QStringLiteral("9600"));
    EXPECT_EQ(W->CB_Parity->currentText(), QStringLiteral("NONE"));
    EXPECT_EQ(W->CB_Model->ItemIndex(), 0);

    // The idle header.
    for (QWidget* w : {static_cast<QWidget*>(W->ED_Addr), static_cast<QWidget*>(W->CB_Baud),
                       static_cast<QWidget*>(W->CB_Parity), static_cast<QWidget*>(W->EDComPort),
                       static_cast<QWidget*>(W->RGChoice)})
        EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();
    for (QWidget* w : {W->BT_Request, W->BT_Read, W->BT_Write})
        EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
    EXPECT_EQ(W->focusWidget(), W->ED_Addr);
    EXPECT_TRUE(W->Timer10->isActive());
    EXPECT_TRUE(W->Timer50->isActive());
}

TEST_F(MainWindow, StartUpAlwaysShowsCommAndTheFirstPage) {
    WriteIni("[COM]\nID=7\n");
    W->RGChoice->SetItemIndex(1);
    W->RGChoiceClick();
    W->PageControl1->setCurrentIndex(2);
    Start();
    EXPECT_EQ(W->RGChoice->ItemIndex(), 0);
    EXPECT_TRUE(W->PN_Comm->isVisible());
    EXPECT_FALSE(W->PN_Lan->isVisible());
    EXPECT_EQ(W->PageControl1->currentIndex(), 0);
    EXPECT_EQ(W->ED_Addr->text(), QStringLiteral("7"));
}

TEST_F(MainWindow, ClosingADialogDoesNotRunTheStartUpStepAgain) {
    Start();
    W->ED_Addr->setText(QStringLiteral("5"));
    W->Mm_TX->appendPlainText(QStringLiteral("01 04 "));
    W->PageControl1->setCurrentIndex(3);
    WriteIni("[COM]\nID=9\n");  // a second read would show this
    W->showMessage_x(QStringLiteral("연결되었습니다!"));
    ShowPlainMessage(QStringLiteral("Suffix 쓰기 완료!!"));
    W->activateWindow();
    QTest::qWait(20);
    EXPECT_EQ(Dialogs.Seen().size(), 2);
    EXPECT_EQ(W->ED_Addr->text(), QStringLiteral("5"));
    EXPECT_EQ(W->Mm_TX->toPlainText(), QStringLiteral("01 04 "));
    EXPECT_EQ(W->PageControl1->currentIndex(), 3);
}

TEST_F(MainWindow, LinkChoiceSwitchesTheSettingsPanel) {
    Start();
    QTest::mouseClick(W->RGChoice->Button(1), Qt::LeftButton);
    EXPECT_EQ(W->RGChoice->ItemIndex(), 1);
    EXPECT_FALSE(W->PN_Comm->isVisible());
    EXPECT_TRUE(W->PN_Lan->isVisible());
    QTest::mouseClick(W->RGChoice->Button(0), Qt::LeftButton);
    EXPECT_TRUE(W->PN_Comm->isVisible());
    EXPECT_FALSE(W->PN_Lan->isVisible());
}

TEST_F(MainWindow, PageChangesByTheOperatorMoveTheFocus) {
    Start();
    QTabBar* tabs = W->PageControl1->tabBar();
    const auto clickTab = [&](int i) {
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(i).center());
    };

    clickTab(1);
    EXPECT_EQ(W->PageControl1->currentIndex(), 1);
    EXPECT_EQ(W->focusWidget(), W->EDHour1);
    clickTab(2);
    EXPECT_EQ(W->PageControl1->currentIndex(), 2);
    EXPECT_EQ(W->focusWidget(), tabs) << "the memory page moves no focus into the page";
    clickTab(0);
    EXPECT_EQ(W->focusWidget(), W->EDCompany);
    clickTab(3);
    EXPECT_EQ(W->focusWidget(), tabs) << "the board page moves no focus into the page";
}

TEST_F(MainWindow, ButtonEnableLocksAndUnlocksTheHeader) {
    Start();
    W->ED_IPAddr->setEnabled(true);
    W->ButtonEnable(0);
    EXPECT_FALSE(W->ED_Addr->isEnabled());
    EXPECT_FALSE(W->CB_Baud->isEnabled());
    EXPECT_FALSE(W->CB_Parity->isEnabled());
    EXPECT_FALSE(W->EDComPort->isEnabled());
    EXPECT_FALSE(W->RGChoice->isEnabled());
    EXPECT_TRUE(W->BT_Request->isEnabled());
    EXPECT_TRUE(W->BT_Read->isEnabled());
    EXPECT_TRUE(W->BT_Write->isEnabled());
    EXPECT_TRUE(W->ED_IPAddr->isEnabled()) << "the LAN fields are never locked";
    EXPECT_TRUE(W->ED_Port->isEnabled());

    W->ButtonEnable(2);  // any other value changes nothing
    EXPECT_FALSE(W->ED_Addr->isEnabled());
    EXPECT_TRUE(W->BT_Request->isEnabled());

    W->ButtonEnable(1);
    EXPECT_TRUE(W->ED_Addr->isEnabled());
    EXPECT_TRUE(W->RGChoice->isEnabled());
    EXPECT_FALSE(W->BT_Request->isEnabled());
    EXPECT_FALSE(W->BT_Read->isEnabled());
}

TEST_F(MainWindow, UpperCaseAndDigitsOnlyBoxes) {
    Start();
    QTest::keyClicks(W->EDCompany, QStringLiteral("ab1"));
    EXPECT_EQ(W->EDCompany->text(), QStringLiteral("AB1"));
    QTest::keyClicks(W->EdBoardMonth, QStringLiteral("x"));
    EXPECT_EQ(W->EdBoardMonth->text(), QStringLiteral("X"));
    QTest::keyClicks(W->EDNumber, QStringLiteral("1a-2 3"));
    EXPECT_EQ(W->EDNumber->text(), QStringLiteral("123"));
    W->EDMin1->clear();
    QTest::keyClicks(W->EDMin1, QStringLiteral("$7x5"));
    EXPECT_EQ(W->EDMin1->text(), QStringLiteral("75"));
    QTest::keyClicks(W->ED_Addr, QStringLiteral("ab"));
    EXPECT_EQ(W->ED_Addr->text(), QStringLiteral("ab")) << "the slave ID box takes any text";
}

TEST_F(MainWindow, PageContentsAtStart) {
    Start();
    EXPECT_EQ(W->PageControl1->count(), 4);
    EXPECT_EQ(W->PageControl1->tabText(0), QStringLiteral(" Suffix Write "));
    EXPECT_EQ(W->PageControl1->tabText(1), QStringLiteral(" Hour Write "));
    EXPECT_EQ(W->PageControl1->tabText(2), QStringLiteral(" Memory Copy "));
    EXPECT_EQ(W->PageControl1->tabText(3), QStringLiteral("Board Suffix"));
    EXPECT_EQ(W->CBSuffix->currentText(), QStringLiteral("Kestra M2 제외 전모델"));
    EXPECT_EQ(W->CBModelM->currentText(), QStringLiteral("Kestra S7,R,fR"));
    EXPECT_EQ(W->CB_Model->count(), 4);
    for (TEdit* e : {W->EDHour1, W->EDMin1, W->EDHour2, W->EDMin2, W->EDHour3, W->EDMin3})
        EXPECT_EQ(e->text(), QStringLiteral("0"));
    EXPECT_EQ(W->SuffixWrite->Caption(), QStringLiteral("SUFFIX WRITE"));
    EXPECT_EQ(W->BTBoardWrite->geometry(), QRect(474, 68, 218, 51));
    EXPECT_EQ(W->BT_Request->Caption(), QStringLiteral("통신TEST"));
    EXPECT_TRUE(W->mmOpen->isReadOnly());
    EXPECT_EQ(W->Mm_TX->geometry(), QRect(12, 296, 450, 257));
}

TEST_F(MainWindow, ExitButtonClosesTheWindowAndWritesTheSettings) {
    Start();
    W->ED_Addr->setText(QStringLiteral("3"));
    QTest::mouseClick(W->BT_Close, Qt::LeftButton);
    EXPECT_FALSE(W->isVisible());
    EXPECT_TRUE(ReadIni().contains("ID=3"));
}

// The regions' colours show that the layout is real, not just a set of properties.
TEST_F(MainWindow, RendersTheRegionsInTheirColours) {
    Start();
    QTest::mouseClick(W->RGChoice->Button(1), Qt::LeftButton);  // the LAN boxes are cream
    const QImage image = W->grab().toImage();
    ASSERT_EQ(image.size(), QSize(924, 712));
    const auto at = [&](int x, int y) { return QColor(image.pixel(x, y)).name(); };
    EXPECT_EQ(at(480, 64), QStringLiteral("#d8d8d8")) << "header";
    EXPECT_EQ(at(880, 12), QStringLiteral("#eeeeee")) << "banner";
    EXPECT_EQ(at(200, 134 + 500), QStringLiteral("#c0dcc0")) << "transmit monitor";
    EXPECT_EQ(at(700, 134 + 500), QStringLiteral("#feedc5")) << "receive monitor";
    // ED_IPAddr inside PN_Lan, right of any text.
    EXPECT_EQ(at(93 + 100 + 120, 69 + 11 + 15), QStringLiteral("#fffbf0")) << "cream box";
    EXPECT_EQ(at(93 + 5, 69 + 5), QStringLiteral("#dddedc")) << "settings panel";
}

TEST_F(MainWindow, EveryButtonHasItsGlyphHoverDistanceAndFontAndTheLampsTheirPlace) {
    Start();
    const struct {
        TDsFancyButton* button;
        TButtonGlyph glyph;
        bool redHover;
        int distance;
        int pixelSize;
        bool bold;
    } buttons[] = {
        {W->BT_Connect, TButtonGlyph::Connect, false, 3, 16, true},
        {W->BT_DisConnect, TButtonGlyph::Disconnect, false, 3, 16, true},
        {W->BT_Request, TButtonGlyph::Test, false, 3, 16, true},
        {W->BT_Close, TButtonGlyph::Exit, true, 3, 16, true},
        {W->BT_TXClear, TButtonGlyph::Clear, false, 0, 15, false},
        {W->BT_RXClear, TButtonGlyph::Clear, true, 0, 16, false},
        {W->SuffixWrite, TButtonGlyph::Suffix, false, 3, 16, true},
        {W->BTHour, TButtonGlyph::Hour, false, 3, 16, true},
        {W->BT_Read, TButtonGlyph::Read, false, 3, 16, true},
        {W->BT_Write, TButtonGlyph::Write, false, 3, 16, true},
        {W->BTOpen, TButtonGlyph::Open, false, 3, 15, false},
        {W->BTSave, TButtonGlyph::Save, false, 3, 15, false},
        {W->btTextWrite, TButtonGlyph::FileWrite, false, 3, 15, false},
        {W->BTBoardWrite, TButtonGlyph::BoardSuffix, false, 3, 16, true},
    };
    for (const auto& b : buttons) {
        SCOPED_TRACE(b.button->objectName().toStdString());
        const int height = b.button->height();
        const QImage& glyph = b.button->Glyphs().Glyph();
        ASSERT_FALSE(glyph.isNull());
        EXPECT_EQ(glyph, MakeButtonGlyph(b.glyph, height >= 51 ? 32 : height >= 44 ? 25 : 20));
        EXPECT_EQ(b.button->FancyEffects().HoverColor(), b.redHover ? clRed : clBlue);
        EXPECT_EQ(b.button->Glyphs().Distance(), b.distance);
        EXPECT_EQ(b.button->font().pixelSize(), b.pixelSize);
        EXPECT_EQ(b.button->font().bold(), b.bold);
        EXPECT_EQ(b.button->Color(), RGBToColor(0xEE, 0xEE, 0xEE));
    }
    for (const auto& [lamp, panel, back] :
         {std::tuple{W->LED_TX, W->Panel2, clGreen}, std::tuple{W->LED_RX, W->Panel4, clRed}}) {
        SCOPED_TRACE(lamp->objectName().toStdString());
        EXPECT_EQ(lamp->parentWidget(), panel);
        EXPECT_EQ(lamp->geometry(), QRect(119, 8, 51, 25));
        EXPECT_EQ(lamp->ForeColor(), clYellow);
        EXPECT_EQ(lamp->BackColor(), back);
    }
}

// Model lists green, plain boxes white and distinct from their panel, a locked box grey, and the
// memory text down to the bottom of its page.
TEST_F(MainWindow, ListsBoxesAndTheMemoryTextPaintTheirOwnColours) {
    Start();
    const auto colourIn = [](QWidget* w, QPoint at) {
        return QColor(w->grab().toImage().pixel(at)).name();
    };
    for (TComboBox* list : {W->CBSuffix, W->CB_Model, W->CBModelM}) {
        W->PageControl1->setCurrentWidget(list->parentWidget());
        // Right of the text, left of the arrow.
        EXPECT_EQ(colourIn(list, QPoint(list->width() * 2 / 3, list->height() / 2)),
                  QStringLiteral("#e1ffc4"))
            << list->objectName().toStdString();
    }
    W->ED_Addr->clear();
    W->EDYear->clear();
    for (TEdit* box : {W->ED_Addr, W->EDComPort, W->EDYear})
        EXPECT_EQ(colourIn(box, QPoint(box->width() - 8, box->height() / 2)),
                  QStringLiteral("#ffffff"))
            << box->objectName().toStdString();
    W->PageControl1->setCurrentWidget(W->TabSheet3);
    EXPECT_EQ(colourIn(W->mmOpen, QPoint(200, 60)), QStringLiteral("#ffffff"));
    EXPECT_EQ(W->mmOpen->geometry(),
              QRect(0, W->TabSheet3->height() - 151, W->TabSheet3->width(), 151));

    W->ButtonEnable(0);  // a link is open: the slave ID is locked
    EXPECT_EQ(colourIn(W->ED_Addr, QPoint(W->ED_Addr->width() - 8, W->ED_Addr->height() / 2)),
              QStringLiteral("#f0f0f0"));
}

}  // namespace
