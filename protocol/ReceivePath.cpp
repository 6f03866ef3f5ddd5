#include "app/Main.h"

void TFMmain::ComPort1RxChar(int) {}

void TFMmain::ClientRead() {}

void TFMmain::Timer10Timer() {}

void TFMmain::BT_RXClearClick() {
    Mm_RX->clear();
}
