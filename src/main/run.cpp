#include "main/run.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

#include "bus/net.h"
#include "bus/port.h"
#include "bus/sequence.h"
#include "config/loader.h"
#include "config/records.h"
#include "console/cmdlog.h"
#include "console/cmdproc.h"
#include "display/datalog.h"
#include "display/display.h"
#include "display/handshake.h"
#include "display/metrics.h"
#include "main/cli.h"
#include "main/signals.h"
#include "screen/layout.h"
#include "screen/screen.h"
#include "screen/tty.h"
#include "util/fileid.h"
#include "util/result.h"

namespace {

// One-shot guard: whoever takes it first runs the clean-up.
std::atomic<int> recurse{1};
// Set once the run is set up (controllers open, logs started): from then on
// the off sequence has work.
std::atomic<int> armed{0};
// Orders the end of the start-up against a clean-up: either the clean-up
// comes first and nothing more starts, or screen and display thread exist.
std::mutex startMutex;

bool controllerOpen(int dev) {
    BusLock bus(busMutex);
    return gpibCtl[dev].stream != nullptr;
}

void controllerClose(int dev) {
    BusLock bus(busMutex);
    gpibRestore(dev);
    gpibClose(dev);
}

void cleanupSteps() {
    {
        std::lock_guard<std::mutex> lock(startMutex);
        busStopping.store(1);
    }
    dspWake();
    if (armed.load() != 0) {
        dspStop();
        gpibOff();
    }
    for (int dev = 0; dev < kControllers; dev++)
        if (controllerOpen(dev)) controllerClose(dev);
    logClose();
    // A refused start writes nothing; a run that began says it has ended.
    if (armed.load() != 0) metricsClose();
    scrFlowRestore();
    // The last lines of the run go below the screen, not over it.
    scrLeave();
}

// What a log at path would overwrite: the configuration or a device; null
// when neither.
const char* inputAt(const char* path, const Options& opts) {
    if (fileSame(path, cfgFileName())) return "the configuration";
    for (int i = 0; i < opts.deviceCount; i++)
        if (fileSame(path, opts.devices[i])) return i == 0 ? "controller 1" : "controller 2";
    return nullptr;
}

// A refused log, named by its flag as written.
int logRefused(int result, const Options& opts, FlagBit flag, const char* why,
               const char* what = "") {
    resultWhy({opts.given[flag], ": ", why, what});
    return result;
}

// Why a log could not be opened or started.
const char* logWhy(int err) {
    return err == EWOULDBLOCK ? "in use by another program (locked)" : resultSysErr(err);
}

// The logs are opened, and checked against each other and the inputs,
// before anything is written anywhere.
// Last, once both logs exist: the metrics file is renamed over, so it may
// not stand where anything else is.
int runOpenMetrics(const Options& opts) {
    const char* path = opts.metrics;
    if (path == nullptr) return 0;
    const char* in = inputAt(path, opts);
    if (in == nullptr && fileSame(path, opts.dataLog)) in = "the data log";
    if (in == nullptr && fileSame(path, opts.cmdLog)) in = "the command log";
    if (in != nullptr)
        return logRefused(kResultDataLog, opts, kFlagMetrics, "would overwrite ", in);
    if (metricsOpen(path, opts.deviceCount) != 0)
        return logRefused(kResultDataLog, opts, kFlagMetrics,
                          errno == EEXIST ? "not a regular file" : resultSysErr(errno));
    return 0;
}

int runOpenLogs(const Options& opts) {
    const char* data = opts.dataLog;
    if (data != nullptr) {
        if (const char* in = inputAt(data, opts))
            return logRefused(kResultDataLog, opts, kFlagDataLog, "would overwrite ", in);
        if (logOpenFile(data) != 0)
            return logRefused(kResultDataLog, opts, kFlagDataLog, logWhy(errno));
    }
    const char* cmd = opts.cmdLog;
    if (cmd != nullptr) {
        const char* in = inputAt(cmd, opts);
        if (in == nullptr && fileSame(cmd, data)) in = "the data log";
        if (in != nullptr)
            return logRefused(kResultCmdLog, opts, kFlagCmdLog, "would overwrite ", in);
        if (int err = gpibLogcStart(cmd); err != 0)
            return logRefused(kResultCmdLog, opts, kFlagCmdLog, logWhy(err));
    }
    return runOpenMetrics(opts);
}

int deviceRefused(const char* path) {
    int err = errno;
    const char* why = resultSysErr(err);
    if (err == ENAMETOOLONG) {
        why = "path too long (255 bytes at most)";
    } else if (netIsUrl(path)) {
        if (err == EINVAL) why = "no address of the form tcp://HOST[:PORT]";
        if (err == ENOENT) why = "no such host";
        if (err == EAGAIN) why = "no name server answers";
    } else if (err == EWOULDBLOCK) {
        why = "in use by another program (locked)";
    } else if (err == ENOENT && path[0] == '-') {
        why = "neither a known flag nor a device";
    }
    resultWhy({path, ": ", why});
    return kResultDevice;
}

// The same device twice would be refused as locked by another program.
bool sameDevice(const Options& opts) {
    const char* a = opts.devices[0];
    const char* b = opts.devices[1];
    if (opts.deviceCount < 2 || (strcmp(a, b) != 0 && !fileSame(a, b))) return false;
    resultWhy({b, ": the same device as controller 1 (", a, ")"});
    return true;
}

// The warnings of the configuration, counted among the init messages.
void runWarnCount() {
    int n = cfgWarnings();
    if (n == 0) return;
    char line[320];
    textJoin(line, sizeof line,
             {TextNum(n), n == 1 ? " warning in " : " warnings in ", cfgFileName(), "; ", prgName,
              " -d shows them"});
    scrInitLine({line});
}

// The one report of a run's end: the detail, the result's line, the exit.
[[noreturn]] void runReport(int result, int sig) {
    int err = resultErrno();
    char line[1280];
    if (result == kResultSignal) {
        // The fixed line alone says what happened.
        snprintf(line, sizeof line, "\n%s terminating on signal %d.\n", prgName, sig);
        scrLast(line, true);
        _exit(result);
    }
    if (result > 1 && resultWhyText()[0] != '\0') {
        snprintf(line, sizeof line, "%s: %s\n", prgName, resultWhyText());
        scrLast(line, true);
    }
    if (result > 1 && result < kResultCount) {
        snprintf(line, sizeof line, "\n%s:  %s, errno=%d.", prgName, retCode[result], err);
        scrLast(line, true);
    }
    scrLast("\n\n", false);
    _exit(result);
}

} // namespace

void runGuardStdio() {
    // A closed standard stream would hand its number to the first file
    // opened, and the screen would be drawn into a log or onto the bus.
    for (int fd = 0; fd <= 2; fd++)
        if (fcntl(fd, F_GETFD) < 0 && errno == EBADF) open("/dev/null", O_RDWR);
}

int runStart(const Options& opts) {
    if (int r = runOpenLogs(opts); r != 0) return r;
    if (opts.deviceCount == 0) return cliNoDevice(opts);
    if (sameDevice(opts)) return kResultDevice;
    for (int i = 0; i < opts.deviceCount; i++)
        if (gpibOpen(i, opts.devices[i]) == 0) return deviceRefused(opts.devices[i]);
    // Only now that the run can go ahead is an existing data log emptied.
    if (opts.dataLog != nullptr) {
        if (logStart() != 0) return logRefused(kResultDataLog, opts, kFlagDataLog, logWhy(errno));
        scrSetLogPath(logPath());
    }
    dspConfigure(opts.force, opts.reset, opts.intervalMs);
    dspGuardHooks({cmdGuardCommand, sigLimitEnds});
    armed.store(1);
    if (int rc = sigStart(); rc != 0) {
        resultWhy({"signal thread: ", resultSysErr(rc)});
        return kResultSigInstall;
    }
    runWarnCount();
    if (gpibInit({scrInitLine, scrInitAttempt}) != 0) return kResultInitDevice;
    {
        std::lock_guard<std::mutex> lock(startMutex);
        // A signal during the init sequence: its clean-up ends the run.
        if (busStopping.load() != 0) return kResultSignal;
        scrFlowOff();
        scrSetup();
        if (int rc = dspStart(); rc != 0) {
            resultWhy({"display thread: ", resultSysErr(rc)});
            return kResultThread;
        }
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
    runReport(result, 0);
}

void runSignalled(int sig) {
    runReport(kResultSignal, sig);
}

void runLimited() {
    runReport(kResultLimit, 0);
}
