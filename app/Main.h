#pragma once

#include <QByteArray>
#include <QImage>
#include <QLabel>
#include <QString>
#include <QTabWidget>
#include <QTimer>
#include <QWidget>
#include <span>

#include "app/Controls.h"
#include "app/Settings.h"
#include "operations/RequestLedger.h"
#include "widgets/Colors.h"
#include "widgets/DsFancyButtonGlyphs.h"

class TComPort;
class TClientSocket;
class TDsFancyButton;
class TSCLED;
enum class TTextMark : quint8;

// The file-open and file-save dialogs of the window: their settings live with the window, the
// dialog itself exists only while it is shown.
class TFileDialog {
public:
    enum class TKind { Open, Save };
    explicit TFileDialog(TKind kind) : FKind(kind) {}

    QString Filter;    // Qt filter text
    QString FileName;  // proposed before Execute, chosen after it

    // Shows the dialog modally; true when the operator chose a file.
    bool Execute(QWidget* parent);

private:
    TKind FKind;
};

// The program's one window. It holds every control and every event handler; the handlers of each
// subsystem are defined in that subsystem's files (protocol/, link/, operations/).
class TFMmain : public QWidget {
    Q_OBJECT
public:
    explicit TFMmain(QWidget* parent = nullptr);
    ~TFMmain() override;

    // --- handlers of the window itself ---
    void FormActivate();
    void FormClose();
    void BT_CloseClick();
    void RGChoiceClick();
    void PageControl1Change();
    void ButtonEnable(quint8 buf);

    // --- settings file ---
    void ReadTolma();
    void WriteTolma();
    // "Tolma.ini" beside the executable; tests point it elsewhere before the window is shown.
    QString SettingsFileName() const { return FSettingsFileName; }
    void SetSettingsFileName(const QString& fileName) { FSettingsFileName = fileName; }

    // --- message dialogs ---
    void showMessage_x(const QString& sMsgStr);
    bool showMessage_Y(const QString& sMsgStr);

    // --- monitor formatters and reply check ---
    QString HexDisplay(const QString& sStr) const;
    QString OneSpace_HexDisplay(const QString& sStr) const;
    QString intToHexDisplay(std::span<const quint8> iByte) const;
    bool Check_CRC16(std::span<const quint8> putMsg) const;

    // --- link management ---
    void ComPortSet();
    void ShowLinkConnected();
    void ShowLinkDisconnected();
    bool IsLinkOpen() const;

    // --- transmit and receive paths ---
    void TXCommand(const QByteArray& Buf);
    void RCVDataHandle();

    // --- memory copy engine and memory text ---
    void RxDataSave();
    void InputRxDataFromReadFile();
    void RxDataProcess();
    void TxDataProcess();
    void CommReadROM(int Index);
    void CommWriteROM(int Index);
    // The shared start of the three sweeps, then their first block (or first the line settling).
    void StartSweep(qint32 job);
    void FirstBlock();
    // An accepted reply, as the ledger has settled it, handed to the sweep.
    void SweepReply(const TRequestLedger::TSettled& settled, quint8 function);
    // Waits until no request but tests can still be answered, then sends the current block again
    // (repeatBlock) or goes on with the next one; thenResend is the resend flag after that.
    void StartResync(bool repeatBlock, bool thenResend);
    void EndResync();
    void ContinueSweep();
    void SendResyncRequest();
    void UpdateMemoryButtons();
    // Clears a suffix, board suffix or hour mark whose reply is overdue; run on every Timer50 tick.
    void ExpirePendingMarks();

    // --- handlers whose bodies belong to the link, protocol and operation files ---
    void BT_ConnectClick();
    void BT_RequestClick();
    void BT_TXClearClick();
    void BT_RXClearClick();
    void ComPort1RxChar(int count);
    void ClientRead();
    void Timer10Timer();
    void Timer50Timer();
    void BT_ReadClick();
    void BT_WriteClick();
    void btTextWriteClick();
    void BTOpenClick();
    void BTSaveClick();
    void SuffixWriteClick();
    void BTBoardWriteClick();
    void EDCompanyExit();
    void EDYearExit();
    void CB_ModelChange();
    void BTHourClick();

    bool FormActivated() const { return FActivated; }

    // --- controls, named as the operators' manual and the other subsystems know them ---
    // Header
    TPanel* Panel5;
    TPanel* Panel3;
    TPanel* Panel7;
    QLabel* Image1;
    QLabel* Label35;
    TEdit* ED_Addr;
    TPanel* PN_Comm;
    QLabel* Label17;
    TComboBox* CB_Baud;
    QLabel* Label18;
    TComboBox* CB_Parity;
    QLabel* Label19;
    TEdit* EDComPort;
    TPanel* PN_Lan;
    QLabel* Label66;
    TEdit* ED_IPAddr;
    QLabel* Label73;
    TEdit* ED_Port;
    TRadioGroup* RGChoice;
    TDsFancyButton* BT_Connect;
    TDsFancyButton* BT_DisConnect;
    TDsFancyButton* BT_Request;
    TDsFancyButton* BT_Close;

    // Work panel
    TPanel* Panel1;
    QTabWidget* PageControl1;
    QWidget* TabSheet1;
    QWidget* TabSheet2;
    QWidget* TabSheet3;
    QWidget* TabSheet4;
    TPanel* Panel2;
    TSCLED* LED_TX;
    TDsFancyButton* BT_TXClear;
    TMemo* Mm_TX;
    TPanel* Panel4;
    TSCLED* LED_RX;
    TDsFancyButton* BT_RXClear;
    TMemo* Mm_RX;

    // Page " Suffix Write "
    QLabel* Label5;
    TComboBox* CBSuffix;
    QLabel* Label3;
    TEdit* EDCompany;
    QLabel* Label2;
    TEdit* EDYear;
    QLabel* Label4;
    TEdit* EDNumber;
    TDsFancyButton* SuffixWrite;
    QLabel* Label11;

    // Page " Hour Write "
    QLabel* Label71;
    TComboBox* CB_Model;
    TDsFancyButton* BTHour;
    QLabel* LBHour1;
    TEdit* EDHour1;
    QLabel* Label8;
    TEdit* EDMin1;
    QLabel* LBHour2;
    TEdit* EDHour2;
    QLabel* LBSemi2;
    TEdit* EDMin2;
    QLabel* LBHour3;
    TEdit* EDHour3;
    QLabel* LBSemi3;
    TEdit* EDMin3;

    // Page " Memory Copy "
    TDsFancyButton* BT_Read;
    TDsFancyButton* BT_Write;
    TComboBox* CBModelM;
    TPanel* Panel6;
    TDsFancyButton* BTOpen;
    TDsFancyButton* BTSave;
    TDsFancyButton* btTextWrite;
    TMemo* mmOpen;

    // Page "Board Suffix"
    QLabel* Label6;
    TEdit* EDBoardYear;
    QLabel* Label7;
    TEdit* EdBoardMonth;
    QLabel* Label9;
    TEdit* EDBoardNumber;
    TDsFancyButton* BTBoardWrite;
    QLabel* Label10;

    TStatusBar* StatusBar1;

    // Non-visual parts
    QTimer* Timer10;
    QTimer* Timer50;
    TComPort* ComPort1 = nullptr;
    TClientSocket* Client = nullptr;
    TFileDialog OpenDialog1{TFileDialog::TKind::Open};
    TFileDialog SaveDialog1{TFileDialog::TKind::Save};

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildHeader();
    void BuildWorkPanel();
    void BuildSuffixPage();
    void BuildHourPage();
    void BuildMemoryPage();
    void BuildBoardPage();
    void WireHandlers();
    void RunStartUpOnce();
    // Hands an accepted reply to what waits for it; true when a pending write mark is kept.
    bool DispatchReply();
    // Closes the serial port silently when the window closes with it open.
    void CloseSerialLinkForExit();

    // Every command button and lamp is made here, so that their look is decided in one place.
    TDsFancyButton* MakeButton(QWidget* parent, const QString& name, const QRect& geometry,
                               const QString& caption, const QFont& font, bool redHover,
                               int glyphDistance, TButtonGlyph glyph);
    TSCLED* MakeLamp(QWidget* parent, const QString& name, const QPoint& position,
                     const QString& caption, TColor backColor);
    TEdit* MakeEdit(QWidget* parent, const QString& name, const QRect& geometry, const QFont& font,
                    TEdit::TCharCase charCase = TEdit::TCharCase::Normal, bool numbersOnly = false);

    bool FActivated = false;
    QString FSettingsFileName;
    // Byte-order mark of the last memory file opened (none for a plain one); SAVE writes in
    // that form.
    TTextMark FMemoryFileMark{};
};

// The single window of a running program; set while it exists.
extern TFMmain* FMmain;
