// The readings' current answers: what each display reading last got from
// its instrument, "ERR", or its calculated result, by display position.
#pragma once

#include <cstdint>

#include "config/records.h"

// Written by the display thread during a pass; read by it (calculations, the
// guard, the screen, the data log, the metrics) and by the clean-up's last
// metrics write once the display has stopped.
extern Answer dspAnswers[kMaxRecords];

// The answer of the reading at a 1-based display position.
inline const char* dspAnswer(uint32_t pos) {
    return dspAnswers[pos - 1];
}
