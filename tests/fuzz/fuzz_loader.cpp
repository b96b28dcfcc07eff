// Fuzzes the configuration loader: every input is written to a file that
// loadCfg reads (as a -c path, without suffix), after which the stores must
// still hold well-formed lists and terminated text. Every line of the input
// also goes through getCfgVar, whose result is compared with an independent
// walk of the field rules, for the usual field numbers and one taken from
// the input.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <strings.h>
#include <sys/mman.h>
#include <unistd.h>

#include "config/loader.h"
#include "config/records.h"
#include "support/fuzz_check.h"

namespace {

// An in-memory file, rewritten for each input and opened by loadCfg through
// its /proc path, so that fuzzing does not wait on a disk.
const char* cfgFile(const uint8_t* data, size_t size) {
    static int fd = -1;
    static char path[64];
    if (fd < 0) {
        fd = memfd_create("quorvel-fuzz.conf", 0);
        FUZZ_CHECK(fd >= 0);
        snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
    }
    FUZZ_CHECK(ftruncate(fd, 0) == 0);
    FUZZ_CHECK(pwrite(fd, data, size, 0) == static_cast<ssize_t>(size));
    return path;
}

template <size_t N> bool terminated(const char (&text)[N]) {
    return memchr(text, '\0', N) != nullptr;
}

bool wellFormed(const GpibRec& r) {
    return terminated(r.label) && terminated(r.cmd) && terminated(r.text) && terminated(r.resp);
}

bool inDict(const GpibRec* r) {
    return r >= Dict && r < Dict + kMaxRecords;
}

// Walks one list with a bound, so that a cycle fails instead of hanging.
int checkList(int head, int type) {
    int n = 0;
    const GpibRec* prev = nullptr;
    for (const GpibRec* r = Index[head]; r != nullptr; r = r->next) {
        FUZZ_CHECK(++n <= kMaxRecords);
        FUZZ_CHECK(inDict(r) && r->prev == prev && r->type == type && r->dev <= 1);
        FUZZ_CHECK(wellFormed(*r));
        if (type == kTypeInit && strncasecmp(r->cmd, "$delay$", 7) == 0)
            FUZZ_CHECK(r->num >= 0 && r->num <= 999);
        prev = r;
    }
    FUZZ_CHECK(Index[head + 1] == prev);
    return n;
}

void checkStores() {
    int total = checkList(kInitHead, kTypeInit) + checkList(kCfgHead, kTypeCfg) +
                checkList(kDspHead, kTypeDsp) + checkList(kOffHead, kTypeOff);
    FUZZ_CHECK(total == cfgRecords() && total <= kMaxRecords);
    for (int i = 0; i < kControllers; i++) {
        FUZZ_CHECK(wellFormed(Read_gpib[i]) && wellFormed(Addr_gpib[i]));
        // The reader polls this many times: never negative, never above 999.
        FUZZ_CHECK(Read_gpib[i].num >= 0 && Read_gpib[i].num <= 999);
    }
}

// Field n of line, walked the slow way: field 0 runs up to the first ':',
// later fields are split at ';' unless a backslash stands before it, and an
// escaped ';' takes the place of its backslash. At most 63 characters.
std::string expectedField(const std::string& line, int n) {
    int field = 0;
    bool colon = false;
    std::string out;
    for (size_t i = 0; i < line.size() && out.size() < 63; i++) {
        char c = line[i];
        bool escaped = i > 0 && line[i - 1] == '\\';
        if (field != n) {
            if (c == ':' && !colon) {
                colon = true;
                field = 1;
            } else if (c == ';' && colon && !escaped) {
                field++;
            }
        } else if (c != ';') {
            out += c;
        } else if (!escaped) {
            break;
        } else {
            if (!out.empty()) out.pop_back();
            out += ';';
        }
    }
    return out;
}

void checkField(const std::string& line, int n) {
    const char* got = getCfgVar(line.c_str(), n);
    FUZZ_CHECK(strnlen(got, 64) < 64);
    FUZZ_CHECK(expectedField(line, n) == got);
}

void checkFields(const uint8_t* data, size_t size) {
    size_t start = 0;
    while (start < size) {
        size_t end = start;
        while (end < size && data[end] != '\n' && data[end] != '\0') end++;
        // The loader hands lines of at most 255 bytes to getCfgVar.
        std::string line(reinterpret_cast<const char*>(data) + start,
                         std::min<size_t>(end - start, 255));
        for (int n = 0; n <= 12; n++) checkField(line, n);
        if (!line.empty()) {
            int n = static_cast<int8_t>(line[0]) * static_cast<int>(line.back());
            checkField(line, n);
        }
        start = end + 1;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    int r = loadCfg(cfgFile(data, size), 1);
    FUZZ_CHECK(r == 0 || r == 3);
    checkStores();

    checkFields(data, size);
    return 0;
}
