// Arbitrary replies handed to the main window's receive path in every state that waits for one:
// the suffix, board suffix and hour marks, and the memory copy engine idle, reading or writing
// at any block of each memory model, on the serial link and on the LAN.
//
// Input layout: a state byte, a flags byte, a position byte, a pattern byte, a repeat byte, then
// up to four replies, each a flags byte, a length byte and that many bytes.
//   state bits 0-1  pending mark: none, suffix, board suffix, hour
//         bits 2-3  MemoryJob 0, 1, 2 (3 counts as 1)
//         bit 4     MemoryJobActive cleared
//         bits 5-6  memory model row (3 counts as 2)
//         bit 7     block position counted from the end of the sweep
//   flags bit 0     LAN instead of the serial link
//         bit 3     LAN: the reply bytes are the collected text itself, not bytes to hex
//         bits 4-5  slave ID: 1, 0, 17, 247
//   repeat bits 0-1 how often the block's request was sent again before the first reply
//   reply flags bit 0  the retry check runs before the reply (and may send again)
//               bit 1  the reply's CRC is appended, so that it passes the check
//               bit 2  the reply's first byte is replaced by the slave ID
//
// The state is set up the way the engine gets there: the sweep's block position is reached by
// letting RxDataProcess/TxDataProcess ask for that block, so whatever the engine records about
// the requests it sent is in place. The properties are the engine's invariants, not its code
// path: the memory image changes only at the current read block and only by an accepted reply's
// data, the memory text stays or grows by exactly that block's hex with ReadBlockNo one further,
// nothing is stored while the sweep drops late answers, a write sweep's TxBlock is always the
// image at its block, and anything sent on the serial link is the current block's request or the
// communication test the sweep resynchronises with.

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

QByteArray ImageSlice(const TImage& image, qint32 from, qint32 length) {
    return QByteArray(reinterpret_cast<const char*>(image.data()) + from, length);
}

// The choices an input makes once, for all its replies.
struct TSetUp {
    bool Lan = false;
    bool LanRawText = false;
    quint8 Slave = 1;
    int Job = 0;
    bool Write = false;
};

QByteArray CommTestRequest(quint8 slave) {
    QByteArray frame;
    for (int b : {int(slave), 4, 0, 0, 0, 44})
        frame.append(char(b));
    return WithReferenceCrc(frame);
}

// Whatever the window sends while replies come in is the current block's request or the
// communication test a sweep resynchronises with; with no sweep, nothing.
void CheckSent(const TSetUp& setUp, const QByteArray& sent) {
    if (sent.isEmpty())
        return;
    FUZZ_CHECK(setUp.Job != 0, "a request went out with no sweep");
    const QByteArray allowed[] = {
        setUp.Write
            ? WriteRequest(setUp.Slave, OpState.WriteAddr, OpState.TxBlock.left(OpState.WriteLen))
            : ReadRequest(setUp.Slave, OpState.ReadAddr, OpState.ReadLen),
        CommTestRequest(setUp.Slave),
    };
    qsizetype at = 0;
    while (at < sent.size()) {
        const QByteArray* match = nullptr;
        for (const QByteArray& frame : allowed) {
            if (QByteArrayView(sent).sliced(at).startsWith(frame))
                match = &frame;
        }
        FUZZ_CHECK(match != nullptr,
                   "sent bytes from %lld on are neither the current block's request nor the test",
                   qlonglong(at));
        at += match->size();
    }
}

// The text the memory text box starts each input with: short, so that resetting it costs little,
// and the same every time, so that it rarely needs resetting at all.
const QString kTextBefore = QStringLiteral("00112233445566778899AABBCCDDEEFF");

// One reply handed to the window, and the invariants around it.
void Deliver(const TSetUp& setUp, QByteArray reply, quint8 replyFlags) {
    TFMmain& w = *World.Window;
    if ((replyFlags & 1) != 0) {
        // The retry check comes first: it may send the block (or the resynchronising test) again.
        OpState.RetryTicks = 0;
        w.Timer50Timer();
        CheckSent(setUp, DrainSerialLink());
    }
    if (!setUp.LanRawText) {
        if ((replyFlags & 4) != 0 && !reply.isEmpty())
            reply[0] = char(setUp.Slave);
        if ((replyFlags & 2) != 0)
            reply = WithReferenceCrc(reply);
    }

    // The reply as the link collected it, and the bytes the receive path makes of it: a LAN text
    // that is not all hex digits still gives one byte per pair, a non-digit counting as 0.
    QByteArray bytes = reply;
    if (setUp.LanRawText) {
        OpState.RcvStr = QString::fromLatin1(reply);
        bytes.clear();
        for (qsizetype i = 0; i + 1 < reply.size(); i += 2) {
            bytes.append(char(qMax(0, ReferenceNibble(quint8(reply[i]))) * 16 +
                              qMax(0, ReferenceNibble(quint8(reply[i + 1])))));
        }
    } else if (setUp.Lan) {
        OpState.RcvStr = ReferenceHex(Bytes(reply));
    } else {
        OpState.RcvStr = QString::fromLatin1(reply);
    }

    const TImage imageBefore = OpState.MemImage;
    const QString textBefore = MemoryText(*w.mmOpen);
    const qint32 job = OpState.MemoryJob;
    const bool active = OpState.MemoryJobActive;
    const bool resyncing = OpState.Resyncing;
    const qint32 readBlockNo = OpState.ReadBlockNo;
    const qint32 readAddr = OpState.ReadAddr;
    const qint32 readLen = OpState.ReadLen;
    const qint32 writeBlockNo = OpState.WriteBlockNo;

    World.DialogCloser->start();
    w.RCVDataHandle();
    World.DialogCloser->stop();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    const QString textAfter = MemoryText(*w.mmOpen);
    const qsizetype n = bytes.size();
    const bool wellFormed = n >= 2 && bytes[0] == char(setUp.Slave) &&
                            ReferenceCrc(Bytes(bytes.left(n - 2))) ==
                                (quint8(bytes[n - 2]) | quint8(bytes[n - 1]) << 8);

    if (textAfter != textBefore) {
        // A block was stored: only a whole, checked read reply in an active read sweep does that,
        // and never while the sweep waits out late answers to a block it has already stored.
        FUZZ_CHECK(job == 1 && active, "memory text changed outside an active read sweep");
        FUZZ_CHECK(!resyncing, "block stored from a reply while late answers were being dropped");
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
        FUZZ_CHECK(!resyncing, "write sweep moved on while late answers were being dropped");
        FUZZ_CHECK(wellFormed && bytes[1] == char(16),
                   "write sweep moved on without a checked function-16 reply");
    }
    if (setUp.Write) {
        FUZZ_CHECK(
            OpState.TxBlock == ImageSlice(OpState.MemImage, OpState.WriteAddr, OpState.WriteLen),
            "TxBlock is not the image at [%d, +%d)", OpState.WriteAddr, OpState.WriteLen);
    }
    CheckSent(setUp, DrainSerialLink());
}

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
    const quint8 repeats = in.Byte();

    const int pending = state & 3;
    const int jobBits = (state >> 2) & 3;
    const int job = jobBits == 3 ? 1 : jobBits;
    const bool active = (state & 0x10) == 0;
    const int row = qMin((state >> 5) & 3, 2);
    const bool fromEnd = (state & 0x80) != 0;
    static constexpr quint8 kSlaves[] = {1, 0, 17, 247};
    TSetUp setUp;
    setUp.Lan = (flags & 1) != 0;
    setUp.LanRawText = setUp.Lan && (flags & 8) != 0;
    setUp.Slave = kSlaves[(flags >> 4) & 3];
    setUp.Job = job;
    setUp.Write = job == 2;

    // The window as the operator left it.
    w.RGChoice->SetItemIndex(setUp.Lan ? 1 : 0);
    w.ED_Addr->setText(QString::number(setUp.Slave));
    w.CBModelM->SetItemIndex(row);
    w.Mm_RX->clear();
    w.Mm_TX->clear();
    if (MemoryText(*w.mmOpen) != kTextBefore)
        SetMemoryText(*w.mmOpen, kTextBefore);

    // The operation state of a sweep at the chosen block, its request sent once and then again
    // as often as the retry check would have repeated it.
    OpState = TOperationState();
    for (size_t i = 0; i < OpState.MemImage.size(); ++i)
        OpState.MemImage[i] = quint8(i * 37 + pattern);
    const TMemoryModel& model = *MemoryModel(row);
    const std::vector<TStep> steps = SweepSteps(model, setUp.Write);
    const size_t index = position % steps.size();
    const TStep step = steps[fromEnd ? steps.size() - 1 - index : index];
    OpState.MemoryJob = job;
    OpState.MemoryJobActive = active;
    if (setUp.Write) {
        OpState.WriteAddr = step.Addr;
        OpState.WriteBlockNo = step.BlockNo;
        w.TxDataProcess();
        for (int i = 0; i < (repeats & 3); ++i)
            w.CommWriteROM(OpState.WriteLen);
    } else {
        OpState.ReadAddr = step.Addr;
        OpState.ReadBlockNo = step.BlockNo;
        w.RxDataProcess();
        for (int i = 0; i < (repeats & 3); ++i)
            w.CommReadROM(OpState.ReadLen);
    }
    OpState.ResendFlag = true;
    OpState.RetryTicks = 0;
    OpState.SuffixWritePending = pending == 1;
    OpState.BoardSuffixWritePending = pending == 2;
    OpState.HourWritePending = pending == 3;
    // With no sweep the block position still comes from asking for a block, as a sweep that
    // failed leaves it.
    const QByteArray setUpSent = DrainSerialLink();
    if (job != 0)
        CheckSent(setUp, setUpSent);
    if (setUp.Write) {
        FUZZ_CHECK(
            OpState.TxBlock == ImageSlice(OpState.MemImage, OpState.WriteAddr, OpState.WriteLen),
            "the write sweep's set-up block is not the image");
    }

    // Up to four replies in a row, each with its own flags and length.
    for (int k = 0; k < 4 && (k == 0 || in.Left() > 0); ++k) {
        const quint8 replyFlags = in.Byte();
        const quint8 length = in.Byte();
        Deliver(setUp, in.Take(length), replyFlags);
    }
    return 0;
}
