// Arbitrary replies handed to the main window's receive path in every state that waits for one:
// the suffix, board suffix and hour marks, and the memory copy engine idle, reading or writing
// at any block of each memory model, on the serial link and on the LAN.
//
// Input layout: a state byte, a flags byte, a position byte, a pattern byte, then the reply.
//   state bits 0-1  pending mark: none, suffix, board suffix, hour
//         bits 2-3  MemoryJob 0, 1, 2 (3 counts as 1)
//         bit 4     MemoryJobActive cleared
//         bits 5-6  memory model row (3 counts as 2)
//         bit 7     block position counted from the end of the sweep
//   flags bit 0     LAN instead of the serial link
//         bit 1     the reply's CRC is appended, so that it passes the check
//         bit 2     the reply's first byte is replaced by the slave ID
//         bit 3     LAN: the reply bytes are the collected text itself, not bytes to hex
//         bits 4-5  slave ID: 1, 0, 17, 247
//
// The state is set up the way the engine gets there: the sweep's block position is reached by
// letting RxDataProcess/TxDataProcess ask for that block, so whatever the engine records about
// the request it sent is in place. The properties are the engine's invariants, not its code path:
// the memory image changes only at the current read block and only by an accepted reply's data,
// the memory text stays or grows by exactly that block's hex with ReadBlockNo one further, a
// write sweep's TxBlock is always the image at its block, and anything sent on the serial link is
// the request for the current block.

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <array>
#include <optional>

#include "FuzzSupport.h"
#include "app/Main.h"
#include "link/ComPort.h"
#include "operations/MemoryCopyPlan.h"
#include "operations/MemoryTextBox.h"
#include "operations/OperationState.h"

namespace {

using TImage = std::array<quint8, TOperationState::kImageSize>;

struct TWorld {
    TFMmain* Window = nullptr;
    QTimer* DialogCloser = nullptr;
    int Master = -1;
    int Slave = -1;
};

TWorld World;

// The serial link's far end: a pseudo-terminal whose device the window opens as its port. The
// slave side stays open here too, so that the device lives as long as the process.
void OpenSerialLink() {
    char name[256] = {};
    termios raw{};
    cfmakeraw(&raw);
    if (openpty(&World.Master, &World.Slave, name, &raw, nullptr) != 0) {
        std::fprintf(stderr, "openpty failed\n");
        std::abort();
    }
    fcntl(World.Master, F_SETFL, fcntl(World.Master, F_GETFL) | O_NONBLOCK);
    World.Window->ComPort1->SetPort(QStringLiteral("COM") + QString::fromLocal8Bit(name));
    // A pseudo-terminal takes no parity.
    World.Window->ComPort1->Parity().SetBits(TParityBits::None);
    World.Window->ComPort1->Open();
}

// What the window sent since the last call.
QByteArray DrainSerialLink() {
    QByteArray sent;
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(World.Master, buffer, sizeof buffer);
        if (n <= 0)
            break;
        sent.append(buffer, n);
    }
    return sent;
}

// Messages are modal; while a reply is handled, this closes whichever is open from inside its
// own event loop.
void CloseModalDialog() {
    QWidget* modal = QApplication::activeModalWidget();
    if (auto* dialog = qobject_cast<QDialog*>(modal))
        dialog->done(0);
    else if (modal != nullptr)
        modal->close();
}

// The sweep's blocks in order, as the engine's plan gives them: (addr, blockNo) before asking
// for each block.
struct TStep {
    qint32 Addr;
    qint32 BlockNo;
};

std::vector<TStep> SweepSteps(const TMemoryModel& model, bool write) {
    std::vector<TStep> steps;
    qint32 addr = 0;
    qint32 blockNo = 0;
    for (;;) {
        const TStep step{addr, blockNo};
        const std::optional<TMemoryBlock> next =
            write ? NextWriteBlock(model, addr, blockNo) : NextReadBlock(model, addr, blockNo);
        if (!next)
            break;
        steps.push_back(step);
        addr = next->Offset;
        ++blockNo;
        FUZZ_CHECK(steps.size() < 1000, "a sweep plan that never ends");
    }
    return steps;
}

QByteArray ReadRequest(quint8 slave, qint32 addr, qint32 length) {
    const quint16 reg = quint16(kMemoryWindowRegister + addr);
    QByteArray frame;
    for (int b : {int(slave), 3, reg >> 8, reg & 0xFF, 0, length / 2})
        frame.append(char(b));
    return WithReferenceCrc(frame);
}

QByteArray WriteRequest(quint8 slave, qint32 addr, const QByteArray& data) {
    const quint16 reg = quint16(kMemoryWindowRegister + addr);
    const qsizetype registers = data.size() / 2;
    QByteArray frame;
    for (int b : {int(slave), 16, reg >> 8, reg & 0xFF, int(registers >> 8), int(registers & 0xFF),
                  int(data.size())})
        frame.append(char(b));
    frame.append(data);
    return WithReferenceCrc(frame);
}

bool IsRepeatOf(const QByteArray& sent, const QByteArray& frame) {
    if (frame.isEmpty() || sent.size() % frame.size() != 0)
        return false;
    for (qsizetype i = 0; i < sent.size(); i += frame.size()) {
        if (sent.mid(i, frame.size()) != frame)
            return false;
    }
    return true;
}

QByteArray ImageSlice(const TImage& image, qint32 from, qint32 length) {
    return QByteArray(reinterpret_cast<const char*>(image.data()) + from, length);
}

// The text the memory text box starts each input with: short, so that resetting it costs little,
// and the same every time, so that it rarely needs resetting at all.
const QString kTextBefore = QStringLiteral("00112233445566778899AABBCCDDEEFF");

}  // namespace

QUORRIN_FUZZ_GUI_LEAK_SUPPRESSIONS()

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    EnsureApplication();
    World.Window = new TFMmain();
    // Replies are handed over directly; the window's own ticks would time out and resend behind
    // the input's back.
    World.Window->Timer10->stop();
    World.Window->Timer50->stop();
    World.Window->SetSettingsFileName(ScratchParent() + QStringLiteral("/quorrin-fuzz-none.ini"));
    OpenSerialLink();
    World.DialogCloser = new QTimer();
    World.DialogCloser->setInterval(0);
    QObject::connect(World.DialogCloser, &QTimer::timeout, &CloseModalDialog);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TFMmain& w = *World.Window;
    TFuzzInput in(data, size);
    const quint8 state = in.Byte();
    const quint8 flags = in.Byte();
    const quint8 position = in.Byte();
    const quint8 pattern = in.Byte();
    QByteArray reply = in.Rest();

    const int pending = state & 3;
    const int jobBits = (state >> 2) & 3;
    const int job = jobBits == 3 ? 1 : jobBits;
    const bool active = (state & 0x10) == 0;
    const int row = qMin((state >> 5) & 3, 2);
    const bool fromEnd = (state & 0x80) != 0;
    const bool lan = (flags & 1) != 0;
    const bool lanRawText = lan && (flags & 8) != 0;
    static constexpr quint8 kSlaves[] = {1, 0, 17, 247};
    const quint8 slave = kSlaves[(flags >> 4) & 3];
    if (!lanRawText) {
        if ((flags & 4) != 0 && !reply.isEmpty())
            reply[0] = char(slave);
        if ((flags & 2) != 0)
            reply = WithReferenceCrc(reply);
    }

    // The window as the operator left it.
    w.RGChoice->SetItemIndex(lan ? 1 : 0);
    w.ED_Addr->setText(QString::number(slave));
    w.CBModelM->SetItemIndex(row);
    w.Mm_RX->clear();
    w.Mm_TX->clear();
    if (MemoryText(*w.mmOpen) != kTextBefore)
        SetMemoryText(*w.mmOpen, kTextBefore);

    // The operation state of a sweep at the chosen block.
    OpState = TOperationState();
    for (size_t i = 0; i < OpState.MemImage.size(); ++i)
        OpState.MemImage[i] = quint8(i * 37 + pattern);
    const TMemoryModel& model = *MemoryModel(row);
    const bool write = job == 2;
    const std::vector<TStep> steps = SweepSteps(model, write);
    const size_t index = position % steps.size();
    const TStep step = steps[fromEnd ? steps.size() - 1 - index : index];
    OpState.MemoryJob = job;
    OpState.MemoryJobActive = active;
    if (write) {
        OpState.WriteAddr = step.Addr;
        OpState.WriteBlockNo = step.BlockNo;
        w.TxDataProcess();
    } else {
        OpState.ReadAddr = step.Addr;
        OpState.ReadBlockNo = step.BlockNo;
        w.RxDataProcess();
    }
    OpState.ResendFlag = true;
    OpState.SuffixWritePending = pending == 1;
    OpState.BoardSuffixWritePending = pending == 2;
    OpState.HourWritePending = pending == 3;
    DrainSerialLink();

    if (write) {
        FUZZ_CHECK(
            OpState.TxBlock == ImageSlice(OpState.MemImage, OpState.WriteAddr, OpState.WriteLen),
            "the write sweep's set-up block is not the image");
    }

    // The reply as the link collected it.
    if (lanRawText)
        OpState.RcvStr = QString::fromLatin1(reply);
    else if (lan)
        OpState.RcvStr = ReferenceHex(Bytes(reply));
    else
        OpState.RcvStr = QString::fromLatin1(reply);
    // The bytes the receive path makes of it: a LAN text that is not all hex digits still gives
    // one byte per pair, a non-digit counting as 0.
    QByteArray bytes = reply;
    if (lanRawText) {
        bytes.clear();
        for (qsizetype i = 0; i + 1 < reply.size(); i += 2) {
            bytes.append(char(qMax(0, ReferenceNibble(quint8(reply[i]))) * 16 +
                              qMax(0, ReferenceNibble(quint8(reply[i + 1])))));
        }
    }

    const TImage imageBefore = OpState.MemImage;
    const QString textBefore = MemoryText(*w.mmOpen);
    const qint32 readBlockNo = OpState.ReadBlockNo;
    const qint32 readAddr = OpState.ReadAddr;
    const qint32 readLen = OpState.ReadLen;
    const qint32 writeBlockNo = OpState.WriteBlockNo;

    World.DialogCloser->start();
    w.RCVDataHandle();
    World.DialogCloser->stop();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    const QByteArray sent = DrainSerialLink();
    const QString textAfter = MemoryText(*w.mmOpen);
    const qsizetype n = bytes.size();
    const bool wellFormed = n >= 2 && bytes[0] == char(slave) &&
                            ReferenceCrc(Bytes(bytes.left(n - 2))) ==
                                (quint8(bytes[n - 2]) | quint8(bytes[n - 1]) << 8);

    if (textAfter != textBefore) {
        // A block was stored: only a whole, checked read reply in an active read sweep does that.
        FUZZ_CHECK(job == 1 && active, "memory text changed outside an active read sweep");
        FUZZ_CHECK(wellFormed && bytes[1] == char(3) && n >= 3 + readLen + 2,
                   "memory text changed by a reply that is not a whole read reply");
        const QByteArray block = bytes.mid(3, readLen);
        FUZZ_CHECK(textAfter == textBefore + ReferenceHex(Bytes(block)),
                   "memory text grew by something else than the block's %d data bytes", readLen);
        FUZZ_CHECK(OpState.ReadBlockNo == readBlockNo + 1,
                   "block stored but ReadBlockNo went from %d to %d", readBlockNo,
                   OpState.ReadBlockNo);
        TImage expected = imageBefore;
        for (qint32 i = 0; i < readLen; ++i)
            expected[size_t(readAddr + i)] = quint8(block[i]);
        FUZZ_CHECK(OpState.MemImage == expected,
                   "memory image changed outside the block at %d of %d bytes", readAddr, readLen);
    } else {
        FUZZ_CHECK(OpState.MemImage == imageBefore, "memory image changed, memory text did not");
        FUZZ_CHECK(OpState.ReadBlockNo == readBlockNo,
                   "ReadBlockNo went from %d to %d with nothing stored", readBlockNo,
                   OpState.ReadBlockNo);
    }

    if (OpState.WriteBlockNo != writeBlockNo) {
        FUZZ_CHECK(job == 2 && active, "write sweep moved on outside an active write sweep");
        FUZZ_CHECK(wellFormed && bytes[1] == char(16),
                   "write sweep moved on without a checked function-16 reply");
    }
    if (write) {
        FUZZ_CHECK(
            OpState.TxBlock == ImageSlice(OpState.MemImage, OpState.WriteAddr, OpState.WriteLen),
            "TxBlock is not the image at [%d, +%d)", OpState.WriteAddr, OpState.WriteLen);
    }

    if (!sent.isEmpty()) {
        // The only thing a reply may make the window send is the current block's request.
        FUZZ_CHECK(job != 0, "a request went out with no sweep");
        const QByteArray request =
            write ? WriteRequest(slave, OpState.WriteAddr, OpState.TxBlock.left(OpState.WriteLen))
                  : ReadRequest(slave, OpState.ReadAddr, OpState.ReadLen);
        FUZZ_CHECK(IsRepeatOf(sent, request),
                   "sent %lld bytes that are not the current block's request",
                   qlonglong(sent.size()));
    }
    return 0;
}
