#include "main/run.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

#include "bus/port.h"
#include "bus/sequence.h"
#include "config/loader.h"
#include "config/records.h"
#include "console/cmdlog.h"
#include "console/cmdproc.h"
#include "display/datalog.h"
#include "display/display.h"
#include "display/handshake.h"
#include "main/cli.h"
#include "main/signals.h"
#include "screen/layout.h"
#include "screen/tty.h"
#include "util/fileid.h"
#include "util/result.h"

namespace {

// One-shot guard: whoever takes it first runs the clean-up.
std::atomic<int> recurse{1};
// Set once every record is bound: from then on the off sequence has work.
std::atomic<int> bound{0};
// Orders the end of the start-up against a clean-up: either the clean-up
// comes first and nothing more starts, or screen and display thread exist.
std::mutex startMutex;
bool screenDrawn; // under startMutex

bool controllerOpen(int dev) {
    BusLock bus(busMutex);
    return GpibDev[dev] != nullptr;
}

void controllerClose(int dev) {
    BusLock bus(busMutex);
    gpibClose(dev);
}

void cleanupSteps() {
    bool drawn = false;
    {
        std::lock_guard<std::mutex> lock(startMutex);
        busStopping.store(1);
        drawn = screenDrawn;
    }
    dspWake();
    if (bound.load() != 0) {
        dspStop();
        gpibOff(Index[kOffHead]);
    }
    for (int dev = 0; dev < kControllers; dev++)
        if (controllerOpen(dev)) controllerClose(dev);
    logClose();
    scrFlowRestore();
    // The last lines of the run go below the screen, not over it.
    if (drawn) {
        scrLeave();
        fflush(stdout);
    }
}

// True when path names the configuration or one of the devices: a log there
// would overwrite it.
bool aliasesInput(const char* path, int argc, char** argv, int firstDevice) {
    if (fileSame(path, cfgFileName())) return true;
    for (int i = firstDevice; i < argc && i < firstDevice + kControllers; i++)
        if (fileSame(path, argv[i])) return true;
    return false;
}

// The logs are opened, and checked against each other and the inputs,
// before anything is written anywhere.
int runOpenLogs(int argc, char** argv, int firstDevice) {
    const char* data = cliValue(kFlagDataLog);
    if (data != nullptr && (aliasesInput(data, argc, argv, firstDevice) || logOpenFile(data) != 0))
        return kResultDataLog;
    if (!cliGiven(kFlagCmdLog)) return 0;
    Logc_fp = cliValue(kFlagCmdLog);
    if (aliasesInput(Logc_fp, argc, argv, firstDevice) || fileSame(Logc_fp, data))
        return kResultCmdLog;
    return gpibLogc(Logc_fp, nullptr, nullptr, nullptr) == 0 ? kResultCmdLog : 0;
}

} // namespace

void runGuardStdio() {
    // A closed standard stream would hand its number to the first file
    // opened, and the screen would be drawn into a log or onto the bus.
    for (int fd = 0; fd <= 2; fd++)
        if (fcntl(fd, F_GETFD) < 0 && errno == EBADF) open("/dev/null", O_RDWR);
}

int runStart(int argc, char** argv, int firstDevice) {
    if (int r = runOpenLogs(argc, argv, firstDevice); r != 0) return r;
    if (firstDevice >= argc) return 2;
    if (gpibOpen(0, argv[firstDevice]) == 0) return 4;
    if (firstDevice + 1 < argc && gpibOpen(1, argv[firstDevice + 1]) == 0) return 4;
    // Only now that the run can go ahead is an existing data log emptied.
    if (cliGiven(kFlagDataLog)) {
        if (logStart() != 0) return kResultDataLog;
        scrSetLogNotice(logPath(), retCode[kResultDataLog]);
    }
    gpibBind();
    bound.store(1);
    if (sigStart() != 0) return 5;
    if (gpibInit(Index[kInitHead], scrInitAttempt) != 0) return 6;
    {
        std::lock_guard<std::mutex> lock(startMutex);
        // A signal during the init sequence: its clean-up ends the run.
        if (busStopping.load() != 0) return kResultSignal;
        scrFlowOff();
        scrSetup(logFailed());
        screenDrawn = true;
        if (dspStart() != 0) return 7;
    }
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
