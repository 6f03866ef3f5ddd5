#include "app/Main.h"
#include "app/NumConv.h"
#include "link/ClientSocket.h"
#include "link/ComPort.h"
#include "widgets/DsFancyButton.h"

void TFMmain::ComPortSet() {
    // 0 keeps the device's own queue sizes.
    ComPort1->Buffer().SetInputSize(0);
    ComPort1->Buffer().SetOutputSize(0);
    ComPort1->SetPort(QStringLiteral("COM") + EDComPort->text());
    // A box with no row selected leaves the port's previous setting in force.
    switch (CB_Baud->ItemIndex()) {
        case 0:
            ComPort1->SetBaudRate(9600);
            break;
        case 1:
            ComPort1->SetBaudRate(19200);
            break;
        case 2:
            ComPort1->SetBaudRate(38400);
            break;
        default:
            break;
    }
    switch (CB_Parity->ItemIndex()) {
        case 0:
            ComPort1->Parity().SetBits(TParityBits::None);
            break;
        case 1:
            ComPort1->Parity().SetBits(TParityBits::Even);
            break;
        case 2:
            ComPort1->Parity().SetBits(TParityBits::Odd);
            break;
        default:
            break;
    }
}

void TFMmain::BT_ConnectClick() {
    try {
        if (RGChoice->ItemIndex() == 0) {
            if (ComPort1->Connected()) {
                ComPort1->Close();
                Timer10->stop();
                Timer50->stop();
                ShowLinkDisconnected();
            } else {
                ComPortSet();
                ComPort1->Open();
                Timer10->start();
                Timer50->start();
                ShowLinkConnected();
            }
            return;
        }
        Timer10->stop();
        // "해 제" releases whatever the link is doing: a connection, an attempt still looking up
        // or connecting, or one that failed. Starting a new attempt from it would keep the
        // operator locked out of the LAN settings behind an address that does not answer.
        if (Client->Active() || !BT_DisConnect->isHidden() ||
            Client->Socket()->State() != TClientWinSocket::TState::Closed) {
            Client->Close();
            Timer50->stop();
            ShowLinkDisconnected();
        } else {
            // Opening while an attempt is still looking up or connecting replaces that attempt.
            Client->SetHost(ED_IPAddr->text());
            Client->SetPort(StrToInt(ED_Port->text()));
            Client->Open();
            Timer10->start();
            Timer50->start();
            ShowLinkConnected();
        }
    } catch (...) {
        // The operator learns only whether the link is usable, never the low-level reason.
        if (!IsLinkOpen())
            showMessage_x(QStringLiteral("연결 실패!!"));
    }
}

void TFMmain::ShowLinkConnected() {
    BT_DisConnect->show();
    BT_Connect->hide();
    if (RGChoice->ItemIndex() == 0) {
        StatusBar1->SetPanelText(QStringLiteral("Connected.. [ ") + ED_Addr->text() +
                                 QStringLiteral(", ") + CB_Baud->currentText() +
                                 QStringLiteral(", ") + CB_Parity->currentText() +
                                 QStringLiteral(", , ") + EDComPort->text() + QStringLiteral(" ]"));
    } else {
        StatusBar1->SetPanelText(QStringLiteral("Connected.. [ ") + ED_Addr->text() +
                                 QStringLiteral(", ") + ED_IPAddr->text() + QStringLiteral(", ") +
                                 ED_Port->text() + QStringLiteral(" ] "));
    }
    ButtonEnable(0);
    showMessage_x(QStringLiteral("연결되었습니다!"));
}

void TFMmain::ShowLinkDisconnected() {
    BT_DisConnect->hide();
    BT_Connect->show();
    StatusBar1->SetPanelText(QStringLiteral("Disconnected.."));
    ButtonEnable(1);
    showMessage_x(QStringLiteral("연결 해제되었습니다!"));
}

bool TFMmain::IsLinkOpen() const {
    return ComPort1->Connected() || Client->Active();
}

void TFMmain::CloseSerialLinkForExit() {
    if (ComPort1->Connected())
        ComPort1->Close();
}
