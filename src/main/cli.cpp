#include "main/cli.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "screen/layout.h"
#include "util/result.h"

const Flag Flags[kFlagCount] = {
    {"-c", "<file>", "use different config file"},
    {"-d", "", "dump config file & exit"},
    {"-f", "", "force display reset always"},
    {"-g", "<file>", "log config (console) commands to file"},
    {"-l", "<file>", "log display data to <file>"},
    {"-m", "<file>", "write metrics for Prometheus to <file>"},
    {"-r", "", "reset display on ERR"},
    {"-u", "<mS>", "update display every <mS>"},
};

const char* const prgName = "quorvel";

namespace {

#ifdef __clang__
constexpr const char* kCompiler = __VERSION__;
#else
constexpr const char* kCompiler = "g++ " __VERSION__;
#endif

// The table position of the flag arg is, or -1.
int flagOf(const char* arg) {
    for (int b = 0; b < kFlagCount; b++)
        if (strncasecmp(arg, Flags[b].name, 2) == 0) return b;
    return -1;
}

bool allDigits(const char* s) {
    return s[0] != '\0' && strspn(s, "0123456789") == strlen(s);
}

// A flag written with a blank before its value takes the value as a device
// path; it is named instead. An empty -u is caught as no number.
int cliDetached(int b, const char* next) {
    bool number = b == kFlagUpdate;
    if (number && (next == nullptr || !allDigits(next))) return 0;
    resultWhy({Flags[b].name, number ? " needs its value attached: " : " needs its file attached: ",
               Flags[b].name, next != nullptr && flagOf(next) < 0 ? next : Flags[b].value});
    return kResultBadArgs;
}

// Decimal digits only: "2s" or "1.5" would otherwise run passes back to back.
int cliInterval(const char* arg, long* ms) {
    const char* v = arg + 2;
    errno = 0;
    if (allDigits(v) && (*ms = strtol(v, nullptr, 10)) <= kMaxIntervalMs && errno == 0) return 0;
    resultWhy({arg, ": interval must be 0 to 86400000 ms, in digits"});
    return kResultBadArgs;
}

} // namespace

void cliUsage() {
    scrBanner();
    printf("Syntax:  %s (flags) <device> (<device>).  Optional flags:", prgName);
    for (const Flag& f : Flags) printf("\n\t%s%s - %s", f.name, f.value, f.help);
    printf("\n\t<device> - a path such as /dev/ttyUSB0, or tcp://HOST[:PORT]"
           "\n\t--version - print the version; -h or --help - this text");
}

int cliParse(int argc, char** argv, Options* opts) {
    int highest = 0;
    for (int i = 1; i < argc; i++) {
        int b = flagOf(argv[i]);
        if (b < 0) continue;
        opts->given[b] = argv[i];
        highest = i;
    }
    const char* const* given = opts->given;
    for (int b : {kFlagCfg, kFlagCmdLog, kFlagDataLog, kFlagMetrics, kFlagUpdate}) {
        if (given[b] == nullptr || given[b][2] != '\0') continue;
        int at = 1;
        while (argv[at] != given[b]) at++;
        if (int r = cliDetached(b, at + 1 < argc ? argv[at + 1] : nullptr); r != 0) return r;
    }
    if (given[kFlagUpdate] != nullptr)
        if (int r = cliInterval(given[kFlagUpdate], &opts->intervalMs); r != 0) return r;
    opts->cfgPath = given[kFlagCfg] != nullptr ? given[kFlagCfg] + 2 : nullptr;
    opts->dump = given[kFlagDump] != nullptr;
    opts->force = given[kFlagForce] != nullptr;
    opts->reset = given[kFlagReset] != nullptr;
    opts->cmdLog = given[kFlagCmdLog] != nullptr ? given[kFlagCmdLog] + 2 : nullptr;
    opts->dataLog = given[kFlagDataLog] != nullptr ? given[kFlagDataLog] + 2 : nullptr;
    opts->metrics = given[kFlagMetrics] != nullptr ? given[kFlagMetrics] + 2 : nullptr;
    for (int i = highest + 1; i < argc && opts->deviceCount < kControllers; i++)
        opts->devices[opts->deviceCount++] = argv[i];
    // The last argument is a flag; anything else before it was meant as a
    // device.
    for (int i = 1; i + 1 < argc && highest == argc - 1; i++)
        if (flagOf(argv[i]) < 0) opts->flagAfterDevice = argv[argc - 1];
    return 0;
}

void cliVersion() {
    printf("%s %d.%d.%d (built with %s)", prgName, kVerMajor, kVerMinor, kVerBuild, kCompiler);
}

int cliNoDevice(const Options& opts) {
    if (opts.flagAfterDevice != nullptr)
        resultWhy({opts.flagAfterDevice, ": flags go before the devices"});
    else
        resultWhy({"no device given: ", prgName, " (flags) <device> (<device>)"});
    return kResultBadArgs;
}
