#include "sim/FrameCollector.h"

#include "sim/RegisterMap.h"

namespace {

// The length of the request at the front of the buffer, or -1 while it cannot be told.
int ExpectedLength(const QByteArray& buffer) {
    if (buffer.size() < 2)
        return -1;
    switch (quint8(buffer[1])) {
        case 3:
        case 4:
            return 8;
        case 16:
            return buffer.size() < 7 ? -1 : 9 + quint8(buffer[6]);
        default:
            return -1;
    }
}

}  // namespace

QList<QByteArray> TFrameCollector::Append(const QByteArray& bytes) {
    FBuffer.append(bytes);
    QList<QByteArray> frames;
    for (;;) {
        const int length = ExpectedLength(FBuffer);
        if (length < 0 || FBuffer.size() < length)
            break;
        const QByteArray candidate = FBuffer.left(length);
        // A bad checksum means the length guess cannot be trusted either: wait for the silence.
        if (!CrcValid(candidate))
            break;
        frames.append(candidate);
        FBuffer.remove(0, length);
    }
    return frames;
}

QByteArray TFrameCollector::TakeRest() {
    QByteArray rest;
    rest.swap(FBuffer);
    return rest;
}
