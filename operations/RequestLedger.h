#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <deque>

// True when the reply can be the controller's answer to the request: the same slave, and either
// an exception to the request's function, or the request's own function with the shape the
// request implies (for reads, the byte count of the registers asked for; for writes, the echo of
// address and count).
bool ReplyCanAnswer(const QByteArray& request, const QByteArray& reply);

// The requests sent that may still be answered, oldest first.
//
// A reply names neither the request nor the memory block it answers, but the controller answers
// one request after the other, in order. A reply that can only be the answer to a request
// therefore also tells that every request before it has been answered or lost: none of those can
// be answered any more. A reply that can answer several open requests is taken for the oldest of
// them, which never settles more than the truth.
class TRequestLedger {
public:
    struct TSettled {
        bool Found = false;  // the reply can answer an open request
        qint64 Seq = -1;     // that request's number, counted from 0 in the order sent
        QByteArray Request;
        // A later open request that is not the same frame could have brought this reply as well.
        bool Ambiguous = false;
    };

    void Sent(const QByteArray& frame);
    // The number the next request sent will get.
    qint64 NextSeq() const { return FNextSeq; }
    // The frame of an open request, empty when that request is no longer open.
    QByteArray OpenFrame(qint64 seq) const;
    // Takes the reply for the oldest open request it can answer; that request and all before it
    // leave the ledger.
    TSettled Settle(const QByteArray& reply);
    // True while a request other than a communication test may still be answered: only such an
    // answer could be taken for a memory block or a write's result.
    bool AnyOpenBesidesTests() const;

private:
    struct TOpen {
        qint64 Seq;
        QByteArray Frame;
    };
    // A controller that never answers would let the ledger grow without end; a request this many
    // requests old is no longer waited for.
    static constexpr size_t kLimit = 256;
    std::deque<TOpen> FOpen;
    qint64 FNextSeq = 0;
};
