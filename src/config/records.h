// The configuration of a run: one record type per kind of line, each kind
// in a fixed array of the one configuration value, `cfgStore`. The loader
// fills it once; everything else only reads it. Run-time state lives apart:
// the controllers' streams and address cache with the bus (bus/port.h), the
// readings' current answers with the display (display/answers.h).
#pragma once

#include <cstddef>
#include <cstdint>

// Room for what real instruments take and the screen shows: a SCPI command
// of 127 characters, a label or help text as wide as a screen row (79
// columns), an answer of 63 characters.
constexpr size_t kCmdSize = 128;
constexpr size_t kLabelSize = 80;
constexpr size_t kTextSize = 80;
constexpr size_t kRespSize = 64;
constexpr size_t kBoundSize = 32;

// Records of all kinds together, controller settings aside.
constexpr int kMaxRecords = 500;
constexpr int kControllers = 2;
constexpr const char* kAryMath = " +-*/";
constexpr const char* kDspErr = "ERR";

// One answer: the last line an instrument sent, "ERR", or a calculated result.
using Answer = char[kRespSize];

// Where a line goes: controller 0 or 1 and the instrument's GPIB address as
// written in the file.
struct GpibAt {
    uint32_t dev;
    int32_t adr;
};

// "init:": a command, a wait for an expected answer, or a "$delay$".
struct InitStep {
    GpibAt at;
    char cmd[kCmdSize];
    char cresp[kRespSize]; // the answer to wait for; empty: none
    int32_t delay;         // ms, "$delay$" only
};

// "cfg:": a command the user types by name.
struct DictCmd {
    GpibAt at;
    char name[kLabelSize];
    char cmd[kCmdSize];
    int32_t usrv;  // nonzero: a value must follow the name
    uint32_t crsp; // nonzero: the command answers
    char hlp[kTextSize];
};

// An operand of a calculation: a 1-based display position, or 0 for the
// constant.
struct Operand {
    uint32_t pos;
    float constant;
};

// The calculation of a "$calc$" reading; op indexes kAryMath, 0 = none.
struct Calc {
    int32_t op;
    Operand a;
    Operand b;
    uint32_t precision; // digits after the point
};

// "dsp:": a reading polled or calculated at every pass.
struct Reading {
    GpibAt at;
    char label[kLabelSize];
    char cmd[kCmdSize];
    int32_t row;   // screen row, 0 = not shown
    uint32_t rltx; // nonzero: the answer's first word is dropped
    Calc calc;
    char info[kTextSize];
};

// "off:": a command sent at the end of the run.
struct OffCmd {
    GpibAt at;
    char cmd[kCmdSize];
};

// "lim:": a guard limit on a reading.
struct Limit {
    uint32_t reading;     // 1-based display position
    char low[kBoundSize]; // bounds as written; empty: none
    char high[kBoundSize];
    int32_t passes; // in a row outside before it acts
    char action[kCmdSize];
    uint32_t err; // nonzero: ERR counts as outside
};

// A controller's "read:" and "addr:" lines as written (their adr is only
// shown by the dump); a later line replaces an earlier one.
struct CtlRead {
    GpibAt at;
    char cmd[kCmdSize]; // read command; empty: none
    int32_t to;         // reply time-out in 1 ms attempts
};
struct CtlAddr {
    GpibAt at;
    char cmd[kCmdSize]; // addressing command; empty: none
};
struct Controller {
    CtlRead read;
    CtlAddr addr;
};

// The records of one kind, in file order.
template <class R> struct Records {
    R at[kMaxRecords];
    int count;
    const R* begin() const { return at; }
    const R* end() const { return at + count; }
    // The record at a 1-based position, or null.
    const R* pos(uint32_t p) const { return p >= 1 && p <= uint32_t(count) ? &at[p - 1] : nullptr; }
};

struct Config {
    Records<InitStep> init;
    Records<DictCmd> dict;
    Records<Reading> dsp;
    Records<OffCmd> off;
    Records<Limit> lim;
    Controller ctl[kControllers];
};

// Written by the loader on the main thread before any other thread starts
// (and by unit tests); read by every thread after that, never written.
extern Config cfgStore;
inline const Config& cfg() {
    return cfgStore;
}

// Empties every kind and resets the controller settings.
void cfgClear();

// The dictionary command of that name (any case), or null.
const DictCmd* cfgDictFind(const char* name);
