#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <cstdio>

#include "SimProcess.h"
#include "operations/MemoryCopyPlan.h"
#include "operations/MemoryTextBox.h"
#include "sim/Faults.h"
#include "support/LinkedWindowFixture.h"
#include "support/ModbusPeer.h"
#include "widgets/DsFancyButton.h"

namespace {

using namespace std::chrono_literals;

struct TCliRun {
    int Exit = -1;
    QString Out;
    QString Err;
};

// Runs quorrin-cli to its end; when peer is given it is served meanwhile (events keep running).
TCliRun RunCli(const QStringList& arguments) {
    QProcess cli;
    cli.start(QStringLiteral(QUORRIN_CLI_PATH), arguments);
    TCliRun run;
    if (!cli.waitForStarted(5000))
        return run;
    QDeadlineTimer deadline(120s);
    while (cli.state() != QProcess::NotRunning && !deadline.hasExpired())
        QTest::qWait(5);
    run.Exit = cli.exitStatus() == QProcess::NormalExit ? cli.exitCode() : -2;
    run.Out = QString::fromUtf8(cli.readAllStandardOutput());
    run.Err = QString::fromUtf8(cli.readAllStandardError());
    return run;
}

QByteArray MemoryOfSim(const QString& imageFile) {
    QFile saved(imageFile);
    return saved.open(QIODevice::ReadOnly) ? QByteArray::fromHex(saved.readAll().trimmed())
                                           : QByteArray();
}

// The command against the simulator over its TCP side and its pseudo-terminal.
class CliCommands : public ::testing::TestWithParam<const char*> {
protected:
    QStringList Link(const TSimProcess& sim) const {
        if (QLatin1String(GetParam()) == QLatin1String("tcp"))
            return {QStringLiteral("--lan"), QStringLiteral("127.0.0.1:%1").arg(sim.Port()),
                    QStringLiteral("--slave"), QStringLiteral("1")};
        return {QStringLiteral("--serial"), sim.PtyPath(),
                QStringLiteral("--baud"),   QStringLiteral("38400"),
                QStringLiteral("--slave"),  QStringLiteral("1")};
    }
    QString Path(const QString& name) const { return FDir.filePath(name); }
    // Writes the file in the test's folder (replacing it) and returns its path.
    QString Write(const QString& name, const QByteArray& content) const {
        QFile file(Path(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
        return file.fileName();
    }
    QJsonObject Records() const {
        QFile file(Path(QStringLiteral("state.json")));
        return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll())
                                                    .object()
                                                    .value(QStringLiteral("records"))
                                                    .toObject()
                                              : QJsonObject();
    }
    std::unique_ptr<TSimProcess> Sim(QStringList options = {}) {
        options << QStringLiteral("--image") << Path(QStringLiteral("sim-memory.txt"))
                << QStringLiteral("--state-file") << Path(QStringLiteral("state.json"));
        auto sim = std::make_unique<TSimProcess>(options);
        EXPECT_TRUE(sim->Started()) << sim->ErrorOutput().toStdString();
        return sim;
    }

    QTemporaryDir FDir;
};

TEST_P(CliCommands, EveryCommandDoesItsWorkAndSaysSo) {
    auto sim = Sim();
    const QStringList link = Link(*sim);

    // Without link options, the window's settings file names the link and the slave.
    const QString ini = Write(QStringLiteral("Tolma.ini"),
                              QStringLiteral("[COM]\nID=1\nPORT=%1\nBaudrate=2\nParity=0\n")
                                  .arg(sim->PtyPath())
                                  .toUtf8());
    TCliRun run = RunCli(
        {QStringLiteral("--settings"), ini, QStringLiteral("--json"), QStringLiteral("test")});
    ASSERT_EQ(run.Exit, 0) << run.Err.toStdString();
    EXPECT_TRUE(
        run.Out.contains(QStringLiteral("\"link\":\"serial %1 38400 8N1\"").arg(sim->PtyPath())));

    run = RunCli(link + QStringList{QStringLiteral("--json"), QStringLiteral("test")});
    ASSERT_EQ(run.Exit, 0) << run.Err.toStdString();
    const QJsonObject test = QJsonDocument::fromJson(run.Out.toUtf8()).object();
    EXPECT_EQ(test.value(QStringLiteral("registers")).toArray().size(), 44);
    EXPECT_EQ(test.value(QStringLiteral("registers")).toArray().at(43).toInt(), 43);
    EXPECT_EQ(test.value(QStringLiteral("result")).toString(), QStringLiteral("ok"));

    const QString log = Path(QStringLiteral("station.csv"));
    run = RunCli(link + QStringList{QStringLiteral("--log"), log, QStringLiteral("suffix"),
                                    QStringLiteral("--year=n"), QStringLiteral("--company"),
                                    QStringLiteral("A"), QStringLiteral("--number"),
                                    QStringLiteral("513")});
    ASSERT_EQ(run.Exit, 0) << run.Err.toStdString();
    EXPECT_EQ(Records().value(QStringLiteral("CFF1")).toString(), QStringLiteral("4E410102"));
    // Omitted board fields are erased, as empty boxes are.
    run = RunCli(link + QStringList{QStringLiteral("--log"), log, QStringLiteral("board"),
                                    QStringLiteral("--year"), QStringLiteral("24")});
    ASSERT_EQ(run.Exit, 0) << run.Err.toStdString();
    EXPECT_EQ(Records().value(QStringLiteral("CFF6")).toString(), QStringLiteral("18FFFFFF"));
    run = RunCli(link + QStringList{QStringLiteral("hour"), QStringLiteral("--model"),
                                    QStringLiteral("Kestra M1,M2"), QStringLiteral("--total-hour"),
                                    QStringLiteral("1234"), QStringLiteral("--total-min"),
                                    QStringLiteral("30"), QStringLiteral("--load-hour"),
                                    QStringLiteral("5678"), QStringLiteral("--load-min"),
                                    QStringLiteral("9")});
    ASSERT_EQ(run.Exit, 0) << run.Err.toStdString();
    EXPECT_EQ(Records().value(QStringLiteral("C1D0")).toString(),
              QStringLiteral("08070000D20400004401000 02E160000").remove(u' '));

    // The production log: a header, then one row per command with its values and outcome.
    QFile csv(log);
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    const QStringList rows = QString::fromUtf8(csv.readAll()).split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(rows.size(), 3);
    EXPECT_TRUE(rows[0].startsWith(QStringLiteral("time,station,link,slave,command,values")));
    EXPECT_TRUE(
        rows[1].contains(QStringLiteral(",1,suffix,target=0 year=N company=A number=513,ok,0,")))
        << rows[1].toStdString();
    EXPECT_TRUE(rows[2].contains(QStringLiteral(",board,year=24 month= number=,ok,0,")));

    // Read the window of model 0; write another picture with model 2 and verify it.
    const QString read = Path(QStringLiteral("read.txt"));
    run = RunCli(link + QStringList{QStringLiteral("read"), QStringLiteral("--memory-model"),
                                    QStringLiteral("0"), QStringLiteral("-o"), read});
    ASSERT_EQ(run.Exit, 0) << run.Err.toStdString();
    QFile readFile(read);
    ASSERT_TRUE(readFile.open(QIODevice::ReadOnly));
    const QByteArray readBytes = QByteArray::fromHex(readFile.readAll());
    ASSERT_EQ(readBytes.size(), 4056);
    // The records written above live in the window; everything else is the simulator's pattern.
    const QByteArray pattern = DefaultBytes(0, 4056);
    for (int k = 0; k < 4056; ++k)
        if ((k < 0x1D0 || k >= 0x1E8) && readBytes[k] != pattern[k])
            FAIL() << "byte " << k << " read wrong";

    QByteArray picture(4096, '\0');
    QRandomGenerator random(7);
    for (char& b : picture)
        b = char(random.bounded(256));
    const QString written = Write(QStringLiteral("picture.txt"), picture.toHex().toUpper());
    run = RunCli(link + QStringList{QStringLiteral("--json"), QStringLiteral("write"),
                                    QStringLiteral("--memory-model"), QStringLiteral("공압기전체"),
                                    written, QStringLiteral("--verify")});
    ASSERT_EQ(run.Exit, 0) << run.Err.toStdString();
    EXPECT_TRUE(QJsonDocument::fromJson(run.Out.toUtf8())
                    .object()
                    .contains(QStringLiteral("bytes_verified")));

    // A byte the plan writes, changed in the file: verify names its offset.
    QByteArray changed = picture;
    const int offset = WritePlan(2).at(3).Offset + 5;
    changed[offset] = char(quint8(changed[offset]) ^ 0x01);
    Write(QStringLiteral("picture.txt"), changed.toHex());
    run = RunCli(link + QStringList{QStringLiteral("verify"), QStringLiteral("--memory-model"),
                                    QStringLiteral("2"), written});
    EXPECT_EQ(run.Exit, 5);
    EXPECT_TRUE(
        run.Err.contains(QStringLiteral("offset 0x%1").arg(offset, 3, 16, QLatin1Char('0'))))
        << run.Err.toStdString();

    sim->Stop(SIGTERM);
    const QByteArray memory = MemoryOfSim(Path(QStringLiteral("sim-memory.txt")));
    for (const TMemoryBlock& b : WritePlan(2))
        EXPECT_EQ(memory.mid(b.Offset, b.Length), picture.mid(b.Offset, b.Length)) << b.Offset;
}

// Every option with an empty, huge, negative, non-numeric or out-of-range value: status 1, one
// line naming the problem, and nothing sent.
TEST_P(CliCommands, BadInputIsRefusedBeforeAnythingIsSent) {
    auto sim = Sim();
    const QStringList link = Link(*sim);
    const QString memory = Write(QStringLiteral("short.txt"), "00112233");
    const QStringList hour{QStringLiteral("hour"),
                           QStringLiteral("--model"),
                           QStringLiteral("1"),
                           QStringLiteral("--total-hour=1"),
                           QStringLiteral("--total-min=1"),
                           QStringLiteral("--load-hour=1")};
    const QList<QStringList> cases = {
        {QStringLiteral("--slave="), QStringLiteral("test")},
        {QStringLiteral("--slave=0"), QStringLiteral("test")},
        {QStringLiteral("--slave=248"), QStringLiteral("test")},
        {QStringLiteral("--slave=-1"), QStringLiteral("test")},
        {QStringLiteral("--slave=0x10"), QStringLiteral("test")},
        {QStringLiteral("--slave=99999999999999999999999"), QStringLiteral("test")},
        {QStringLiteral("--retries=-1"), QStringLiteral("test")},
        {QStringLiteral("--retries=21"), QStringLiteral("test")},
        {QStringLiteral("--timeout=0"), QStringLiteral("test")},
        {QStringLiteral("--timeout=abc"), QStringLiteral("test")},
        {QStringLiteral("test"), QStringLiteral("--json=1")},
        {QStringLiteral("test"), QStringLiteral("--bogus")},
        {QStringLiteral("test"), QStringLiteral("--slave")},
        {QStringLiteral("fly")},
        {},
        {QStringLiteral("test"), QStringLiteral("--number=1")},
        {QStringLiteral("suffix"), QStringLiteral("--number=65536")},
        {QStringLiteral("suffix"), QStringLiteral("--number= 7")},
        {QStringLiteral("suffix"), QStringLiteral("--year=AB")},
        {QStringLiteral("suffix"), QStringLiteral("--company=가")},
        {QStringLiteral("suffix"), QStringLiteral("--target=2")},
        {QStringLiteral("board"), QStringLiteral("--month=256")},
        {QStringLiteral("board"), QStringLiteral("--year=-3")},
        hour,
        hour + QStringList{QStringLiteral("--load-min=1"), QStringLiteral("--kw-hour=1")},
        {QStringLiteral("hour"), QStringLiteral("--model=9")},
        {QStringLiteral("hour"), QStringLiteral("--model=3"), QStringLiteral("--total-hour=1"),
         QStringLiteral("--total-min=1093"), QStringLiteral("--load-hour=1"),
         QStringLiteral("--load-min=1"), QStringLiteral("--kw-hour=1")},
        {QStringLiteral("read"), QStringLiteral("--memory-model=0")},
        {QStringLiteral("read"), QStringLiteral("--memory-model=3"), QStringLiteral("-o"),
         Path(QStringLiteral("x"))},
        {QStringLiteral("read"), QStringLiteral("--memory-model=0"), QStringLiteral("-o"),
         QStringLiteral("/proc/none/x")},
        {QStringLiteral("write"), QStringLiteral("--memory-model=0")},
        {QStringLiteral("write"), QStringLiteral("--memory-model=0"),
         Path(QStringLiteral("missing.txt"))},
        {QStringLiteral("write"), QStringLiteral("--memory-model=0"), memory},
        {QStringLiteral("verify"), QStringLiteral("--memory-model=0"), QStringLiteral("/dev/zero")},
        {QStringLiteral("test"), QStringLiteral("--log"), QStringLiteral("/proc/none/log.csv")},
        {QStringLiteral("test"), QStringLiteral("--baud=9601")},
    };
    for (const QStringList& args : cases) {
        const QStringList all = args.contains(QStringLiteral("--slave=1")) ? link.mid(0, 2) + args
                                : args.join(u' ').contains(QStringLiteral("--slave"))
                                    ? link.mid(0, 2) + args
                                    : link + args;
        SCOPED_TRACE(all.join(u' ').toStdString());
        const TCliRun run = RunCli(all);
        EXPECT_EQ(run.Exit, 1) << run.Err.toStdString();
        EXPECT_TRUE(run.Err.startsWith(QStringLiteral("quorrin-cli: "))) << run.Err.toStdString();
        EXPECT_EQ(run.Err.count(u'\n'), 1) << run.Err.toStdString();
        EXPECT_TRUE(run.Out.isEmpty());
    }
    EXPECT_EQ(sim->CountLines(QStringLiteral("-- request")), 0);
    EXPECT_EQ(RunCli({QStringLiteral("--lan"), QStringLiteral("127.0.0.1:1"),
                      QStringLiteral("--slave=1"), QStringLiteral("test")})
                  .Exit,
              2);
}

// A run that gives up on a late answer waits for it before it ends: the next run's first block
// never gets the answer meant for the last one. (Over TCP each run has a connection of its own;
// on a serial line the late answer would reach the next run.)
TEST_P(CliCommands, ALateAnswerNeverReachesTheNextRun) {
    // Reply 129, the second run's first block, comes two seconds late.
    auto sim = Sim({QStringLiteral("--late"), QStringLiteral("2000:129")});
    const QString file = Path(QStringLiteral("read.txt"));
    const QStringList read =
        Link(*sim) + QStringList{QStringLiteral("read"), QStringLiteral("--memory-model=1"),
                                 QStringLiteral("-o"), file};
    EXPECT_EQ(RunCli(read).Exit, 0);
    EXPECT_EQ(RunCli(QStringList{QStringLiteral("--retries=0")} + read).Exit, 3);
    const TCliRun again = RunCli(read);
    ASSERT_EQ(again.Exit, 0) << again.Err.toStdString();
    QFile readFile(file);
    ASSERT_TRUE(readFile.open(QIODevice::ReadOnly));
    EXPECT_EQ(QByteArray::fromHex(readFile.readAll()), DefaultBytes(0, 4096));
}

// Faults from the simulator end in a correct memory and status 0, or in status 3: never in
// status 0 over a wrong byte. QUORRIN_CLI_FAULT_SWEEPS sets the number of sweeps (1 by default),
// QUORRIN_FAULT_SEED the first seed.
TEST_P(CliCommands, FaultsEndCorrectOrFailedNeverWrong) {
    const int sweeps = qMax(1, qEnvironmentVariableIntValue("QUORRIN_CLI_FAULT_SWEEPS"));
    const int firstSeed = qMax(1, qEnvironmentVariableIntValue("QUORRIN_FAULT_SEED"));
    int correct = 0, failed = 0, wrong = 0;
    for (int n = 0; n < sweeps; ++n) {
        const int seed =
            firstSeed + n + (QLatin1String(GetParam()) == QLatin1String("pty") ? 70000 : 0);
        QRandomGenerator plan{quint32(seed)};
        const int percent = 1 + int(plan.bounded(4));
        QFile::remove(Path(QStringLiteral("sim-memory.txt")));
        auto sim =
            Sim({QStringLiteral("--random"), QStringLiteral("%1:%2").arg(seed).arg(percent)});
        QByteArray picture(4096, '\0');
        for (char& b : picture)
            b = char(plan.bounded(256));
        const QString file = Write(QStringLiteral("faults-%1.txt").arg(n), picture.toHex());
        const int row = int(plan.bounded(3));
        const TCliRun write = RunCli(
            Link(*sim) + QStringList{QStringLiteral("write"), QStringLiteral("--verify"),
                                     QStringLiteral("--memory-model"), QString::number(row), file});
        const QString read = Path(QStringLiteral("faults-read-%1.txt").arg(n));
        const TCliRun readBack = RunCli(
            Link(*sim) + QStringList{QStringLiteral("read"), QStringLiteral("--memory-model"),
                                     QString::number(row), QStringLiteral("-o"), read});
        sim->Stop(SIGTERM);
        const QByteArray memory = MemoryOfSim(Path(QStringLiteral("sim-memory.txt")));
        QFile readFile(read);
        const QByteArray readBytes = readFile.open(QIODevice::ReadOnly)
                                         ? QByteArray::fromHex(readFile.readAll())
                                         : QByteArray();
        int wrongHere = 0;
        if (write.Exit == 0)
            for (const TMemoryBlock& b : WritePlan(row))
                wrongHere += memory.mid(b.Offset, b.Length) != picture.mid(b.Offset, b.Length);
        if (readBack.Exit == 0)
            wrongHere += readBytes != memory.left(readBytes.size()) || readBytes.size() < 4056;
        const bool done = write.Exit == 0 && readBack.Exit == 0;
        const bool statusKnown =
            (write.Exit == 0 || write.Exit == 3) && (readBack.Exit == 0 || readBack.Exit == 3);
        EXPECT_TRUE(statusKnown) << write.Err.toStdString() << readBack.Err.toStdString();
        wrong += wrongHere > 0;
        correct += wrongHere == 0 && done;
        failed += wrongHere == 0 && !done;
        std::printf("%s cli sweep %d (seed %d, %d %% faults, model %d): write %d, read %d%s\n",
                    GetParam(), n, seed, percent, row, write.Exit, readBack.Exit,
                    wrongHere ? ": WRONG" : "");
        std::fflush(stdout);
    }
    std::printf("%s: %d cli sweeps: %d correct, %d failed, %d wrong\n", GetParam(), sweeps, correct,
                failed, wrong);
    EXPECT_EQ(wrong, 0);
}

INSTANTIATE_TEST_SUITE_P(Links, CliCommands, ::testing::Values("tcp", "pty"));

// The command sends the window's frames for the same input: the window types into its pages and
// writes to one pseudo-terminal, the command gets the same values and writes to another.
using CliAndWindow = LinkedWindowFixture;

TEST_F(CliAndWindow, TheCommandSendsTheWindowsFramesForTheSameInput) {
    ConnectSerial();
    RawPty cliSide;
    const auto window = [&](TDsFancyButton* button, const std::function<void()>& type) {
        type();
        Dialogs.Answer(QStringLiteral("예"));
        QTest::mouseClick(button, Qt::LeftButton);
        return Pty->Receive(64, 1s);
    };
    const auto command = [&](const QStringList& args) {
        QProcess cli;
        cli.start(QStringLiteral(QUORRIN_CLI_PATH),
                  QStringList{QStringLiteral("--serial"), cliSide.Path(),
                              QStringLiteral("--baud=19200"), QStringLiteral("--slave=1"),
                              QStringLiteral("--retries=0"), QStringLiteral("--timeout=50")} +
                      args);
        const QByteArray frame = cliSide.Receive(64, 1s);
        cli.waitForFinished(5000);
        return frame;
    };
    EXPECT_EQ(window(W->SuffixWrite,
                     [&] {
                         W->CBSuffix->SetItemIndex(1);
                         QTest::keyClicks(W->EDYear, QStringLiteral("n"));
                         QTest::keyClicks(W->EDCompany, QStringLiteral("a"));
                         QTest::keyClicks(W->EDNumber, QStringLiteral("7"));
                     }),
              command({QStringLiteral("suffix"), QStringLiteral("--target=Kestra M1,M2"),
                       QStringLiteral("--year=n"), QStringLiteral("--company=a"),
                       QStringLiteral("--number=7")}));
    EXPECT_EQ(window(W->BTBoardWrite,
                     [&] {
                         QTest::keyClicks(W->EDBoardYear, QStringLiteral("24"));
                         QTest::keyClicks(W->EDBoardNumber, QStringLiteral("345"));
                     }),
              command({QStringLiteral("board"), QStringLiteral("--year=24"),
                       QStringLiteral("--number=345")}));
    EXPECT_EQ(window(W->BTHour,
                     [&] {
                         W->CB_Model->SetItemIndex(2);
                         emit W->CB_Model->activated(2);  // as the operator's choice does
                         for (auto [box, text] : {std::pair{W->EDHour1, "4321"},
                                                  {W->EDMin1, "17"},
                                                  {W->EDHour2, "99"},
                                                  {W->EDMin2, "1"},
                                                  {W->EDHour3, "5"}}) {
                             box->clear();
                             QTest::keyClicks(box, QString::fromLatin1(text));
                         }
                     }),
              command({QStringLiteral("hour"), QStringLiteral("--model=Orvel 500i"),
                       QStringLiteral("--total-hour=4321"), QStringLiteral("--total-min=17"),
                       QStringLiteral("--load-hour=99"), QStringLiteral("--load-min=1"),
                       QStringLiteral("--kw-hour=5")}));
}

// The window opens what the command reads, and the command writes what the window saves; the
// memory commands against libmodbus as the controller.
TEST_F(CliAndWindow, MemoryFilesPassBetweenWindowAndCommandAgainstLibmodbus) {
    Start();
    PtyLink line;
    ModbusRtuServer server(line.PeerPath());
    server.FillHolding([](int address) { return quint16(address * 7); });
    const QStringList link{QStringLiteral("--serial"), line.ProgramPath(),
                           QStringLiteral("--slave=1")};
    QTemporaryDir dir;
    const QString read = dir.filePath(QStringLiteral("read.txt"));
    // A block at byte offset o asks for the registers from 0xC000 + o, two bytes each.
    const auto registerOf = [](int k) { return 0xC000 + k / 32 * 32 + k % 32 / 2; };
    TCliRun run =
        RunCli(link + QStringList{QStringLiteral("read"), QStringLiteral("--memory-model=1"),
                                  QStringLiteral("-o"), read});
    ASSERT_EQ(run.Exit, 0) << run.Err.toStdString();

    W->PageControl1->setCurrentWidget(W->TabSheet3);
    Dialogs.AnswerFileDialog(read);
    QTest::mouseClick(W->BTOpen, Qt::LeftButton);
    const QByteArray opened = QByteArray::fromHex(MemoryText(*W->mmOpen).toLatin1());
    ASSERT_EQ(opened.size(), 4096);
    for (int k = 0; k < 4096; k += 2)
        EXPECT_EQ((quint8(opened[k]) << 8) | quint8(opened[k + 1]), quint16(registerOf(k) * 7))
            << k;

    // The window saves a changed text; the command writes it and verifies it.
    QByteArray changed = opened;
    std::reverse(changed.begin(), changed.end());
    SetMemoryText(*W->mmOpen, QString::fromLatin1(changed.toHex().toUpper()));
    const QString saved = dir.filePath(QStringLiteral("saved.txt"));
    Dialogs.AnswerFileDialog(saved);
    Dialogs.Answer(QStringLiteral("확인"));
    QTest::mouseClick(W->BTSave, Qt::LeftButton);
    run = RunCli(link + QStringList{QStringLiteral("write"), QStringLiteral("--verify"),
                                    QStringLiteral("--memory-model=1"), saved});
    ASSERT_EQ(run.Exit, 0) << run.Err.toStdString();
    for (const TMemoryBlock& b : WritePlan(1))
        for (int k = b.Offset; k < b.Offset + b.Length; k += 2)
            EXPECT_EQ(server.HoldingRegister(registerOf(k)),
                      (quint8(changed[k]) << 8) | quint8(changed[k + 1]))
                << k;
}

}  // namespace
