// Fuzzes the three line helpers on heap copies of exactly the input's length,
// so the address checks catch any byte read or written past it, and checks
// them against the word rules: only the space separates words.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "support/fuzz_check.h"
#include "util/strutil.h"

namespace {

using Buf = std::vector<char>;

size_t skip(const Buf& b, size_t i, bool spaces) {
    while (i < b.size() && (spaces ? b[i] == ' ' : b[i] != ' ' && b[i] != '\0')) i++;
    return i;
}

// buf holds n bytes from in + from and a terminator; the call returned r.
void expectCut(const Buf& buf, const Buf& in, size_t from, size_t n, int r) {
    FUZZ_CHECK(r >= 0 && static_cast<size_t>(r) == n && n < buf.size() && buf[n] == '\0');
    FUZZ_CHECK(memcmp(buf.data(), in.data() + from, n) == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Buf in(data, data + size);

    Buf buf(in);
    int r = strnl(buf.data(), buf.size());
    size_t cut = strcspn(std::string(in.begin(), in.end()).c_str(), "\r\n");
    if (cut == in.size()) {
        FUZZ_CHECK(r == 0 && buf == in);
    } else {
        expectCut(buf, in, 0, cut, r);
        FUZZ_CHECK(std::equal(buf.begin() + cut + 1, buf.end(), in.begin() + cut + 1));
    }

    buf = in;
    r = strlrtrim(buf.data(), buf.size());
    size_t start = skip(in, 0, true);
    if (start == in.size() || in[start] == '\0')
        FUZZ_CHECK(r == 0 && buf == in);
    else
        expectCut(buf, in, start, std::min(skip(in, start, false) - start, in.size() - 1), r);

    buf = in;
    r = strlnshift(buf.data(), buf.size());
    size_t rest = skip(in, skip(in, skip(in, 0, true), false), true);
    if (rest == in.size() || in[rest] == '\0')
        FUZZ_CHECK(r == 0 && (in.empty() || buf[0] == '\0'));
    else
        expectCut(buf, in, rest, strnlen(in.data() + rest, in.size() - rest), r);
    return 0;
}
