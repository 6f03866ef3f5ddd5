#include "app/Main.h"

void TFMmain::BT_ConnectClick() {}

void TFMmain::CloseSerialLinkForExit() {}
