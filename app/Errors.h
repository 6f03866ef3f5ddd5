#pragma once

#include <QByteArray>
#include <QString>
#include <exception>
#include <utility>

// The program's one error vocabulary. Every error carries the message the operator sees; the
// event-handler guard (ErrorBox.h) shows it in the default error box.
class EQuorrin : public std::exception {
public:
    explicit EQuorrin(QString message);
    const QString& Message() const noexcept { return FMessage; }
    const char* what() const noexcept override { return FUtf8.constData(); }

private:
    QString FMessage;
    QByteArray FUtf8;
};

// A text that is not an integer, or whose value does not fit the result.
class EConvertError : public EQuorrin {
public:
    using EQuorrin::EQuorrin;
};

// A file that cannot be opened, created, read or written. ErrorCode is the platform's error
// number (errno).
class EInOutError : public EQuorrin {
public:
    EInOutError(QString message, int errorCode);
    int ErrorCode() const noexcept { return FErrorCode; }

    // "Cannot open file "<name>". <platform description>"
    static EInOutError CannotOpen(const QString& fileName, int errorCode);
    // The same with a reason of the program's own instead of the platform's description.
    static EInOutError CannotOpen(const QString& fileName, const QString& reason, int errorCode);
    // "Cannot create file "<name>". <platform description>"
    static EInOutError CannotCreate(const QString& fileName, int errorCode);
    // A read or write failure on a file that was open.
    static EInOutError Failed(const QString& fileName, int errorCode);

private:
    int FErrorCode;
};

// The platform's description of an error number, as strerror gives it.
QString SystemErrorText(int errorCode);

// What becomes of an error that escapes a handler: a click, a tick, a serial or socket
// notification. The program installs its handler at start (the window shows the default error
// box, the command line reports the error and ends); without one the error is logged.
using TErrorHandler = void (*)(std::exception_ptr error) noexcept;
void SetErrorHandler(TErrorHandler handler) noexcept;
void ReportError(std::exception_ptr error) noexcept;

// Every handler of the program runs through this guard, so that an error ends only the handler
// it came from and never crosses Qt's signal, slot or event machinery.
template <typename Handler>
void Guard(Handler&& handler) noexcept {
    try {
        std::forward<Handler>(handler)();
    } catch (...) {
        ReportError(std::current_exception());
    }
}
