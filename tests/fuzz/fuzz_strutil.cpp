// Fuzzes the three line helpers on buffers of every length. Each call works
// on a heap copy of exactly that length, so the address checks catch any
// byte read or written past it; the results are checked against the word
// rules (only the space separates words).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "support/fuzz_check.h"
#include "util/strutil.h"

namespace {

// Index of the first byte at or after i that is not a space.
size_t skipSpaces(const std::vector<char>& b, size_t i) {
    while (i < b.size() && b[i] == ' ') i++;
    return i;
}

// Index of the first space or NUL at or after i.
size_t skipWord(const std::vector<char>& b, size_t i) {
    while (i < b.size() && b[i] != ' ' && b[i] != '\0') i++;
    return i;
}

void checkStrnl(const std::vector<char>& in) {
    std::vector<char> buf(in);
    int r = strnl(buf.data(), buf.size());
    size_t cut = 0;
    while (cut < in.size() && in[cut] != '\r' && in[cut] != '\n' && in[cut] != '\0') cut++;
    if (cut == in.size()) {
        FUZZ_CHECK(r == 0 && buf == in);
        return;
    }
    FUZZ_CHECK(static_cast<size_t>(r) == cut && buf[cut] == '\0');
    FUZZ_CHECK(memcmp(buf.data(), in.data(), cut) == 0);
    FUZZ_CHECK(memcmp(buf.data() + cut + 1, in.data() + cut + 1, in.size() - cut - 1) == 0);
}

void checkStrlrtrim(const std::vector<char>& in) {
    std::vector<char> buf(in);
    int r = strlrtrim(buf.data(), buf.size());
    size_t start = skipSpaces(in, 0);
    if (start == in.size() || in[start] == '\0') {
        FUZZ_CHECK(r == 0 && buf == in);
        return;
    }
    size_t n = skipWord(in, start) - start;
    if (n >= in.size()) n = in.size() - 1;
    FUZZ_CHECK(r >= 0 && static_cast<size_t>(r) == n && n < buf.size() && buf[n] == '\0');
    FUZZ_CHECK(memcmp(buf.data(), in.data() + start, n) == 0);
}

void checkStrlnshift(const std::vector<char>& in) {
    std::vector<char> buf(in);
    int r = strlnshift(buf.data(), buf.size());
    FUZZ_CHECK(r >= 0 && static_cast<size_t>(r) <= in.size());
    size_t rest = skipSpaces(in, skipWord(in, skipSpaces(in, 0)));
    if (rest == in.size() || in[rest] == '\0') {
        FUZZ_CHECK(r == 0 && (in.empty() || buf[0] == '\0'));
        return;
    }
    size_t n = strnlen(in.data() + rest, in.size() - rest);
    FUZZ_CHECK(static_cast<size_t>(r) == n && n < buf.size() && buf[n] == '\0');
    FUZZ_CHECK(memcmp(buf.data(), in.data() + rest, n) == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<char> in(data, data + size);
    checkStrnl(in);
    checkStrlrtrim(in);
    checkStrlnshift(in);
    return 0;
}
