// Fuzzes the response reader with controller output that arrives in pieces.
// Input: a flags byte (time-out of 1 to 8 attempts, shift, hang-up after the
// last piece), a byte that seeds how the rest is cut and paced, then what the
// controller sends through a pipe whose read end is the record's stream.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <thread>
#include <unistd.h>

#include "bus/reader.h"
#include "config/records.h"
#include "support/fuzz_check.h"

namespace {

void sendPieces(int fd, const std::string& stream, uint32_t state, bool hangUp) {
    long paced = 0; // microseconds, capped to keep inputs fast
    for (size_t pos = 0, len = 0; pos < stream.size(); pos += len) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        if (state % 3 == 0 && paced < 4000) {
            paced += (state >> 8) % 900;
            usleep((state >> 8) % 900);
        }
        len = std::min<size_t>(1 + (state >> 4) % (state % 4 == 0 ? 96 : 16), stream.size() - pos);
        FUZZ_CHECK(write(fd, stream.data() + pos, len) == static_cast<ssize_t>(len));
    }
    if (hangUp) close(fd);
}

// The first line that is not a lone LF, cut at its CR or LF, when it ends
// with LF within 63 bytes; "ERR" when no read can complete.
std::string expectedAnswer(const std::string& stream, bool shift) {
    for (size_t pos = 0, lf = 0; (lf = stream.find('\n', pos)) != std::string::npos; pos = lf + 1) {
        std::string line = stream.substr(pos, lf - pos + 1);
        if (line == "\n") continue;
        if (line.size() > 63) break;
        if (shift) {
            size_t i = line.find(' ', line.find_first_not_of(' '));
            i = i == std::string::npos ? i : line.find_first_not_of(' ', i);
            line = i == std::string::npos ? "" : line.substr(i);
        }
        return line.substr(0, line.find_first_of("\r\n"));
    }
    return "ERR";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const int timeout = 1 + (data[0] & 7);
    const bool shift = (data[0] & 0x08) != 0;
    const bool hangUp = (data[0] & 0x20) != 0;
    std::string stream(reinterpret_cast<const char*>(data) + 2, std::min<size_t>(size - 2, 512));
    int fds[2];
    FUZZ_CHECK(pipe(fds) == 0 && fcntl(fds[0], F_SETFL, O_NONBLOCK) == 0);
    static GpibRec rec;
    rec = GpibRec{};
    rec.file = fdopen(fds[0], "r");
    Read_gpib[0].num = timeout;
    memset(rec.resp, 'Z', sizeof rec.resp);

    std::thread controller(sendPieces, fds[1], stream, data[1] * 2654435761U + 1, hangUp);
    int left = gpibRead(&rec, shift ? 1 : 0);
    controller.join();
    if (!hangUp) close(fds[1]);
    fclose(rec.file);

    FUZZ_CHECK(memchr(rec.resp, '\0', sizeof rec.resp) != nullptr);
    FUZZ_CHECK(left >= 0 && left <= timeout && (left != 0 || strcmp(rec.resp, "ERR") == 0));
    // A NUL byte ends a piece early, depending on how the bytes were cut.
    if (left != 0 && stream.find('\0') == std::string::npos)
        FUZZ_CHECK(expectedAnswer(stream, shift) == rec.resp);
    return 0;
}
