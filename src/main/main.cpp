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
    if (argc < 2) {
        cliUsage();
        runFinish(kResultNoArgs);
    }
    if (argc == 2 && (strcmp(argv[1], "-h") == 0 || strcmp(argv[1], "--help") == 0)) {
        cliUsage();
        runFinish(kResultSuccess);
    }
    if (argc == 2 && strcmp(argv[1], "--version") == 0) {
        cliVersion();
        runFinish(kResultSuccess);
    }
    Options opts;
    int result = cliParse(argc, argv, &opts);
    if (result == 0 && loadCfg(opts.cfgPath != nullptr ? opts.cfgPath : argv[0],
                               opts.cfgPath != nullptr ? 1 : 0) != 0)
        result = kResultBadConfig;
    if (result == 0 && opts.dump)
        dumpCfg();
    else if (result == 0)
        result = runStart(opts);
    runFinish(result);
}
