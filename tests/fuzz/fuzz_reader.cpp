// Fuzzes the response reader with controller output that arrives in pieces.
// Input: a flags byte (time-out of 1 to 8 attempts, shift flag, controller,
// whether the controller hangs up after its last piece, no stream at all), a
// byte that seeds how the rest is cut into pieces and paced, then the bytes
// the controller sends. A thread writes them into a pipe whose read end is
// the record's non-blocking stream.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <thread>
#include <unistd.h>

#include "bus/reader.h"
#include "config/records.h"
#include "support/fuzz_check.h"

namespace {

constexpr size_t kMaxStream = 512;
// Pauses between pieces stop once they add up to this, keeping inputs fast.
constexpr long kPaceBudgetUs = 4000;

uint32_t nextRandom(uint32_t* state) {
    uint32_t x = *state;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    *state = x;
    return x;
}

void sendPieces(int fd, const std::string& stream, uint32_t seed, bool hangUp) {
    uint32_t state = seed * 2654435761U + 1;
    long paced = 0;
    size_t pos = 0;
    while (pos < stream.size()) {
        uint32_t r = nextRandom(&state);
        if (r % 3 == 0 && paced < kPaceBudgetUs) {
            long us = static_cast<long>(r >> 8) % 900;
            paced += us;
            usleep(static_cast<useconds_t>(us));
        }
        size_t len = 1 + (r >> 4) % (r % 4 == 0 ? 96 : 16);
        len = std::min(len, stream.size() - pos);
        ssize_t n = write(fd, stream.data() + pos, len);
        FUZZ_CHECK(n == static_cast<ssize_t>(len));
        pos += len;
    }
    if (hangUp) close(fd);
}

// What a complete read of stream gives: the first line that is not a lone
// LF, if it ends with LF within 63 bytes; false when no read can complete.
bool expectedAnswer(const std::string& stream, bool shift, std::string* answer) {
    size_t pos = 0;
    for (;;) {
        size_t lf = stream.find('\n', pos);
        if (lf == std::string::npos) return false;
        std::string line = stream.substr(pos, lf - pos + 1);
        pos = lf + 1;
        if (line == "\n") continue;
        if (line.size() > 63) return false;
        if (shift) {
            size_t i = line.find_first_not_of(' ');
            i = line.find(' ', i);
            i = i == std::string::npos ? line.size() : line.find_first_not_of(' ', i);
            line = i == std::string::npos ? "" : line.substr(i);
        }
        *answer = line.substr(0, line.find_first_of("\r\n"));
        return true;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const int timeout = 1 + (data[0] & 7);
    const bool shift = (data[0] & 0x08) != 0;
    const uint32_t dev = (data[0] >> 4) & 1;
    const bool hangUp = (data[0] & 0x20) != 0;
    const bool noStream = (data[0] & 0xC0) == 0xC0;
    const uint32_t seed = data[1];
    std::string stream(reinterpret_cast<const char*>(data) + 2, std::min(size - 2, kMaxStream));

    static GpibRec rec;
    rec = GpibRec{};
    rec.dev = dev;
    Read_gpib[dev].num = timeout;
    memset(rec.resp, 'Z', sizeof rec.resp);

    int fds[2];
    FUZZ_CHECK(pipe(fds) == 0);
    FUZZ_CHECK(fcntl(fds[0], F_SETFL, O_NONBLOCK) == 0);
    FILE* fp = fdopen(fds[0], "r");
    FUZZ_CHECK(fp != nullptr);
    rec.file = noStream ? nullptr : fp;

    std::thread controller(sendPieces, fds[1], stream, seed, hangUp);
    int left = gpibRead(&rec, shift ? 1 : 0);
    controller.join();
    if (!hangUp) close(fds[1]);
    fclose(fp);

    FUZZ_CHECK(memchr(rec.resp, '\0', sizeof rec.resp) != nullptr);
    FUZZ_CHECK(left >= 0 && left <= timeout);
    if (left == 0) FUZZ_CHECK(strcmp(rec.resp, "ERR") == 0);
    if (noStream) FUZZ_CHECK(left == 0);
    // A NUL byte ends a piece early, depending on how the bytes were cut.
    if (stream.find('\0') != std::string::npos) return 0;
    std::string answer;
    bool complete = expectedAnswer(stream, shift, &answer);
    if (left != 0) FUZZ_CHECK(complete && answer == rec.resp);
    return 0;
}
