#include "sim/Simulator.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QTime>
#include <cstdio>

#include "sim/SimLinks.h"

namespace {

// Between two replies of a controller that has requests waiting; longer than the master's receive
// window, as a busy controller's is.
constexpr qint64 kTurnaroundMs = 150;

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

bool WriteFileAtomically(const QString& fileName, const QByteArray& content) {
    // Written beside the old file and renamed over it: a reader never sees half a file.
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        return false;
    return file.commit();
}

}  // namespace

TSimulator::TSimulator(const TSimOptions& options)
    : FOptions(options), FMemory(DefaultMemory(options.Fill)), FRandom(options.Faults.RandomSeed) {}

TSimulator::~TSimulator() = default;

bool TSimulator::Start(QString* error) {
    if (!LoadImage(error))
        return false;
    if (FOptions.Tcp) {
        FTcp = std::make_unique<TTcpLink>(*this);
        FTcp->SetPacing(FOptions.LineBaud, FOptions.LineParity, FOptions.ChunkMs);
        if (!FTcp->Listen(quint16(FOptions.TcpPort), error))
            return false;
    }
    if (FOptions.Pty) {
        FPty = std::make_unique<TPtyLink>(*this);
        FPty->SetPacing(FOptions.LineBaud, FOptions.LineParity, FOptions.ChunkMs);
        if (!FPty->Open(error))
            return false;
    }
    if (FTcp)
        Print(QStringLiteral("LISTEN tcp 127.0.0.1:%1").arg(FTcp->Port()));
    if (FPty)
        Print(QStringLiteral("PTY %1").arg(FPty->Path()));
    Log(QStringLiteral("sim"), QStringLiteral("-- slave %1 ready").arg(FOptions.Slave));
    Print(QStringLiteral("READY"));
    return true;
}

bool TSimulator::LoadImage(QString* error) {
    if (FOptions.ImageFile.isEmpty())
        return true;
    QFile file(FOptions.ImageFile);
    if (!file.exists()) {
        Log(QStringLiteral("sim"),
            QStringLiteral("-- no image %1 yet; it is written at exit").arg(FOptions.ImageFile));
        return true;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read the image %1: %2")
                     .arg(FOptions.ImageFile, file.errorString());
        return false;
    }
    // The memory file format: hex pairs from offset 0 on. Line breaks and blanks that an editor
    // may have added are allowed; anything else means the file is not an image.
    QByteArray digits;
    for (const char c : file.readAll()) {
        if (IsHexDigit(c))
            digits.append(c);
        else if (!QChar::isSpace(uchar(c))) {
            *error = QStringLiteral("the image %1 holds a character that is not a hex digit")
                         .arg(FOptions.ImageFile);
            return false;
        }
    }
    if (digits.size() % 2 != 0 || digits.size() > 2 * kWindowSize) {
        *error = QStringLiteral(
                     "the image %1 holds %2 hex digits; an image is an even number of "
                     "them, at most %3")
                     .arg(FOptions.ImageFile)
                     .arg(digits.size())
                     .arg(2 * kWindowSize);
        return false;
    }
    const QByteArray bytes = QByteArray::fromHex(digits);
    FMemory.Window.replace(0, bytes.size(), bytes);
    Log(QStringLiteral("sim"),
        QStringLiteral("-- image %1: %2 bytes loaded").arg(FOptions.ImageFile).arg(bytes.size()));
    return true;
}

bool TSimulator::Save() {
    const bool image = SaveImage();
    const bool state = SaveState();
    return image && state;
}

bool TSimulator::SaveImage() {
    if (FOptions.ImageFile.isEmpty())
        return true;
    // The memory file format, so that Quorrin can open it: upper-case hex, no line terminator.
    if (WriteFileAtomically(FOptions.ImageFile, FMemory.Window.toHex().toUpper()))
        return true;
    Log(QStringLiteral("sim"),
        QStringLiteral("-- cannot write the image %1").arg(FOptions.ImageFile));
    return false;
}

bool TSimulator::SaveState() {
    if (FOptions.StateFile.isEmpty())
        return true;
    QJsonObject records;
    for (auto it = FMemory.Records.cbegin(); it != FMemory.Records.cend(); ++it)
        records.insert(QStringLiteral("%1").arg(it.key(), 4, 16, QLatin1Char('0')).toUpper(),
                       QString::fromLatin1(it.value().toHex().toUpper()));
    QJsonObject state;
    state.insert(QStringLiteral("slave"), FOptions.Slave);
    state.insert(QStringLiteral("requests"), qint64(FRequests));
    state.insert(QStringLiteral("records"), records);
    if (WriteFileAtomically(FOptions.StateFile, QJsonDocument(state).toJson()))
        return true;
    Log(QStringLiteral("sim"),
        QStringLiteral("-- cannot write the state file %1").arg(FOptions.StateFile));
    return false;
}

void TSimulator::HandleFrame(TSimLink& link, const QByteArray& frame) {
    Log(link.Name(), QStringLiteral("RX ") + HexBytes(frame));
    if (!CrcValid(frame)) {
        Log(link.Name(), QStringLiteral("-- bad CRC or no frame; ignored"));
        return;
    }
    const quint8 slave = quint8(frame[0]);
    if (slave == 0) {
        // A broadcast is carried out by every slave and answered by none.
        const TAnswer answer = AnswerRequest(FMemory, frame);
        Log(link.Name(), QStringLiteral("-- broadcast, no reply: ") + answer.Note);
        if (answer.RecordStored)
            SaveState();
        return;
    }
    if (slave != FOptions.Slave) {
        Log(link.Name(), QStringLiteral("-- for slave %1; ignored").arg(slave));
        return;
    }
    const quint64 number = ++FRequests;
    if (FOptions.Faults.StopAfter > 0 && number >= quint64(FOptions.Faults.StopAfter)) {
        // The controller goes away in the middle of the conversation: no reply, and the links
        // close as the simulator ends.
        Log(link.Name(), QStringLiteral("-- request %1: stopping, every link closes").arg(number));
        QCoreApplication::quit();
        return;
    }
    TFaults faults = FaultsFor(FOptions.Faults, number);
    AddRandomFault(FOptions.Faults, FRandom, faults);
    TAnswer answer;
    if (faults.Exception) {
        // A random exception without a code of its own is a server device failure.
        const int code = FOptions.Faults.ExceptionCode != 0 ? FOptions.Faults.ExceptionCode : 4;
        answer.Reply = ExceptionReply(slave, quint8(frame[1]), quint8(code));
        answer.Note = QStringLiteral("request %1: exception %2 injected; not carried out")
                          .arg(number)
                          .arg(code, 2, 16, QLatin1Char('0'));
    } else {
        answer = AnswerRequest(FMemory, frame);
        answer.Note = QStringLiteral("request %1: ").arg(number) + answer.Note;
    }
    Log(link.Name(), QStringLiteral("-- ") + answer.Note);
    if (answer.RecordStored)
        SaveState();
    Reply(link, answer, faults, number);
}

void TSimulator::Reply(TSimLink& link, const TAnswer& answer, const TFaults& faults,
                       quint64 number) {
    QByteArray reply = answer.Reply;
    if (faults.WrongFunction) {
        // Another function code, and a checksum that fits it: only the code is wrong.
        reply[1] = char(quint8(reply[1]) == 0x05 ? 0x06 : 0x05);
        reply = WithCrc(reply.chopped(2));
        Log(link.Name(), QStringLiteral("-- reply %1: function code changed").arg(number));
    }
    if (faults.WrongSlave) {
        reply[0] = char(quint8(reply[0]) % 247 + 1);
        reply = WithCrc(reply.chopped(2));
        Log(link.Name(),
            QStringLiteral("-- reply %1: sent as slave %2").arg(number).arg(quint8(reply[0])));
    }
    if (faults.Truncate && reply.size() > 1) {
        const int cut = 1 + int(FRandom.bounded(int(reply.size()) - 1));
        reply.chop(cut);
        Log(link.Name(), QStringLiteral("-- reply %1: last %2 bytes cut off").arg(number).arg(cut));
    }
    if (faults.Corrupt) {
        reply[reply.size() - 1] = char(~quint8(reply[reply.size() - 1]));
        Log(link.Name(), QStringLiteral("-- reply %1: CRC corrupted").arg(number));
    }
    if (faults.Drop) {
        Log(link.Name(), QStringLiteral("-- reply %1: dropped").arg(number));
        return;
    }
    if (link.Holding()) {
        reply.prepend(link.TakeHeld());
        Log(link.Name(), QStringLiteral("-- reply %1: goes out with the held one").arg(number));
    } else if (faults.Hold) {
        link.Hold(reply);
        Log(link.Name(), QStringLiteral("-- reply %1: held for the next reply").arg(number));
        return;
    }
    if (faults.Garbage) {
        const auto noise = [this] {
            QByteArray bytes(1 + int(FRandom.bounded(6)), '\0');
            for (char& b : bytes)
                b = char(FRandom.bounded(256));
            return bytes;
        };
        reply = noise() + reply + noise();
        Log(link.Name(), QStringLiteral("-- reply %1: noise before and after").arg(number));
    }
    if (faults.LateMs > 0)
        Log(link.Name(), QStringLiteral("-- reply %1: %2 ms late").arg(number).arg(faults.LateMs));
    qint64 due = link.Now() + FOptions.Faults.DelayMs + faults.LateMs;
    // A controller still busy with an earlier reply takes this request after it, with its usual
    // turnaround: the replies do not run together into one.
    if (link.Busy())
        due = qMax(due, link.LastDue() + kTurnaroundMs);
    if (faults.SplitMs > 0 && reply.size() > 1) {
        const qsizetype half = reply.size() / 2;
        Log(link.Name(), QStringLiteral("-- reply %1: split, second part %2 ms later")
                             .arg(number)
                             .arg(faults.SplitMs));
        link.QueueAt(reply.left(half), due);
        link.QueueAt(reply.mid(half), due + faults.SplitMs);
    } else {
        link.QueueAt(reply, due);
    }
}

void TSimulator::Log(const QString& source, const QString& text) {
    Print(QTime::currentTime().toString(QStringLiteral("HH:mm:ss.zzz ")) + source + u' ' + text);
}

void TSimulator::Print(const QString& line) {
    const QByteArray bytes = (line + u'\n').toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}
