// The test peers must be trustworthy before they judge the program: these tests drive them with
// independent clients (libmodbus's own RTU master, raw descriptors, a plain TCP socket) and
// byte strings worked out by hand.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <modbus.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QFileInfo>
#include <cerrno>
#include <chrono>
#include <vector>

#include "support/DialogAnswerer.h"
#include "support/ModbusPeer.h"

namespace {

using namespace std::chrono_literals;

QByteArray Hex(const char* text) {
    return QByteArray::fromHex(text);
}

// Owns a descriptor.
struct Fd {
    int fd;
    explicit Fd(int value) : fd(value) {}
    ~Fd() {
        if (fd >= 0)
            ::close(fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
};

void WriteAll(int fd, const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            ::send(fd, bytes.constData() + done, size_t(bytes.size() - done), MSG_NOSIGNAL);
        if (n < 0 && errno == ENOTSOCK) {
            const ssize_t w = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
            ASSERT_GT(w, 0) << strerror(errno);
            done += w;
            continue;
        }
        ASSERT_GT(n, 0) << strerror(errno);
        done += n;
    }
}

// Reads until count bytes have come or the deadline has passed; returns what came.
QByteArray ReadBytes(int fd, qsizetype count, std::chrono::milliseconds deadline = 2s) {
    QByteArray bytes;
    QElapsedTimer clock;
    clock.start();
    while (bytes.size() < count && clock.elapsed() < deadline.count()) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, int(deadline.count() - clock.elapsed())) <= 0)
            continue;
        char chunk[512];
        const ssize_t n = ::read(fd, chunk, size_t(std::min<qsizetype>(512, count - bytes.size())));
        if (n > 0)
            bytes.append(chunk, n);
        else if (n == 0 || (errno != EAGAIN && errno != EINTR))
            break;
    }
    return bytes;
}

// libmodbus's own RTU master on a device: an independent client for the server and the link.
class RtuClient {
public:
    explicit RtuClient(const QString& path) {
        FContext = modbus_new_rtu(path.toLocal8Bit().constData(), 9600, 'N', 8, 1);
        if (FContext == nullptr || modbus_set_slave(FContext, 1) != 0 ||
            modbus_connect(FContext) != 0)
            ADD_FAILURE() << "no RTU client on " << path.toStdString() << ": "
                          << modbus_strerror(errno);
        SetTimeout(1000ms);
    }
    ~RtuClient() {
        modbus_close(FContext);
        modbus_free(FContext);
    }
    void SetTimeout(std::chrono::milliseconds timeout) {
        modbus_set_response_timeout(FContext, uint32_t(timeout.count() / 1000),
                                    uint32_t(timeout.count() % 1000 * 1000));
    }
    // The registers read, or an empty list on failure.
    std::vector<uint16_t> Read(int function, int address, int count) {
        std::vector<uint16_t> values(static_cast<size_t>(count));
        const int n = function == 4
                          ? modbus_read_input_registers(FContext, address, count, values.data())
                          : modbus_read_registers(FContext, address, count, values.data());
        if (n != count)
            values.clear();
        return values;
    }
    bool Write(int address, const std::vector<uint16_t>& values) {
        return modbus_write_registers(FContext, address, int(values.size()), values.data()) ==
               int(values.size());
    }

private:
    modbus_t* FContext = nullptr;
};

std::vector<uint16_t> DefaultInputs(int first, int count) {
    std::vector<uint16_t> values;
    for (int i = first; i < first + count; ++i)
        values.push_back(uint16_t(i << 8 | i));
    return values;
}

const QByteArray ReadAllInputs = Hex("01 04 00 00 00 2C F1 D7");
const QByteArray SuffixWrite = Hex("01 10 CF F1 00 00 04 4E 41 7B 00 48 FC");
const QByteArray IllegalValue = Hex("01 90 03 0C 01");
// A request that always gets an answer: when only its reply comes back, what was sent before it
// got none.
const QByteArray Probe = Hex("01 04 00 01 00 01 60 0A");
const QByteArray ProbeReply = Hex("01 04 02 01 01 79 60");

// The reply to ReadAllInputs with the default pattern: 01 04 58, then 00 00, 01 01 ... 2B 2B.
QByteArray ReadAllInputsReply() {
    QByteArray reply = Hex("01 04 58");
    for (int i = 0; i < 44; ++i)
        reply.append(char(i)).append(char(i));
    return reply + Hex("E4 6B");
}

TEST(ModbusPeerPtyLink, PassesEveryByteValueUnchangedBothWays) {
    PtyLink link;
    Fd program(OpenRawTty(link.ProgramPath()));
    Fd peer(OpenRawTty(link.PeerPath()));
    // Every byte value, then a marker: a byte added or translated anywhere shifts or changes
    // the marker, a byte swallowed leaves the read short.
    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all.append(char(i));
    all.append("end");

    WriteAll(program.fd, all);
    EXPECT_EQ(ReadBytes(peer.fd, all.size()), all);
    EXPECT_EQ(link.TakeFromProgram(), all);
    EXPECT_EQ(link.TakeFromProgram(), QByteArray());

    WriteAll(peer.fd, all);
    EXPECT_EQ(ReadBytes(program.fd, all.size()), all);
    EXPECT_EQ(link.FromProgram(), QByteArray()) << "the peer's bytes are not the program's";
}

TEST(ModbusPeerPtyLink, InjectsAfterPeerBytesAndDropsMutedOutput) {
    PtyLink link;
    Fd program(OpenRawTty(link.ProgramPath()));
    Fd peer(OpenRawTty(link.PeerPath()));

    WriteAll(peer.fd, "ab");
    ASSERT_EQ(ReadBytes(program.fd, 2), "ab");
    link.SendToProgram(Hex("0D 0A 11"));
    EXPECT_EQ(ReadBytes(program.fd, 3), Hex("0D 0A 11"));

    link.SetPeerMuted(true);
    WriteAll(peer.fd, "dropped");
    ASSERT_TRUE(WaitUntil([&] { return link.PeerBytesDropped() == 7; }));
    link.SendToProgram("injected");  // injection still reaches the program while muted
    link.SetPeerMuted(false);
    WriteAll(peer.fd, "!");
    EXPECT_EQ(ReadBytes(program.fd, 9), "injected!");
}

TEST(ModbusPeerPtyLink, EndsAtOnceWhetherOrNotItsSidesWereOpened) {
    QElapsedTimer clock;
    clock.start();
    {
        PtyLink untouched;
        PtyLink used;
        Fd program(OpenRawTty(used.ProgramPath()));
        WriteAll(program.fd, ReadAllInputs);  // nobody opened the peer side to read it
        used.SendToProgram("unread");
        ASSERT_TRUE(WaitUntil([&] { return used.FromProgram() == ReadAllInputs; }));
    }
    EXPECT_LT(clock.elapsed(), 1000);
}

TEST(ModbusPeerServer, AnswersLibmodbusMasterFromItsRegisterMap) {
    PtyLink link;
    ModbusRtuServer server(link.PeerPath());
    RtuClient client(link.ProgramPath());

    // The communication test's request, judged by an implementation we did not write.
    EXPECT_EQ(client.Read(4, 0, 44), DefaultInputs(0, 44));
    EXPECT_EQ(link.TakeFromProgram(), ReadAllInputs);
    EXPECT_EQ(server.Requests(), QList<QByteArray>{ReadAllInputs});

    server.FillHolding([](int address) { return uint16_t(address ^ 0x5A5A); });
    std::vector<uint16_t> block;
    for (int address = 0xC000; address < 0xC010; ++address)
        block.push_back(uint16_t(address ^ 0x5A5A));
    EXPECT_EQ(client.Read(3, 0xC000, 16), block);
    EXPECT_EQ(link.TakeFromProgram(), Hex("01 03 C0 00 00 10 78 06"));

    ASSERT_TRUE(client.Write(0xCFF0, {0x1234, 0xABCD, 0x00FF}));
    EXPECT_EQ(server.HoldingRegister(0xCFF0), 0x1234);
    EXPECT_EQ(server.HoldingRegister(0xCFF1), 0xABCD);
    EXPECT_EQ(server.HoldingRegister(0xCFF2), 0x00FF);
    EXPECT_EQ(server.HoldingRegister(0xCFF3), 0xCFF3 ^ 0x5A5A);

    server.SetHoldingRegister(0xD0FF, 0xBEEF);
    server.SetInputRegister(43, 0x0102);
    EXPECT_EQ(client.Read(3, 0xD0FF, 1), std::vector<uint16_t>{0xBEEF});
    EXPECT_EQ(client.Read(4, 43, 1), std::vector<uint16_t>{0x0102});
    EXPECT_EQ(server.Replies(), 5);
    EXPECT_THROW(server.SetHoldingRegister(0xBFFF, 1), EPeer);
    EXPECT_THROW(server.InputRegister(44), EPeer);
}

TEST(ModbusPeerServer, RepliesToRawFramesAsLibmodbusDoes) {
    struct Case {
        const char* name;
        QByteArray request;
        QByteArray reply;  // empty: no reply at all
    };
    const Case cases[] = {
        {"suffix write with register count 0", SuffixWrite, IllegalValue},
        {"board suffix write with register count 0", Hex("01 10 CF F6 00 00 04 17 07 F4 01 5F A3"),
         IllegalValue},
        {"byte count disagreeing with register count",
         Hex("01 10 C0 00 00 01 04 12 34 AB CD 59 8A"), IllegalValue},
        {"write of two registers", Hex("01 10 C0 00 00 02 04 12 34 AB CD 59 B9"),
         Hex("01 10 C0 00 00 02 7D C8")},
        {"holding read below the map", Hex("01 03 BF FF 00 01 91 EE"), Hex("01 83 02 C0 F1")},
        {"input read past register 43", Hex("01 04 00 00 00 2D 30 17"), Hex("01 84 02 C2 C1")},
        // On a shared bus the other slave's reply follows; libmodbus ignores that next frame.
        {"another slave ID and its reply", Hex("02 04 00 00 00 2C F1 E4 02 04 02 12 34 F0 47"), {}},
        {"bad CRC", Hex("01 04 00 00 00 2C F1 D8"), {}},
    };
    PtyLink link;
    ModbusRtuServer server(link.PeerPath(), {.responseTimeout = 20});
    Fd program(OpenRawTty(link.ProgramPath()));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.ClearRequests();
        WriteAll(program.fd, c.request);
        if (!c.reply.isEmpty()) {
            EXPECT_EQ(ReadBytes(program.fd, c.reply.size()), c.reply);
        }
        WriteAll(program.fd, Probe);
        EXPECT_EQ(ReadBytes(program.fd, ProbeReply.size()), ProbeReply);
        const QList<QByteArray> seen = server.Requests();
        EXPECT_EQ(seen.size(), c.reply.isEmpty() ? 1 : 2);
        EXPECT_EQ(seen.value(0), c.reply.isEmpty() ? Probe : c.request);
    }
    // Only the write of two registers changed anything.
    EXPECT_EQ(server.HoldingRegister(0xC000), 0x1234);
    EXPECT_EQ(server.HoldingRegister(0xC001), 0xABCD);
    EXPECT_EQ(server.HoldingRegister(0xCFF1), 0);
    EXPECT_EQ(server.HoldingRegister(0xCFF7), 0);
}

// libmodbus pauses for its response timeout before an illegal-value exception and then flushes
// its input: a frame sent during the pause is lost.
TEST(ModbusPeerServer, PausesAndFlushesBeforeAnIllegalValueException) {
    PtyLink link;
    ModbusRtuServer server(link.PeerPath());
    Fd program(OpenRawTty(link.ProgramPath()));

    QElapsedTimer clock;
    clock.start();
    WriteAll(program.fd, SuffixWrite + Probe);
    EXPECT_EQ(ReadBytes(program.fd, IllegalValue.size()), IllegalValue);
    EXPECT_GE(clock.elapsed(), 500);
    WriteAll(program.fd, Probe);
    EXPECT_EQ(ReadBytes(program.fd, ProbeReply.size()), ProbeReply);
    EXPECT_EQ(server.Requests(), (QList<QByteArray>{SuffixWrite, Probe}));
}

TEST(ModbusPeerServer, SilentDelayedAndStoppedPromptly) {
    PtyLink link;
    ModbusRtuServer server(link.PeerPath());
    RtuClient client(link.ProgramPath());

    server.SetSilent(true);
    client.SetTimeout(100ms);
    EXPECT_TRUE(client.Read(4, 0, 1).empty());
    EXPECT_EQ(server.Requests().size(), 1);
    EXPECT_EQ(server.Replies(), 0);

    server.SetSilent(false);
    server.SetReplyDelay(150);
    client.SetTimeout(2000ms);
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(client.Read(4, 2, 1), DefaultInputs(2, 1));
    EXPECT_GE(clock.elapsed(), 150);

    // Stop() must not sit out a long reply delay.
    server.SetReplyDelay(60'000);
    Fd program(OpenRawTty(link.ProgramPath()));
    WriteAll(program.fd, ReadAllInputs);
    ASSERT_TRUE(WaitUntil([&] { return server.Requests().size() == 3; }));
    clock.restart();
    server.Stop();
    EXPECT_LT(clock.elapsed(), 500);
    server.Stop();
}

TEST(ModbusPeerServer, MutedLinkLooksLikeASilentController) {
    PtyLink link;
    ModbusRtuServer server(link.PeerPath());
    RtuClient client(link.ProgramPath());

    link.SetPeerMuted(true);
    client.SetTimeout(100ms);
    EXPECT_TRUE(client.Read(4, 0, 44).empty());
    EXPECT_EQ(server.Replies(), 1);
    ASSERT_TRUE(WaitUntil([&] { return link.PeerBytesDropped() == ReadAllInputsReply().size(); }));

    link.SetPeerMuted(false);
    client.SetTimeout(1000ms);
    EXPECT_EQ(client.Read(4, 0, 44), DefaultInputs(0, 44));
}

// A plain TCP client on 127.0.0.1:port, the way the program's LAN link talks to a gateway.
// Returns the connected socket, or -errno.
int ConnectLoopback(quint16 port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
        return fd;
    const int error = errno;
    ::close(fd);
    return -error;
}

TEST(ModbusPeerSocatGateway, CarriesRtuFramesOverTcpUntilTheClientLeaves) {
    SocatGateway gateway;
    ModbusRtuServer server(gateway.PtyPath());
    {
        Fd tcp(ConnectLoopback(gateway.Port()));
        ASSERT_GE(tcp.fd, 0) << strerror(-tcp.fd);
        WriteAll(tcp.fd, ReadAllInputs);
        EXPECT_EQ(ReadBytes(tcp.fd, 93), ReadAllInputsReply());

        const QByteArray write = Hex("01 10 C0 00 00 02 04 12 34 AB CD 59 B9");
        WriteAll(tcp.fd, write);
        EXPECT_EQ(ReadBytes(tcp.fd, 8), Hex("01 10 C0 00 00 02 7D C8"));
        EXPECT_EQ(server.HoldingRegister(0xC001), 0xABCD);
        EXPECT_EQ(server.Requests(), (QList<QByteArray>{ReadAllInputs, write}));
    }
    // One connection per gateway, as with socat's single accept.
    EXPECT_TRUE(WaitUntil([&] { return !gateway.Running(); }, 2s)) << gateway.Log().toStdString();
}

TEST(ModbusPeerSocatGateway, StartsListeningOnLoopbackAndEndsWhenDestroyed) {
    QElapsedTimer clock;
    clock.start();
    quint16 port;
    {
        SocatGateway gateway;
        port = gateway.Port();
        EXPECT_GT(port, 0);
        EXPECT_TRUE(gateway.Running());
        EXPECT_TRUE(QFileInfo(gateway.PtyPath()).symLinkTarget().startsWith("/dev/pts/"));
    }
    EXPECT_LT(clock.elapsed(), 2000);
    // socat is gone, so nothing listens on its port any more.
    EXPECT_EQ(ConnectLoopback(port), -ECONNREFUSED);
}

}  // namespace
