#include "protocol/Transaction.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>

#include "link/LinkIo.h"
#include "operations/MemoryCopyPlan.h"
#include "operations/RequestLedger.h"
#include "protocol/Frames.h"
#include "protocol/HexDisplay.h"

#include <algorithm>

namespace {

constexpr quint8 kException = 0x80;
// A drain ends at the latest after this long even while bytes keep coming.
constexpr int kLongestDrainMs = 2000;
// What a controller may take to start its answer, beyond the wire time of the frames: a busy
// one answers well after a second now and then.
constexpr int kTurnaroundMs = 800;
// Before a run ends after an unanswered request, the line must have been silent this long (a busy
// controller answers up to a few seconds late), and the run waits at most the longest.
constexpr int kQuietMs = 3000;
constexpr int kLongestQuietMs = 6000;
// Requests kept open; an older one has long been answered or lost.
constexpr size_t kOpenLimit = 64;

quint8 At(const QByteArray& bytes, qsizetype i) {
    return quint8(bytes[i]);
}

// The longest reply the request can have.
int LongestReply(const QByteArray& request) {
    if (request.size() >= 6 && (At(request, 1) == 3 || At(request, 1) == 4))
        return 5 + 2 * ((At(request, 4) << 8) | At(request, 5));
    return 8;
}

}  // namespace

int ReplyFrameLength(const QByteArray& received) {
    if (received.size() < 2)
        return 0;
    const quint8 function = At(received, 1);
    if ((function & kException) != 0)
        return (function & ~kException) == 3 || (function & ~kException) == 4 ||
                       (function & ~kException) == 16
                   ? 5
                   : -1;
    if (function == 16)
        return 8;
    if (function != 3 && function != 4)
        return -1;
    return received.size() < 3 ? 0 : 5 + At(received, 2);
}

TTransactor::TTransactor(TLinkIo& link, TTransactionOptions options)
    : FLink(link), FRetries(qMax(0, options.Retries)), FTimeoutMs(options.TimeoutMs) {
    const int speed = link.LineSpeed();
    // A serial line: a few characters of silence, plus the delay with which USB adapters hand
    // bytes over. A TCP stream to a gateway may split a reply anywhere.
    const int characterMs = speed > 0 ? (link.BitsPerByte() * 1000 + speed - 1) / speed : 0;
    FSilenceMs = speed > 0 ? 20 + 4 * characterMs : 100;
}

int TTransactor::AttemptTimeoutMs(const QByteArray& request) const {
    if (FTimeoutMs > 0)
        return FTimeoutMs;
    // The request and its longest reply on the wire, and the controller's turnaround.
    const int speed = FLink.LineSpeed();
    if (speed <= 0)
        return kTurnaroundMs;
    const qint64 bits = qint64(request.size() + LongestReply(request)) * FLink.BitsPerByte();
    return int(bits * 1000 / speed) + kTurnaroundMs;
}

void TTransactor::Note(char direction, const QByteArray& frame, const QString& verdict) {
    if (Trace && !frame.isEmpty())
        Trace(direction, frame, verdict);
}

void TTransactor::Send(const QByteArray& frame, bool settle) {
    Note('>', frame, QString());
    FLink.Send(frame);
    FOpen.push_back({frame, settle});
    if (FOpen.size() > kOpenLimit)
        FOpen.pop_front();
}

TTransactionResult TTransactor::Transact(const QByteArray& request) {
    TTransactionResult result;
    const auto taken = [&](TTaken how, const QByteArray& reply) {
        if (how == TTaken::Answer) {
            result.Status = TTransactionResult::TStatus::Answered;
            result.Reply = reply;
            return true;
        }
        if (how == TTaken::Exception) {
            result.Status = TTransactionResult::TStatus::Exception;
            result.Reply = reply;
            result.ExceptionCode = At(reply, 2);
        } else {
            result.Status = TTransactionResult::TStatus::NoAnswer;
            result.Reply.clear();
        }
        return false;
    };
    for (int attempt = 0; attempt <= FRetries; ++attempt) {
        ++result.Attempts;
        QByteArray reply;
        // A request may still be answered: its answer could be taken for this one.
        const bool unsettled =
            std::any_of(FOpen.begin(), FOpen.end(), [](const TOpen& open) { return !open.Settle; });
        if (unsettled) {
            const TTaken settled = Settle(request, reply);
            if (settled != TTaken::Settled) {
                if (taken(settled, reply))
                    return result;
                continue;
            }
        }
        Send(request, false);
        TTaken how = Collect(request, {}, AttemptTimeoutMs(request), 0, reply);
        // No answer in time: it may still be on its way, and is taken if it comes before the
        // line falls silent.
        if (how == TTaken::None)
            how = Collect(request, {}, kLongestDrainMs, FSilenceMs, reply);
        if (taken(how, reply))
            return result;
    }
    return result;
}

void TTransactor::LeaveQuiet() {
    // Only a data request's late answer could be taken by whoever talks to the controller next;
    // the settle reads' answers fit no request of a sweep.
    QElapsedTimer spent;
    spent.start();
    for (;;) {
        const auto open = std::find_if(FOpen.begin(), FOpen.end(),
                                       [](const TOpen& request) { return !request.Settle; });
        const qint64 left = kLongestQuietMs - spent.elapsed();
        if (open == FOpen.end() || left <= 0)
            break;
        const QByteArray request = open->Frame;
        QByteArray reply;
        const int quietMs = qMax(2 * AttemptTimeoutMs(request), kQuietMs);
        if (Collect(request, {}, int(left), quietMs, reply) == TTaken::None)
            break;
    }
}

TTransactor::TTaken TTransactor::Settle(const QByteArray& request, QByteArray& reply) {
    // 1 to 8 registers from the start of the memory window: shorter than any block a sweep
    // reads, and of a length no other open settle request has.
    QByteArray settle;
    for (int tries = 0; tries < 8; ++tries) {
        const int registers = 1 + FSettles++ % 8;
        settle = BuildReadRequest(At(request, 0), 3, kMemoryWindowRegister, quint16(registers));
        if (std::none_of(FOpen.begin(), FOpen.end(),
                         [&](const TOpen& open) { return open.Frame == settle; }))
            break;
    }
    Send(settle, true);
    // Something on the line is late: the settle waits out twice an attempt's time.
    return Collect(request, settle, 2 * AttemptTimeoutMs(settle), 0, reply);
}

TTransactor::TTaken TTransactor::Collect(const QByteArray& request, const QByteArray& settle,
                                         int waitMs, int quietMs, QByteArray& reply) {
    const QDeadlineTimer deadline(waitMs, Qt::PreciseTimer);
    for (;;) {
        QByteArray frame;
        if (!NextFrame(At(request, 0), deadline, quietMs, frame))
            return TTaken::None;
        // The oldest open request the reply can answer; every older one has been answered or
        // lost, since the controller answers in order.
        auto answered = FOpen.begin();
        while (answered != FOpen.end() && !ReplyCanAnswer(answered->Frame, frame))
            ++answered;
        if (answered == FOpen.end()) {
            Note('<', frame, QStringLiteral("mismatch"));
            continue;
        }
        // An identical earlier request has the same answer.
        const bool ours = !answered->Settle && answered->Frame == request;
        const bool settled = answered->Settle && answered->Frame == settle;
        FOpen.erase(FOpen.begin(), answered + 1);
        if (settled) {
            Note('<', frame, QStringLiteral("settled"));
            return TTaken::Settled;
        }
        if (!ours) {
            Note('<', frame, QStringLiteral("earlier request"));
            continue;
        }
        reply = frame;
        if ((At(frame, 1) & kException) != 0) {
            Note('<', frame,
                 QStringLiteral("exception ") +
                     QString::number(At(frame, 2), 16).rightJustified(2, u'0').toUpper());
            return TTaken::Exception;
        }
        Note('<', frame, QStringLiteral("ok"));
        return TTaken::Answer;
    }
}

bool TTransactor::NextFrame(quint8 slave, QDeadlineTimer deadline, int quietMs, QByteArray& frame) {
    QElapsedTimer sinceByte;
    sinceByte.start();
    QByteArray dropped;
    bool crcFailed = false;  // what is dropped held a frame whose CRC did not check
    const auto droppedVerdict = [&] {
        return crcFailed ? QStringLiteral("crc") : QStringLiteral("broken");
    };
    const auto dropFirst = [&] {
        dropped += FBuffer.front();
        FBuffer.remove(0, 1);
    };
    for (;;) {
        // A frame begins with the slave and a header this program can frame.
        while (!FBuffer.isEmpty()) {
            const int length = ReplyFrameLength(FBuffer);
            if (At(FBuffer, 0) != slave || length < 0) {
                dropFirst();
                continue;
            }
            if (length == 0 || FBuffer.size() < length)
                break;
            if (!CheckCRC16(FBuffer.left(length))) {
                crcFailed = true;
                dropFirst();
                continue;
            }
            Note('<', dropped, droppedVerdict());
            frame = FBuffer.left(length);
            FBuffer.remove(0, length);
            return true;
        }
        // A frame begun waits for its next byte at most the silence; then it is broken. Between
        // frames, a quiet period ends the wait: never inside a frame that is still arriving.
        QDeadlineTimer wait = deadline;
        const bool begun = !FBuffer.isEmpty();
        const int gapMs = begun ? FSilenceMs : quietMs;
        if (gapMs > 0)
            wait = qMin(deadline, QDeadlineTimer(qMax<qint64>(0, gapMs - sinceByte.elapsed()),
                                                 Qt::PreciseTimer));
        if (FLink.WaitForBytes(wait)) {
            FBuffer += FLink.Take();
            sinceByte.restart();
            continue;
        }
        if (begun && sinceByte.elapsed() >= FSilenceMs) {
            dropFirst();
            continue;
        }
        Note('<', dropped, droppedVerdict());
        return false;
    }
}
