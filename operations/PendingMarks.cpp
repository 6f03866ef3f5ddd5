#include "app/Main.h"

void TFMmain::ExpirePendingMarks() {}
