#include "protocol/Transaction.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>

#include "link/LinkIo.h"
#include "operations/RequestLedger.h"
#include "protocol/CRC16.h"
#include "protocol/Frames.h"

namespace {

constexpr quint8 kException = 0x80;
constexpr int kTestReplyLength = 93;
// A drain ends at the latest after this long even while bytes keep coming.
constexpr int kLongestDrainMs = 2000;

quint8 At(const QByteArray& bytes, int i) {
    return quint8(bytes[i]);
}

// The longest reply the request can have.
int LongestReply(const QByteArray& request) {
    if (request.size() >= 6 && (At(request, 1) == 3 || At(request, 1) == 4))
        return 5 + 2 * ((At(request, 4) << 8) | At(request, 5));
    return 8;
}

QString Hex2(int value) {
    return QStringLiteral("%1").arg(value, 2, 16, QLatin1Char('0')).toUpper();
}

}  // namespace

int ExpectedReplyLength(const QByteArray& request, const QByteArray& received) {
    if (received.isEmpty())
        return 0;
    if (request.size() < 2 || At(received, 0) != At(request, 0))
        return -1;
    if (received.size() < 2)
        return 0;
    const quint8 function = At(request, 1);
    if (At(received, 1) == (function | kException))
        return 5;
    if (At(received, 1) != function)
        return -1;
    if (function == 16)
        return 8;
    if (received.size() < 3)
        return 0;
    const int length = 5 + At(received, 2);
    return length == LongestReply(request) ? length : -1;
}

bool CrcChecks(const QByteArray& frame) {
    if (frame.size() < 4)
        return false;
    const int n = int(frame.size()) - 2;
    return CalcCRC16(AsBytes(frame), quint16(n)) == ((At(frame, n) << 8) | At(frame, n + 1));
}

TTransactor::TTransactor(TLinkIo& link, TTransactionOptions options)
    : FLink(link), FRetries(qMax(0, options.Retries)) {
    const int speed = link.LineSpeed();
    // A serial line: a few characters of silence, plus the delay with which USB adapters hand
    // bytes over. A TCP stream to a gateway may split a reply anywhere.
    const int characterMs = speed > 0 ? (link.BitsPerByte() * 1000 + speed - 1) / speed : 0;
    FSilenceMs = options.SilenceMs > 0 ? options.SilenceMs : speed > 0 ? 20 + 4 * characterMs : 100;
    FTimeoutMs = options.TimeoutMs;
}

void TTransactor::Send(const QByteArray& frame) {
    if (Trace)
        Trace('>', frame, QString());
    FLink.Send(frame);
}

void TTransactor::Dropped(const QByteArray& bytes) {
    if (!bytes.isEmpty() && Trace)
        Trace('<', bytes, QStringLiteral("dropped"));
}

TTransactionResult TTransactor::Transact(const QByteArray& request) {
    TTransactionResult result;
    // Per attempt: the request and its longest reply on the wire, and the controller's turnaround.
    int timeoutMs = FTimeoutMs;
    if (timeoutMs <= 0) {
        const int speed = FLink.LineSpeed();
        const qint64 bits = qint64(request.size() + LongestReply(request)) * FLink.BitsPerByte();
        timeoutMs = speed > 0 ? int(bits * 1000 / speed) + 200 : 500;
    }
    for (int attempt = 0; attempt <= FRetries; ++attempt) {
        ++result.Attempts;
        if (FUnsettled) {
            Drain();
            if (!Settle(At(request, 0)))
                continue;
        }
        Send(request);
        QByteArray reply;
        switch (Await(request, reply, timeoutMs)) {
            case TAwait::Valid:
                result.Status = TTransactionResult::TStatus::Answered;
                result.Reply = reply;
                return result;
            case TAwait::Exception:
                result.Status = TTransactionResult::TStatus::Exception;
                result.Reply = reply;
                result.ExceptionCode = At(reply, 2);
                break;
            case TAwait::Invalid:
            case TAwait::Silent:
                FUnsettled = true;
                result.Status = TTransactionResult::TStatus::NoAnswer;
                result.Reply.clear();
                break;
        }
    }
    return result;
}

TTransactor::TAwait TTransactor::Await(const QByteArray& request, QByteArray& reply,
                                       int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs, Qt::PreciseTimer);
    QElapsedTimer sinceByte;
    sinceByte.start();
    for (;;) {
        if (!FBuffer.isEmpty()) {
            const int length = ExpectedReplyLength(request, FBuffer);
            if (length > 0 && FBuffer.size() >= length) {
                reply = FBuffer.left(length);
                FBuffer.remove(0, length);
                // Anything after the reply is not an answer to anything: it is dropped before
                // the next request.
                if (!FBuffer.isEmpty())
                    FUnsettled = true;
                if (!CrcChecks(reply)) {
                    if (Trace)
                        Trace('<', reply, QStringLiteral("crc"));
                    return TAwait::Invalid;
                }
                if (!ReplyCanAnswer(request, reply)) {
                    if (Trace)
                        Trace('<', reply, QStringLiteral("mismatch"));
                    return TAwait::Invalid;
                }
                const bool exception = (At(reply, 1) & kException) != 0;
                if (Trace)
                    Trace('<', reply,
                          exception ? QStringLiteral("exception ") + Hex2(At(reply, 2))
                                    : QStringLiteral("ok"));
                return exception ? TAwait::Exception : TAwait::Valid;
            }
        }
        // A reply begun waits for its next byte at most the silence; none begun waits for the
        // attempt's deadline.
        QDeadlineTimer wait = deadline;
        if (!FBuffer.isEmpty())
            wait = qMin(deadline, QDeadlineTimer(qMax<qint64>(0, FSilenceMs - sinceByte.elapsed()),
                                                 Qt::PreciseTimer));
        if (FLink.WaitForBytes(wait)) {
            FBuffer += FLink.Take();
            sinceByte.restart();
            if (ExpectedReplyLength(request, FBuffer) >= 0)
                continue;
            // Not the start of an answer: whatever it is ends in silence and is dropped.
        } else if (FBuffer.isEmpty()) {
            return TAwait::Silent;
        }
        if (Trace)
            Trace('<', FBuffer,
                  ExpectedReplyLength(request, FBuffer) < 0 ? QStringLiteral("mismatch")
                                                            : QStringLiteral("broken"));
        FBuffer.clear();
        return TAwait::Invalid;
    }
}

void TTransactor::Drain() {
    QElapsedTimer total;
    total.start();
    QByteArray dropped = std::exchange(FBuffer, {});
    while (total.elapsed() < kLongestDrainMs &&
           FLink.WaitForBytes(QDeadlineTimer(FSilenceMs, Qt::PreciseTimer)))
        dropped += FLink.Take();
    Dropped(dropped);
}

bool TTransactor::Settle(quint8 slave) {
    Send(BuildCommTestRequest(slave));
    const QDeadlineTimer deadline(FTimeoutMs > 0 ? FTimeoutMs : 500, Qt::PreciseTimer);
    // The test's answer, or the exception a controller without input registers gives, found
    // anywhere in what arrives: everything before it has been answered or lost.
    const auto settledAt = [&]() -> int {
        for (int i = 0; i + 5 <= FBuffer.size(); ++i) {
            if (At(FBuffer, i) != slave)
                continue;
            const int length = At(FBuffer, i + 1) == 4 && At(FBuffer, i + 2) == 88
                                   ? kTestReplyLength
                               : At(FBuffer, i + 1) == (4 | kException) ? 5
                                                                        : 0;
            if (length > 0 && i + length <= FBuffer.size() && CrcChecks(FBuffer.mid(i, length)))
                return i + length;
        }
        return -1;
    };
    for (;;) {
        const int end = settledAt();
        if (end >= 0) {
            Dropped(FBuffer.left(end));
            FBuffer.remove(0, end);
            Drain();
            FUnsettled = false;
            return true;
        }
        if (!FLink.WaitForBytes(deadline)) {
            Dropped(std::exchange(FBuffer, {}));
            return false;
        }
        FBuffer += FLink.Take();
    }
}
