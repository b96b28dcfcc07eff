// Fuzzes the console's line split: the input is cut into lines as the prompt
// reads them (at most 69 bytes up to a LF, cut at its first CR or LF), each
// split into word and value in buffers of exactly the console's size.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "console/cmdline.h"
#include "support/fuzz_check.h"
#include "util/strutil.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    for (size_t pos = 0; pos < size;) {
        std::vector<char> buf(kLineSize), word(kLineSize), value(kLineSize);
        for (size_t n = 0; n < kLineSize - 1 && pos < size;)
            if ((buf[n++] = static_cast<char>(data[pos++])) == '\n') break;
        strnl(buf.data(), kLineSize);
        std::string line(buf.data());
        cmdSplit(buf.data(), word.data(), value.data());
        FUZZ_CHECK(memchr(word.data(), 0, kLineSize) && memchr(value.data(), 0, kLineSize));
        FUZZ_CHECK(line == buf.data() && line.find(word.data()) != std::string::npos);
        FUZZ_CHECK(line.ends_with(value.data()) && value[0] != ' ');
    }
    return 0;
}
