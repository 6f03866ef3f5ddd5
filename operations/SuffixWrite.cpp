#include "app/Main.h"

void TFMmain::SuffixWriteClick() {}

void TFMmain::BTBoardWriteClick() {}

void TFMmain::EDCompanyExit() {}

void TFMmain::EDYearExit() {}
