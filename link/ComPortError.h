#pragma once

#include <QString>

#include "app/Errors.h"

// An error of the serial port. It carries the port's own error code, the platform's error number
// (-1 when the failure has none) and the message built from both.
class EComPort : public EQuorrin {
public:
    static constexpr int OpenFailed = 1;
    static constexpr int WriteFailed = 2;
    static constexpr int ReadFailed = 3;
    static constexpr int PurgeFailed = 5;
    static constexpr int SetStateFailed = 7;
    static constexpr int SetTimeoutsFailed = 8;
    static constexpr int SetupFailed = 9;
    static constexpr int ClearErrorFailed = 10;
    static constexpr int ModemStatusFailed = 11;
    static constexpr int NotOpen = 24;

    explicit EComPort(int code, int platformError = -1);

    int Code() const noexcept { return FCode; }
    int PlatformError() const noexcept { return FPlatformError; }

    // The message without the platform's number, e.g. "Unable to open com port".
    static QString BaseText(int code);

private:
    int FCode;
    int FPlatformError;
};
