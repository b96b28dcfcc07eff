// Fuzzes the response reader. Input: a flags byte (time-out of 1 to 8
// attempts, shift, hang-up after the last byte), a byte not used, then what
// the controller sends through a pipe whose read end is the record's stream.
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

#include "bus/reader.h"
#include "support/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const int timeout = 1 + (data[0] & 7), shift = (data[0] & 8) != 0, hangUp = data[0] & 16;
    const std::string sent = std::string(reinterpret_cast<const char*>(data), size).substr(2, 512);
    int fds[2];
    FUZZ_CHECK(pipe(fds) == 0 && fcntl(fds[0], F_SETFL, O_NONBLOCK) == 0);
    FUZZ_CHECK(write(fds[1], sent.data(), sent.size()) == static_cast<ssize_t>(sent.size()));
    if (hangUp) close(fds[1]);
    GpibRec rec{};
    rec.file = fdopen(fds[0], "r");
    Read_gpib[0].num = timeout;
    memset(rec.resp, 'Z', sizeof rec.resp);
    int left = gpibRead(&rec, shift);
    if (!hangUp) close(fds[1]);
    fclose(rec.file);
    // ERR, or one line of what was sent (a NUL hides the rest of its chunk).
    FUZZ_CHECK(memchr(rec.resp, '\0', sizeof rec.resp) && left >= 0 && left <= timeout);
    FUZZ_CHECK(left == 0 ? strcmp(rec.resp, "ERR") == 0 : strpbrk(rec.resp, "\r\n") == nullptr);
    if (left != 0 && !shift && sent.find('\0') == std::string::npos)
        FUZZ_CHECK(sent.find(rec.resp) != std::string::npos);
    return 0;
}
