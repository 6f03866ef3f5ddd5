#pragma once

#include <QLoggingCategory>

// The serial layer's log for service staff: every refused system call with the platform's
// description, on stderr. The operator sees only the program's own messages.
Q_DECLARE_LOGGING_CATEGORY(lcSerial)
