// quorvel: a console for laboratory instruments on a GPIB bus.
#include <cstring>

#include "config/dump.h"
#include "config/loader.h"
#include "main/cli.h"
#include "main/run.h"
#include "main/signals.h"
#include "util/clock.h"
#include "util/result.h"

int main(int argc, char** argv) {
    runGuardStdio();
    sigIgnoreWriteFaults();
    clkTightSlack();
    int result = kResultNoArgs;
    if (argc < 2) {
        cliUsage();
        runFinish(result);
    }
    if (argc == 2 && (strcmp(argv[1], "-h") == 0 || strcmp(argv[1], "--help") == 0)) {
        cliUsage();
        runFinish(kResultSuccess);
    }
    if (argc == 2 && strcmp(argv[1], "--version") == 0) {
        cliVersion();
        runFinish(kResultSuccess);
    }
    int firstDevice = cliParse(argc, argv);
    const char* cfg = cliGiven(kFlagCfg) ? cliValue(kFlagCfg) : argv[0];
    result = loadCfg(cfg, cliGiven(kFlagCfg) ? 1 : 0);
    if (result == 0 && cliGiven(kFlagDump)) {
        dumpCfg();
    } else if (result == 0) {
        result = cliInterval() ? runStart(argc, argv, firstDevice) : kResultBadArgs;
    }
    runFinish(result);
}
