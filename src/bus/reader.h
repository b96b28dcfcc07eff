// Collecting one answer line from an instrument.
#pragma once

#include <cstddef>

#include "config/records.h"

// Reads one line from controller dev into resp within its time-out (counted
// in 1 ms attempts). Returns the attempts left (nonzero) on success, or 0
// with "ERR" in resp. With shift set the answer's first word is dropped.
int gpibRead(int dev, Answer& resp, int shift);

// Reads one non-empty line from controller dev into line, as it came (its
// CR and LF kept, NUL bytes dropped), within attempts of 1 ms. Returns the
// attempts left, 0 when none came in time or the controller was lost, or -1
// for a line too long for line, read to its end.
int gpibReadLine(int dev, char* line, size_t size, int attempts);
