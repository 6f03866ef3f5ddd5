#include "app/Main.h"

void TFMmain::BTOpenClick() {}

void TFMmain::BTSaveClick() {}

void TFMmain::RxDataSave() {}
