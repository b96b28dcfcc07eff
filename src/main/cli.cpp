#include "main/cli.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <strings.h>

#include "display/display.h"
#include "screen/layout.h"
#include "util/result.h"

Flag Flags[kFlagCount] = {
    {"-c", "use different config file", nullptr},
    {"-d", "dump config file & exit", nullptr},
    {"-f", "force display reset always", nullptr},
    {"-g", "log config (console) commands to file", nullptr},
    {"-l", "log display data to <file>", nullptr},
    {"-r", "reset display on ERR", nullptr},
    {"-u", "update display every <mS>", nullptr},
};

const char* const prgName = "quorvel";

namespace {

#ifdef __clang__
constexpr const char* kCompiler = __VERSION__;
#else
constexpr const char* kCompiler = "g++ " __VERSION__;
#endif

unsigned flagsGiven;

// The table position of the flag arg is, or -1.
int flagOf(const char* arg) {
    for (int b = 0; b < kFlagCount; b++)
        if (strncasecmp(arg, Flags[b].name, 2) == 0) return b;
    return -1;
}

} // namespace

void cliUsage() {
    scrBanner();
    printf("Syntax:  %s (flags) <device> (<device>).  Optional flags:", prgName);
    for (const Flag& f : Flags) printf("\n\t%s - %s", f.name, f.help);
}

int cliParse(int argc, char** argv) {
    int highest = 0;
    for (int i = 1; i < argc; i++) {
        int b = flagOf(argv[i]);
        if (b < 0) continue;
        Flags[b].value = argv[i];
        flagsGiven |= 1U << b;
        highest = i;
    }
    flagDspForce = cliGiven(kFlagForce) ? 1 : 0;
    flagDspReset = cliGiven(kFlagReset) ? 1 : 0;
    return highest + 1;
}

bool cliGiven(FlagBit bit) {
    return (flagsGiven & (1U << bit)) != 0;
}

const char* cliValue(FlagBit bit) {
    return cliGiven(bit) ? Flags[bit].value + 2 : nullptr;
}

bool cliInterval() {
    if (!cliGiven(kFlagUpdate)) return true;
    errno = 0;
    long ms = strtol(cliValue(kFlagUpdate), nullptr, 10);
    // Beyond these the interval would overflow or never sleep at all.
    if (errno == ERANGE || ms < 0 || ms > kMaxIntervalMs) {
        resultWhy({Flags[kFlagUpdate].value, ": interval must be 0 to 86400000 ms"});
        return false;
    }
    update_tm.tv_sec = static_cast<time_t>(ms / 1000);
    update_tm.tv_nsec = (ms % 1000) * 1000000L;
    return true;
}

void cliVersion() {
    printf("%s %d.%d.%d (built with %s)", prgName, kVerMajor, kVerMinor, kVerBuild, kCompiler);
}

int cliNoDevice(int argc, char** argv) {
    // The last argument is a flag; anything else before it was meant as a
    // device.
    for (int i = 1; i + 1 < argc; i++) {
        if (flagOf(argv[i]) >= 0) continue;
        resultWhy({argv[argc - 1], ": flags go before the devices"});
        return kResultBadArgs;
    }
    resultWhy({"no device given: ", prgName, " (flags) <device> (<device>)"});
    return kResultBadArgs;
}
