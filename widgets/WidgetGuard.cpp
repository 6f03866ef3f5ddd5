#include "widgets/WidgetGuard.h"

#include <QtGlobal>
#include <atomic>

namespace {

std::atomic<TWidgetErrorHandler> InstalledHandler{nullptr};

}  // namespace

void SetWidgetErrorHandler(TWidgetErrorHandler handler) noexcept {
    InstalledHandler = handler;
}

void ReportWidgetError(std::exception_ptr error) noexcept {
    if (const TWidgetErrorHandler handler = InstalledHandler) {
        handler(error);
        return;
    }
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        qWarning("error in a widget's handler: %s", e.what());
    } catch (...) {
        qWarning("unknown error in a widget's handler");
    }
}
