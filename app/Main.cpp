#include "app/Main.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGuiApplication>
#include <QLineEdit>
#include <QScreen>
#include <QTabBar>

#include "app/ErrorBox.h"
#include "app/Pictures.h"
#include "app/msg.h"
#include "link/ClientSocket.h"
#include "link/ComPort.h"
#include "link/ComPortLog.h"
#include "operations/HourFrames.h"
#include "operations/MemoryCopyPlan.h"
#include "operations/SuffixFrames.h"
#include "protocol/HexDisplay.h"
#include "widgets/Colors.h"
#include "widgets/DsFancyButton.h"
#include "widgets/DsFancyButtonGlyphs.h"
#include "widgets/SCLED.h"

TFMmain* FMmain = nullptr;

namespace {

const QColor kHeaderGrey(0xD8, 0xD8, 0xD8);
const QColor kBanner(0xEE, 0xEE, 0xEE);
const QColor kSettingsPanel(0xDD, 0xDE, 0xDC);
const QColor kCream(0xFF, 0xFB, 0xF0);
const QColor kListGreen(0xE1, 0xFF, 0xC4);
const QColor kTxMonitor(0xC0, 0xDC, 0xC0);
const QColor kRxMonitor(0xFE, 0xED, 0xC5);
const QColor kSkyBlue(0xA6, 0xCA, 0xF0);
const QColor kNavy(0x00, 0x00, 0x80);

template <typename T>
T* Named(T* w, const QString& name) {
    w->setObjectName(name);
    return w;
}

}  // namespace

bool TFileDialog::Execute(QWidget* parent) {
    bool entered = false;  // outlives the dialog, whose connections use it
    QFileDialog dialog(parent);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setNameFilter(Filter);
    if (FKind == TKind::Open) {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        // The save dialog does not ask before replacing a file: the memory file is a working copy
        // that the operator saves again and again under the model's name.
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
    }
    // The proposed name goes into the name box only once the dialog has listed its folder, and
    // only while the operator has not entered a name: proposed earlier, the file is selected in
    // the list when the listing arrives, beside the name the operator typed or pasted meanwhile,
    // and the dialog then returns the proposed file instead of the one entered.
    if (!FileName.isEmpty()) {
        const QFileInfo proposal(FileName);
        dialog.setDirectory(proposal.absolutePath());
        auto* nameBox = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        auto* listing = dialog.findChild<QFileSystemModel*>();
        if (nameBox != nullptr && listing != nullptr) {
            QObject::connect(nameBox, &QLineEdit::textEdited, &dialog, [&] { entered = true; });
            QObject::connect(
                listing, &QFileSystemModel::directoryLoaded, &dialog,
                [&entered, nameBox, name = proposal.fileName(),
                 folder = QDir::cleanPath(proposal.absolutePath())](const QString& loaded) {
                    // The parents of the folder are listed first.
                    if (!entered && nameBox->text().isEmpty() && QDir::cleanPath(loaded) == folder)
                        nameBox->setText(name);
                });
        }
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().size() != 1)
        return false;
    FileName = dialog.selectedFiles().constFirst();
    return true;
}

TFMmain::TFMmain(QWidget* parent) : QWidget(parent) {
    InstallFontSubstitutes();
    FMmain = this;
    FSettingsFileName =
        SettingsFileLocation(QCoreApplication::applicationDirPath(), UserSettingsDir());
    setObjectName(QStringLiteral("FMmain"));
    setWindowTitle(QStringLiteral("Quorrin  V3.01"));
    setWindowIcon(QIcon(QPixmap::fromImage(MakeWindowIcon())));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(924, 712);
    setFont(UiFont(13, false));
    setAutoFillBackground(true);  // the window shows the button-face colour

    BuildHeader();
    BuildWorkPanel();
    StatusBar1 = Named(new TStatusBar(this), QStringLiteral("StatusBar1"));
    StatusBar1->setGeometry(0, 712 - 19, 924, 19);

    Timer10 = Named(new QTimer(this), QStringLiteral("Timer10"));
    Timer10->setTimerType(Qt::PreciseTimer);
    Timer10->setInterval(10);
    Timer50 = Named(new QTimer(this), QStringLiteral("Timer50"));
    Timer50->setTimerType(Qt::PreciseTimer);
    Timer50->setInterval(50);

    ComPort1 = Named(new TComPort(this), QStringLiteral("ComPort1"));
    Client = Named(new TClientSocket(this), QStringLiteral("Client"));

    OpenDialog1.Filter = QStringLiteral("텍스트파일(TXT) (*.txt)");
    SaveDialog1.Filter = QStringLiteral("텍스트파일(TXT) (*.txt)");

    WireHandlers();
    Timer10->start();
    Timer50->start();

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect desktop = screen->availableGeometry();
        move(desktop.center() - rect().center());
    }
}

TFMmain::~TFMmain() {
    if (FMmain == this)
        FMmain = nullptr;
}

TDsFancyButton* TFMmain::MakeButton(QWidget* parent, const QString& name, const QRect& geometry,
                                    const QString& caption, const QFont& font, bool redHover,
                                    int glyphDistance, TButtonGlyph glyph) {
    auto* button = Named(new TDsFancyButton(parent), name);
    button->setGeometry(geometry);
    button->setFont(font);
    button->SetCaption(caption);
    const int glyphSize = geometry.height() >= 51 ? 32 : geometry.height() >= 44 ? 25 : 20;
    SetupMainWindowButton(*button, redHover ? clRed : clBlue, glyphDistance,
                          MakeButtonGlyph(glyph, glyphSize));
    return button;
}

TSCLED* TFMmain::MakeLamp(QWidget* parent, const QString& name, const QPoint& position,
                          const QString& caption, TColor backColor) {
    auto* lamp = Named(new TSCLED(parent), name);
    SetupMainWindowLamp(*lamp, caption, backColor);
    lamp->move(position);
    return lamp;
}

TEdit* TFMmain::MakeEdit(QWidget* parent, const QString& name, const QRect& geometry,
                         const QFont& font, TEdit::TCharCase charCase, bool numbersOnly) {
    auto* edit = Named(new TEdit(parent, charCase, numbersOnly), name);
    edit->setGeometry(geometry);
    edit->setFont(font);
    return edit;
}

void TFMmain::BuildHeader() {
    Panel5 = Named(new TPanel(this, kHeaderGrey), QStringLiteral("Panel5"));
    Panel5->setGeometry(0, 0, 924, 129);

    Panel3 = Named(new TPanel(Panel5, kBanner), QStringLiteral("Panel3"));
    Panel3->setGeometry(1, 1, 922, 60);
    Panel3->setFont(UiFont(27, true));
    Panel3->SetCaption(QStringLiteral("Zavik SUFFIX, HOUR, MEMORY COPY"), Qt::AlignHCenter, kNavy);

    Panel7 =
        Named(new TPanel(Panel3, kHeaderGrey, TPanel::TBevel::Lowered), QStringLiteral("Panel7"));
    Panel7->setGeometry(3, 3, 70, 53);
    Image1 = Named(new QLabel(Panel7), QStringLiteral("Image1"));
    Image1->setGeometry(7, 3, 55, 45);
    Image1->setScaledContents(true);
    Image1->setPixmap(QPixmap::fromImage(MakeLogo()));

    const QFont bold15 = UiFont(15, true);
    const QFont bold16 = UiFont(16, true);
    Label35 = MakeLabel(Panel5, QStringLiteral("Label35"), QStringLiteral("ID"), 9, 83, bold15);
    ED_Addr = MakeEdit(Panel5, QStringLiteral("ED_Addr"), QRect(33, 79, 49, 28), bold15);

    PN_Comm = Named(new TPanel(Panel5, kSettingsPanel), QStringLiteral("PN_Comm"));
    PN_Comm->setGeometry(93, 69, 426, 51);
    PN_Comm->setFont(bold16);
    Label17 =
        MakeLabel(PN_Comm, QStringLiteral("Label17"), QStringLiteral("BAUD."), 12, 14, bold16);
    CB_Baud = Named(
        new TComboBox(PN_Comm, true,
                      {QStringLiteral("9600"), QStringLiteral("19200"), QStringLiteral("38400")}),
        QStringLiteral("CB_Baud"));
    CB_Baud->setGeometry(65, 10, 77, 29);
    Label18 =
        MakeLabel(PN_Comm, QStringLiteral("Label18"), QStringLiteral("PARITY"), 153, 14, bold16);
    CB_Parity = Named(
        new TComboBox(PN_Comm, true,
                      {QStringLiteral("NONE"), QStringLiteral("EVEN"), QStringLiteral("ODD")}),
        QStringLiteral("CB_Parity"));
    CB_Parity->setGeometry(212, 10, 77, 29);
    for (TComboBox* box : {CB_Baud, CB_Parity}) {
        box->setFont(bold16);
        SetColors(box, kCream);
        box->SetItemIndex(0);
    }
    Label19 =
        MakeLabel(PN_Comm, QStringLiteral("Label19"), QStringLiteral("PORT"), 300, 14, bold16);
    EDComPort = MakeEdit(PN_Comm, QStringLiteral("EDComPort"), QRect(347, 11, 65, 29), bold16);

    PN_Lan = Named(new TPanel(Panel5, kSettingsPanel), QStringLiteral("PN_Lan"));
    PN_Lan->setGeometry(93, 69, 426, 51);
    PN_Lan->setFont(bold16);
    Label66 =
        MakeLabel(PN_Lan, QStringLiteral("Label66"), QStringLiteral("IP ADDR"), 26, 15, bold16);
    ED_IPAddr = MakeEdit(PN_Lan, QStringLiteral("ED_IPAddr"), QRect(100, 11, 147, 29), bold16);
    Label73 = MakeLabel(PN_Lan, QStringLiteral("Label73"), QStringLiteral("PORT"), 283, 15, bold16);
    ED_Port = MakeEdit(PN_Lan, QStringLiteral("ED_Port"), QRect(332, 11, 72, 29), bold16);
    SetColors(ED_IPAddr, kCream);
    SetColors(ED_Port, kCream);

    RGChoice = Named(new TRadioGroup(Panel5, QStringLiteral("통신 선택"),
                                     {QStringLiteral("COMM"), QStringLiteral("LAN")}),
                     QStringLiteral("RGChoice"));
    RGChoice->setFont(bold16);
    RGChoice->setGeometry(525, 66, 94, 62);

    BT_Connect = MakeButton(Panel5, QStringLiteral("BT_Connect"), QRect(625, 74, 85, 44),
                            QStringLiteral("연 결"), bold16, false, 3, TButtonGlyph::Connect);
    BT_DisConnect = MakeButton(Panel5, QStringLiteral("BT_DisConnect"), QRect(625, 74, 85, 44),
                               QStringLiteral("해 제"), bold16, false, 3, TButtonGlyph::Disconnect);
    BT_DisConnect->hide();
    BT_Request = MakeButton(Panel5, QStringLiteral("BT_Request"), QRect(716, 73, 111, 44),
                            QStringLiteral("통신TEST"), bold16, false, 3, TButtonGlyph::Test);
    BT_Close = MakeButton(Panel5, QStringLiteral("BT_Close"), QRect(830, 73, 85, 44),
                          QStringLiteral("종 료"), bold16, true, 3, TButtonGlyph::Exit);
}

void TFMmain::BuildWorkPanel() {
    Panel1 = Named(new TPanel(this, kBanner, TPanel::TBevel::Lowered), QStringLiteral("Panel1"));
    Panel1->setGeometry(0, 134, 924, 559);

    PageControl1 = Named(new QTabWidget(Panel1), QStringLiteral("PageControl1"));
    PageControl1->setGeometry(1, 1, 922, 241);
    PageControl1->tabBar()->setFont(UiFont(15, true));
    // Clicking a tab takes the focus, as a page control does; the page-change handler then moves
    // it into the page where that page has a first field.
    PageControl1->tabBar()->setFocusPolicy(Qt::StrongFocus);
    BuildSuffixPage();
    BuildHourPage();
    BuildMemoryPage();
    BuildBoardPage();

    Panel2 =
        Named(new TPanel(Panel1, kHeaderGrey, TPanel::TBevel::Lowered), QStringLiteral("Panel2"));
    Panel2->setGeometry(12, 249, 178, 41);
    Panel2->setFont(UiFont(19, true));
    Panel2->SetCaption(QStringLiteral("  Transmit"), Qt::AlignLeft, Qt::blue);
    LED_TX =
        MakeLamp(Panel2, QStringLiteral("LED_TX"), QPoint(119, 8), QStringLiteral("TX"), clGreen);
    BT_TXClear =
        MakeButton(Panel1, QStringLiteral("BT_TXClear"), QRect(335, 249, 108, 41),
                   QStringLiteral(" CLEAR"), UiFont(15, false), false, 0, TButtonGlyph::Clear);
    Mm_TX = Named(new TMemo(Panel1), QStringLiteral("Mm_TX"));
    Mm_TX->setGeometry(12, 296, 450, 257);
    Mm_TX->setFont(UiFont(16, true));
    SetColors(Mm_TX, kTxMonitor, Qt::blue);

    Panel4 =
        Named(new TPanel(Panel1, kHeaderGrey, TPanel::TBevel::Lowered), QStringLiteral("Panel4"));
    Panel4->setGeometry(469, 249, 178, 41);
    Panel4->setFont(UiFont(19, true));
    Panel4->SetCaption(QStringLiteral("  Receive"), Qt::AlignLeft, Qt::red);
    LED_RX =
        MakeLamp(Panel4, QStringLiteral("LED_RX"), QPoint(119, 8), QStringLiteral("RX"), clRed);
    BT_RXClear =
        MakeButton(Panel1, QStringLiteral("BT_RXClear"), QRect(789, 249, 108, 41),
                   QStringLiteral(" CLEAR"), UiFont(16, false), true, 0, TButtonGlyph::Clear);
    BT_RXClear->SetFontColor(clBlack);
    Mm_RX = Named(new TMemo(Panel1), QStringLiteral("Mm_RX"));
    Mm_RX->setGeometry(469, 296, 450, 257);
    Mm_RX->setFont(UiFont(16, true));
    SetColors(Mm_RX, kRxMonitor, Qt::red);
}

void TFMmain::BuildSuffixPage() {
    TabSheet1 = Named(new QWidget, QStringLiteral("TabSheet1"));
    PageControl1->addTab(TabSheet1, QStringLiteral(" Suffix Write "));
    const QFont f = UiFont(15, true);
    Label5 = MakeLabel(TabSheet1, QStringLiteral("Label5"), QStringLiteral("Model"), 78, 33, f);
    CBSuffix = Named(
        new TComboBox(TabSheet1, false, SuffixModelNames()),
        QStringLiteral("CBSuffix"));
    CBSuffix->setGeometry(134, 29, 211, 28);
    CBSuffix->setFont(f);
    SetColors(CBSuffix, kListGreen);
    CBSuffix->SetItemIndex(0);
    Label3 =
        MakeLabel(TabSheet1, QStringLiteral("Label3"), QStringLiteral("SN COMPANY"), 46, 84, f);
    EDCompany = MakeEdit(TabSheet1, QStringLiteral("EDCompany"), QRect(46, 107, 110, 28), f,
                         TEdit::TCharCase::UpperCase);
    Label2 = MakeLabel(TabSheet1, QStringLiteral("Label2"), QStringLiteral("SN YEAR"), 168, 83, f);
    EDYear = MakeEdit(TabSheet1, QStringLiteral("EDYear"), QRect(168, 107, 110, 28), f,
                      TEdit::TCharCase::UpperCase);
    Label4 =
        MakeLabel(TabSheet1, QStringLiteral("Label4"), QStringLiteral("SN number"), 294, 84, f);
    EDNumber = MakeEdit(TabSheet1, QStringLiteral("EDNumber"), QRect(291, 107, 110, 28), f,
                        TEdit::TCharCase::Normal, true);
    SuffixWrite = MakeButton(TabSheet1, QStringLiteral("SuffixWrite"), QRect(468, 84, 204, 51),
                             QStringLiteral("SUFFIX WRITE"), UiFont(16, true), false, 3,
                             TButtonGlyph::Suffix);
    Label11 = MakeLabel(TabSheet1, QStringLiteral("Label11"),
                        QStringLiteral("주) 전부 공백이면 Suffix 지우기"), 46, 160, f);
}

void TFMmain::BuildHourPage() {
    TabSheet2 = Named(new QWidget, QStringLiteral("TabSheet2"));
    PageControl1->addTab(TabSheet2, QStringLiteral(" Hour Write "));
    const QFont f = UiFont(15, true);
    Label71 = MakeLabel(TabSheet2, QStringLiteral("Label71"), QStringLiteral("Model"), 119, 25, f);
    CB_Model =
        Named(new TComboBox(TabSheet2, false, HourModelNames()),
              QStringLiteral("CB_Model"));
    CB_Model->setGeometry(175, 21, 184, 28);
    CB_Model->setFont(f);
    SetColors(CB_Model, kListGreen);
    CB_Model->SetItemIndex(0);
    BTHour =
        MakeButton(TabSheet2, QStringLiteral("BTHour"), QRect(520, 11, 204, 51),
                   QStringLiteral("HOUR WRITE"), UiFont(16, true), false, 3, TButtonGlyph::Hour);

    const auto digits = [&](const QString& name, const QRect& geometry) {
        TEdit* edit = MakeEdit(TabSheet2, name, geometry, f, TEdit::TCharCase::Normal, true);
        edit->setText(QStringLiteral("0"));
        return edit;
    };
    LBHour1 =
        MakeLabel(TabSheet2, QStringLiteral("LBHour1"), QStringLiteral("TOTAL HOUR"), 82, 92, f);
    EDHour1 = digits(QStringLiteral("EDHour1"), QRect(82, 115, 80, 28));
    Label8 = MakeLabel(TabSheet2, QStringLiteral("Label8"), QStringLiteral(":"), 168, 118, f);
    EDMin1 = digits(QStringLiteral("EDMin1"), QRect(177, 115, 70, 28));
    LBHour2 =
        MakeLabel(TabSheet2, QStringLiteral("LBHour2"), QStringLiteral("LOAD HOUR"), 324, 92, f);
    EDHour2 = digits(QStringLiteral("EDHour2"), QRect(324, 116, 80, 28));
    LBSemi2 = MakeLabel(TabSheet2, QStringLiteral("LBSemi2"), QStringLiteral(":"), 416, 118, f);
    EDMin2 = digits(QStringLiteral("EDMin2"), QRect(428, 116, 70, 28));
    LBHour3 =
        MakeLabel(TabSheet2, QStringLiteral("LBHour3"), QStringLiteral("kw HOUR"), 593, 92, f);
    EDHour3 = digits(QStringLiteral("EDHour3"), QRect(592, 115, 80, 28));
    LBSemi3 = MakeLabel(TabSheet2, QStringLiteral("LBSemi3"), QStringLiteral(":"), 678, 118, f);
    EDMin3 = digits(QStringLiteral("EDMin3"), QRect(689, 115, 70, 28));
}

void TFMmain::BuildMemoryPage() {
    TabSheet3 = Named(new QWidget, QStringLiteral("TabSheet3"));
    PageControl1->addTab(TabSheet3, QStringLiteral(" Memory Copy "));
    const QFont f = UiFont(15, true);
    const QFont regular15 = UiFont(15, false);
    BT_Read = MakeButton(TabSheet3, QStringLiteral("BT_Read"), QRect(4, 8, 100, 41),
                         QStringLiteral(" READ"), UiFont(16, true), false, 3, TButtonGlyph::Read);
    BT_Write =
        MakeButton(TabSheet3, QStringLiteral("BT_Write"), QRect(110, 8, 100, 41),
                   QStringLiteral(" WRITE"), UiFont(16, true), false, 3, TButtonGlyph::Write);
    CBModelM = Named(new TComboBox(TabSheet3, false, MemoryModelNames()),
                     QStringLiteral("CBModelM"));
    CBModelM->setGeometry(216, 17, 184, 28);
    CBModelM->setFont(f);
    SetColors(CBModelM, kListGreen);
    CBModelM->SetItemIndex(0);
    Panel6 =
        Named(new TPanel(TabSheet3, kSkyBlue, TPanel::TBevel::Lowered), QStringLiteral("Panel6"));
    Panel6->setGeometry(452, 8, 62, 41);
    Panel6->setFont(UiFont(19, true));
    Panel6->SetCaption(QStringLiteral("  FILE"), Qt::AlignLeft, kNavy);
    BTOpen = MakeButton(TabSheet3, QStringLiteral("BTOpen"), QRect(520, 8, 90, 41),
                        QStringLiteral(" OPEN"), regular15, false, 3, TButtonGlyph::Open);
    BTSave = MakeButton(TabSheet3, QStringLiteral("BTSave"), QRect(616, 8, 90, 41),
                        QStringLiteral(" SAVE"), regular15, false, 3, TButtonGlyph::Save);
    btTextWrite =
        MakeButton(TabSheet3, QStringLiteral("btTextWrite"), QRect(712, 8, 129, 41),
                   QStringLiteral(" FILE WRITE"), regular15, false, 3, TButtonGlyph::FileWrite);
    mmOpen = Named(new TMemo(TabSheet3), QStringLiteral("mmOpen"));
    // It fills the page's width and reaches its bottom, whatever size the page gets.
    mmOpen->setGeometry(0, 55, 914, 151);
    mmOpen->AlignToBottom();
    mmOpen->setFont(f);
    // The memory text has no blanks; it wraps wherever the line is full.
    mmOpen->setWordWrapMode(QTextOption::WrapAnywhere);
}

void TFMmain::BuildBoardPage() {
    TabSheet4 = Named(new QWidget, QStringLiteral("TabSheet4"));
    PageControl1->addTab(TabSheet4, QStringLiteral("Board Suffix"));
    const QFont f = UiFont(15, true);
    Label6 =
        MakeLabel(TabSheet4, QStringLiteral("Label6"), QStringLiteral("Board Year"), 52, 68, f);
    EDBoardYear = MakeEdit(TabSheet4, QStringLiteral("EDBoardYear"), QRect(52, 91, 110, 28), f,
                           TEdit::TCharCase::UpperCase);
    Label7 =
        MakeLabel(TabSheet4, QStringLiteral("Label7"), QStringLiteral("Board Month"), 174, 67, f);
    EdBoardMonth = MakeEdit(TabSheet4, QStringLiteral("EdBoardMonth"), QRect(174, 91, 110, 28), f,
                            TEdit::TCharCase::UpperCase);
    Label9 =
        MakeLabel(TabSheet4, QStringLiteral("Label9"), QStringLiteral("BD Number"), 300, 68, f);
    EDBoardNumber = MakeEdit(TabSheet4, QStringLiteral("EDBoardNumber"), QRect(297, 91, 110, 28), f,
                             TEdit::TCharCase::Normal, true);
    BTBoardWrite = MakeButton(TabSheet4, QStringLiteral("BTBoardWrite"), QRect(474, 68, 218, 51),
                              QStringLiteral("BOARD SUFFIX WRITE"), UiFont(16, true), false, 3,
                              TButtonGlyph::BoardSuffix);
    Label10 = MakeLabel(TabSheet4, QStringLiteral("Label10"),
                        QStringLiteral("주) 전부 공백이면 Suffix 지우기"), 52, 144, f);
}

void TFMmain::WireHandlers() {
    // Every handler runs inside the guard: an error ends that handler and shows the error box.
    const auto on = [this](auto* sender, auto signal, void (TFMmain::*handler)()) {
        connect(sender, signal, this, [this, handler] { Guard([&] { (this->*handler)(); }); });
    };
    on(BT_Close, &TDsFancyButton::OnClick, &TFMmain::BT_CloseClick);
    on(RGChoice, &TRadioGroup::OnClick, &TFMmain::RGChoiceClick);
    on(BT_Connect, &TDsFancyButton::OnClick, &TFMmain::BT_ConnectClick);
    on(BT_DisConnect, &TDsFancyButton::OnClick, &TFMmain::BT_ConnectClick);
    on(BT_Request, &TDsFancyButton::OnClick, &TFMmain::BT_RequestClick);
    on(BT_TXClear, &TDsFancyButton::OnClick, &TFMmain::BT_TXClearClick);
    on(BT_RXClear, &TDsFancyButton::OnClick, &TFMmain::BT_RXClearClick);
    on(Timer10, &QTimer::timeout, &TFMmain::Timer10Timer);
    // A failure while received bytes are taken in is for the service log only: the operator
    // sees its effect as a reply that fails its check, never a box per chunk of bytes.
    connect(ComPort1, &TComPort::OnRxChar, this, [this](int count) {
        try {
            ComPort1RxChar(count);
        } catch (const std::exception& e) {
            qCWarning(lcSerial, "reading received bytes failed: %s", e.what());
        } catch (...) {
            qCWarning(lcSerial, "reading received bytes failed");
        }
    });
    on(Client, &TClientSocket::OnRead, &TFMmain::ClientRead);
    on(Timer50, &QTimer::timeout, &TFMmain::Timer50Timer);
    on(BT_Read, &TDsFancyButton::OnClick, &TFMmain::BT_ReadClick);
    on(BT_Write, &TDsFancyButton::OnClick, &TFMmain::BT_WriteClick);
    on(btTextWrite, &TDsFancyButton::OnClick, &TFMmain::btTextWriteClick);
    on(BTOpen, &TDsFancyButton::OnClick, &TFMmain::BTOpenClick);
    on(BTSave, &TDsFancyButton::OnClick, &TFMmain::BTSaveClick);
    on(SuffixWrite, &TDsFancyButton::OnClick, &TFMmain::SuffixWriteClick);
    on(BTBoardWrite, &TDsFancyButton::OnClick, &TFMmain::BTBoardWriteClick);
    on(BTHour, &TDsFancyButton::OnClick, &TFMmain::BTHourClick);
    for (TEdit* edit : {EDCompany, EDHour1, EDMin1, EDBoardYear})
        on(edit, &TEdit::OnExit, &TFMmain::EDCompanyExit);
    for (TEdit* edit : {EDYear, EDHour2, EDMin2, EDMin3, EdBoardMonth})
        on(edit, &TEdit::OnExit, &TFMmain::EDYearExit);
    for (TComboBox* box : {CBSuffix, CB_Model, CBModelM})
        on(box, &QComboBox::activated, &TFMmain::CB_ModelChange);
    // Only a page change by the operator runs the handler; the start-up step selects the page
    // with the signal blocked.
    on(PageControl1, &QTabWidget::currentChanged, &TFMmain::PageControl1Change);
}

bool TFMmain::event(QEvent* event) {
    const bool result = QWidget::event(event);
    // The start-up step runs on the first activation only: dialogs closing and switching
    // applications activate the window again without running it. Without a window manager
    // (a bare X server, a kiosk session) no activation may ever come, so the first show also
    // schedules the step, right after the event loop has shown the window.
    if (event->type() == QEvent::WindowActivate) {
        RunStartUpOnce();
    } else if (event->type() == QEvent::Show && !FActivated) {
        QTimer::singleShot(0, this, [this] { RunStartUpOnce(); });
    }
    return result;
}

void TFMmain::RunStartUpOnce() {
    if (FActivated)
        return;
    FActivated = true;
    Guard([this] { FormActivate(); });
}

void TFMmain::closeEvent(QCloseEvent* event) {
    Guard([this] { FormClose(); });
    event->accept();
}

void TFMmain::FormActivate() {
    BT_DisConnect->hide();
    BT_DisConnect->move(BT_Connect->pos());
    PN_Comm->move(93, 69);
    PN_Lan->move(93, 69);
    RGChoice->SetItemIndex(0);
    RGChoiceClick();
    ReadTolma();
    Mm_TX->clear();
    Mm_RX->clear();
    mmOpen->clear();
    ButtonEnable(1);
    ED_Addr->setFocus();
    const QSignalBlocker quiet(PageControl1);
    PageControl1->setCurrentIndex(0);
}

void TFMmain::BT_CloseClick() {
    close();
}

void TFMmain::RGChoiceClick() {
    if (RGChoice->ItemIndex() == 0) {
        PN_Comm->show();
        PN_Lan->hide();
    } else {
        PN_Comm->hide();
        PN_Lan->show();
    }
}

void TFMmain::PageControl1Change() {
    switch (PageControl1->currentIndex()) {
        case 0:
            EDCompany->setFocus();
            break;
        case 1:
            EDHour1->setFocus();
            CB_ModelChange();
            break;
        default:
            break;
    }
}

void TFMmain::ButtonEnable(quint8 buf) {
    if (buf > 1)
        return;
    const bool idle = buf == 1;
    for (QWidget* w :
         std::initializer_list<QWidget*>{ED_Addr, CB_Baud, CB_Parity, EDComPort, RGChoice})
        w->setEnabled(idle);
    for (QWidget* w : std::initializer_list<QWidget*>{BT_Request, BT_Read, BT_Write})
        w->setEnabled(!idle);
}

void TFMmain::showMessage_x(const QString& sMsgStr) {
    ShowMessageX(this, sMsgStr);
}

bool TFMmain::showMessage_Y(const QString& sMsgStr) {
    return ShowMessageY(this, sMsgStr);
}

QString TFMmain::HexDisplay(const QString& sStr) const {
    return HexDisplayText(sStr);
}

QString TFMmain::OneSpace_HexDisplay(const QString& sStr) const {
    return OneSpaceHexDisplayText(sStr);
}

QString TFMmain::intToHexDisplay(std::span<const quint8> iByte) const {
    return IntToHexDisplayText(iByte);
}

bool TFMmain::Check_CRC16(std::span<const quint8> putMsg) const {
    return CheckCRC16(putMsg);
}

void TFMmain::FormClose() {
    // An open LAN connection needs no step here: it ends with the program.
    CloseSerialLinkForExit();
    WriteTolma();
}

void TFMmain::ReadTolma() {
    Tolma1Table = ReadTolmaFile(SettingsFileName());
    ED_IPAddr->setText(Tolma1Table.IP);
    ED_Port->setText(Tolma1Table.LANPORT);
    ED_Addr->setText(Tolma1Table.ID);
    EDComPort->setText(Tolma1Table.PORT);
    CB_Baud->SetItemIndex(SettingRow(Tolma1Table.Baudrate));
    CB_Parity->SetItemIndex(SettingRow(Tolma1Table.Parity));
    CB_Model->SetItemIndex(SettingRow(Tolma1Table.Model));
}

void TFMmain::WriteTolma() {
    TTolmaValues values;
    values.ID = ED_Addr->text();
    values.PORT = EDComPort->text();
    values.Baudrate = CB_Baud->ItemIndex();
    values.Parity = CB_Parity->ItemIndex();
    values.Model = CB_Model->ItemIndex();
    values.IP = ED_IPAddr->text();
    values.LANPORT = ED_Port->text();
    if (!WriteTolmaFile(SettingsFileName(), values))
        ShowPlainMessage(QStringLiteral("쓰기 에러!!"));
}
