#include "cli/CliRun.h"

#include <unistd.h>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSysInfo>

#include <array>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

#include "app/Errors.h"
#include "app/Settings.h"
#include "cli/CliArgs.h"
#include "cli/CliRecord.h"
#include "link/LinkIo.h"
#include "operations/HourFrames.h"
#include "operations/MemoryCopyPlan.h"
#include "operations/MemoryTextCodec.h"
#include "operations/MemoryTextFile.h"
#include "operations/SuffixFrames.h"
#include "protocol/Frames.h"
#include "protocol/Transaction.h"

namespace {

constexpr int kImageSize = 4096;
constexpr int kOpenTimeoutMs = 5000;

void Print(std::FILE* out, const QString& text) {
    std::fprintf(out, "%s\n", text.toUtf8().constData());
}

// ---- what the command line asks for ---------------------------------------------------------

struct TLinkChoice {
    bool Lan = false;
    QString Port;  // "COM3", "COM/dev/ttyUSB0"
    int Baud = 9600;
    TParityBits Parity = TParityBits::None;
    QString Host;
    int LanPort = 0;
};

struct TPlan {
    TLinkChoice Link;
    quint8 Slave = 1;
    QByteArray Request;         // test, suffix, board, hour
    QString Values;             // what is written, for the log
    int MemoryRow = -1;         // read, write, verify
    std::vector<quint8> Image;  // write, verify: the file's bytes over a zero image
    int FileBytes = 0;
    QString File;
    bool Verify = false;  // write --verify
    TTransactionOptions Options;
};

const std::array<int, 3> kBaudRates{9600, 19200, 38400};

QString PortName(const QString& text) {
    if (text.isEmpty())
        throw ECliUsage(QStringLiteral("--serial: the port is empty"));
    bool number = false;
    text.toInt(&number);
    if (number && !text.startsWith(u'-') && !text.startsWith(u'+'))
        return QStringLiteral("COM") +
               QString::number(CliNumber(QStringLiteral("serial"), text, 1, 255));
    if (text.startsWith(QStringLiteral("COM")) || text.startsWith(u'/'))
        return text.startsWith(u'/') ? QStringLiteral("COM") + text : text;
    throw ECliUsage(
        QStringLiteral("--serial: '%1' is neither a COM number nor a device path").arg(text));
}

TParityBits ParityOf(const QString& text) {
    const QString p = text.toLower();
    if (p == QStringLiteral("none") || p == QStringLiteral("n"))
        return TParityBits::None;
    if (p == QStringLiteral("even") || p == QStringLiteral("e"))
        return TParityBits::Even;
    if (p == QStringLiteral("odd") || p == QStringLiteral("o"))
        return TParityBits::Odd;
    throw ECliUsage(QStringLiteral("--parity: '%1' is not none, even or odd").arg(text));
}

TLinkChoice ChooseLink(const TCliArgs& args, const std::optional<TTolma1Table>& settings) {
    TLinkChoice link;
    if (args.Has(QStringLiteral("serial")) && args.Has(QStringLiteral("lan")))
        throw ECliUsage(QStringLiteral("--serial and --lan exclude each other"));
    if (args.Has(QStringLiteral("lan"))) {
        if (args.Has(QStringLiteral("baud")) || args.Has(QStringLiteral("parity")))
            throw ECliUsage(QStringLiteral("--baud and --parity belong to a serial link"));
        const QString value = args.Value(QStringLiteral("lan"));
        const qsizetype colon = value.lastIndexOf(u':');
        if (colon <= 0)
            throw ECliUsage(QStringLiteral("--lan: '%1' is not HOST:PORT").arg(value));
        link.Lan = true;
        link.Host = value.left(colon);
        link.LanPort = int(CliNumber(QStringLiteral("lan"), value.mid(colon + 1), 1, 65535));
        return link;
    }
    if (args.Has(QStringLiteral("serial"))) {
        link.Port = PortName(args.Value(QStringLiteral("serial")));
    } else if (settings && !settings->PORT.isEmpty()) {
        link.Port = QStringLiteral("COM") + settings->PORT;
        link.Baud = kBaudRates.at(size_t(qBound(0, SettingRow(settings->Baudrate), 2)));
        const TParityBits rows[] = {TParityBits::None, TParityBits::Even, TParityBits::Odd};
        link.Parity = rows[qBound(0, SettingRow(settings->Parity), 2)];
    } else {
        throw ECliUsage(
            QStringLiteral("no link: give --serial or --lan, or a settings file with a PORT"));
    }
    if (args.Has(QStringLiteral("baud"))) {
        const QString text = args.Value(QStringLiteral("baud"));
        const qint64 baud = CliNumber(QStringLiteral("baud"), text, 1, 38400);
        if (std::find(kBaudRates.begin(), kBaudRates.end(), int(baud)) == kBaudRates.end())
            throw ECliUsage(QStringLiteral("--baud: %1 is not 9600, 19200 or 38400").arg(text));
        link.Baud = int(baud);
    }
    if (args.Has(QStringLiteral("parity")))
        link.Parity = ParityOf(args.Value(QStringLiteral("parity")));
    return link;
}

// The memory file as bytes over a zero image; only hex digits, a whole number of bytes, and at
// least as many bytes as the model's write plan reaches.
void LoadMemoryFile(TPlan& plan) {
    QString text;
    try {
        text = DecodeMemoryFile(ReadMemoryFile(plan.File)).Text;
    } catch (const EQuorrin& e) {
        throw ECliUsage(e.Message());
    }
    while (text.endsWith(u'\n') || text.endsWith(u'\r'))
        text.chop(1);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F')))
            throw ECliUsage(
                QStringLiteral("%1: not a memory file (character %2 is not a hex digit)")
                    .arg(plan.File, QString::number(i + 1)));
    }
    if (text.size() % 2 != 0)
        throw ECliUsage(QStringLiteral("%1: an odd number of hex digits").arg(plan.File));
    plan.FileBytes = int(text.size() / 2);
    if (plan.FileBytes > kImageSize)
        throw ECliUsage(
            QStringLiteral("%1: %2 bytes, more than the memory window's %3")
                .arg(plan.File, QString::number(plan.FileBytes), QString::number(kImageSize)));
    plan.Image.assign(kImageSize, 0);
    MemoryTextToImage(text, plan.Image);
}

int PlanEnd(const std::vector<TMemoryBlock>& blocks) {
    int end = 0;
    for (const TMemoryBlock& b : blocks)
        end = qMax(end, b.Offset + b.Length);
    return end;
}

// A suffix or board field: empty or omitted is sent as 0xFF.
QString Field(const TCliArgs& args, const QString& name, qint64 max) {
    const QString text = args.Value(name);
    return text.isEmpty() ? QString() : QString::number(CliNumber(name, text, 0, max));
}

void PlanHour(const TCliArgs& args, TPlan& plan) {
    if (!args.Has(QStringLiteral("model")))
        throw ECliUsage(QStringLiteral("hour needs --model"));
    const int model =
        CliRow(QStringLiteral("model"), args.Value(QStringLiteral("model")), HourModelNames());
    const THourLayout layout = HourLayout(model);
    const bool wide = model <= 1;
    // The limits keep each value, times the factor the frame applies, inside its field.
    struct TBox {
        const char* Option;
        QString THourBoxes::*Box;
        bool Shown;
        qint64 Max;
    };
    const qint64 max32 = 0xFFFFFFFFLL;
    const TBox boxes[] = {
        {"total-hour", &THourBoxes::Hour1, true, wide ? max32 : INT32_MAX},
        {"total-min", &THourBoxes::Min1, true, wide ? max32 / 60 : 0xFFFF / 60},
        {"load-hour", &THourBoxes::Hour2, true, wide ? max32 : INT32_MAX},
        {"load-min", &THourBoxes::Min2, true, wide ? max32 / 36 : 0xFFFF / 60},
        {"kw-hour", &THourBoxes::Hour3, layout.ShowHour3, wide ? max32 : INT32_MAX},
        {"kw-min", &THourBoxes::Min3, layout.ShowMin3, max32 / 36},
    };
    THourBoxes values{QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("0"),
                      QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("0")};
    QStringList written;
    for (const TBox& box : boxes) {
        const QString name = QString::fromLatin1(box.Option);
        if (!box.Shown) {
            if (args.Has(name))
                throw ECliUsage(
                    QStringLiteral("--%1: model %2 has no such box").arg(name).arg(model));
            continue;
        }
        if (!args.Has(name))
            throw ECliUsage(QStringLiteral("hour --model %1 needs --%2").arg(model).arg(name));
        values.*box.Box = QString::number(CliNumber(name, args.Value(name), 0, box.Max));
        written << name + u'=' + values.*box.Box;
    }
    plan.Request = BuildHourRequest(plan.Slave, model, values);
    plan.Values = QStringLiteral("model=%1 ").arg(model) + written.join(u' ');
}

TPlan MakePlan(const TCliArgs& args) {
    TPlan plan;
    plan.Verify = args.Flag(QStringLiteral("verify"));
    if (args.Has(QStringLiteral("retries")))
        plan.Options.Retries =
            int(CliNumber(QStringLiteral("retries"), args.Value(QStringLiteral("retries")), 0, 20));
    if (args.Has(QStringLiteral("timeout")))
        plan.Options.TimeoutMs = int(
            CliNumber(QStringLiteral("timeout"), args.Value(QStringLiteral("timeout")), 1, 60000));

    std::optional<TTolma1Table> settings;
    const bool needSettings =
        (!args.Has(QStringLiteral("serial")) && !args.Has(QStringLiteral("lan"))) ||
        !args.Has(QStringLiteral("slave"));
    if (needSettings) {
        const QString path =
            args.Has(QStringLiteral("settings"))
                ? args.Value(QStringLiteral("settings"))
                : SettingsFileLocation(QCoreApplication::applicationDirPath(), UserSettingsDir());
        if (args.Has(QStringLiteral("settings")) && !QFileInfo(path).isFile())
            throw ECliUsage(QStringLiteral("--settings: %1 is not a file").arg(path));
        if (QFileInfo(path).isFile())
            settings = ReadTolmaFile(path);
    }
    plan.Link = ChooseLink(args, settings);
    if (args.Has(QStringLiteral("slave")))
        plan.Slave =
            quint8(CliNumber(QStringLiteral("slave"), args.Value(QStringLiteral("slave")), 1, 247));
    else if (settings && !settings->ID.isEmpty())
        plan.Slave = quint8(CliNumber(QStringLiteral("slave"), settings->ID.trimmed(), 1, 247));
    else
        throw ECliUsage(QStringLiteral("no slave ID: give --slave or a settings file with an ID"));

    const QString& command = args.Command;
    if (command == QStringLiteral("test")) {
        plan.Request = BuildCommTestRequest(plan.Slave);
    } else if (command == QStringLiteral("suffix")) {
        const int row = args.Has(QStringLiteral("target"))
                            ? CliRow(QStringLiteral("target"), args.Value(QStringLiteral("target")),
                                     SuffixModelNames())
                            : 0;
        const auto character = [&](const QString& name) {
            const QString text = args.Value(name);
            return text.isEmpty() ? QString() : CliCharacter(name, text);
        };
        const QString year = character(QStringLiteral("year"));
        const QString company = character(QStringLiteral("company"));
        const QString number = Field(args, QStringLiteral("number"), 0xFFFF);
        plan.Request = BuildSuffixRequest(plan.Slave, row, year, company, number);
        plan.Values = QStringLiteral("target=%1 year=%2 company=%3 number=%4")
                          .arg(row)
                          .arg(year, company, number);
    } else if (command == QStringLiteral("board")) {
        const QString year = Field(args, QStringLiteral("year"), 0xFF);
        const QString month = Field(args, QStringLiteral("month"), 0xFF);
        const QString number = Field(args, QStringLiteral("number"), 0xFFFF);
        plan.Request = BuildBoardSuffixRequest(plan.Slave, year, month, number);
        plan.Values = QStringLiteral("year=%1 month=%2 number=%3").arg(year, month, number);
    } else if (command == QStringLiteral("hour")) {
        PlanHour(args, plan);
    } else {
        if (!args.Has(QStringLiteral("memory-model")))
            throw ECliUsage(QStringLiteral("%1 needs --memory-model").arg(command));
        plan.MemoryRow = CliRow(QStringLiteral("memory-model"),
                                args.Value(QStringLiteral("memory-model")), MemoryModelNames());
        if (command == QStringLiteral("read")) {
            plan.File = args.Value(QStringLiteral("output"));
            if (plan.File.isEmpty())
                throw ECliUsage(QStringLiteral("read needs -o FILE"));
            const QFileInfo target(plan.File);
            if (target.isDir() || !QFileInfo(target.absolutePath()).isWritable() ||
                (target.exists() && !target.isWritable()))
                throw ECliUsage(QStringLiteral("-o: %1 cannot be written").arg(plan.File));
        } else {
            plan.File = args.File;
            LoadMemoryFile(plan);
            const int end = PlanEnd(WritePlan(plan.MemoryRow));
            if (plan.FileBytes < end)
                throw ECliUsage(
                    QStringLiteral("%1: %2 bytes, but memory model %3 is written up to byte %4")
                        .arg(plan.File, QString::number(plan.FileBytes),
                             QString::number(plan.MemoryRow), QString::number(end)));
        }
        plan.Values = QStringLiteral("memory-model=%1 file=%2")
                          .arg(QString::number(plan.MemoryRow), plan.File);
    }
    return plan;
}

// ---- running it -------------------------------------------------------------------------------

struct TOutcome {
    int Exit = kCliDone;
    QString Result = QStringLiteral("ok");
    QStringList Lines;  // the human-readable result
    QJsonObject Json;
};

TLinkIo* CurrentLink = nullptr;

// Errors escaping a notification of the link end the wait they interrupt.
void LinkNotificationFailed(std::exception_ptr error) noexcept {
    if (CurrentLink != nullptr)
        CurrentLink->Fail(error);
}

class TProgress {
public:
    TProgress(const QString& what, int total)
        : FWhat(what), FTotal(total), FShown(isatty(fileno(stderr)) != 0) {}
    ~TProgress() {
        if (FShown)
            std::fprintf(stderr, "\n");
    }
    void Step(int done) {
        if (!FShown)
            return;
        const int width = 40;
        const int filled = FTotal > 0 ? done * width / FTotal : width;
        std::fprintf(stderr, "\r%-6s [%s%s] %d/%d", qPrintable(FWhat),
                     QByteArray(filled, '#').constData(),
                     QByteArray(width - filled, '.').constData(), done, FTotal);
        std::fflush(stderr);
    }

private:
    QString FWhat;
    int FTotal;
    bool FShown;
};

class TRunner {
public:
    TRunner(TTransactor& transactor, const TPlan& plan) : FTr(transactor), FPlan(plan) {}

    int Attempts = 0;

    // One request; false (outcome set) when it got no valid answer.
    bool Ask(const QByteArray& request, QByteArray& reply, TOutcome& outcome) {
        const TTransactionResult result = FTr.Transact(request);
        Attempts += result.Attempts;
        switch (result.Status) {
            case TTransactionResult::TStatus::Answered:
                reply = result.Reply;
                return true;
            case TTransactionResult::TStatus::Exception:
                outcome.Exit = kCliException;
                outcome.Result = QStringLiteral("exception %1")
                                     .arg(result.ExceptionCode, 2, 16, QLatin1Char('0'));
                outcome.Json.insert(QStringLiteral("exception_code"), result.ExceptionCode);
                return false;
            case TTransactionResult::TStatus::NoAnswer:
                break;
        }
        outcome.Exit = kCliNoAnswer;
        outcome.Result = QStringLiteral("no valid answer after %1 attempts").arg(result.Attempts);
        return false;
    }

    // A read sweep into image; false when a block got no valid answer.
    bool ReadSweep(std::vector<quint8>& image, TOutcome& outcome) {
        const std::vector<TMemoryBlock> blocks = ReadPlan(FPlan.MemoryRow);
        TProgress progress(QStringLiteral("read"), int(blocks.size()));
        for (size_t k = 0; k < blocks.size(); ++k) {
            const TMemoryBlock& b = blocks[k];
            QByteArray reply;
            if (!Ask(BuildMemoryReadRequest(FPlan.Slave, b.Offset, b.Length), reply, outcome)) {
                outcome.Result += QStringLiteral(" (read block at offset %1)").arg(b.Offset);
                return false;
            }
            const QByteArray data = reply.mid(3, b.Length);
            std::copy(data.begin(), data.end(), image.begin() + b.Offset);
            progress.Step(int(k + 1));
        }
        return true;
    }

    bool WriteSweep(TOutcome& outcome) {
        const std::vector<TMemoryBlock> blocks = WritePlan(FPlan.MemoryRow);
        TProgress progress(QStringLiteral("write"), int(blocks.size()));
        for (size_t k = 0; k < blocks.size(); ++k) {
            const TMemoryBlock& b = blocks[k];
            const QByteArray data(reinterpret_cast<const char*>(FPlan.Image.data()) + b.Offset,
                                  b.Length);
            QByteArray reply;
            if (!Ask(BuildMemoryWriteRequest(FPlan.Slave, b.Offset, data), reply, outcome)) {
                outcome.Result += QStringLiteral(" (write block at offset %1)").arg(b.Offset);
                return false;
            }
            progress.Step(int(k + 1));
        }
        outcome.Json.insert(QStringLiteral("blocks_written"), int(blocks.size()));
        return true;
    }

    // Reads the memory back and compares it with the plan's image where the write plan writes.
    void Verify(TOutcome& outcome) {
        std::vector<quint8> memory(kImageSize, 0);
        if (!ReadSweep(memory, outcome))
            return;
        int compared = 0;
        for (const TMemoryBlock& b : WritePlan(FPlan.MemoryRow)) {
            for (int k = b.Offset; k < b.Offset + b.Length; ++k, ++compared) {
                if (memory[size_t(k)] == FPlan.Image[size_t(k)])
                    continue;
                outcome.Exit = kCliDiffers;
                outcome.Result = QStringLiteral("differs at offset 0x%1: controller %2, file %3")
                                     .arg(k, 3, 16, QLatin1Char('0'))
                                     .arg(memory[size_t(k)], 2, 16, QLatin1Char('0'))
                                     .arg(FPlan.Image[size_t(k)], 2, 16, QLatin1Char('0'));
                outcome.Json.insert(QStringLiteral("first_difference"), k);
                return;
            }
        }
        outcome.Json.insert(QStringLiteral("bytes_verified"), compared);
        outcome.Lines << QStringLiteral("verified: %1 bytes equal").arg(compared);
    }

private:
    TTransactor& FTr;
    const TPlan& FPlan;
};

TOutcome RunCommand(const QString& command, TRunner& runner, const TPlan& plan) {
    TOutcome outcome;
    if (!plan.Request.isEmpty()) {
        QByteArray reply;
        if (!runner.Ask(plan.Request, reply, outcome))
            return outcome;
        if (command == QStringLiteral("test")) {
            QJsonArray registers;
            QStringList line;
            for (int r = 0; r < 44; ++r) {
                const int value = (quint8(reply[3 + 2 * r]) << 8) | quint8(reply[4 + 2 * r]);
                registers.append(value);
                line << QString::number(value);
                if (r % 11 == 10) {
                    outcome.Lines << QStringLiteral("%1-%2: ").arg(r - 10, 2).arg(r, 2) +
                                         line.join(u' ');
                    line.clear();
                }
            }
            outcome.Json.insert(QStringLiteral("registers"), registers);
        } else {
            outcome.Lines << QStringLiteral("%1 written: %2").arg(command, plan.Values);
        }
        return outcome;
    }
    if (command == QStringLiteral("read")) {
        std::vector<quint8> image(kImageSize, 0);
        if (!runner.ReadSweep(image, outcome))
            return outcome;
        // The blocks of a read run from offset 0 without a gap: the text is the bytes up to the
        // plan's end, as the window's read builds it.
        const int bytes = PlanEnd(ReadPlan(plan.MemoryRow));
        const QString text = QString::fromLatin1(
            QByteArray(reinterpret_cast<const char*>(image.data()), bytes).toHex().toUpper());
        try {
            WriteMemoryFile(plan.File, EncodeMemoryFile(text, TTextMark::None));
        } catch (const EQuorrin& e) {
            outcome.Exit = kCliUsage;
            outcome.Result = e.Message();
            return outcome;
        }
        outcome.Lines
            << QStringLiteral("read %1 bytes to %2").arg(QString::number(bytes), plan.File);
        outcome.Json.insert(QStringLiteral("bytes_read"), bytes);
        return outcome;
    }
    if (command == QStringLiteral("write")) {
        if (!runner.WriteSweep(outcome))
            return outcome;
        outcome.Lines << QStringLiteral("wrote %1").arg(plan.File);
    }
    if (command == QStringLiteral("verify") || plan.Verify)
        runner.Verify(outcome);
    return outcome;
}

}  // namespace

int RunCli(const QStringList& arguments) {
    QElapsedTimer clock;
    clock.start();
    const auto usage = [](const QString& message) {
        Print(stderr, QStringLiteral("quorrin-cli: ") + message);
        return int(kCliUsage);
    };
    TCliArgs args;
    TPlan plan;
    try {
        args = ParseCliArgs(arguments);
        if (args.Flag(QStringLiteral("help"))) {
            std::fputs(CliUsageText().toUtf8().constData(), stdout);
            return kCliDone;
        }
        if (args.Flag(QStringLiteral("version"))) {
            Print(stdout, QStringLiteral("quorrin-cli " QUORRIN_VERSION));
            return kCliDone;
        }
        plan = MakePlan(args);
    } catch (const ECliUsage& e) {
        return usage(QString::fromStdString(e.what()));
    }
    // The record before the controller: a command that cannot be logged is not carried out.
    TProductionLog log;
    TTrace trace;
    QString error;
    if (args.Has(QStringLiteral("log")) && !log.Open(args.Value(QStringLiteral("log")), error))
        return usage(error);
    if (args.Has(QStringLiteral("trace")) &&
        !trace.Open(args.Value(QStringLiteral("trace")), error))
        return usage(error);

    std::unique_ptr<TLinkIo> link;
    if (plan.Link.Lan)
        link = std::make_unique<TLanLinkIo>(plan.Link.Host, plan.Link.LanPort);
    else
        link = std::make_unique<TSerialLinkIo>(plan.Link.Port, plan.Link.Baud, plan.Link.Parity);
    CurrentLink = link.get();
    SetErrorHandler(LinkNotificationFailed);

    TOutcome outcome;
    int attempts = 0;
    try {
        link->Open(QDeadlineTimer(kOpenTimeoutMs));
    } catch (const std::exception& e) {
        outcome.Exit = kCliNoLink;
        outcome.Result =
            QStringLiteral("the link could not be opened: %1").arg(QString::fromUtf8(e.what()));
    }
    if (outcome.Exit == kCliDone) {
        TTransactor transactor(*link, plan.Options);
        if (trace.IsOpen())
            transactor.Trace = [&](char direction, const QByteArray& frame,
                                   const QString& verdict) {
                trace.Frame(direction, frame, verdict);
            };
        TRunner runner(transactor, plan);
        try {
            outcome = RunCommand(args.Command, runner, plan);
        } catch (const std::exception& e) {
            outcome.Exit = kCliNoAnswer;
            outcome.Result = QStringLiteral("link failed: %1").arg(QString::fromUtf8(e.what()));
        }
        attempts = runner.Attempts;
        try {
            transactor.LeaveQuiet();
        } catch (const std::exception&) {
            // The link is being given up anyway.
        }
        try {
            link->Close();
        } catch (const std::exception&) {
            // The command's outcome stands; the port is given up with the process.
        }
    }
    CurrentLink = nullptr;
    const qint64 elapsed = clock.elapsed();

    if (args.Flag(QStringLiteral("json"))) {
        QJsonObject json = outcome.Json;
        json.insert(QStringLiteral("command"), args.Command);
        json.insert(QStringLiteral("link"), link->Describe());
        json.insert(QStringLiteral("slave"), plan.Slave);
        json.insert(QStringLiteral("exit_status"), outcome.Exit);
        json.insert(QStringLiteral("result"), outcome.Result);
        json.insert(QStringLiteral("attempts"), attempts);
        json.insert(QStringLiteral("duration_ms"), elapsed);
        if (!plan.Values.isEmpty())
            json.insert(QStringLiteral("values"), plan.Values);
        std::fputs(QJsonDocument(json).toJson(QJsonDocument::Compact).constData(), stdout);
        std::fputs("\n", stdout);
    } else if (outcome.Exit == kCliDone) {
        for (const QString& line : outcome.Lines)
            Print(stdout, line);
    }
    if (outcome.Exit != kCliDone)
        Print(stderr, QStringLiteral("quorrin-cli: %1: %2").arg(args.Command, outcome.Result));
    std::fflush(stdout);

    if (log.IsOpen()) {
        const QStringList row{LocalTimeWithZone(),
                              QSysInfo::machineHostName(),
                              link->Describe(),
                              QString::number(plan.Slave),
                              args.Command,
                              plan.Values,
                              outcome.Result,
                              QString::number(outcome.Exit),
                              QString::number(elapsed)};
        if (!log.Append(row, error)) {
            Print(stderr, QStringLiteral("quorrin-cli: ") + error);
            if (outcome.Exit == kCliDone)
                outcome.Exit = kCliUsage;
        }
    }
    return outcome.Exit;
}
