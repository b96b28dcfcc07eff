// The command line: the flag table, the usage text and the reading of the
// arguments.
#pragma once

constexpr int kFlagCount = 7;
enum FlagBit {
    kFlagCfg,
    kFlagDump,
    kFlagForce,
    kFlagCmdLog,
    kFlagDataLog,
    kFlagReset,
    kFlagUpdate
};

struct Flag {
    const char* name;
    const char* help;
    const char* value; // the whole argument; the value starts after two characters
};

extern Flag Flags[kFlagCount];
extern const char* const prgName;

// Prints the banner, the syntax line and the flags.
void cliUsage();

// Prints the name, the version and the compiler it was built with.
void cliVersion();

// Reads the flags; returns the position of the first device path (argc
// when there is none).
int cliParse(int argc, char** argv);

bool cliGiven(FlagBit bit);
// The value of a given flag: its argument without the two flag characters.
const char* cliValue(FlagBit bit);

// Sets the display interval from -u, when given; false (with the detail)
// when the value is negative or longer than a day.
constexpr long kMaxIntervalMs = 86400000L;
bool cliInterval();

// Names why no device follows the flags; returns the result.
int cliNoDevice(int argc, char** argv);
