// Fuzzes the configuration loader: each input is a file loadCfg reads (as a
// -c path), after which the stores must hold well-formed lists and terminated
// text. Every line also goes through getCfgVar, compared with a slow walk of
// the field rules.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

#include "config/loader.h"
#include "config/records.h"
#include "support/fuzz_check.h"

namespace {

bool wellFormed(const GpibRec& r) {
    return memchr(r.label, 0, sizeof r.label) && memchr(r.cmd, 0, sizeof r.cmd) &&
           memchr(r.text, 0, sizeof r.text) && memchr(r.resp, 0, sizeof r.resp);
}

// Walks one list with a bound, so that a cycle fails instead of hanging.
int checkList(int head, int type) {
    int n = 0;
    const GpibRec* prev = nullptr;
    for (const GpibRec* r = Index[head]; r != nullptr; prev = r, r = r->next) {
        FUZZ_CHECK(++n <= kMaxRecords && r >= Dict && r < Dict + kMaxRecords);
        FUZZ_CHECK(r->prev == prev && r->type == type && r->dev <= 1 && wellFormed(*r));
        FUZZ_CHECK(type != kTypeInit || (r->num >= 0 && r->num <= 999));
    }
    FUZZ_CHECK(Index[head + 1] == prev);
    return n;
}

// Field 0 runs up to the first ':'; later fields are split at ';' unless a
// backslash stands before it, and an escaped ';' replaces its backslash.
std::string expectedField(const std::string& line, int n) {
    int field = 0;
    std::string out;
    for (size_t i = 0; i < line.size() && out.size() < 63; i++) {
        bool escaped = i > 0 && line[i - 1] == '\\';
        if (field != n) {
            if ((line[i] == ':' && field == 0) || (line[i] == ';' && field > 0 && !escaped))
                field++;
        } else if (line[i] != ';') {
            out += line[i];
        } else if (!escaped) {
            break;
        } else {
            out.back() = ';'; // in place of the backslash just copied
        }
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An in-memory file, so that fuzzing does not wait on a disk.
    static int fd = memfd_create("quorvel-fuzz.conf", 0);
    static std::string path = "/proc/self/fd/" + std::to_string(fd);
    FUZZ_CHECK(ftruncate(fd, 0) == 0 && pwrite(fd, data, size, 0) == static_cast<ssize_t>(size));
    int r = loadCfg(path.c_str(), 1);
    FUZZ_CHECK(r == 0 || r == 3);
    FUZZ_CHECK(checkList(kInitHead, kTypeInit) + checkList(kCfgHead, kTypeCfg) +
                   checkList(kDspHead, kTypeDsp) + checkList(kOffHead, kTypeOff) ==
               cfgRecords());
    for (const GpibRec& c : Read_gpib) {
        // The reader polls this many times: never negative, never above 999.
        FUZZ_CHECK(wellFormed(c) && c.num >= 0 && c.num <= 999);
    }
    for (const GpibRec& c : Addr_gpib) FUZZ_CHECK(wellFormed(c));

    const char* text = reinterpret_cast<const char*>(data);
    for (size_t start = 0, end = 0; start < size; start = end + 1) {
        end = start;
        while (end < size && data[end] != '\n' && data[end] != '\0') end++;
        // The loader hands lines of at most 255 bytes to getCfgVar.
        std::string line(text + start, std::min<size_t>(end - start, 255));
        for (int n = 0; n <= 12; n++)
            FUZZ_CHECK(expectedField(line, n) == getCfgVar(line.c_str(), n));
    }
    return 0;
}
