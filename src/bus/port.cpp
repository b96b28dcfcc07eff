#include "bus/port.h"

#include <bsd/string.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include "bus/net.h"
#include "bus/stale.h"
#include "util/clock.h"

GpibCtl gpibCtl[kControllers];
std::atomic<int> busStopping{0};
std::mutex busMutex;

namespace {

termios gpibTty[kControllers];
// The settings each port had when it was opened, put back when it is closed:
// the port is the user's again after the run.
termios gpibSaved[kControllers];
int gpibSavedFd[kControllers] = {-1, -1};

// Network controllers are looked up once: a reconnect must neither wait on
// a name server with the bus held nor allocate while the program runs.
bool gpibIsNet[kControllers];
NetTarget gpibNet[kControllers];

constexpr long long kRetryNs = 1000000000LL;
constexpr int kConnectMs = 3000;
// A reconnect holds the bus, and so the display, while it waits: a box on
// the local network answers well within this, one that is off never does.
constexpr int kReconnectMs = 500;

constexpr int kWriteRetries = 100;
// Longest line: a command and a typed value (the console takes 68
// characters), or an addressing command and a number, plus the line feed.
constexpr size_t kLineMax = kCmdSize + 128;
constexpr int kWriteWaitMs = 10;

void gpibRaw(int dev, int fd) {
    termios& t = gpibTty[dev];
    if (tcgetattr(fd, &t) != 0) return;
    gpibSaved[dev] = t;
    gpibSavedFd[dev] = fd;
    t.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ECHOE | ECHONL | ISIG);
    t.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
    t.c_cflag |= CREAD | CLOCAL;
    t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | IGNBRK | BRKINT | PARMRK | ISTRIP |
                                        INLCR | IGNCR | ICRNL);
    t.c_oflag &= ~static_cast<tcflag_t>(OPOST | ONLCR);
    tcsetattr(fd, TCSANOW, &t);
}

// A line not written whole: its start may be queued, and the next line would
// join it (VOLT 10 cut to VOLT 1, then the rest of another command). The
// queue is discarded, and the controller is closed as lost: on a serial port
// the close hangs the line up, on the network the connection is reset, and a
// controller drops a line it had begun either way. It is set up again when it
// is back.
void gpibCut(int dev, int fd) {
    if (isatty(fd) != 0) {
        tcflush(fd, TCOFLUSH);
    } else {
        linger now{1, 0};
        setsockopt(fd, SOL_SOCKET, SO_LINGER, &now, sizeof now);
    }
    gpibLost(dev);
}

// Lines go straight to the descriptor: a stdio write on a stream that still
// holds unread input would first seek back over it, which a terminal
// refuses, and the line would be lost. A full output queue is waited out
// briefly instead of losing the line.
int gpibWrite(int dev, const char* line, size_t len) {
    FILE* fp = gpibCtl[dev].stream;
    if (fp == nullptr) return -1;
    int fd = fileno(fp);
    size_t done = 0;
    int tries = 0;
    while (done < len) {
        ssize_t n = write(fd, line + done, len - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN && ++tries < kWriteRetries) {
            pollfd p{fd, POLLOUT, 0};
            poll(&p, 1, kWriteWaitMs);
            continue;
        }
        int err = n < 0 ? errno : 0;
        if (gpibGone(err))
            gpibLost(dev);
        else if (done > 0 || err == EAGAIN)
            gpibCut(dev, fd);
        return -1;
    }
    return static_cast<int>(done);
}

// Opens a device file; a descriptor, or -1.
int openPort(int dev, const char* path) {
    int fd = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    // Two programs on one controller would garble each other's lines.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return -1;
    }
    gpibRaw(dev, fd);
    fcntl(fd, F_SETFL, O_NONBLOCK);
    return fd;
}

// Makes fd controller dev's stream; false (and fd closed) when it cannot.
bool attach(int dev, int fd) {
    FILE* fp = fdopen(fd, "r+");
    if (fp == nullptr) {
        close(fd);
        return false;
    }
    gpibCtl[dev].stream = fp;
    return true;
}

// A controller that comes back may have been power-cycled and lost its
// settings: its own "++" lines of the init list go out again, in order, each
// with the delays that follow it. What they answer is stale input, so the
// controller is fenced.
void gpibSetUp(int dev) {
    bool setting = false;
    bool sent = false;
    for (const InitStep& r : cfg().init) {
        if (r.at.dev != static_cast<uint32_t>(dev)) continue;
        if (r.delay != 0) {
            if (setting) clkSleepMs(r.delay);
            continue;
        }
        setting = strncmp(r.cmd, "++", 2) == 0;
        if (!setting) continue;
        if (gpibPuts(dev, r.cmd) < 0) return;
        sent = true;
    }
    if (sent) gpibFence(dev);
}

} // namespace

int gpibOpen(int dev, const char* path) {
    // A path cut to fit could never be opened again after an unplugging.
    GpibCtl& c = gpibCtl[dev];
    if (strlen(path) >= sizeof c.path) {
        errno = ENAMETOOLONG;
        return 0;
    }
    bool net = netIsUrl(path);
    int fd = -1;
    if (!net) {
        fd = openPort(dev, path);
    } else if (int err = netResolve(path, &gpibNet[dev]); err != 0) {
        errno = err;
    } else {
        fd = netConnect(gpibNet[dev], kConnectMs);
    }
    if (fd < 0 || !attach(dev, fd)) return 0;
    strlcpy(c.path, path, sizeof c.path);
    gpibIsNet[dev] = net;
    c.lost = false;
    return 1;
}

void gpibRestore(int dev) {
    FILE* fp = gpibCtl[dev].stream;
    if (fp != nullptr && fileno(fp) == gpibSavedFd[dev])
        tcsetattr(gpibSavedFd[dev], TCSANOW, &gpibSaved[dev]);
    gpibSavedFd[dev] = -1;
}

void gpibClose(int dev) {
    GpibCtl& c = gpibCtl[dev];
    c.lost = false;
    gpibFenceClear(dev);
    if (c.stream == nullptr) return;
    fclose(c.stream);
    c.stream = nullptr;
}

bool gpibGone(int err) {
    switch (err) {
    case EIO:
    case ENXIO:
    case ENODEV:
    case ECONNRESET:
    case ECONNABORTED:
    case EPIPE:
    case ETIMEDOUT:
    case ENOTCONN:
    case EHOSTUNREACH:
    case ENETUNREACH:
    case ENETDOWN:
    case EHOSTDOWN:
        return true;
    default:
        return false;
    }
}

std::atomic<uint32_t> gpibLosses[kControllers];

void gpibLost(int dev) {
    gpibLosses[dev]++;
    gpibClose(dev);
    gpibCtl[dev].lost = true;
    gpibCtl[dev].retryAt = clkAddNs(clkNow(), kRetryNs);
}

void gpibReconnect(bool now) {
    for (int d = 0; d < kControllers; d++) {
        GpibCtl& c = gpibCtl[d];
        if (!c.lost || (!now && clkDiffNs(clkNow(), c.retryAt) > 0)) continue;
        int fd = gpibIsNet[d] ? netConnect(gpibNet[d], kReconnectMs) : openPort(d, c.path);
        // Counted from the attempt's end, so a slow refusal still leaves the
        // display most of each second.
        c.retryAt = clkAddNs(clkNow(), kRetryNs);
        if (fd < 0 || !attach(d, fd)) continue;
        c.lost = false;
        c.addr = 999;
        gpibSetUp(d);
    }
}

bool gpibIsLost(int dev) {
    return gpibCtl[dev].lost;
}

int gpibPuts(int dev, const char* a, const char* b) {
    char line[kLineMax];
    int n = snprintf(line, sizeof line, "%s%s\n", a, b);
    // Cut to fit, it would reach the instrument as another command.
    if (n < 0 || static_cast<size_t>(n) >= sizeof line) return -1;
    return gpibWrite(dev, line, static_cast<size_t>(n));
}

int setDevAddr(const GpibAt& at) {
    GpibCtl& c = gpibCtl[at.dev];
    if (c.addr == at.adr) return 1;
    int result = 1;
    const char* cmd = cfg().ctl[at.dev].addr.cmd;
    if (cmd[0] != '\0' && c.stream != nullptr) {
        char line[kLineMax];
        int n = snprintf(line, sizeof line, "%s %d\n", cmd, at.adr);
        if (n < 0 || static_cast<size_t>(n) >= sizeof line ||
            gpibWrite(static_cast<int>(at.dev), line, static_cast<size_t>(n)) < 0)
            result = 0;
    }
    if (result != 0) c.addr = at.adr;
    return result;
}

void gpibSendRead(int dev) {
    const char* rd = cfg().ctl[dev].read.cmd;
    if (rd[0] != '\0') gpibPuts(dev, rd);
}
