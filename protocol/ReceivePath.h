#pragma once

#include <QByteArray>
#include <QString>

// A collected reply turned into bytes and into its receive monitor line.
struct TReplyText {
    QByteArray Bytes;
    QString MonitorLine;
};

// Serial link: one character per received byte. The line puts a blank after every byte except
// when the reply is a single byte.
TReplyText DecodeSerialReply(const QString& rcvStr);

// LAN link: two hex digits per received byte; every byte of the line is followed by a blank.
TReplyText DecodeLanReply(const QString& rcvStr);

// How many Timer10 ticks a reply window counts down from: the 11th tick after the start handles
// the reply.
inline constexpr int kReplyWindowTicks = 10;
// Serial: a reply is handled only once no chunk has come for this many ticks, so that one still
// arriving (at 9600 bit/s the 93-byte test answer takes over 100 ms, and USB adapters hand bytes
// over in chunks up to 16 ms apart) is not cut in two.
inline constexpr int kReplyQuietTicks = 2;
// Serial: a line that never falls silent (noise, a wrong speed) is handled after this many ticks
// all the same.
inline constexpr int kReplyLongestTicks = 50;
