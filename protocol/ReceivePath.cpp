#include "protocol/ReceivePath.h"

#include "app/ErrorBox.h"
#include "app/Main.h"
#include "app/NumConv.h"
#include "link/ClientSocket.h"
#include "link/ComPort.h"
#include "operations/MemoryCopyPlan.h"
#include "operations/OperationState.h"
#include "operations/PendingMarks.h"
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
    // The first chunk of a serial reply starts its window; later chunks keep it open only until
    // the line has been quiet for a moment.
    if (!OpState.RcvActive) {
        OpState.RcvIdleTicks = kReplyWindowTicks;
        OpState.RcvActive = true;
        OpState.RcvTicks = 0;
    }
    OpState.RcvQuietTicks = 0;
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
        const bool serial = RGChoice->ItemIndex() == 0;
        if (serial) {
            OpState.RcvQuietTicks = qMin(OpState.RcvQuietTicks + 1, kReplyLongestTicks);
            OpState.RcvTicks = qMin(OpState.RcvTicks + 1, kReplyLongestTicks);
        }
        if (OpState.RcvIdleTicks > 0) {
            --OpState.RcvIdleTicks;
        } else if (!serial || OpState.RcvQuietTicks >= kReplyQuietTicks ||
                   OpState.RcvTicks >= kReplyLongestTicks) {
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
    bool keepMarks = false;
    if (replySlave == StrToInt(ED_Addr->text())) {
        if (Check_CRC16(AsBytes(OpState.RcvBuf))) {
            keepMarks = DispatchReply();
        } else {
            OpState.ResendFlag = true;
        }
        OpState.RcvBuf.clear();
    }
    if (!keepMarks) {
        OpState.SuffixWritePending = false;
        OpState.BoardSuffixWritePending = false;
        OpState.HourWritePending = false;
    }
    OpState.RcvStr.clear();
}

bool TFMmain::DispatchReply() {
    const quint8 function = OpState.RcvBuf.size() > 1 ? quint8(OpState.RcvBuf[1]) : 0;
    const QByteArray writeRequest = OpState.Requests.OpenFrame(OpState.PendingMarkSeq);
    const TRequestLedger::TSettled settled = OpState.Requests.Settle(OpState.RcvBuf);
    if (AnyWritePending()) {
        // A pending write takes the reply unless it answers a request sent before the write: that
        // one came first, and the write's own answer may still follow. Success is the write's own
        // answer; anything else means that answer will not come.
        // Earlier writes of the same kind give the same echo; their answers are long overdue
        // once a mark has expired, so such a reply counts as the write's own. An exception names
        // no address: it is the write's only when it can answer nothing sent before.
        const bool sameEcho = function == 16 && ReplyCanAnswer(writeRequest, OpState.RcvBuf);
        const bool own = settled.Found && (settled.Request == writeRequest || sameEcho);
        const bool earlier = settled.Found && !own && settled.Seq < OpState.PendingMarkSeq;
        if (earlier) {
            if (OpState.MemoryJobActive)
                SweepReply(settled, function);
            return true;
        }
        // A mark whose request is not in the ledger was set without one being sent: the reply is
        // judged by its function code alone.
        const bool done = function == 16 && (own || writeRequest.isEmpty());
        if (OpState.SuffixWritePending || OpState.BoardSuffixWritePending) {
            ShowPlainMessage(done ? QStringLiteral("Suffix 쓰기 완료!!")
                                  : QStringLiteral("Suffix 쓰기 에러 발생!!"));
        } else {
            ShowPlainMessage(done ? QStringLiteral("Hour 쓰기 완료!!")
                                  : QStringLiteral("Hour 쓰기 에러 발생!!"));
        }
        // A reply to a request sent after the write is that request's answer as well.
        if (!settled.Found || own)
            return false;
    }
    if (OpState.MemoryJobActive)
        SweepReply(settled, function);
    return false;
}

void TFMmain::BT_RXClearClick() {
    Mm_RX->clear();
}
