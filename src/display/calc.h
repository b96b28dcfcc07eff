// Calculated readings: one arithmetic operation on two other readings'
// answers or constants, in single precision, formatted into out.
#pragma once

#include "config/records.h"

void gpibCalc(const Calc& c, Answer& out);
