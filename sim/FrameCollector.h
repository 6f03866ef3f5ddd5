#pragma once

#include <QByteArray>
#include <QList>

// Cuts the received byte stream into requests. On a serial line a frame ends with silence; the
// collector hands out a request as soon as its function code tells its length and its CRC checks
// out, so replies are not delayed by waiting for the silence. Anything else stays until the link
// has been quiet, and then goes out whole through TakeRest.
class TFrameCollector {
public:
    QList<QByteArray> Append(const QByteArray& bytes);
    QByteArray TakeRest();
    bool Empty() const { return FBuffer.isEmpty(); }
    void Clear() { FBuffer.clear(); }

private:
    QByteArray FBuffer;
};
