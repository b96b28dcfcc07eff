#include "main/run.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <unistd.h>

#include "bus/port.h"
#include "bus/sequence.h"
#include "config/records.h"
#include "console/cmdlog.h"
#include "console/cmdproc.h"
#include "display/datalog.h"
#include "display/display.h"
#include "main/cli.h"
#include "main/signals.h"
#include "screen/layout.h"

namespace {

// One-shot guard: whoever takes it first runs the clean-up.
std::atomic<int> recurse{1};

bool controllerOpen(int dev) {
    BusLock bus(busMutex);
    return GpibDev[dev] != nullptr;
}

void controllerClose(int dev) {
    BusLock bus(busMutex);
    gpibClose(dev);
}

void cleanupSteps() {
    busStopping.store(1);
    if (controllerOpen(0)) {
        gpibOff(Index[kOffHead]);
        controllerClose(0);
    }
    controllerClose(1);
    logClose();
}

} // namespace

int runStart(int argc, char** argv, int firstDevice) {
    if (cliGiven(kFlagDataLog) && logCreate(cliValue(kFlagDataLog)) != 0) return kResultDataLog;
    if (cliGiven(kFlagCmdLog)) {
        Logc_fp = cliValue(kFlagCmdLog);
        if (gpibLogc(Logc_fp, nullptr, nullptr, nullptr) == 0) return kResultCmdLog;
    }
    if (firstDevice >= argc) return 2;
    if (gpibOpen(0, argv[firstDevice]) == 0) return 4;
    if (firstDevice + 1 < argc && gpibOpen(1, argv[firstDevice + 1]) == 0) return 4;
    gpibBind();
    if (sigStart() != 0) return 5;
    if (gpibInit(Index[kInitHead]) != 0) return 6;
    scrSetup();
    if (dspStart() != 0) return 7;
    return cmdProc();
}

bool runCleanup() {
    if (recurse.exchange(0) == 0) return false;
    int saved = errno;
    cleanupSteps();
    errno = saved;
    return true;
}

void runFinish(int result) {
    if (!runCleanup()) {
        // A signal's clean-up is running; it ends the process.
        for (;;) pause();
    }
    if (result > 1 && result < kResultCount)
        fprintf(stderr, "\n%s:  %s, errno=%d.", prgName, retCode[result], errno);
    puts("\n");
    fflush(stdout);
    fflush(stderr);
    _exit(result);
}
