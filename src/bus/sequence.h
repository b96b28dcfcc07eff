// The command sequences that frame a run: the init list sent once at start,
// the off list sent once at the end.
#pragma once

#include <initializer_list>

#include "config/records.h"

// Shown while a wait-for-answer step repeats: the attempt number, the last
// answer (null while its controller, numbered from 1, is lost) and the
// expected one; last is set once the wait has ended.
using InitWatch = void (*)(unsigned attempt, const char* got, const char* want, int controller,
                           bool last);

// How the init sequence is shown: each step's message as a line of its own
// (its parts joined; the bus writes nothing to the terminal itself), and the
// attempts of a wait.
struct InitShow {
    void (*say)(std::initializer_list<const char*> parts);
    InitWatch watch;
};

// Runs the init steps in order: delays, wait-for-answer loops (watched
// after the first attempt, then at most ten times a second, and with the last
// one) and plain commands with a drain of what they answer. Always returns 0.
int gpibInit(const InitShow& show);

// Tries lost controllers once more, then sends each off command whose
// controller is open, in order; the caller has taken the bus from the
// display. Always returns 0.
int gpibOff();

// Reads and discards answer lines until one read times out (or an
// instrument has flooded the controller for too long).
void gpibDrain(int dev, bool interruptible);
