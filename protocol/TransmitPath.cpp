#include "app/Main.h"

void TFMmain::BT_RequestClick() {}

void TFMmain::BT_TXClearClick() {
    Mm_TX->clear();
}
