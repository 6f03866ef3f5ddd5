#include "link/ComPortError.h"

namespace {

QString MessageFor(int code, int platformError) {
    QString text = EComPort::BaseText(code);
    if (platformError != -1)
        text += QStringLiteral(" (Error: %1)").arg(platformError);
    return text;
}

}  // namespace

EComPort::EComPort(int code, int platformError)
    : EQuorrin(MessageFor(code, platformError)), FCode(code), FPlatformError(platformError) {}

QString EComPort::BaseText(int code) {
    switch (code) {
        case OpenFailed:
            return QStringLiteral("Unable to open com port");
        case WriteFailed:
            return QStringLiteral("WriteFile function failed");
        case ReadFailed:
            return QStringLiteral("ReadFile function failed");
        case PurgeFailed:
            return QStringLiteral("PurgeComm function failed");
        case SetStateFailed:
            return QStringLiteral("SetCommState function failed");
        case SetTimeoutsFailed:
            return QStringLiteral("SetCommTimeouts failed");
        case SetupFailed:
            return QStringLiteral("SetupComm function failed");
        case ClearErrorFailed:
            return QStringLiteral("ClearCommError function failed");
        case ModemStatusFailed:
            return QStringLiteral("GetCommModemStatus function failed");
        case NotOpen:
            return QStringLiteral("Port Not Open");
        default:
            return QStringLiteral("Serial port error %1").arg(code);
    }
}
