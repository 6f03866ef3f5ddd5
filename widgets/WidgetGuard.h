#pragma once

#include <exception>
#include <utility>

// The widgets' event handlers run through this guard, so that an error ends only the handler it
// came from and never crosses Qt's signal, slot or event machinery. What becomes of the error is
// the program's business: it installs a handler (the main program shows the default error box);
// without one the error is logged.
using TWidgetErrorHandler = void (*)(std::exception_ptr error) noexcept;
void SetWidgetErrorHandler(TWidgetErrorHandler handler) noexcept;
void ReportWidgetError(std::exception_ptr error) noexcept;

template <typename Handler>
void WidgetGuard(Handler&& handler) noexcept {
    try {
        std::forward<Handler>(handler)();
    } catch (...) {
        ReportWidgetError(std::current_exception());
    }
}
