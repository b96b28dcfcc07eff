// Fuzzes the response reader. Input: a flags byte (time-out of 1 to 8
// attempts, shift, hang-up after the last byte), a byte not used, then what
// the controller sends through a pipe whose read end is controller 1's stream.
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

#include "bus/port.h"
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
    FILE* fp = fdopen(fds[0], "r");
    gpibCtl[0] = GpibCtl{};
    gpibCtl[0].stream = fp;
    cfgStore.ctl[0].read.to = timeout;
    Answer resp;
    memset(resp, 'Z', sizeof resp);
    int left = gpibRead(0, resp, shift);
    if (!hangUp) close(fds[1]);
    // A hang-up closed it already.
    if (gpibCtl[0].stream != nullptr) fclose(fp);
    // ERR, or one line of what was sent (a NUL hides the rest of its chunk).
    FUZZ_CHECK(memchr(resp, '\0', sizeof resp) && left >= 0 && left <= timeout);
    FUZZ_CHECK(left == 0 ? strcmp(resp, "ERR") == 0 : strpbrk(resp, "\r\n") == nullptr);
    if (left != 0 && !shift && sent.find('\0') == std::string::npos)
        FUZZ_CHECK(sent.find(resp) != std::string::npos);
    return 0;
}
