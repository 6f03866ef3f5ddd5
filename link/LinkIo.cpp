#include "link/LinkIo.h"

#include <QEventLoop>
#include <QTimer>
#include <cerrno>
#include <climits>
#include <utility>

#include "app/Errors.h"
#include "link/ClientSocket.h"
#include "link/ComPort.h"

TLinkIo::~TLinkIo() = default;

QByteArray TLinkIo::Take() {
    return std::exchange(FReceived, {});
}

void TLinkIo::Arrived(const QByteArray& bytes) {
    FReceived += bytes;
    emit Wake();
}

void TLinkIo::Fail(std::exception_ptr error) {
    if (!FError)
        FError = error;
    emit Wake();
}

void TLinkIo::RaisePendingError() {
    if (FError)
        std::rethrow_exception(std::exchange(FError, nullptr));
}

bool TLinkIo::WaitUntil(const std::function<bool()>& ready, QDeadlineTimer deadline, bool poll) {
    RaisePendingError();
    if (ready())
        return true;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    const auto look = [&] {
        if (FError || ready())
            loop.quit();
    };
    connect(this, &TLinkIo::Wake, &loop, look);
    // What makes progress without a notification of its own (a connection being made) is looked
    // at every few milliseconds.
    QTimer pollTimer;
    pollTimer.setInterval(2);
    connect(&pollTimer, &QTimer::timeout, &loop, look);
    if (poll)
        pollTimer.start();
    const qint64 left = deadline.remainingTime();
    if (left == 0)
        return ready();
    if (left > 0)
        timer.start(int(qMin<qint64>(left, INT_MAX)));
    loop.exec();
    RaisePendingError();
    return ready();
}

bool TLinkIo::WaitForBytes(QDeadlineTimer deadline) {
    return WaitUntil([this] { return !FReceived.isEmpty(); }, deadline);
}

// ---- serial ---------------------------------------------------------------------------------

TSerialLinkIo::TSerialLinkIo(const QString& port, int baudRate, TParityBits parity)
    : FPort(std::make_unique<TComPort>()) {
    FPort->SetPort(port);
    FPort->SetBaudRate(baudRate);
    FPort->Parity().SetBits(parity);
    FPort->Buffer().SetInputSize(0);
    FPort->Buffer().SetOutputSize(0);
    connect(FPort.get(), &TComPort::OnRxChar, this, [this](int count) {
        Guard([&] {
            QString text;
            FPort->ReadStr(text, count);
            Arrived(text.toLatin1());
        });
    });
}

TSerialLinkIo::~TSerialLinkIo() = default;

void TSerialLinkIo::Open(QDeadlineTimer) {
    FPort->Open();
}

void TSerialLinkIo::Close() {
    FPort->Close();
}

void TSerialLinkIo::Send(const QByteArray& frame) {
    if (FPort->Write(frame.constData(), int(frame.size())) != frame.size())
        throw EComPort(EComPort::WriteFailed, ETIMEDOUT);
}

QString TSerialLinkIo::Describe() const {
    const TParityBits parity = FPort->Parity().Bits();
    const QChar framing = parity == TParityBits::None   ? u'N'
                          : parity == TParityBits::Even ? u'E'
                                                        : u'O';
    return QStringLiteral("serial %1 %2 8%3")
               .arg(FPort->Port().mid(3))
               .arg(FPort->BaudRate())
               .arg(framing) +
           u'1';
}

int TSerialLinkIo::LineSpeed() const {
    return FPort->BaudRate();
}

int TSerialLinkIo::BitsPerByte() const {
    return FPort->Parity().Bits() == TParityBits::None ? 10 : 11;
}

// ---- LAN ------------------------------------------------------------------------------------

TLanLinkIo::TLanLinkIo(const QString& host, int port) : FClient(std::make_unique<TClientSocket>()) {
    FClient->SetHost(host);
    FClient->SetPort(port);
    connect(FClient.get(), &TClientSocket::OnRead, this,
            [this](QObject*, TCustomWinSocket* socket) {
                Guard([&] { Arrived(socket->ReceiveText()); });
            });
}

TLanLinkIo::~TLanLinkIo() = default;

void TLanLinkIo::Open(QDeadlineTimer deadline) {
    FClient->Open();
    if (!WaitUntil([this] { return FClient->Active(); }, deadline, true)) {
        FClient->Close();
        throw ESocketError(QStringLiteral("no connection to %1:%2 in time")
                               .arg(FClient->Host())
                               .arg(TClientSocket::EffectivePort(FClient->Port())));
    }
}

void TLanLinkIo::Close() {
    FClient->Close();
}

void TLanLinkIo::Send(const QByteArray& frame) {
    if (!FClient->Active())
        throw ESocketError(QStringLiteral("the connection was closed"));
    if (FClient->Socket()->SendBuf(frame.constData(), int(frame.size())) != frame.size())
        throw ESocketError(QStringLiteral("the connection did not take the whole frame"));
}

QString TLanLinkIo::Describe() const {
    return QStringLiteral("lan %1:%2")
        .arg(FClient->Host())
        .arg(TClientSocket::EffectivePort(FClient->Port()));
}
