// The frame checksum and the hex codec on arbitrary bytes. The input is used whole as a frame and
// as text; its first bytes also choose counts and positions for the properties that need them.
// libFuzzer hands over a buffer of exactly the input's size, so any read past a frame's end is an
// AddressSanitizer report.

#include <QString>

#include "FuzzSupport.h"
#include "protocol/CRC16.h"
#include "protocol/HexDisplay.h"
#include "protocol/Qb_lib02.h"
#include "protocol/ReceivePath.h"

namespace {

// Both CRC bytes in one word, first wire byte high, as CalcCRC16 gives them.
quint16 WireOrder(quint16 crc) {
    return quint16((crc & 0xFF) << 8 | crc >> 8);
}

void CheckCrc(std::span<const quint8> frame, TFuzzInput& choice) {
    const quint16 full = ReferenceCrc(frame);
    if (frame.size() <= 0xFFFF) {
        FUZZ_CHECK(CalcCRC16(frame, quint16(frame.size())) == WireOrder(full),
                   "CRC of the whole frame of %zu bytes", frame.size());
    }

    // A count beyond the frame covers the whole frame and reads nothing past it.
    const quint16 count = choice.Word();
    const size_t covered = qMin<size_t>(count, frame.size());
    FUZZ_CHECK(CalcCRC16(frame, count) == WireOrder(ReferenceCrc(frame.first(covered))),
               "CRC of the first %u bytes of %zu", unsigned(count), frame.size());
    const quint8 shortCount = choice.Byte();
    const quint16 head = ReferenceCrc(frame.first(qMin<size_t>(shortCount, frame.size())));
    FUZZ_CHECK(CRC16Low(frame, shortCount) == (head & 0xFF), "first CRC byte");
    FUZZ_CHECK(CRC16High(frame, shortCount) == head >> 8, "second CRC byte");

    // The check of the frame as it is agrees with the reference.
    const size_t n = frame.size();
    const bool expected = n >= 2 && n - 2 <= 0xFFFF &&
                          ReferenceCrc(frame.first(n - 2)) == (frame[n - 2] | frame[n - 1] << 8);
    FUZZ_CHECK(CheckCRC16(frame) == expected, "check of a %zu-byte frame as it came", n);

    // The frame with its own CRC appended passes; any change of one byte makes it fail, as a
    // 16-bit CRC finds every error burst of up to 16 bits.
    if (n > 0xFFFF)
        return;
    QByteArray sealed(reinterpret_cast<const char*>(frame.data()), qsizetype(n));
    sealed.append(char(CRC16Low(frame, quint8(qMin<size_t>(n, 255)))));
    sealed.append(char(CRC16High(frame, quint8(qMin<size_t>(n, 255)))));
    if (n <= 255) {
        FUZZ_CHECK(CheckCRC16(sealed), "a frame sealed with CRC16Low/High fails the check");
        FUZZ_CHECK(CheckCRC16(AsBytes(sealed)), "the span overload disagrees");
    }
    sealed =
        WithReferenceCrc(QByteArray(reinterpret_cast<const char*>(frame.data()), qsizetype(n)));
    FUZZ_CHECK(CheckCRC16(sealed), "a frame with its own CRC appended fails the check");
    const qsizetype at = qsizetype(choice.Word() % sealed.size());
    const quint8 flip = choice.Byte() | 1;  // never zero
    sealed[at] = char(quint8(sealed[at]) ^ flip);
    FUZZ_CHECK(!CheckCRC16(sealed), "byte %lld changed by %02X still passes", qlonglong(at),
               unsigned(flip));
}

void CheckHexBytes(std::span<const quint8> bytes) {
    static const char16_t kDigits[] = u"0123456789ABCDEF";
    for (quint8 b : bytes) {
        const QString hex = ByteToHexStr(b);
        FUZZ_CHECK(hex.size() == 2 && hex[0] == QChar(kDigits[b >> 4]) &&
                       hex[1] == QChar(kDigits[b & 0x0F]),
                   "ByteToHexStr(%02X)", unsigned(b));
        FUZZ_CHECK(HexStrToByte(hex) == b, "round trip of %02X", unsigned(b));
        FUZZ_CHECK(HexStrToByte(hex.toLower()) == b, "lower-case round trip of %02X", unsigned(b));
        FUZZ_CHECK(HexStrToWord(hex + hex) == quint16(b << 8 | b), "word of %02X%02X", unsigned(b),
                   unsigned(b));

        const QChar d = DigitToChar(b);
        const QChar expected = b <= 9    ? QChar(u'0' + b)
                               : b <= 31 ? QChar(u'A' + b - 10)
                                         : QChar(u'*');
        FUZZ_CHECK(d == expected, "DigitToChar(%u)", unsigned(b));
    }
}

// The reference value of a text of hex digits of at most maxDigits characters: 0 for an empty or
// longer text, a character that is not a hex digit counting as 0.
quint32 ReferenceValue(const QString& text, int maxDigits) {
    if (text.isEmpty() || text.size() > maxDigits)
        return 0;
    quint32 value = 0;
    for (QChar c : text)
        value = value * 16 + quint32(qMax(0, ReferenceNibble(c.unicode())));
    return value;
}

void CheckHexText(std::span<const quint8> bytes, TFuzzInput& choice) {
    // Pairs of input bytes as UTF-16 code units, so that every character code can appear.
    QString text;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        text += QChar(char16_t(bytes[i] | bytes[i + 1] << 8));
    // Single bytes as characters too, where the hex digits are dense.
    const QString latin =
        QString::fromLatin1(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));

    for (const QString& source : {text, latin}) {
        for (QChar c : source) {
            QChar folded = c;
            const int expected = qMax(0, ReferenceNibble(c.unicode()));
            FUZZ_CHECK(HexCharToNibble(folded) == expected, "nibble of U+%04X",
                       unsigned(c.unicode()));
            const bool lower = c.unicode() >= u'a' && c.unicode() <= u'z';
            FUZZ_CHECK(folded == (lower ? QChar(c.unicode() - 0x20) : c), "folding of U+%04X",
                       unsigned(c.unicode()));
        }
        // Pieces of every length up to one beyond each limit.
        const qsizetype from = source.isEmpty() ? 0 : qsizetype(choice.Word()) % source.size();
        for (int length = 0; length <= 5; ++length) {
            const QString piece = source.mid(from, length);
            const QString before = piece;
            FUZZ_CHECK(HexStrToByte(piece) == ReferenceValue(piece, 2), "HexStrToByte");
            FUZZ_CHECK(HexStrToWord(piece) == ReferenceValue(piece, 4), "HexStrToWord");
            FUZZ_CHECK(piece == before, "a conversion changed its text");
        }
    }

    // Monitor lines: two digits per byte with a blank after each.
    const QString hex = ReferenceHex(bytes);
    QString spaced;
    for (qsizetype i = 0; i < hex.size(); i += 2)
        spaced += hex.mid(i, 2) + u' ';
    const QByteArray array(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
    FUZZ_CHECK(IntToHexDisplayText(bytes) == spaced, "transmit monitor line");
    FUZZ_CHECK(IntToHexDisplayText(array) == spaced, "transmit monitor line of a byte array");
    FUZZ_CHECK(HexDisplayText(latin) == hex, "hex display of single-byte characters");
    FUZZ_CHECK(OneSpaceHexDisplayText(latin) == (latin.size() == 1 ? hex : spaced),
               "spaced hex display of single-byte characters");
    // Any character code shows as at least two upper-case digits, nothing else.
    const QString wide = HexDisplayText(text);
    for (QChar c : wide)
        FUZZ_CHECK(ReferenceNibble(c.unicode()) >= 0 && !c.isLower(), "display digit");
    FUZZ_CHECK(wide.size() >= 2 * text.size() && wide.size() <= 4 * text.size(), "display length");

    // The receive paths' decoding: one character per byte on the serial link, two hex digits per
    // byte on the LAN, and the same bytes either way.
    const TReplyText serial = DecodeSerialReply(latin);
    FUZZ_CHECK(serial.Bytes == array, "serial reply decoding");
    FUZZ_CHECK(serial.MonitorLine == OneSpaceHexDisplayText(latin), "serial monitor line");
    const TReplyText lan = DecodeLanReply(hex);
    FUZZ_CHECK(lan.Bytes == array, "LAN reply decoding");
    FUZZ_CHECK(lan.MonitorLine == spaced, "LAN monitor line");
    // Whatever text the LAN collected: a byte per whole pair, an odd last digit dropped.
    const TReplyText odd = DecodeLanReply(text);
    FUZZ_CHECK(odd.Bytes.size() == text.size() / 2, "LAN decoding of arbitrary text");
    for (qsizetype i = 0; i < odd.Bytes.size(); ++i) {
        FUZZ_CHECK(quint8(odd.Bytes[i]) == ReferenceValue(text.mid(2 * i, 2), 2), "LAN byte %lld",
                   qlonglong(i));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const quint8> frame(data, size);
    TFuzzInput choice(data, size);
    CheckCrc(frame, choice);
    CheckHexBytes(frame);
    CheckHexText(frame, choice);
    return 0;
}
