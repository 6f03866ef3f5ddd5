#include "app/Errors.h"

#include <QtGlobal>
#include <atomic>
#include <cstring>
#include <utility>

EQuorrin::EQuorrin(QString message) : FMessage(std::move(message)), FUtf8(FMessage.toUtf8()) {}

EInOutError::EInOutError(QString message, int errorCode)
    : EQuorrin(std::move(message)), FErrorCode(errorCode) {}

EInOutError EInOutError::CannotOpen(const QString& fileName, int errorCode) {
    return CannotOpen(fileName, SystemErrorText(errorCode), errorCode);
}

EInOutError EInOutError::CannotOpen(const QString& fileName, const QString& reason, int errorCode) {
    return EInOutError(QStringLiteral("Cannot open file \"%1\". %2").arg(fileName, reason),
                       errorCode);
}

EInOutError EInOutError::CannotCreate(const QString& fileName, int errorCode) {
    return EInOutError(
        QStringLiteral("Cannot create file \"%1\". %2").arg(fileName, SystemErrorText(errorCode)),
        errorCode);
}

EInOutError EInOutError::Failed(const QString& fileName, int errorCode) {
    return EInOutError(QStringLiteral("File \"%1\": %2").arg(fileName, SystemErrorText(errorCode)),
                       errorCode);
}

QString SystemErrorText(int errorCode) {
    char buffer[256] = {};
    // GNU strerror_r may return a static string instead of filling the buffer.
    const char* text = strerror_r(errorCode, buffer, sizeof buffer);
    return QString::fromLocal8Bit(text);
}

namespace {

std::atomic<TErrorHandler> InstalledErrorHandler{nullptr};

}  // namespace

void SetErrorHandler(TErrorHandler handler) noexcept {
    InstalledErrorHandler = handler;
}

void ReportError(std::exception_ptr error) noexcept {
    if (const TErrorHandler handler = InstalledErrorHandler) {
        handler(error);
        return;
    }
    try {
        std::rethrow_exception(error);
    } catch (const EQuorrin& e) {
        qWarning("%s", e.what());
    } catch (const std::exception& e) {
        qWarning("%s", e.what());
    } catch (...) {
        qWarning("unknown error");
    }
}
