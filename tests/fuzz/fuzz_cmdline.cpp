// Fuzzes the console's line split: the input is cut into lines as the prompt
// reads them (at most 69 bytes, up to and including a LF, into a zeroed
// 70-byte buffer cut at its first CR or LF), and each line is split into
// command word and value, in buffers of exactly the console's size. Only the
// space separates words.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "console/cmdline.h"
#include "support/fuzz_check.h"
#include "util/strutil.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<char> buf(kLineSize), word(kLineSize), value(kLineSize);
    for (size_t pos = 0; pos < size;) {
        std::fill(buf.begin(), buf.end(), '\0');
        for (size_t n = 0; n < kLineSize - 1 && pos < size;)
            if ((buf[n++] = static_cast<char>(data[pos++])) == '\n') break;
        strnl(buf.data(), kLineSize);
        std::string line(buf.data());
        cmdSplit(buf.data(), word.data(), value.data());
        FUZZ_CHECK(line == buf.data());
        FUZZ_CHECK(strnlen(word.data(), kLineSize) < kLineSize);
        FUZZ_CHECK(strnlen(value.data(), kLineSize) < kLineSize);
        size_t start = line.find_first_not_of(' ');
        if (start == std::string::npos) {
            // No word at all: the word keeps the line, the value is empty.
            FUZZ_CHECK(line == word.data() && value[0] == '\0');
            continue;
        }
        size_t end = std::min(line.find(' ', start), line.size());
        size_t rest = std::min(line.find_first_not_of(' ', end), line.size());
        FUZZ_CHECK(line.compare(start, end - start, word.data()) == 0);
        FUZZ_CHECK(line.compare(rest, std::string::npos, value.data()) == 0);
    }
    return 0;
}
