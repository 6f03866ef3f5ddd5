#include "app/ErrorBox.h"
#include "app/Main.h"
#include "app/NumConv.h"
#include "link/ClientSocket.h"
#include "link/ComPort.h"
#include "operations/OperationState.h"
#include "protocol/Frames.h"
#include "protocol/HexDisplay.h"
#include "widgets/SCLED.h"

void TFMmain::TXCommand(const QByteArray& Buf) {
    // Counted as open even when the send fails: part of it may have left.
    OpState.Requests.Sent(Buf);
    try {
        if (RGChoice->ItemIndex() == 0) {
            ComPort1->Write(Buf.constData(), int(Buf.size()));
        } else {
            // Non-blocking: what the socket takes is not examined; a socket that is not
            // connected takes nothing and says nothing.
            Client->Socket()->SendBuf(Buf.constData(), int(Buf.size()));
        }
        LED_TX->Animate(3, 50, 2, 0, 0, 0);
        Mm_TX->appendPlainText(IntToHexDisplayText(Buf));
    } catch (...) {
        // Whatever went wrong on the way out, the operator gets this one message; the caller
        // goes on as if the frame had been sent.
        showMessage_x(QStringLiteral("숫자만 입력하세요!"));
    }
}

void TFMmain::BT_RequestClick() {
    // A slave ID that is not a number ends the click with the conversion error; nothing is sent.
    TXCommand(BuildCommTestRequest(SlaveIdFromText(ED_Addr->text())));
}

void TFMmain::BT_TXClearClick() {
    Mm_TX->clear();
}
