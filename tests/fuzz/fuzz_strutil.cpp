// Fuzzes the three line helpers on heap copies of exactly the input's length,
// so that the address checks catch any byte read or written past it.
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "support/fuzz_check.h"
#include "util/strutil.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<char> in(data, data + size);
    const std::string_view whole(in.data(), size);
    // What is left must be a terminated piece of the input.
    auto piece = [&](const std::vector<char>& buf, int r) {
        return r > 0 && static_cast<size_t>(r) < size && buf[r] == '\0' &&
               whole.find(std::string_view(buf.data(), r)) != std::string_view::npos;
    };
    std::vector<char> buf(in);
    int r = strnl(buf.data(), size);
    size_t cut = std::min(strcspn(std::string(whole).c_str(), "\r\n"), size);
    FUZZ_CHECK(cut == size ? r == 0 && buf == in : r == static_cast<int>(cut) && buf[cut] == '\0');
    buf = in;
    r = strlrtrim(buf.data(), size);
    FUZZ_CHECK(r == 0 ? buf == in : piece(buf, r) && memchr(buf.data(), ' ', r) == nullptr);
    buf = in;
    r = strlnshift(buf.data(), size);
    FUZZ_CHECK(r == 0 ? size == 0 || buf[0] == '\0' : piece(buf, r) && buf[0] != ' ');
    return 0;
}
