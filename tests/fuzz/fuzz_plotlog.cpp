// Fuzzes quorvel-plot's data-log reader, which takes whatever file it is
// given: it reads or refuses it, and what it reads is consistent.
#include <cstdint>
#include <string>

#include "datalog.h"
#include "support/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qplot::DataLog log;
    std::string err;
    if (!qplot::logParse(std::string(reinterpret_cast<const char*>(data), size), log, err)) {
        FUZZ_CHECK(!err.empty());
        return 0;
    }
    FUZZ_CHECK(!log.times.empty() && log.values.size() == log.labels.size());
    for (const auto& column : log.values) FUZZ_CHECK(column.size() == log.times.size());
    for (const qplot::Mark& m : log.marks) FUZZ_CHECK(m.row < log.times.size());
    return 0;
}
