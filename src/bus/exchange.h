// One exchange with an instrument, the only way the display, the console and
// the init and off sequences talk to one: with the bus held, a lost
// controller tried again, stale input discarded, it addresses the
// instrument, sends the command, pauses, sends the read command and collects
// the answer.
#pragma once

#include "config/records.h"

enum class GpibRead {
    None,  // nothing read; the answer emptied
    One,   // one answer into resp
    Drain, // answers read and thrown away until one read times out
};

struct GpibStep {
    const char* value = ""; // appended to the command
    bool command = true;    // false: only addressed (and the pause taken)
    long pauseMs = 0;       // after the command
    bool readCmd = false;   // send the controller's read command
    GpibRead read = GpibRead::None;
    int shift = 0;     // drop the answer's first word
    bool late = false; // part of the clean-up, which goes on after the stop
};

enum class GpibDone {
    Answered, // the command went out and its answer is in resp
    Sent,     // the command went out; nothing was to be collected
    NoAnswer, // the command went out; no answer came ("ERR" in resp)
    NotSent,  // controller closed or lost, still busy with an earlier
              // query, or the line not taken whole ("ERR" in resp)
    Stopped,  // the run is ending; nothing was sent ("ERR" in resp)
};

// Takes the bus for one exchange: cmd (with the step's value) to the
// instrument at `at`; what it answers, or "ERR", goes to resp.
GpibDone gpibExchange(const GpibAt& at, const char* cmd, const GpibStep& step, Answer& resp);
