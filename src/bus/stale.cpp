#include "bus/stale.h"

#include <bsd/stdio.h>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "bus/port.h"
#include "bus/reader.h"
#include "config/records.h"
#include "util/clock.h"

namespace {

constexpr long long kNsPerMs = 1000000LL;
constexpr int kHighestAddress = 30;

// What the stream has read ahead and not handed out yet (glibc's own count:
// stdio has no portable way to ask).
bool streamHolds(FILE* fp) {
    return fp->_IO_read_ptr < fp->_IO_read_end;
}

// Only a "++" controller is known to answer the query form of its
// addressing command; without one the discard before each query is all.
bool fenceable(int dev) {
    return strncmp(cfg().ctl[dev].addr.cmd, "++", 2) == 0 && cfg().ctl[dev].read.to > 0;
}

// The fence's answer: the selected address (any while it is not known), ended
// by CR LF as the controller ends its own replies, where instruments' answers
// pass with their own LF.
bool fenceAnswer(int dev, const char* line) {
    if (isdigit(static_cast<unsigned char>(line[0])) == 0) return false;
    char* end = nullptr;
    long n = strtol(line, &end, 10);
    if (strcmp(end, "\r\n") != 0) return false;
    int32_t selected = gpibCtl[dev].addr;
    return selected >= 0 && selected <= kHighestAddress ? n == selected : n <= kHighestAddress;
}

bool awaitFence(int dev) {
    char line[64];
    timespec end = clkAddNs(clkNow(), cfg().ctl[dev].read.to * kNsPerMs);
    for (;;) {
        long long left = clkDiffNs(clkNow(), end) / kNsPerMs;
        if (left <= 0) return false;
        int got = gpibReadLine(dev, line, sizeof line, static_cast<int>(left));
        if (got == 0) return false;
        if (got > 0 && fenceAnswer(dev, line)) {
            gpibCtl[dev].fenceOpen = false;
            return true;
        }
    }
}

} // namespace

bool gpibDiscard(int dev) {
    FILE* fp = gpibCtl[dev].stream;
    if (fp == nullptr) return false;
    bool found = streamHolds(fp);
    fpurge(fp);
    int fd = fileno(fp);
    // One call tells whether the kernel holds anything; only then is it
    // emptied, so a quiet controller costs a reading one system call.
    int waiting = 0;
    if (ioctl(fd, FIONREAD, &waiting) != 0 || waiting <= 0) return found;
    if (isatty(fd) != 0 && tcflush(fd, TCIFLUSH) == 0) return true;
    char sink[512];
    while (read(fd, sink, sizeof sink) > 0) {
    }
    return true;
}

void gpibFence(int dev) {
    if (gpibCtl[dev].fenceOpen || gpibCtl[dev].stream == nullptr || !fenceable(dev)) return;
    if (gpibPuts(dev, cfg().ctl[dev].addr.cmd) >= 0) gpibCtl[dev].fenceOpen = true;
}

bool gpibSettle(int dev) {
    if (gpibCtl[dev].fenceOpen && !awaitFence(dev)) return false;
    if (!gpibDiscard(dev)) return true;
    gpibFence(dev);
    return !gpibCtl[dev].fenceOpen || awaitFence(dev);
}

void gpibFenceClear(int dev) {
    gpibCtl[dev].fenceOpen = false;
}
