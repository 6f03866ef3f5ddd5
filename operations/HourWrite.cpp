#include "app/Main.h"

void TFMmain::CB_ModelChange() {}

void TFMmain::BTHourClick() {}
