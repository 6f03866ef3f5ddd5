#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <functional>

class TLinkIo;

// Request and reply, framed by length rather than by silence: a reply is complete when the
// length its function implies has arrived (3 and 4: 5 + byte count, 16: 8, an exception: 5).

// The length the reply to request will have, judged from the bytes received so far: 0 while its
// header has not arrived; -1 when the bytes cannot begin an answer to request (another slave,
// another function, a byte count the request did not ask for).
int ExpectedReplyLength(const QByteArray& request, const QByteArray& received);

// A complete frame whose CRC checks.
bool CrcChecks(const QByteArray& frame);

struct TTransactionOptions {
    int Retries = 3;    // further attempts after the first
    int TimeoutMs = 0;  // per attempt; 0: from the line speed
    int SilenceMs = 0;  // gap that ends a broken reply; 0: from the line speed
};

struct TTransactionResult {
    enum class TStatus { Answered, Exception, NoAnswer };
    TStatus Status = TStatus::NoAnswer;
    QByteArray Reply;  // the valid reply (Answered, Exception)
    quint8 ExceptionCode = 0;
    int Attempts = 0;
};

// Sends requests one at a time and takes for each only a reply that can answer it. A reply that
// is lost, corrupted, mismatched or an exception is retried. Before a request goes out after one
// whose answer was not taken, the line is drained until silent and then settled: a
// communication test is sent and everything up to its answer is dropped. The controller answers
// in order, so a late answer to an earlier request can never be taken for a later one.
class TTransactor {
public:
    TTransactor(TLinkIo& link, TTransactionOptions options);

    // Every frame sent ('>') and received ('<') with its verdict ("ok", "crc", "mismatch",
    // "exception 02", "broken", "dropped").
    std::function<void(char direction, const QByteArray& frame, const QString& verdict)> Trace;

    TTransactionResult Transact(const QByteArray& request);

    int TimeoutMs() const { return FTimeoutMs; }

private:
    enum class TAwait { Valid, Exception, Invalid, Silent };
    TAwait Await(const QByteArray& request, QByteArray& reply, int timeoutMs);
    bool Settle(quint8 slave);
    void Drain();
    void Send(const QByteArray& frame);
    void Dropped(const QByteArray& bytes);

    TLinkIo& FLink;
    int FRetries;
    int FTimeoutMs;
    int FSilenceMs;
    QByteArray FBuffer;       // received and not yet consumed
    bool FUnsettled = false;  // a request went out whose answer may still come
};
