#include "operations/OperationState.h"

TOperationState OpState;
