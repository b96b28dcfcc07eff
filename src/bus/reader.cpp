#include "bus/reader.h"

#include <algorithm>
#include <bsd/string.h>
#include <cerrno>
#include <cstring>
#include <poll.h>

#include "bus/port.h"
#include "util/clock.h"
#include "util/strutil.h"

namespace {

constexpr long long kAttemptNs = 1000000;

enum class Chunk { Data, Empty, Fault, Gone };

// A read that returned no bytes: a port left with VMIN and VTIME at 0 says
// "nothing yet" so, and a plain file at its end says it for ever. Only a
// hang-up, or a network peer that closed its side, means the controller is
// gone; a descriptor that reports input it does not give is waited out like
// a fault, not spun on.
Chunk emptyRead(int fd) {
    pollfd p{fd, POLLIN | POLLRDHUP, 0};
    if (poll(&p, 1, 0) <= 0) return Chunk::Empty;
    if ((p.revents & (POLLHUP | POLLRDHUP | POLLERR | POLLNVAL)) != 0) return Chunk::Gone;
    return (p.revents & POLLIN) != 0 ? Chunk::Fault : Chunk::Empty;
}

// One non-blocking line read: whatever part of a line is waiting, at most 63
// bytes. A NUL byte carries nothing and is dropped, but it was read: a line
// that starts with one is data, and the rest of it is still in the stream's
// buffer, where waiting on the descriptor would not see it.
Chunk readChunk(FILE* fp, char* scratch, size_t size) {
    errno = 0;
    size_t len = 0;
    bool got = false;
    for (size_t n = 1; n < size; n++) {
        int c = getc_unlocked(fp);
        if (c == EOF) break;
        got = true;
        if (c != '\0') scratch[len++] = static_cast<char>(c);
        if (c == '\n') break;
    }
    scratch[len] = '\0';
    int err = errno;
    bool eof = feof(fp) != 0;
    clearerr(fp);
    if (got) return Chunk::Data;
    if (err != 0 && err != EAGAIN) return gpibGone(err) ? Chunk::Gone : Chunk::Fault;
    if (eof) return emptyRead(fileno(fp));
    return Chunk::Empty;
}

// Waits for input until the time-out's end; false when it passed. A hang-up
// ends the wait at the attempt's deadline, so the next read can tell.
bool awaitInput(FILE* fp, const timespec& deadline, const timespec& end) {
    long long left = clkDiffNs(clkNow(), end);
    if (left <= 0) return false;
    timespec ts{static_cast<time_t>(left / 1000000000LL), static_cast<long>(left % 1000000000LL)};
    pollfd p{fileno(fp), POLLIN, 0};
    int n = ppoll(&p, 1, &ts, nullptr);
    if (n <= 0) return false;
    if ((p.revents & POLLIN) != 0) return true;
    clkSleepUntil(deadline);
    return false;
}

enum class Attempt { Line, Overlong, Nothing, Gone };

// Appends a chunk; Line once resp holds a complete, non-empty line, Overlong
// once a line that did not fit has ended.
Attempt appendChunk(char* resp, size_t size, const char* chunk, bool& over) {
    if (strlcat(resp, chunk, size) >= size) over = true;
    size_t n = strlen(chunk);
    if (n == 0 || chunk[n - 1] != '\n') return Attempt::Nothing;
    if (over) return Attempt::Overlong;
    if (strcmp(resp, "\n") == 0) {
        resp[0] = '\0';
        return Attempt::Nothing;
    }
    return Attempt::Line;
}

// One 1 ms attempt: reads what arrives until the attempt's deadline. With
// nothing waiting it sleeps until input comes or the whole time-out ends.
Attempt readAttempt(FILE* fp, char* resp, size_t size, bool& over, const timespec& deadline,
                    const timespec& end) {
    char scratch[64];
    for (;;) {
        Chunk c = readChunk(fp, scratch, sizeof scratch);
        if (c == Chunk::Data) {
            if (Attempt a = appendChunk(resp, size, scratch, over); a != Attempt::Nothing) return a;
            if (clkDiffNs(clkNow(), deadline) <= 0) return Attempt::Nothing;
            continue;
        }
        if (c == Chunk::Gone) return Attempt::Gone;
        if (c == Chunk::Fault) {
            clkSleepUntil(deadline);
            return Attempt::Nothing;
        }
        if (!awaitInput(fp, deadline, end)) return Attempt::Nothing;
    }
}

// Attempts whose 1 ms has passed since start.
int attemptsPassed(const timespec& start) {
    return static_cast<int>(clkDiffNs(start, clkNow()) / kAttemptNs);
}

} // namespace

int gpibReadLine(int dev, char* line, size_t size, int attempts) {
    line[0] = '\0';
    FILE* fp = gpibCtl[dev].stream;
    if (fp == nullptr) attempts = 0;
    // The attempts keep their 1 ms grid, but one wait spans all that are
    // left: a slow instrument costs one wake-up instead of one per attempt.
    const timespec start = clkNow();
    const timespec end = clkAddNs(start, attempts * kAttemptNs);
    int used = 0;
    bool done = false;
    bool over = false;
    while (used < attempts) {
        timespec deadline = clkAddNs(start, (used + 1) * kAttemptNs);
        Attempt a = readAttempt(fp, line, size, over, deadline, end);
        if (a == Attempt::Overlong) {
            line[0] = '\0';
            return -1;
        }
        if (a == Attempt::Line) {
            used = std::max(used, std::min(attempts - 1, attemptsPassed(start)));
            done = true;
            break;
        }
        if (a == Attempt::Gone) {
            // An unplugged controller answers nothing more until it is back.
            gpibLost(dev);
            break;
        }
        used = std::max(used + 1, attemptsPassed(start));
    }
    return done ? attempts - used : 0;
}

int gpibRead(int dev, Answer& resp, int shift) {
    int left = gpibReadLine(dev, resp, sizeof resp, cfg().ctl[dev].read.to);
    if (left <= 0) {
        strlcpy(resp, kDspErr, sizeof resp);
        return 0;
    }
    if (shift != 0) strlnshift(resp, sizeof resp);
    strnl(resp, sizeof resp);
    return left;
}
