#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QString>
#include <QtGlobal>
#include <deque>
#include <functional>

class TLinkIo;

// Request and reply, framed by length rather than by silence: a reply is complete when the
// length its function implies has arrived (3 and 4: 5 + byte count, 16: 8, an exception: 5).

// The length of the reply that begins the bytes, from its header: 0 while the header is not
// complete; -1 when the bytes cannot begin a reply (a function this program never asks for).
int ReplyFrameLength(const QByteArray& received);

struct TTransactionOptions {
    int Retries = 3;    // further attempts after the first
    int TimeoutMs = 0;  // per attempt; 0: from the line speed
};

struct TTransactionResult {
    enum class TStatus { Answered, Exception, NoAnswer };
    TStatus Status = TStatus::NoAnswer;
    QByteArray Reply;  // the valid reply (Answered, Exception)
    quint8 ExceptionCode = 0;
    int Attempts = 0;
};

// Sends requests one at a time and takes for each only a reply that can answer it. A reply that
// is lost, corrupted, mismatched or an exception is retried; before a retry the line is drained
// until silent. Every request sent stays open until a reply answers it or a later one: the
// controller answers in order, so a reply is the answer to the oldest open request it can answer.
// A request is sent again only once the line is settled: a short read of the memory window, of a
// length no other open request has, has been answered, which proves every earlier request
// answered or lost. So a late answer to an earlier request is never taken for a later one.
class TTransactor {
public:
    TTransactor(TLinkIo& link, TTransactionOptions options);

    // Every frame sent ('>') and received ('<') with its verdict: "ok" (CRC and shape check),
    // "exception 02", "mismatch" (answers no open request), "earlier request", "settled", and for
    // bytes that frame no reply "crc" (a frame whose CRC failed) or "broken".
    std::function<void(char direction, const QByteArray& frame, const QString& verdict)> Trace;

    TTransactionResult Transact(const QByteArray& request);

    // Before the link is given up: while a request may still be answered, waits until the line
    // has been silent for a few seconds, so that its late answer cannot reach whoever talks to
    // the controller next.
    void LeaveQuiet();

private:
    enum class TTaken { None, Answer, Exception, Settled };
    struct TOpen {
        QByteArray Frame;
        bool Settle;
    };
    // Takes the frames that arrive until the request is answered (or, with settle, the settle
    // request is) or the wait ends: at the deadline, or, when quietMs is not 0, once no byte has
    // come for quietMs.
    TTaken Collect(const QByteArray& request, const QByteArray& settle, int waitMs, int quietMs,
                   QByteArray& reply);
    TTaken Settle(const QByteArray& request, QByteArray& reply);
    // The next complete frame from the slave whose CRC checks; broken bytes are dropped. The
    // wait ends at the deadline, or with quietMs (not 0) once no byte has come for that long.
    bool NextFrame(quint8 slave, QDeadlineTimer deadline, int quietMs, QByteArray& frame);
    void Send(const QByteArray& frame, bool settle);
    int AttemptTimeoutMs(const QByteArray& request) const;
    void Note(char direction, const QByteArray& frame, const QString& verdict);

    TLinkIo& FLink;
    int FRetries;
    int FTimeoutMs;
    int FSilenceMs;
    QByteArray FBuffer;       // received and not yet framed
    std::deque<TOpen> FOpen;  // requests sent and not yet answered, oldest first
    int FSettles = 0;         // settle requests sent, for their lengths
};
