#include <gtest/gtest.h>
#include <signal.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <vector>

#include "sim/SimProcess.h"

namespace {

QByteArray Hex(const char* text) {
    return QByteArray::fromHex(text);
}

QByteArray Header(std::initializer_list<int> bytes) {
    QByteArray header;
    for (const int b : bytes)
        header.append(char(b));
    return header;
}

QByteArray ReadReply(int slave, int count, const QByteArray& data) {
    return Frame(Header({slave, 3, count}) + data);
}

QString ReadFile(const QString& name) {
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()) : QString();
}

struct MapCase {
    const char* name;
    QByteArray request;
    QByteArray reply;
};

// Reads come first: the writes further down change what they would see.
std::vector<MapCase> MapCases() {
    QByteArray inputs;
    for (int i = 0; i < 44; ++i)
        inputs += Header({0, i});
    QByteArray hours24(24, '\x11');
    return {
        {"first block of a read sweep", Hex("01 03 C0 00 00 10 78 06"),
         ReadReply(1, 32, DefaultBytes(0, 32))},
        {"last block of the 24-byte plan", Hex("01 03 CF C0 00 0C 7A E7"),
         ReadReply(1, 24, DefaultBytes(4032, 24))},
        {"last block of the 4096-byte plan", Hex("01 03 CF E0 00 10 7A E4"),
         ReadReply(1, 32, DefaultBytes(4064, 32))},
        {"read at an odd offset", Frame({1, 3, 0xC7, 0xFF, 0, 1}),
         ReadReply(1, 2, DefaultBytes(2047, 2))},
        {"read across the window end", Frame({1, 3, 0xCF, 0xFF, 0, 1}), Frame({1, 0x83, 2})},
        {"read below the window", Frame({1, 3, 0xBF, 0xFE, 0, 1}), Frame({1, 0x83, 2})},
        {"read of no register", Frame({1, 3, 0xC0, 0, 0, 0}), Frame({1, 0x83, 3})},
        {"read of 126 registers", Frame({1, 3, 0xC0, 0, 0, 126}), Frame({1, 0x83, 3})},
        {"read frame one byte too long", Frame({1, 3, 0xC0, 0, 0, 1, 0}), Frame({1, 0x83, 3})},
        {"communication test", Hex("01 04 00 00 00 2C F1 D7"), Frame(Header({1, 4, 88}) + inputs)},
        {"input registers beyond the 44", Frame({1, 4, 0, 1, 0, 44}), Frame({1, 0x84, 2})},
        {"write single register", Frame({1, 6, 0xC0, 0, 0x12, 0x34}), Frame({1, 0x86, 1})},
        {"unknown function", Frame({1, 0x2B, 0x0E, 1, 0}), Frame({1, 0xAB, 1})},
        {"serial suffix", Hex("01 10 CF F1 00 00 04 4E 41 7B 00 48 FC"),
         Frame({1, 16, 0xCF, 0xF1, 0, 0})},
        {"serial suffix of M1,M2", Frame({1, 16, 0xC0, 1, 0, 0, 4, 0xFF, 0xFF, 0xFF, 0xFF}),
         Frame({1, 16, 0xC0, 1, 0, 0})},
        {"board suffix", Hex("01 10 CF F6 00 00 04 17 07 F4 01 5F A3"),
         Frame({1, 16, 0xCF, 0xF6, 0, 0})},
        {"hour meters of model 0",
         Hex("01 10 C1 E0 00 00 18 08 07 00 00 D2 04 00 00 08 07 00 00 2E 16 00 00 B0 01 00 00 09 "
             "00 00 00 "
             "43 EF"),
         Frame({1, 16, 0xC1, 0xE0, 0, 0})},
        {"hour meters of model 1",
         Hex("01 10 C1 D0 00 00 10 08 07 00 00 D2 04 00 00 08 07 00 00 2E 16 00 00 78 F7"),
         Frame({1, 16, 0xC1, 0xD0, 0, 0})},
        {"hour meters of model 2", Frame(Header({1, 16, 0xC1, 0x80, 0, 0, 24}) + hours24),
         Frame({1, 16, 0xC1, 0x80, 0, 0})},
        {"hour meters of model 3", Frame(Header({1, 16, 0xC1, 0x60, 0, 0, 24}) + hours24),
         Frame({1, 16, 0xC1, 0x60, 0, 0})},
        {"model 1 hour meters with 24 bytes",
         Frame(Header({1, 16, 0xC1, 0xD0, 0, 0, 24}) + hours24), Frame({1, 0x90, 3})},
        {"suffix with 2 bytes", Frame({1, 16, 0xCF, 0xF1, 0, 0, 2, 0xAA, 0xBB}),
         Frame({1, 0x90, 3})},
        {"zero-count write elsewhere", Frame({1, 16, 0xC0, 0, 0, 0, 4, 1, 2, 3, 4}),
         Frame({1, 0x90, 3})},
        {"byte count not twice the count", Frame({1, 16, 0xC0, 0, 0, 2, 2, 0xAA, 0xBB}),
         Frame({1, 0x90, 3})},
        {"write across the window end", Frame({1, 16, 0xCF, 0xFE, 0, 2, 4, 1, 2, 3, 4}),
         Frame({1, 0x90, 2})},
        {"memory block write",
         Frame(Header({1, 16, 0xC0, 0x20, 0, 16, 32}) + QByteArray(32, '\x5A')),
         Frame({1, 16, 0xC0, 0x20, 0, 16})},
    };
}

class SimLinkTest : public ::testing::TestWithParam<const char*> {};

TEST_P(SimLinkTest, AnswersEveryRequestShapeOfTheRegisterMap) {
    TSimProcess sim({});
    ASSERT_TRUE(sim.Started());
    auto client = ConnectClient(QString::fromLatin1(GetParam()), sim);
    for (const MapCase& c : MapCases()) {
        ASSERT_FALSE(c.request.isEmpty()) << c.name;
        EXPECT_EQ(client->Transact(c.request, int(c.reply.size())).toHex(' '), c.reply.toHex(' '))
            << c.name;
    }
}

TEST_P(SimLinkTest, WritesLandInTheWindowByteForByte) {
    TSimProcess sim({});
    ASSERT_TRUE(sim.Started());
    auto client = ConnectClient(QString::fromLatin1(GetParam()), sim);

    // Two registers at the odd offset 3 are the bytes 3 to 6; 2 and 7 stay.
    client->Transact(Frame({1, 16, 0xC0, 3, 0, 2, 4, 0xAA, 0xBB, 0xCC, 0xDD}), 8);
    EXPECT_EQ(client->Transact(Frame({1, 3, 0xC0, 2, 0, 3}), 11),
              ReadReply(1, 6, Header({2, 0xAA, 0xBB, 0xCC, 0xDD, 7})));

    // A suffix write lands at its byte address too, so a memory read shows it.
    client->Transact(Hex("01 10 CF F1 00 00 04 4E 41 7B 00 48 FC"), 8);
    EXPECT_EQ(client->Transact(Frame({1, 3, 0xCF, 0xF0, 0, 3}), 11),
              ReadReply(1, 6, Header({4080 % 251, 0x4E, 0x41, 0x7B, 0x00, 4085 % 251})));
}

INSTANTIATE_TEST_SUITE_P(Links, SimLinkTest, ::testing::Values("tcp", "pty"));

TEST(Simulator, AnswersOnlyItsOwnSlaveIdAndCarriesOutBroadcastsSilently) {
    TSimProcess sim({"--slave", "7", "--no-pty"});
    ASSERT_TRUE(sim.Started());
    TTcpClient client(sim.Port());

    // Had the first request been answered, its reply would come first.
    client.Send(Frame({1, 3, 0xC0, 0, 0, 1}));
    client.Send(Frame({0, 16, 0xC0, 0, 0, 1, 2, 0x12, 0x34}));
    ASSERT_TRUE(sim.WaitForLine("broadcast"));
    EXPECT_EQ(client.Transact(Frame({7, 3, 0xC0, 0, 0, 1}), 7),
              ReadReply(7, 2, Header({0x12, 0x34})));
}

TEST(Simulator, IgnoresARequestWithABadCrc) {
    TSimProcess sim({"--no-pty"});
    ASSERT_TRUE(sim.Started());
    TTcpClient client(sim.Port());

    client.Send(Hex("0103C00000107807"));
    // RTU frames are told apart by silence: the next request follows once it has been judged.
    ASSERT_TRUE(sim.WaitForLine("bad CRC"));
    EXPECT_EQ(client.Transact(Frame({1, 3, 0xC0, 2, 0, 1}), 7),
              ReadReply(1, 2, DefaultBytes(2, 2)));
}

// Three reads of one register at offsets 0, 2 and 4, with their normal replies.
struct ThreeReads {
    QByteArray request[3] = {Frame({1, 3, 0xC0, 0, 0, 1}), Frame({1, 3, 0xC0, 2, 0, 1}),
                             Frame({1, 3, 0xC0, 4, 0, 1})};
    QByteArray reply[3] = {ReadReply(1, 2, DefaultBytes(0, 2)), ReadReply(1, 2, DefaultBytes(2, 2)),
                           ReadReply(1, 2, DefaultBytes(4, 2))};
};

TEST(SimulatorFaults, DropsEveryNthReply) {
    TSimProcess sim({"--no-pty", "--drop-every", "2"});
    ASSERT_TRUE(sim.Started());
    TTcpClient client(sim.Port());
    const ThreeReads r;
    EXPECT_EQ(client.Transact(r.request[0], 7), r.reply[0]);
    client.Send(r.request[1]);
    ASSERT_TRUE(sim.WaitForLine("reply 2: dropped"));
    EXPECT_EQ(client.Transact(r.request[2], 7), r.reply[2]);
}

TEST(SimulatorFaults, CorruptsTheCrcOfEveryNthReply) {
    TSimProcess sim({"--no-pty", "--corrupt-every", "2"});
    ASSERT_TRUE(sim.Started());
    TTcpClient client(sim.Port());
    const ThreeReads r;
    EXPECT_EQ(client.Transact(r.request[0], 7), r.reply[0]);
    QByteArray corrupted = r.reply[1];
    corrupted[6] = char(~quint8(corrupted[6]));
    EXPECT_EQ(client.Transact(r.request[1], 7), corrupted);
    EXPECT_EQ(client.Transact(r.request[2], 7), r.reply[2]);
}

TEST(SimulatorFaults, AnswersEveryNthRequestWithTheExceptionWithoutCarryingItOut) {
    TSimProcess sim({"--no-pty", "--exception", "4:2"});
    ASSERT_TRUE(sim.Started());
    TTcpClient client(sim.Port());
    const QByteArray first = Frame({1, 16, 0xC0, 0, 0, 1, 2, 0xAB, 0xCD});
    EXPECT_EQ(client.Transact(first, 8), Frame({1, 16, 0xC0, 0, 0, 1}));
    EXPECT_EQ(client.Transact(Frame({1, 16, 0xC0, 0, 0, 1, 2, 0xEF, 0x01}), 5),
              Frame({1, 0x90, 4}));
    EXPECT_EQ(client.Transact(Frame({1, 3, 0xC0, 0, 0, 1}), 7),
              ReadReply(1, 2, Header({0xAB, 0xCD})));
    EXPECT_EQ(client.Transact(Hex("01 04 00 00 00 2C F1 D7"), 5), Frame({1, 0x84, 4}));
}

TEST(SimulatorFaults, SplitsAReplyIntoTwoPartsApart) {
    TSimProcess sim({"--no-pty", "--split", "150"});
    ASSERT_TRUE(sim.Started());
    TTcpClient client(sim.Port());
    const QByteArray expected = ReadReply(1, 32, DefaultBytes(0, 32));

    client.Send(Hex("01 03 C0 00 00 10 78 06"));
    const QByteArray first = client.Receive(1);
    QElapsedTimer gap;
    gap.start();
    const QByteArray rest = client.Receive(int(expected.size() - first.size()));
    EXPECT_GT(first.size(), 0);
    EXPECT_LT(first.size(), expected.size());
    EXPECT_GE(gap.elapsed(), 120);
    EXPECT_EQ(first + rest, expected);
}

TEST(SimulatorFaults, MergesAHeldReplyWithTheNextOne) {
    TSimProcess sim({"--no-pty", "--merge"});
    ASSERT_TRUE(sim.Started());
    TTcpClient client(sim.Port());
    const ThreeReads r;

    client.Send(r.request[0]);
    ASSERT_TRUE(sim.WaitForLine("reply 1: held"));
    EXPECT_EQ(client.Transact(r.request[1], 14), r.reply[0] + r.reply[1]);
    // Both went out in one write.
    ASSERT_TRUE(sim.WaitForLine("tcp TX"));
    EXPECT_EQ(sim.CountLines("tcp TX"), 1);
}

TEST(SimulatorFaults, DelaysEveryReply) {
    TSimProcess sim({"--no-pty", "--delay-ms", "200"});
    ASSERT_TRUE(sim.Started());
    TTcpClient client(sim.Port());
    QElapsedTimer elapsed;
    elapsed.start();
    EXPECT_EQ(client.Transact(Frame({1, 3, 0xC0, 0, 0, 1}), 7),
              ReadReply(1, 2, DefaultBytes(0, 2)));
    EXPECT_GE(elapsed.elapsed(), 190);
}

TEST(SimulatorFaults, NoiseTruncationWrongSlaveAndWrongFunction) {
    const ThreeReads r;
    const QByteArray good = r.reply[1];
    {
        TSimProcess sim({"--no-pty", "--garbage-every", "2"});
        ASSERT_TRUE(sim.Started());
        TTcpClient client(sim.Port());
        EXPECT_EQ(client.Transact(r.request[0], 7), r.reply[0]);
        client.Send(r.request[1]);
        const QByteArray noisy = client.Receive(7 + 2 * 6, std::chrono::milliseconds(500));
        const qsizetype at = noisy.indexOf(good);
        EXPECT_GE(at, 1) << "noise before the reply";
        EXPECT_GT(noisy.size(), at + good.size()) << "noise after the reply";
    }
    {
        TSimProcess sim({"--no-pty", "--truncate-every", "1"});
        ASSERT_TRUE(sim.Started());
        TTcpClient client(sim.Port());
        client.Send(r.request[1]);
        const QByteArray cut = client.Receive(7, std::chrono::milliseconds(500));
        EXPECT_LT(cut.size(), good.size());
        EXPECT_EQ(cut, good.left(cut.size()));
    }
    {
        TSimProcess sim({"--no-pty", "--wrong-slave-every", "1"});
        ASSERT_TRUE(sim.Started());
        TTcpClient client(sim.Port());
        EXPECT_EQ(client.Transact(r.request[1], 7), Frame(Header({2, 3, 2}) + good.mid(3, 2)));
    }
    {
        TSimProcess sim({"--no-pty", "--wrong-function-every", "1"});
        ASSERT_TRUE(sim.Started());
        TTcpClient client(sim.Port());
        EXPECT_EQ(client.Transact(r.request[1], 7), Frame(Header({1, 5, 2}) + good.mid(3, 2)));
    }
}

TEST(SimulatorFaults, ALateReplyHoldsUpTheNextOneWhichFollowsAfterATurnaround) {
    TSimProcess sim({"--no-pty", "--late", "400:1"});
    ASSERT_TRUE(sim.Started());
    TTcpClient client(sim.Port());
    const ThreeReads r;
    QElapsedTimer elapsed;
    elapsed.start();
    client.Send(r.request[0]);
    client.Send(r.request[1]);
    EXPECT_EQ(client.Receive(7, std::chrono::seconds(3)), r.reply[0]);
    const qint64 first = elapsed.elapsed();
    EXPECT_GE(first, 380);
    EXPECT_EQ(client.Receive(7, std::chrono::seconds(3)), r.reply[1]);
    // The second was late by itself too, and in any case comes apart from the first.
    EXPECT_GE(elapsed.elapsed() - first, 120);
}

TEST(SimulatorFaults, RandomFaultsFollowTheSeedAndStopAfterEndsTheController) {
    // The same seed draws the same faults; the log names each one.
    QStringList logs[2];
    for (QStringList& log : logs) {
        TSimProcess sim({"--no-pty", "--random", "7:100", "--random-faults",
                         "corrupt,wrong-slave,wrong-function", "--stop-after", "6"});
        ASSERT_TRUE(sim.Started());
        TTcpClient client(sim.Port());
        for (int i = 0; i < 5; ++i)
            client.Transact(Frame({1, 3, 0xC0, 0, 0, 1}), 7);
        client.Send(Frame({1, 3, 0xC0, 0, 0, 1}));
        EXPECT_EQ(sim.WaitForExit(), 0) << "the sixth request ends the controller";
        // Stopping it now must signal nobody: not the test, not what started it.
        EXPECT_EQ(sim.Stop(SIGTERM), 0);
        for (const QString& line : sim.Lines())
            if (line.contains(QStringLiteral("-- reply")))
                log.append(line.mid(line.indexOf(QStringLiteral("-- reply"))));
    }
    EXPECT_EQ(logs[0].size(), 5);
    EXPECT_EQ(logs[0], logs[1]);
}

TEST(Simulator, ServesOneTcpClientAtATime) {
    TSimProcess sim({"--no-pty"});
    ASSERT_TRUE(sim.Started());
    const QByteArray request = Frame({1, 3, 0xC0, 0, 0, 1});
    const QByteArray reply = ReadReply(1, 2, DefaultBytes(0, 2));
    {
        TTcpClient first(sim.Port());
        EXPECT_EQ(first.Transact(request, 7), reply);
        TTcpClient second(sim.Port());
        EXPECT_TRUE(second.WaitForClose());
        EXPECT_EQ(first.Transact(request, 7), reply);
    }
    ASSERT_TRUE(sim.WaitForLine("disconnected"));
    TTcpClient third(sim.Port());
    EXPECT_EQ(third.Transact(request, 7), reply);
}

class SimulatorExit : public ::testing::TestWithParam<int> {};

TEST_P(SimulatorExit, EndsCleanlyOnTheSignalWithClientsAttached) {
    TSimProcess sim({});
    ASSERT_TRUE(sim.Started());
    TTcpClient tcp(sim.Port());
    TPtyClient pty(sim.PtyPath());
    ASSERT_TRUE(pty.Opened());
    EXPECT_EQ(sim.Stop(GetParam()), 0);
    EXPECT_EQ(sim.Lines().last(), "EXIT");
}

INSTANTIATE_TEST_SUITE_P(Signals, SimulatorExit, ::testing::Values(SIGTERM, SIGINT));

TEST(SimulatorImage, LoadsTheImageAtStartAndSavesItAtExit) {
    QTemporaryDir dir;
    const QString image = dir.filePath("image.txt");
    QByteArray bytes;
    for (int k = 0; k < 4096; ++k)
        bytes.append(char(k * 7 + 3));
    {
        QFile file(image);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        // Lower case and a line break, as an editor may leave them.
        file.write(bytes.toHex() + "\n");
    }
    TSimProcess sim({"--no-pty", "--image", image});
    ASSERT_TRUE(sim.Started());
    TTcpClient client(sim.Port());
    EXPECT_EQ(client.Transact(Frame({1, 3, 0xCF, 0xE0, 0, 16}), 37),
              ReadReply(1, 32, bytes.right(32)));
    client.Transact(Frame({1, 16, 0xC0, 0x10, 0, 2, 4, 0x11, 0x22, 0x33, 0x44}), 8);
    ASSERT_EQ(sim.Stop(SIGTERM), 0);

    bytes.replace(16, 4, Hex("11223344"));
    EXPECT_EQ(ReadFile(image), QString::fromLatin1(bytes.toHex().toUpper()));
}

TEST(SimulatorImage, AShortImageFillsTheFrontAndAMissingOneIsWrittenAtExit) {
    QTemporaryDir dir;
    const QString shortImage = dir.filePath("short.txt");
    {
        QFile file(shortImage);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("A1B2");
    }
    TSimProcess shortSim({"--no-pty", "--image", shortImage});
    ASSERT_TRUE(shortSim.Started());
    TTcpClient client(shortSim.Port());
    EXPECT_EQ(client.Transact(Frame({1, 3, 0xC0, 0, 0, 2}), 9),
              ReadReply(1, 4, Hex("A1B2") + DefaultBytes(2, 2)));

    const QString missing = dir.filePath("new.txt");
    TSimProcess fresh({"--no-tcp", "--image", missing, "--fill", "0xEE"});
    ASSERT_TRUE(fresh.Started());
    ASSERT_EQ(fresh.Stop(SIGTERM), 0);
    EXPECT_EQ(ReadFile(missing), QString("EE").repeated(4096));
}

TEST(SimulatorImage, RefusesToStartFromAFileThatIsNoImage) {
    QTemporaryDir dir;
    const std::vector<QByteArray> contents = {"ABC", "0x12", QByteArray(8194, 'A')};
    for (const QByteArray& content : contents) {
        const QString image = dir.filePath("bad.txt");
        QFile file(image);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
        file.close();
        TSimProcess sim({"--no-pty", "--image", image});
        EXPECT_FALSE(sim.Started()) << content.constData();
        EXPECT_EQ(sim.WaitForExit(), 1) << content.constData();
        EXPECT_TRUE(sim.ErrorOutput().contains(image)) << content.constData();
        EXPECT_EQ(ReadFile(image), QString::fromLatin1(content)) << "the file is left as it was";
    }
}

TEST(SimulatorState, KeepsTheSuffixAndHourRecordsInTheStateFile) {
    QTemporaryDir dir;
    const QString state = dir.filePath("state.json");
    const QString image = dir.filePath("image.txt");
    TSimProcess sim({"--no-tcp", "--state-file", state, "--image", image});
    ASSERT_TRUE(sim.Started());
    TPtyClient client(sim.PtyPath());
    client.Transact(Hex("01 10 CF F6 00 00 04 17 07 F4 01 5F A3"), 8);
    client.Transact(
        Hex("01 10 C1 D0 00 00 10 08 07 00 00 D2 04 00 00 08 07 00 00 2E 16 00 00 78 F7"), 8);
    client.Transact(Hex("01 10 CF F1 00 00 04 4E 41 7B 00 48 FC"), 8);
    client.Transact(Frame({1, 16, 0xCF, 0xF1, 0, 0, 4, 0xFF, 0xFF, 0xFF, 0xFF}), 8);

    // The records are there while the simulator runs, and SIGUSR1 saves the image too.
    const auto records = [&] {
        return QJsonDocument::fromJson(ReadFile(state).toLatin1()).object()["records"].toObject();
    };
    EXPECT_EQ(records()["CFF6"].toString(), "1707F401");
    sim.Signal(SIGUSR1);
    ASSERT_TRUE(sim.WaitForLine("SAVED"));
    EXPECT_EQ(ReadFile(image).mid(2 * 4086, 8), "1707F401");

    ASSERT_EQ(sim.Stop(SIGTERM), 0);
    const QJsonObject final = QJsonDocument::fromJson(ReadFile(state).toLatin1()).object();
    EXPECT_EQ(final["requests"].toInt(), 4);
    const QJsonObject expected{
        {"CFF6", "1707F401"}, {"C1D0", "08070000D2040000080700002E160000"}, {"CFF1", "FFFFFFFF"}};
    EXPECT_EQ(final["records"].toObject(), expected);
}

TEST(SimulatorOptions, RefusesNonsenseWithExitCode2) {
    const std::vector<QStringList> cases = {
        {"--slave", "0"},         {"--slave", "256"},    {"--tcp-port", "70000"},
        {"--exception", "x"},     {"--split", "10:0"},   {"--drop-every", "0"},
        {"--no-tcp", "--no-pty"}, {"--bogus"},           {"extra"},
        {"--random", "5"},        {"--random", "1:101"}, {"--random-faults", "lost"},
        {"--late", "0"},          {"--stop-after", "0"},
    };
    for (const QStringList& options : cases) {
        TSimProcess sim(options);
        EXPECT_FALSE(sim.Started()) << options.join(' ').toStdString();
        EXPECT_EQ(sim.WaitForExit(), 2) << options.join(' ').toStdString();
    }
}

}  // namespace
