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
// bytes.
Chunk readChunk(FILE* fp, char* scratch, size_t size) {
    errno = 0;
    char* got = fgets(scratch, static_cast<int>(size), fp);
    int err = errno;
    bool eof = feof(fp) != 0;
    clearerr(fp);
    if (got != nullptr && scratch[0] != '\0') return Chunk::Data;
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

// Appends a chunk; true once resp holds a complete, non-empty line.
bool appendChunk(char* resp, size_t size, const char* chunk) {
    strlcat(resp, chunk, size);
    size_t len = strlen(resp);
    if (len == 0 || resp[len - 1] != '\n') return false;
    if (len == 1) {
        resp[0] = '\0';
        return false;
    }
    return true;
}

enum class Attempt { Line, Nothing, Gone };

// One 1 ms attempt: reads what arrives until the attempt's deadline. With
// nothing waiting it sleeps until input comes or the whole time-out ends.
Attempt readAttempt(FILE* fp, char* resp, size_t size, const timespec& deadline,
                    const timespec& end) {
    char scratch[64];
    for (;;) {
        Chunk c = readChunk(fp, scratch, sizeof scratch);
        if (c == Chunk::Data) {
            if (appendChunk(resp, size, scratch)) return Attempt::Line;
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

int gpibRead(GpibRec* rec, int shift) {
    rec->resp[0] = '\0';
    FILE* fp = rec->file;
    const int attempts = fp == nullptr ? 0 : Read_gpib[rec->dev].num;
    // The attempts keep their 1 ms grid, but one wait spans all that are
    // left: a slow instrument costs one wake-up instead of one per attempt.
    const timespec start = clkNow();
    const timespec end = clkAddNs(start, attempts * kAttemptNs);
    int used = 0;
    bool done = false;
    while (used < attempts) {
        timespec deadline = clkAddNs(start, (used + 1) * kAttemptNs);
        Attempt a = readAttempt(fp, rec->resp, sizeof rec->resp, deadline, end);
        if (a == Attempt::Line) {
            used = std::max(used, std::min(attempts - 1, attemptsPassed(start)));
            done = true;
            break;
        }
        if (a == Attempt::Gone) {
            // An unplugged controller answers nothing more until it is back.
            gpibLost(static_cast<int>(rec->dev));
            break;
        }
        used = std::max(used + 1, attemptsPassed(start));
    }
    if (!done) {
        strlcpy(rec->resp, kDspErr, sizeof rec->resp);
        return 0;
    }
    if (shift != 0) strlnshift(rec->resp, sizeof rec->resp);
    strnl(rec->resp, sizeof rec->resp);
    return attempts - used;
}
