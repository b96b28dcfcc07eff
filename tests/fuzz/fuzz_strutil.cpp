// Fuzzes the three line helpers on heap copies of exactly the input's length,
// so that the address checks catch any byte read or written past it.
#include <cstdint>
#include <string_view>
#include <vector>

#include "support/fuzz_check.h"
#include "util/strutil.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view in(reinterpret_cast<const char*>(data), size);
    for (auto* helper : {strnl, strlrtrim, strlnshift}) {
        std::vector<char> buf(in.begin(), in.end());
        int r = helper(buf.data(), size);
        // A terminated piece of the input is kept, or the buffer left or emptied.
        FUZZ_CHECK(r > 0 ? static_cast<size_t>(r) < size && buf[r] == '\0' &&
                               in.find(std::string_view(buf.data(), r)) != in.npos
                         : r == 0 && (in == std::string_view(buf.data(), size) || buf[0] == '\0'));
    }
    return 0;
}
