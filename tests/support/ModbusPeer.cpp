#include "support/ModbusPeer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <modbus.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

QString ErrnoText(int errorCode) {
    return SystemErrorText(errorCode);
}

[[noreturn]] void Fail(const QString& what, int errorCode) {
    throw EPeer(what + QStringLiteral(": ") + ErrnoText(errorCode));
}

// No byte may be translated, echoed, or taken as a signal or flow-control character: the link
// carries binary frames, and 0x0A, 0x0D, 0x11, 0x13 and 0x7F occur in them.
bool MakeRaw(int fd) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0)
        return false;
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    return tcsetattr(fd, TCSANOW, &tio) == 0;
}

bool SetNonBlocking(int fd) {
    const int flags = fcntl(fd, F_GETFL);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

void CloseFd(int& fd) {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

// Opens one pseudo-terminal, both ends raw, master non-blocking; returns the slave's path.
QString OpenPty(int& master, int& slave) {
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
        Fail(QStringLiteral("openpty"), errno);
    char name[128];
    if (ptsname_r(master, name, sizeof name) != 0)
        Fail(QStringLiteral("ptsname_r"), errno);
    if (!MakeRaw(master) || !MakeRaw(slave) || !SetNonBlocking(master))
        Fail(QStringLiteral("pty settings"), errno);
    return QString::fromLocal8Bit(name);
}

// Writes as much of buffer as fd takes now and drops it from the buffer. False on a hard error.
bool Flush(int fd, QByteArray& buffer) {
    while (!buffer.isEmpty()) {
        const ssize_t n = ::write(fd, buffer.constData(), size_t(buffer.size()));
        if (n > 0) {
            buffer.remove(0, n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
        }
    }
    return true;
}

// Reads what fd has now: appends it to out. False on end of file or a hard error.
bool Drain(int fd, QByteArray& out) {
    char chunk[4096];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n > 0) {
            out.append(chunk, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
}

}  // namespace

int OpenRawTty(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        Fail(QStringLiteral("open ") + path, errno);
    if (!MakeRaw(fd)) {
        const int error = errno;
        ::close(fd);
        Fail(QStringLiteral("raw mode on ") + path, error);
    }
    return fd;
}

// ---------------------------------------------------------------------------------------------
// PtyLink

PtyLink::PtyLink() {
    try {
        FProgramPath = OpenPty(FProgramMaster, FProgramSlave);
        FPeerPath = OpenPty(FPeerMaster, FPeerSlave);
        FWake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        if (FWake < 0)
            Fail(QStringLiteral("eventfd"), errno);
        FThread = std::thread([this] { Bridge(); });
    } catch (...) {
        for (int* fd : {&FProgramMaster, &FProgramSlave, &FPeerMaster, &FPeerSlave, &FWake})
            CloseFd(*fd);
        throw;
    }
}

PtyLink::~PtyLink() {
    FStop = true;
    Wake();
    if (FThread.joinable())
        FThread.join();
    for (int* fd : {&FProgramMaster, &FProgramSlave, &FPeerMaster, &FPeerSlave, &FWake})
        CloseFd(*fd);
}

QByteArray PtyLink::TakeFromProgram() {
    std::lock_guard lock(FMutex);
    QByteArray bytes;
    bytes.swap(FFromProgram);
    return bytes;
}

QByteArray PtyLink::FromProgram() const {
    std::lock_guard lock(FMutex);
    return FFromProgram;
}

void PtyLink::SendToProgram(const QByteArray& bytes) {
    {
        std::lock_guard lock(FMutex);
        FToProgram.append(bytes);
    }
    Wake();
}

void PtyLink::SetPeerMuted(bool muted) {
    std::lock_guard lock(FMutex);
    FPeerMuted = muted;
}

qint64 PtyLink::PeerBytesDropped() const {
    std::lock_guard lock(FMutex);
    return FPeerBytesDropped;
}

void PtyLink::Wake() {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(FWake, &one, sizeof one);
}

void PtyLink::Bridge() {
    // Only this thread touches toPeer; FToProgram is shared with SendToProgram().
    QByteArray toPeer;
    // A master whose slave side has no opener reports a hang-up at once; it is left out of the
    // next wait, which then lasts a short while, so that the bridge does not spin.
    bool programHung = false, peerHung = false;
    constexpr qsizetype Backlog = 1 << 16;  // stop reading a side whose output cannot drain

    while (!FStop) {
        bool toProgramPending;
        {
            std::lock_guard lock(FMutex);
            toProgramPending = !FToProgram.isEmpty();
        }
        pollfd fds[3] = {};
        fds[0].fd = programHung ? -1 : FProgramMaster;
        fds[0].events =
            short((toPeer.size() < Backlog ? POLLIN : 0) | (toProgramPending ? POLLOUT : 0));
        fds[1].fd = peerHung ? -1 : FPeerMaster;
        fds[1].events = short(POLLIN | (toPeer.isEmpty() ? 0 : POLLOUT));
        fds[2].fd = FWake;
        fds[2].events = POLLIN;
        const int timeout = (programHung || peerHung) ? 10 : -1;
        programHung = peerHung = false;
        if (::poll(fds, 3, timeout) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[2].revents & POLLIN) {
            uint64_t count;
            [[maybe_unused]] const ssize_t n = ::read(FWake, &count, sizeof count);
        }
        if (FStop)
            break;

        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            QByteArray bytes;
            programHung = !Drain(FProgramMaster, bytes);
            if (!bytes.isEmpty()) {
                std::lock_guard lock(FMutex);
                FFromProgram.append(bytes);
            }
            toPeer.append(bytes);
        }
        if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) {
            QByteArray bytes;
            peerHung = !Drain(FPeerMaster, bytes);
            std::lock_guard lock(FMutex);
            if (FPeerMuted)
                FPeerBytesDropped += bytes.size();
            else
                FToProgram.append(bytes);
        }
        if (!toPeer.isEmpty())
            peerHung = !Flush(FPeerMaster, toPeer) || peerHung;
        std::lock_guard lock(FMutex);
        if (!FToProgram.isEmpty())
            programHung = !Flush(FProgramMaster, FToProgram) || programHung;
    }
}

// ---------------------------------------------------------------------------------------------
// ModbusRtuServer

ModbusRtuServer::ModbusRtuServer(const QString& devicePath)
    : ModbusRtuServer(devicePath, Options{}) {}

ModbusRtuServer::ModbusRtuServer(const QString& devicePath, Options options) {
    const QByteArray device = QFile::encodeName(devicePath);
    FContext = modbus_new_rtu(device.constData(), options.baud, options.parity, 8, 1);
    if (FContext == nullptr)
        Fail(QStringLiteral("modbus_new_rtu ") + devicePath, errno);
    FMapping = modbus_mapping_new_start_address(
        0, 0, 0, 0, HoldingFirst, HoldingLast - HoldingFirst + 1, 0, InputRegisterCount);
    if (FMapping == nullptr || modbus_set_slave(FContext, options.slave) != 0 ||
        modbus_connect(FContext) != 0) {
        const int error = errno;
        if (FMapping != nullptr)
            modbus_mapping_free(FMapping);
        modbus_free(FContext);
        throw EPeer(QStringLiteral("Modbus server on %1: %2")
                        .arg(devicePath, QString::fromLocal8Bit(modbus_strerror(error))));
    }
    // Without an indication timeout modbus_receive() waits for ever and Stop() could not end it.
    modbus_set_indication_timeout(FContext, 0, 50'000);
    modbus_set_response_timeout(FContext, uint32_t(options.responseTimeout / 1000),
                                uint32_t(options.responseTimeout % 1000 * 1000));
    FillInput(DefaultInputPattern);
    FThread = std::thread([this] { Serve(); });
}

ModbusRtuServer::~ModbusRtuServer() {
    Stop();
    modbus_mapping_free(FMapping);
    modbus_free(FContext);
}

void ModbusRtuServer::Stop() {
    {
        std::lock_guard lock(FMutex);
        FStop = true;
    }
    FStopped.notify_all();
    if (FThread.joinable()) {
        FThread.join();
        modbus_close(FContext);
    }
}

void ModbusRtuServer::Serve() {
    uint8_t request[MODBUS_RTU_MAX_ADU_LENGTH];
    std::unique_lock lock(FMutex);
    while (!FStop) {
        lock.unlock();
        const int length = modbus_receive(FContext, request);
        const int error = errno;
        lock.lock();
        if (length == 0)  // addressed to another slave
            continue;
        if (length < 0) {
            // A timeout is the normal idle case. Anything else (bad CRC, a hung-up device) gets a
            // short pause, so that a dead device does not make this loop spin.
            if (error != ETIMEDOUT)
                FStopped.wait_for(lock, std::chrono::milliseconds(10), [this] { return FStop; });
            continue;
        }
        FRequests.append(QByteArray(reinterpret_cast<const char*>(request), length));
        if (FReplyDelay > 0 && FStopped.wait_for(lock, std::chrono::milliseconds(FReplyDelay),
                                                 [this] { return FStop; }))
            break;
        if (FSilent)
            continue;
        if (modbus_reply(FContext, request, length, FMapping) > 0)
            ++FReplies;
    }
}

quint16* ModbusRtuServer::Register(bool holding, int address) const {
    if (holding && address >= HoldingFirst && address <= HoldingLast)
        return &FMapping->tab_registers[address - HoldingFirst];
    if (!holding && address >= 0 && address < InputRegisterCount)
        return &FMapping->tab_input_registers[address];
    throw EPeer(QStringLiteral("no %1 register 0x%2")
                    .arg(holding ? QStringLiteral("holding") : QStringLiteral("input"))
                    .arg(address, 4, 16, QLatin1Char('0')));
}

void ModbusRtuServer::SetInputRegister(int address, quint16 value) {
    std::lock_guard lock(FMutex);
    *Register(false, address) = value;
}

quint16 ModbusRtuServer::InputRegister(int address) const {
    std::lock_guard lock(FMutex);
    return *Register(false, address);
}

void ModbusRtuServer::FillInput(const std::function<quint16(int)>& pattern) {
    std::lock_guard lock(FMutex);
    for (int address = 0; address < InputRegisterCount; ++address)
        *Register(false, address) = pattern(address);
}

void ModbusRtuServer::SetHoldingRegister(int address, quint16 value) {
    std::lock_guard lock(FMutex);
    *Register(true, address) = value;
}

quint16 ModbusRtuServer::HoldingRegister(int address) const {
    std::lock_guard lock(FMutex);
    return *Register(true, address);
}

void ModbusRtuServer::FillHolding(const std::function<quint16(int)>& pattern) {
    std::lock_guard lock(FMutex);
    for (int address = HoldingFirst; address <= HoldingLast; ++address)
        *Register(true, address) = pattern(address);
}

QList<QByteArray> ModbusRtuServer::Requests() const {
    std::lock_guard lock(FMutex);
    return FRequests;
}

void ModbusRtuServer::ClearRequests() {
    std::lock_guard lock(FMutex);
    FRequests.clear();
}

int ModbusRtuServer::Replies() const {
    std::lock_guard lock(FMutex);
    return FReplies;
}

void ModbusRtuServer::SetReplyDelay(int milliseconds) {
    std::lock_guard lock(FMutex);
    FReplyDelay = milliseconds;
}

void ModbusRtuServer::SetSilent(bool silent) {
    std::lock_guard lock(FMutex);
    FSilent = silent;
}

// ---------------------------------------------------------------------------------------------
// SocatGateway

namespace {

// A loopback port nobody uses right now: bind to port 0 and let the system choose. The socket is
// closed before socat binds the port; it never listened, so the port is free again at once.
quint16 FreeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        Fail(QStringLiteral("socket"), errno);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        const int error = errno;
        ::close(fd);
        Fail(QStringLiteral("choosing a loopback port"), error);
    }
    ::close(fd);
    return ntohs(address.sin_port);
}

}  // namespace

SocatGateway::SocatGateway() {
    if (!FDir.isValid())
        throw EPeer(QStringLiteral("no temporary directory for socat"));
    FPtyPath = FDir.filePath(QStringLiteral("gw"));
    FLogPath = FDir.filePath(QStringLiteral("socat.log"));
    // socat splits its addresses at these characters; a path holding one would be misread.
    for (const QChar c : {u',', u':', u'!', u'\\', u'"', u'\''}) {
        if (FPtyPath.contains(c))
            throw EPeer(QStringLiteral("temporary path unusable for socat: ") + FPtyPath);
    }
    FPort = FreeLoopbackPort();

    // The pty comes first: socat opens its addresses in order and then blocks in accept(), so the
    // link exists before the port listens.
    const QByteArray pty = "PTY,link=" + QFile::encodeName(FPtyPath) + ",raw,echo=0";
    const QByteArray tcp = "TCP-LISTEN:" + QByteArray::number(FPort) + ",bind=127.0.0.1,reuseaddr";
    const QByteArray log = QFile::encodeName(FLogPath);
    char* argv[] = {const_cast<char*>("socat"),
                    const_cast<char*>("-d"),
                    const_cast<char*>("-d"),
                    const_cast<char*>(pty.constData()),
                    const_cast<char*>(tcp.constData()),
                    nullptr};

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, log.constData(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    const int spawned = posix_spawnp(&FPid, "socat", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        FPid = -1;
        Fail(QStringLiteral("starting socat"), spawned);
    }

    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (!(QFileInfo::exists(FPtyPath) && Listening())) {
        if (!Running())
            throw EPeer(QStringLiteral("socat ended early: ") + QString::fromLocal8Bit(Log()));
        if (Clock::now() > deadline) {
            Terminate();
            throw EPeer(QStringLiteral("socat not ready: ") + QString::fromLocal8Bit(Log()));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

SocatGateway::~SocatGateway() {
    Terminate();
}

bool SocatGateway::Running() {
    if (FPid <= 0)
        return false;
    int status;
    if (::waitpid(FPid, &status, WNOHANG) == FPid) {
        FPid = -1;
        return false;
    }
    return true;
}

QByteArray SocatGateway::Log() const {
    QFile file(FLogPath);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Looks for the port in the kernel's socket table, state 0A (listening), instead of connecting:
// socat accepts a single connection.
bool SocatGateway::Listening() const {
    FILE* table = std::fopen("/proc/net/tcp", "r");
    if (table == nullptr)
        return false;
    char line[512];
    bool found = false;
    if (std::fgets(line, sizeof line, table) != nullptr) {  // header
        while (!found && std::fgets(line, sizeof line, table) != nullptr) {
            unsigned address, port, state;
            // The address is the network-order value printed as a host-order number.
            if (std::sscanf(line, " %*d: %8X:%4X %*8X:%*4X %2X", &address, &port, &state) == 3)
                found = address == htonl(INADDR_LOOPBACK) && port == FPort && state == 0x0A;
        }
    }
    std::fclose(table);
    return found;
}

void SocatGateway::Terminate() {
    if (FPid <= 0)
        return;
    ::kill(FPid, SIGTERM);
    const auto deadline = Clock::now() + std::chrono::seconds(2);
    while (Running()) {
        if (Clock::now() > deadline) {
            ::kill(FPid, SIGKILL);
            int status;
            ::waitpid(FPid, &status, 0);
            FPid = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}
