// The least a client of a "++" controller can do per reading: write the
// query, pause 1 ms, write the read command, wait for the answer line. Run
// against quorvel-sim beside quorvel, it shows what the pseudo-terminal, the
// simulator and this machine's wake-ups cost by themselves, so that the bench
// can tell quorvel's own overhead from theirs.
//
//   wire_floor DEVICE READINGS INTERVAL_MS SECONDS
//
// Prints "readings <n> passes <n> cpu_ns <n>" when done.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr long long kNsPerSec = 1000000000LL;

long long nowNs(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return t.tv_sec * kNsPerSec + t.tv_nsec;
}

void sleepUntil(long long ns) {
    timespec t{static_cast<time_t>(ns / kNsPerSec), static_cast<long>(ns % kNsPerSec)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &t, nullptr) == EINTR) {
    }
}

bool writeLine(int fd, const char* line) {
    size_t len = strlen(line);
    return write(fd, line, len) == static_cast<ssize_t>(len);
}

// Waits for one answer line (200 ms at most, as the bench's read time-out).
bool readAnswer(int fd) {
    char buf[128];
    size_t have = 0;
    long long end = nowNs(CLOCK_MONOTONIC) + 200 * 1000000LL;
    for (;;) {
        ssize_t n = read(fd, buf + have, sizeof buf - 1 - have);
        if (n > 0) {
            have += static_cast<size_t>(n);
            if (memchr(buf, '\n', have) != nullptr) return true;
            if (have == sizeof buf - 1) have = 0;
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
        long long left = end - nowNs(CLOCK_MONOTONIC);
        if (left <= 0) return false;
        pollfd p{fd, POLLIN, 0};
        timespec ts{static_cast<time_t>(left / kNsPerSec), static_cast<long>(left % kNsPerSec)};
        if (ppoll(&p, 1, &ts, nullptr) <= 0) return false;
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        fputs("usage: wire_floor DEVICE READINGS INTERVAL_MS SECONDS\n", stderr);
        return 2;
    }
    int readings = atoi(argv[2]);
    long long intervalNs = atoll(argv[3]) * 1000000LL;
    long long runNs = static_cast<long long>(atof(argv[4]) * kNsPerSec);
    // Same timer slack as quorvel, so both pause alike.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    int fd = open(argv[1], O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        perror(argv[1]);
        return 1;
    }
    termios t{};
    if (tcgetattr(fd, &t) == 0) {
        cfmakeraw(&t);
        tcsetattr(fd, TCSANOW, &t);
    }
    writeLine(fd, "++addr 22\n");
    long long cpu0 = nowNs(CLOCK_PROCESS_CPUTIME_ID);
    long long end = nowNs(CLOCK_MONOTONIC) + runNs;
    long long done = 0;
    long long passes = 0;
    while (nowNs(CLOCK_MONOTONIC) < end) {
        for (int i = 0; i < readings; i++) {
            writeLine(fd, i == 0 ? "MEAS:VOLT?\n" : "MEAS:CURR?\n");
            sleepUntil(nowNs(CLOCK_MONOTONIC) + 1000000LL);
            writeLine(fd, "++read eoi\n");
            if (readAnswer(fd)) done++;
        }
        passes++;
        if (intervalNs > 0) sleepUntil(nowNs(CLOCK_MONOTONIC) + intervalNs);
    }
    printf("readings %lld passes %lld cpu_ns %lld\n", done, passes,
           nowNs(CLOCK_PROCESS_CPUTIME_ID) - cpu0);
    return 0;
}
