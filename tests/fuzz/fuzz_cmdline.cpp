// Fuzzes the console's line handling: the input is cut into lines as the
// prompt reads them (at most 69 bytes, up to and including a LF, into a
// zeroed 70-byte buffer cut at its first CR or LF), each line is split into
// command word and value, and the word is looked up in a small dictionary
// and among the internal commands. Split and look-ups are checked against
// the word rules: only the space separates words, names match in any case.
#include <algorithm>
#include <bsd/string.h>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <strings.h>
#include <vector>

#include "config/records.h"
#include "console/cmdline.h"
#include "support/fuzz_check.h"
#include "util/strutil.h"

namespace {

constexpr size_t kReadMax = kLineSize - 1;

// "help" hides the internal command, the tab is part of a name, and the
// second "vset" can never be reached.
const char* const kNames[] = {"vset", "IDN", "help", "x\ty", "VSET"};
constexpr int kNameCount = sizeof kNames / sizeof kNames[0];

GpibRec dictionary[kNameCount];

void loadDictionary() {
    Index[kCfgHead] = Index[kCfgTail] = nullptr;
    for (int i = 0; i < kNameCount; i++) {
        dictionary[i] = GpibRec{};
        strlcpy(dictionary[i].label, kNames[i], sizeof dictionary[i].label);
        cfgAppend(kCfgHead, &dictionary[i]);
    }
}

void checkSplit(const std::string& line, const char* word, const char* value) {
    FUZZ_CHECK(memchr(word, '\0', kLineSize) != nullptr &&
               memchr(value, '\0', kLineSize) != nullptr);
    size_t start = line.find_first_not_of(' ');
    if (start == std::string::npos) {
        // No word at all: the word keeps the line, the value is empty.
        FUZZ_CHECK(line == word && value[0] == '\0');
        return;
    }
    size_t end = std::min(line.find(' ', start), line.size());
    FUZZ_CHECK(line.compare(start, end - start, word) == 0);
    size_t rest = line.find_first_not_of(' ', end);
    FUZZ_CHECK(rest == std::string::npos ? value[0] == '\0'
                                         : line.compare(rest, std::string::npos, value) == 0);
}

void checkLookup(const char* word) {
    const GpibRec* expected = nullptr;
    for (int i = kNameCount - 1; i >= 0; i--)
        if (strcasecmp(kNames[i], word) == 0) expected = &dictionary[i];
    FUZZ_CHECK(cmdLookup(word) == expected);
    static const char* const internal[] = {"cls", "help", "mark", "quit"};
    int want = kCmdNone;
    for (int i = 3; i >= 0; i--)
        if (strcasecmp(internal[i], word) == 0) want = i;
    FUZZ_CHECK(cmdInternal(word) == want);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    loadDictionary();
    // Buffers of exactly the console's size, so that an overrun is caught.
    std::vector<char> buf(kLineSize), word(kLineSize), value(kLineSize);
    size_t pos = 0;
    while (pos < size) {
        std::fill(buf.begin(), buf.end(), '\0');
        size_t n = 0;
        while (n < kReadMax && pos < size) {
            buf[n] = static_cast<char>(data[pos++]);
            if (buf[n++] == '\n') break;
        }
        strnl(buf.data(), kLineSize);
        std::string line(buf.data());
        cmdSplit(buf.data(), word.data(), value.data());
        FUZZ_CHECK(line == buf.data());
        checkSplit(line, word.data(), value.data());
        checkLookup(word.data());
    }
    return 0;
}
