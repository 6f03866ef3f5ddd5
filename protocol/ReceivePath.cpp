#include "protocol/ReceivePath.h"

#include "app/ErrorBox.h"
#include "app/Main.h"
#include "app/NumConv.h"
#include "link/ClientSocket.h"
#include "link/ComPort.h"
#include "operations/MemoryCopyPlan.h"
#include "operations/OperationState.h"
#include "protocol/CRC16.h"
#include "protocol/HexDisplay.h"
#include "protocol/Qb_lib02.h"
#include "widgets/SCLED.h"

namespace {

QByteArray BytesFromHexPairs(const QString& hex) {
    const qsizetype count = hex.size() / 2;
    QByteArray bytes(count, '\0');
    for (qsizetype i = 0; i < count; ++i)
        bytes[i] = char(HexStrToByte(hex.mid(2 * i, 2)));
    return bytes;
}

}  // namespace

TReplyText DecodeSerialReply(const QString& rcvStr) {
    TReplyText reply;
    reply.MonitorLine = OneSpaceHexDisplayText(rcvStr);
    reply.Bytes = BytesFromHexPairs(HexDisplayText(rcvStr));
    return reply;
}

TReplyText DecodeLanReply(const QString& rcvStr) {
    TReplyText reply;
    reply.Bytes = BytesFromHexPairs(rcvStr);
    reply.MonitorLine.reserve(reply.Bytes.size() * 3);
    for (qsizetype i = 0; i < reply.Bytes.size(); ++i) {
        reply.MonitorLine += rcvStr.mid(2 * i, 2);
        reply.MonitorLine += u' ';
    }
    return reply;
}

void TFMmain::ComPort1RxChar(int) {
    if (ComPort1->InputCount() == 0)
        return;
    // Only the first chunk of a serial reply starts its window; later chunks do not extend it.
    if (!OpState.RcvActive) {
        OpState.RcvIdleTicks = kReplyWindowTicks;
        OpState.RcvActive = true;
    }
    QString chunk;
    ComPort1->ReadStr(chunk, ComPort1->InputCount());
    OpState.RcvStr += chunk;
}

void TFMmain::ClientRead() {
    // On the LAN every read event restarts the window, even one that brings no bytes.
    OpState.RcvIdleTicks = kReplyWindowTicks;
    OpState.RcvActive = true;
    const QByteArray bytes = Client->Socket()->ReceiveText();
    QString hex;
    hex.reserve(bytes.size() * 2);
    for (char b : bytes)
        hex += ByteToHexStr(quint8(b));
    OpState.RcvStr += hex;
}

void TFMmain::Timer10Timer() {
    if (OpState.RcvActive) {
        if (OpState.RcvIdleTicks > 0) {
            --OpState.RcvIdleTicks;
        } else {
            LED_RX->Animate(3, 50, 2, 0, 0, 0);
            OpState.RcvActive = false;
            RCVDataHandle();
        }
    }
    UpdateMemoryButtons();
}

void TFMmain::RCVDataHandle() {
    const TReplyText reply = RGChoice->ItemIndex() == 0 ? DecodeSerialReply(OpState.RcvStr)
                                                        : DecodeLanReply(OpState.RcvStr);
    Mm_RX->appendPlainText(reply.MonitorLine);
    OpState.RcvBuf = reply.Bytes;

    const int replySlave = OpState.RcvBuf.isEmpty() ? 0 : quint8(OpState.RcvBuf[0]);
    // The full integer is compared: a slave ID setting outside 0..255 never matches.
    if (replySlave == StrToInt(ED_Addr->text())) {
        if (Check_CRC16(AsBytes(OpState.RcvBuf))) {
            DispatchReply();
        } else {
            OpState.ResendFlag = true;
        }
        OpState.RcvBuf.clear();
    }
    OpState.SuffixWritePending = false;
    OpState.BoardSuffixWritePending = false;
    OpState.HourWritePending = false;
    OpState.RcvStr.clear();
}

void TFMmain::DispatchReply() {
    const quint8 function = OpState.RcvBuf.size() > 1 ? quint8(OpState.RcvBuf[1]) : 0;
    if (OpState.SuffixWritePending || OpState.BoardSuffixWritePending) {
        ShowPlainMessage(function == 16 ? QStringLiteral("Suffix 쓰기 완료!!")
                                        : QStringLiteral("Suffix 쓰기 에러 발생!!"));
    } else if (OpState.HourWritePending) {
        ShowPlainMessage(function == 16 ? QStringLiteral("Hour 쓰기 완료!!")
                                        : QStringLiteral("Hour 쓰기 에러 발생!!"));
    } else if (OpState.MemoryJobActive) {
        if (OpState.Resyncing) {
            // Everything before the answer to the communication test is a late answer for a
            // block already done.
            if (function == 4 && (OpState.MemoryJob == 1 || OpState.MemoryJob == 2)) {
                OpState.Resyncing = false;
                OpState.ResendFlag = false;
                (OpState.MemoryJob == 1 ? OpState.ReadAck : OpState.WriteAck) = true;
                ContinueSweep();
            }
            return;
        }
        // Only a reply to the sweep's own kind of request, normal or exception, answers one of
        // its requests; a late answer to a communication test, for one, does not.
        const int sweepFunction = OpState.MemoryJob == 1 ? 3 : 16;
        if ((function & 0x7F) == sweepFunction && OpState.BlockUnanswered > 0)
            --OpState.BlockUnanswered;
        if (OpState.MemoryJob == 1) {
            // A read reply too short for the block is a bad reply: storing it would take its CRC,
            // or bytes beyond it, for memory.
            if (function == 3 && ReadReplyCarriesBlock(OpState.RcvBuf, OpState.ReadLen)) {
                OpState.ResendFlag = false;
                OpState.ReadAck = true;
                RxDataSave();
                ++OpState.ReadBlockNo;
                SweepBlockDone();
            } else {
                OpState.ResendFlag = true;
            }
        } else if (OpState.MemoryJob == 2) {
            if (function == 16) {
                OpState.ResendFlag = false;
                OpState.WriteAck = true;
                ++OpState.WriteBlockNo;
                SweepBlockDone();
            } else {
                OpState.ResendFlag = true;
            }
        } else {
            OpState.ResendFlag = false;
        }
    }
}

void TFMmain::BT_RXClearClick() {
    Mm_RX->clear();
}
