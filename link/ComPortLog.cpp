#include "link/ComPortLog.h"

Q_LOGGING_CATEGORY(lcSerial, "quorrin.serial")
