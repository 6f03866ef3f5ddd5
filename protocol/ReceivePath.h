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
