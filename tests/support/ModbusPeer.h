#pragma once

// Independent far ends for end-to-end tests: a pseudo-terminal cable between the program and a
// peer, a libmodbus RTU server playing the controller, and socat playing a serial-to-TCP gateway.
// Everything here is test infrastructure; the program's own code never includes it.

#include <sys/types.h>

#include <QByteArray>
#include <QList>
#include <QString>
#include <QTemporaryDir>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

#include "app/Errors.h"

struct _modbus;
struct _modbus_mapping_t;

// A failure of the test peers themselves (device, thread, child process), never of the program.
class EPeer : public EQuorrin {
public:
    using EQuorrin::EQuorrin;
};

// Opens a terminal device for reading and writing, non-blocking, in raw mode (no byte is
// translated, echoed or taken as flow control). Returns the descriptor; the caller closes it.
int OpenRawTty(const QString& path);

// A null-modem cable made of two pseudo-terminals joined back to back by a bridge thread. The
// program opens ProgramPath(), the peer opens PeerPath(); every byte written on one side comes out
// of the other unchanged. The link also records what the program wrote, can inject bytes towards
// the program as if the peer had sent them, and can drop the peer's output (a silent controller).
//
// The link keeps both slave sides open itself, so that a side nobody has opened (or that was
// closed again) neither hangs up the bridge nor loses the terminal settings. Bytes sent towards a
// side that is not open wait in that side's input queue until it is opened (or purged).
class PtyLink {
public:
    PtyLink();  // throws EPeer when the pseudo-terminals or the thread cannot be created
    ~PtyLink();
    PtyLink(const PtyLink&) = delete;
    PtyLink& operator=(const PtyLink&) = delete;

    QString ProgramPath() const { return FProgramPath; }  // e.g. "/dev/pts/5"
    QString PeerPath() const { return FPeerPath; }

    // Everything the program wrote since the last call; clears the record.
    QByteArray TakeFromProgram();
    // Everything the program wrote since the last TakeFromProgram(), without clearing it.
    QByteArray FromProgram() const;
    // Queues bytes towards the program, after any peer bytes already on their way.
    void SendToProgram(const QByteArray& bytes);
    // While muted, the peer's output is read and discarded. To be sure a muted reply is gone
    // before unmuting, wait until PeerBytesDropped() has counted it.
    void SetPeerMuted(bool muted);
    qint64 PeerBytesDropped() const;

private:
    void Bridge();
    void Wake();

    int FProgramMaster = -1, FProgramSlave = -1;
    int FPeerMaster = -1, FPeerSlave = -1;
    int FWake = -1;  // eventfd: new bytes to send, or stop
    QString FProgramPath, FPeerPath;

    mutable std::mutex FMutex;  // guards the fields below
    QByteArray FFromProgram;
    QByteArray FToProgram;  // waiting to be written towards the program
    bool FPeerMuted = false;
    qint64 FPeerBytesDropped = 0;

    std::atomic<bool> FStop{false};
    std::thread FThread;
};

// A libmodbus RTU server (slave) playing the controller on a terminal device, in a thread of its
// own. Its replies are libmodbus's own, so they judge the program's frames independently.
//
// Register map: input registers 0..43 (function 4), holding registers 0xC000..0xD0FF (functions 3
// and 16). Anything outside gets libmodbus's exception 2 (illegal data address) at once.
//
// A function 16 request whose register count is 0, or whose byte count is not twice the register
// count, gets exception 3 (illegal data value), reply 01 90 03 0C 01 for slave 1, and writes
// nothing. Before that reply libmodbus pauses for its response timeout (Options::responseTimeout)
// and then discards whatever arrived meanwhile.
//
// A request addressed to another slave ID gets no reply and is not recorded; libmodbus then takes
// the next frame arriving within the response timeout for that slave's reply and drops it too,
// whatever it is. Broadcasts (ID 0) are executed and not answered. A frame with a bad CRC is
// dropped.
class ModbusRtuServer {
public:
    struct Options {
        int slave = 1;
        int baud = 9600;
        char parity = 'N';  // pseudo-terminals accept only 'N'
        // libmodbus's response timeout in ms (its default): the pause before an illegal-value
        // exception reply, and the wait for another slave's reply to ignore.
        int responseTimeout = 500;
    };
    static constexpr int InputRegisterCount = 44;
    static constexpr int HoldingFirst = 0xC000;
    static constexpr int HoldingLast = 0xD0FF;

    // The initial input register pattern: high byte and low byte both the register number.
    static quint16 DefaultInputPattern(int address) { return quint16(0x0100 * address + address); }

    // Opens the device (raw, 8 data bits, 1 stop bit) and starts serving before returning. Holding
    // registers start at 0. Throws EPeer when the device cannot be opened.
    explicit ModbusRtuServer(const QString& devicePath);
    ModbusRtuServer(const QString& devicePath, Options options);
    ~ModbusRtuServer();
    ModbusRtuServer(const ModbusRtuServer&) = delete;
    ModbusRtuServer& operator=(const ModbusRtuServer&) = delete;

    // Stops serving and closes the device. Returns within about 0.1 s, unless libmodbus is in one
    // of its own waits (a half-received frame, the pause before an exception reply, another
    // slave's reply): then within about 0.5 s. Safe to call twice.
    void Stop();

    // Register access from the test thread; addresses outside the map throw EPeer.
    void SetInputRegister(int address, quint16 value);
    quint16 InputRegister(int address) const;
    void FillInput(const std::function<quint16(int address)>& pattern);
    void SetHoldingRegister(int address, quint16 value);
    quint16 HoldingRegister(int address) const;
    void FillHolding(const std::function<quint16(int address)>& pattern);

    // Every request ADU received for this slave (or broadcast), CRC included, oldest first.
    QList<QByteArray> Requests() const;
    void ClearRequests();
    // Number of replies sent so far.
    int Replies() const;

    // Waits this long after a complete request before replying (0 = at once).
    void SetReplyDelay(int milliseconds);
    // While silent, requests are received and recorded but not answered.
    void SetSilent(bool silent);

private:
    void Serve();
    quint16* Register(bool holding, int address) const;

    _modbus* FContext = nullptr;
    _modbus_mapping_t* FMapping = nullptr;

    mutable std::mutex FMutex;  // guards the mapping and the fields below
    std::condition_variable FStopped;
    QList<QByteArray> FRequests;
    int FReplies = 0;
    int FReplyDelay = 0;
    bool FSilent = false;
    bool FStop = false;
    std::thread FThread;
};

// socat bridging a loopback TCP listener to a pseudo-terminal: a serial-to-Ethernet gateway for
// the program's LAN link. Start the ModbusRtuServer on PtyPath() before the program connects;
// socat accepts exactly one connection and exits when it ends (or when the pty side hangs up).
class SocatGateway {
public:
    // Starts socat and returns once the pty exists and the port listens (nothing connects to
    // find out: that would use up the single accept). Throws EPeer with socat's log on failure.
    SocatGateway();
    ~SocatGateway();  // terminates and reaps socat
    SocatGateway(const SocatGateway&) = delete;
    SocatGateway& operator=(const SocatGateway&) = delete;

    QString PtyPath() const { return FPtyPath; }  // a symbolic link to the pty's slave side
    quint16 Port() const { return FPort; }        // on 127.0.0.1
    bool Running();                               // false once socat has exited
    QByteArray Log() const;                       // socat's diagnostics so far

private:
    bool Listening() const;
    void Terminate();

    QTemporaryDir FDir;
    QString FPtyPath;
    QString FLogPath;
    quint16 FPort = 0;
    pid_t FPid = -1;
};
