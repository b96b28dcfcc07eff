#include "bus/reader.h"

#include <bsd/string.h>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <signal.h>

#include "util/clock.h"
#include "util/strutil.h"

namespace {

constexpr long long kAttemptNs = 1000000;

enum class Chunk { Data, Empty, Fault };

// One non-blocking line read: whatever part of a line is waiting, at most 63
// bytes.
Chunk readChunk(FILE* fp, char* scratch, size_t size) {
    errno = 0;
    char* got = fgets(scratch, static_cast<int>(size), fp);
    int err = errno;
    bool eof = feof(fp) != 0;
    clearerr(fp);
    if (got != nullptr && scratch[0] != '\0') return Chunk::Data;
    if (eof || (err != 0 && err != EAGAIN)) return Chunk::Fault;
    return Chunk::Empty;
}

// Waits for input until the deadline; false when the deadline passed.
bool awaitInput(FILE* fp, const timespec& deadline) {
    long long left = clkDiffNs(clkNow(), deadline);
    if (left <= 0) return false;
    timespec ts{static_cast<time_t>(left / 1000000000LL), static_cast<long>(left % 1000000000LL)};
    pollfd p{fileno(fp), POLLIN, 0};
    int n = ppoll(&p, 1, &ts, nullptr);
    if (n <= 0) return false;
    if ((p.revents & POLLIN) != 0) return true;
    // Hung up or failed: nothing will come in this attempt.
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

// One 1 ms attempt: reads what arrives until the attempt's deadline.
bool readAttempt(FILE* fp, char* resp, size_t size, const timespec& deadline) {
    char scratch[64];
    for (;;) {
        Chunk c = readChunk(fp, scratch, sizeof scratch);
        if (c == Chunk::Data) {
            if (appendChunk(resp, size, scratch)) return true;
            if (clkDiffNs(clkNow(), deadline) <= 0) return false;
            continue;
        }
        if (c == Chunk::Fault) {
            clkSleepUntil(deadline);
            return false;
        }
        if (!awaitInput(fp, deadline)) return false;
    }
}

} // namespace

int gpibRead(GpibRec* rec, int shift) {
    rec->resp[0] = '\0';
    FILE* fp = rec->file;
    int count = fp == nullptr ? 0 : Read_gpib[rec->dev].num;
    bool done = false;
    timespec deadline = clkNow();
    while (count > 0) {
        deadline = clkAddNs(deadline, kAttemptNs);
        if (readAttempt(fp, rec->resp, sizeof rec->resp, deadline)) {
            done = true;
            break;
        }
        count--;
    }
    if (!done) {
        strlcpy(rec->resp, kDspErr, sizeof rec->resp);
        return 0;
    }
    if (shift != 0) strlnshift(rec->resp, sizeof rec->resp);
    strnl(rec->resp, sizeof rec->resp);
    return count;
}
