#include "operations/RequestLedger.h"

namespace {

constexpr quint8 kException = 0x80;
constexpr int kCommTestFunction = 4;

quint8 At(const QByteArray& bytes, int i) {
    return quint8(bytes[i]);
}

}  // namespace

bool ReplyCanAnswer(const QByteArray& request, const QByteArray& reply) {
    if (request.size() < 8 || reply.size() < 5 || At(reply, 0) != At(request, 0))
        return false;
    const quint8 function = At(request, 1);
    if (At(reply, 1) == (function | kException))
        return reply.size() == 5;
    if (At(reply, 1) != function)
        return false;
    switch (function) {
        case 3:
        case 4: {
            const int bytes = 2 * ((At(request, 4) << 8) | At(request, 5));
            return At(reply, 2) == bytes && reply.size() == 5 + bytes;
        }
        case 16:
            return reply.size() == 8 && reply.mid(2, 4) == request.mid(2, 4);
        default:
            return false;
    }
}

void TRequestLedger::Sent(const QByteArray& frame) {
    FOpen.push_back({FNextSeq++, frame});
    if (FOpen.size() > kLimit)
        FOpen.pop_front();
}

QByteArray TRequestLedger::OpenFrame(qint64 seq) const {
    for (const TOpen& open : FOpen) {
        if (open.Seq == seq)
            return open.Frame;
    }
    return {};
}

TRequestLedger::TSettled TRequestLedger::Settle(const QByteArray& reply) {
    TSettled settled;
    auto it = FOpen.begin();
    while (it != FOpen.end() && !ReplyCanAnswer(it->Frame, reply))
        ++it;
    if (it == FOpen.end())
        return settled;
    settled.Found = true;
    settled.Seq = it->Seq;
    settled.Request = it->Frame;
    FOpen.erase(FOpen.begin(), it + 1);
    for (const TOpen& later : FOpen) {
        if (later.Frame != settled.Request && ReplyCanAnswer(later.Frame, reply))
            settled.Ambiguous = true;
    }
    return settled;
}

bool TRequestLedger::AnyOpenBesidesTests() const {
    for (const TOpen& open : FOpen) {
        if (open.Frame.size() < 2 || At(open.Frame, 1) != kCommTestFunction)
            return true;
    }
    return false;
}
