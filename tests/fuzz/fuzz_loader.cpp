// Fuzzes the configuration loader: each input is a file loadCfg reads, after
// which the stores must hold well-formed lists and terminated text.
#include <cstdint>
#include <cstring>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

#include "config/loader.h"
#include "config/records.h"
#include "support/fuzz_check.h"

static bool terminated(const GpibRec& r) {
    return memchr(r.label, 0, sizeof r.label) && memchr(r.cmd, 0, sizeof r.cmd) &&
           memchr(r.text, 0, sizeof r.text);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static int fd = memfd_create("quorvel-fuzz.conf", 0);
    FUZZ_CHECK(ftruncate(fd, 0) == 0 && pwrite(fd, data, size, 0) == static_cast<ssize_t>(size));
    int result = loadCfg(("/proc/self/fd/" + std::to_string(fd)).c_str(), 1), n = 0;
    FUZZ_CHECK(result >= 0);
    // Walked with a bound, so that a cycle fails instead of hanging.
    for (int head : {kInitHead, kCfgHead, kDspHead, kOffHead}) {
        const GpibRec* prev = nullptr;
        for (const GpibRec* r = Index[head]; r != nullptr; prev = r, r = r->next)
            FUZZ_CHECK(++n <= kMaxRecords && r->prev == prev && r->dev <= 1 && terminated(*r));
        FUZZ_CHECK(Index[head + 1] == prev);
    }
    FUZZ_CHECK(n == cfgRecords());
    // The reader's number of attempts: never negative, nor above 999.
    for (int d = 0; d < kControllers; d++)
        FUZZ_CHECK(terminated(Read_gpib[d]) && terminated(Addr_gpib[d]) && Read_gpib[d].num >= 0 &&
                   Read_gpib[d].num <= 999);
    return 0;
}
