// The command line: the flag table, the usage text and the reading of the
// arguments into one options value.
#pragma once

#include "config/records.h"

constexpr int kFlagCount = 8;
enum FlagBit {
    kFlagCfg,
    kFlagDump,
    kFlagForce,
    kFlagCmdLog,
    kFlagDataLog,
    kFlagMetrics,
    kFlagReset,
    kFlagUpdate
};

struct Flag {
    const char* name;
    const char* value; // what follows the flag in the same argument, for the usage
    const char* help;
};

extern const Flag Flags[kFlagCount];
extern const char* const prgName;

constexpr long kMaxIntervalMs = 86400000L;

// What the command line asks for.
struct Options {
    const char* given[kFlagCount] = {}; // each flag's argument as written, null when not given
    const char* cfgPath = nullptr;      // -c: used as written; null: invocation path + ".conf"
    bool dump = false;
    bool force = false;
    bool reset = false;
    const char* cmdLog = nullptr;
    const char* dataLog = nullptr;
    const char* metrics = nullptr;
    long intervalMs = 900;
    const char* devices[kControllers] = {};
    int deviceCount = 0;
    // The last argument, a flag, when something before it was meant as a device.
    const char* flagAfterDevice = nullptr;
};

// Prints the banner, the syntax line and the flags.
void cliUsage();

// Prints the name, the version and the compiler it was built with.
void cliVersion();

// Reads the arguments into opts; returns 0, or 2 with the detail when a
// value is detached from its flag or -u is no number of milliseconds.
int cliParse(int argc, char** argv, Options* opts);

// Names why no device follows the flags; returns the result.
int cliNoDevice(const Options& opts);
