#include "app/Main.h"

void TFMmain::BT_ReadClick() {}

void TFMmain::BT_WriteClick() {}

void TFMmain::btTextWriteClick() {}

void TFMmain::Timer50Timer() {}

void TFMmain::RxDataProcess() {}

void TFMmain::TxDataProcess() {}

void TFMmain::UpdateMemoryButtons() {}
