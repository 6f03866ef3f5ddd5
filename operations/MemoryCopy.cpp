#include "app/Main.h"
#include "app/NumConv.h"
#include "link/ClientSocket.h"
#include "link/ComPort.h"
#include "operations/MemoryCopyPlan.h"
#include "operations/MemoryTextBox.h"
#include "operations/OperationState.h"
#include "protocol/Frames.h"
#include "widgets/DsFancyButton.h"

namespace {

// Timer50 ticks counted down between two retry checks, so that a check runs about once a second.
constexpr qint32 kRetryPeriodTicks = 20;
// Consecutive checks without an acknowledged block that a sweep survives.
constexpr qint32 kRetryLimit = 10;

const QString kNotConnected = QStringLiteral("통신연결이 안되었습니다!");

// The slave ID is converted at every request, so that a text that is not a number fails there.
quint8 SlaveId(const TEdit& box) {
    return SlaveIdFromText(box.text());
}

}  // namespace

void TFMmain::BT_ReadClick() {
    if (!IsLinkOpen()) {
        showMessage_x(kNotConnected);
        return;
    }
    if (!showMessage_Y(QStringLiteral("Read Parameter?")))
        return;
    // A slave ID that is not a number must fail before the sweep state changes: a failed start
    // leaves the engine idle.
    SlaveId(*ED_Addr);
    StartSweep(1);
    mmOpen->clear();
    FirstBlock();
}

void TFMmain::BT_WriteClick() {
    if (!IsLinkOpen()) {
        showMessage_x(kNotConnected);
        return;
    }
    if (!showMessage_Y(QStringLiteral("Write Parameter?")))
        return;
    SlaveId(*ED_Addr);
    StartSweep(2);
    FirstBlock();
}

void TFMmain::btTextWriteClick() {
    if (!IsLinkOpen()) {
        showMessage_x(kNotConnected);
        return;
    }
    if (MemoryText(*mmOpen).isEmpty()) {
        showMessage_x(QStringLiteral("파일이 없습니다!"));
        return;
    }
    if (!showMessage_Y(QStringLiteral("Write Parameter?")))
        return;
    SlaveId(*ED_Addr);
    StartSweep(2);
    InputRxDataFromReadFile();
    FirstBlock();
}

void TFMmain::StartSweep(qint32 job) {
    // A new sweep abandons the one that ran: its counters start again, and its requests still
    // open are waited out by FirstBlock.
    OpState.MemoryJobActive = true;
    OpState.MemoryJob = job;
    OpState.RetryCount = 0;
    if (job == 1) {
        OpState.ReadBlockNo = 0;
        OpState.ReadAddr = 0;
    } else {
        OpState.WriteBlockNo = 0;
        OpState.WriteAddr = 0;
    }
    OpState.Resyncing = false;
    OpState.BlockRequest.clear();
    // The first block is sent again at the checks until it has been answered.
    OpState.ResendFlag = true;
    // The first check comes a full period after the first request. An earlier one would ask for
    // the first block again, and its late reply would be stored as the second block.
    OpState.RetryTicks = kRetryPeriodTicks;
}

void TFMmain::FirstBlock() {
    if (OpState.Requests.AnyOpenBesidesTests())
        StartResync(false, true);
    else
        ContinueSweep();
}

void TFMmain::RxDataProcess() {
    // The row is read at every step: the plan follows the current selection.
    const TMemoryModel* model = MemoryModel(CBModelM->ItemIndex());
    if (model == nullptr)
        return;  // the box always has a row selected
    const std::optional<TMemoryBlock> next =
        NextReadBlock(*model, OpState.ReadAddr, OpState.ReadBlockNo);
    if (!next) {
        OpState.MemoryJob = 0;
        OpState.ReadDone = true;
        OpState.MemoryJobActive = false;
        showMessage_x(QStringLiteral("Reading OK!!"));
        return;
    }
    OpState.ReadAddr = next->Offset;
    OpState.ReadLen = next->Length;
    CommReadROM(OpState.ReadLen);
}

void TFMmain::TxDataProcess() {
    const TMemoryModel* model = MemoryModel(CBModelM->ItemIndex());
    if (model == nullptr)
        return;
    const std::optional<TMemoryBlock> next =
        NextWriteBlock(*model, OpState.WriteAddr, OpState.WriteBlockNo);
    if (!next) {
        OpState.MemoryJob = 0;
        OpState.MemoryJobActive = false;
        showMessage_x(QStringLiteral("Writing OK!!"));
        return;
    }
    OpState.WriteAddr = next->Offset;
    OpState.WriteLen = next->Length;
    OpState.TxBlock =
        QByteArray(reinterpret_cast<const char*>(OpState.MemImage.data()) + OpState.WriteAddr,
                   OpState.WriteLen);
    CommWriteROM(OpState.WriteLen);
}

void TFMmain::CommReadROM(int Index) {
    OpState.BlockRequest = BuildMemoryReadRequest(SlaveId(*ED_Addr), OpState.ReadAddr, Index);
    TXCommand(OpState.BlockRequest);
}

void TFMmain::CommWriteROM(int Index) {
    OpState.BlockRequest =
        BuildMemoryWriteRequest(SlaveId(*ED_Addr), OpState.WriteAddr, OpState.TxBlock.left(Index));
    TXCommand(OpState.BlockRequest);
}

void TFMmain::SweepReply(const TRequestLedger::TSettled& settled, quint8 function) {
    if (OpState.MemoryJob != 1 && OpState.MemoryJob != 2) {
        OpState.ResendFlag = false;
        return;
    }
    if (OpState.Resyncing) {
        // Everything before the line has settled is an answer to a request already done with.
        if (!OpState.Requests.AnyOpenBesidesTests())
            EndResync();
        return;
    }
    if (!settled.Found || settled.Request != OpState.BlockRequest) {
        // The answer to another request (a test, a write, an abandoned sweep's block) says nothing
        // about this block. A reply that answers no request at all may have taken the place of
        // the block's answer.
        if (!settled.Found)
            OpState.ResendFlag = true;
        return;
    }
    const bool reading = OpState.MemoryJob == 1;
    if (function != (reading ? 3 : 16)) {
        OpState.ResendFlag = true;  // an exception: the block is sent again at the next check
        return;
    }
    if (settled.Ambiguous) {
        // Another open request could have brought this reply: the block is asked again once the
        // line has settled.
        StartResync(true, true);
        return;
    }
    OpState.ResendFlag = false;
    if (reading) {
        OpState.ReadAck = true;
        RxDataSave();
        ++OpState.ReadBlockNo;
    } else {
        OpState.WriteAck = true;
        ++OpState.WriteBlockNo;
    }
    // A repeated request for this block, or any other request still open, could be answered yet
    // and be taken for the next block.
    if (OpState.Requests.AnyOpenBesidesTests())
        StartResync(false, false);
    else
        ContinueSweep();
}

void TFMmain::StartResync(bool repeatBlock, bool thenResend) {
    OpState.Resyncing = true;
    OpState.ResyncRepeatsBlock = repeatBlock;
    OpState.ResyncThenResend = thenResend;
    // Until the line has settled, the retry check sends the test again instead of a block, a
    // full period after this one.
    OpState.ResendFlag = true;
    OpState.RetryTicks = kRetryPeriodTicks;
    SendResyncRequest();
}

void TFMmain::EndResync() {
    OpState.Resyncing = false;
    (OpState.MemoryJob == 1 ? OpState.ReadAck : OpState.WriteAck) = true;
    // A block answered before the line settled is not sent again: only a first request, or one
    // whose answer could not be told apart, is repeated until it is answered.
    OpState.ResendFlag = OpState.ResyncThenResend;
    OpState.RetryTicks = kRetryPeriodTicks;
    if (!OpState.ResyncRepeatsBlock)
        ContinueSweep();
    else if (OpState.MemoryJob == 1)
        CommReadROM(OpState.ReadLen);
    else
        CommWriteROM(OpState.WriteLen);
}

void TFMmain::ContinueSweep() {
    if (OpState.MemoryJob == 1)
        RxDataProcess();
    else if (OpState.MemoryJob == 2)
        TxDataProcess();
}

void TFMmain::SendResyncRequest() {
    TXCommand(BuildCommTestRequest(SlaveId(*ED_Addr)));
}

void TFMmain::Timer50Timer() {
    ExpirePendingMarks();
    const bool linkOpen = RGChoice->ItemIndex() == 0 ? ComPort1->Connected() : Client->Active();
    if (!linkOpen)
        return;
    if (OpState.RetryTicks > 0) {
        --OpState.RetryTicks;
        return;
    }
    // One check for both sweeps: ack is the sweep's acknowledgement mark, resend repeats its
    // current block.
    const auto check = [this](bool& ack, const QString& failure, auto&& resend) {
        OpState.RetryTicks = kRetryPeriodTicks;
        if (ack) {
            OpState.RetryCount = 0;
        } else if (++OpState.RetryCount > kRetryLimit) {
            OpState.MemoryJob = 0;
            OpState.Resyncing = false;
            showMessage_x(failure);
            return;
        }
        ack = false;
        if (OpState.ResendFlag)
            resend();
    };
    if (OpState.MemoryJob == 1) {
        check(OpState.ReadAck, QStringLiteral("Read Parameter Fail!! Please Check Connection!!"),
              [this] {
                  if (OpState.Resyncing)
                      SendResyncRequest();
                  else
                      CommReadROM(OpState.ReadLen);
              });
    } else if (OpState.MemoryJob == 2) {
        check(OpState.WriteAck, QStringLiteral("Write Parameter Fail!! Please Check Connection!!"),
              [this] {
                  if (OpState.Resyncing)
                      SendResyncRequest();
                  else
                      CommWriteROM(OpState.WriteLen);
              });
    }
}

void TFMmain::UpdateMemoryButtons() {
    if (IsLinkOpen()) {
        BT_Read->setEnabled(OpState.MemoryJob == 0);
        BT_Write->setEnabled(OpState.ReadDone);
        SuffixWrite->setEnabled(true);
        btTextWrite->setEnabled(true);
        return;
    }
    OpState.MemoryJob = 0;
    OpState.ReadDone = false;
    OpState.RetryCount = 0;
    OpState.Resyncing = false;
    for (TDsFancyButton* button : {BT_Read, BT_Write, SuffixWrite, btTextWrite})
        button->setEnabled(false);
}
