// Collecting one answer line from an instrument.
#pragma once

#include "config/records.h"

// Reads one line into rec->resp within the controller's time-out (counted in
// 1 ms attempts). Returns the attempts left (nonzero) on success, or 0 with
// "ERR" in resp. With shift set the answer's first word is dropped.
int gpibRead(GpibRec* rec, int shift);
