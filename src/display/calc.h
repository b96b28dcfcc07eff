// Calculated readings: one arithmetic operation on two other readings or
// constants, in single precision, formatted into the record's response.
#pragma once

#include "config/records.h"

void gpibCalc(GpibRec* rec);
