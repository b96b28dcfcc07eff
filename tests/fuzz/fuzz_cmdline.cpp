// Fuzzes the console's line split on a line as the prompt leaves it: at most
// 69 bytes in a zeroed buffer of the console's size.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "console/cmdline.h"
#include "support/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<char> buf(kLineSize), word(kLineSize), value(kLineSize);
    memcpy(buf.data(), data, std::min(size, kLineSize - 1));
    const std::string line(buf.data());
    cmdSplit(buf.data(), word.data(), value.data());
    // Both terminated; the word is in the line, the value ends it.
    FUZZ_CHECK(memchr(word.data(), 0, kLineSize) && memchr(value.data(), 0, kLineSize) &&
               line == buf.data() && line.find(word.data()) != line.npos &&
               line.ends_with(value.data()) && value[0] != ' ');
    return 0;
}
