// The loader's refusals, each naming its file and line; which field lands
// where the dump goldens show (tests/data/dump/fields.conf).
#include <cerrno>
#include <gtest/gtest.h>
#include <string>
#include <utility>

#include "config/loader.h"
#include "config/records.h"
#include "support/tempdir.h"
#include "util/result.h"

namespace {

TEST(Loader, Refusals) {
    TempDir dir;
    std::string full, mib; // 500 records; 1 MiB in lines of 1,023 bytes
    for (int i = 0; i < kMaxRecords; i++) full += "off:1;1;o\n";
    for (int i = 0; i < 1024; i++) mib += std::string(1023, '#') + "\n";
    const std::pair<std::string, std::string> cases[] = {
        {"init:1;1;$delay$;;-5\n", ":1: delay -5 (must not be negative)"},
        {"read:1;0;R;-1\n", ":1: time-out -1 (must not be negative)"},
        {mib, ""},
        {mib + "\n", ": larger than 1 MiB (no configuration)"},
        // Nothing is dropped: not a record, not a field's tail, not a line's.
        {full + "#\noff:1;1;o\n", ":502: record 501 does not fit (at most 500 records)"},
        {"#\noff:1;5;" + std::string(128, 'x') + "\n",
         ":2: command is 128 characters (at most 127)"},
        {"cfg:1;5;v;V;0;0;" + std::string(300, 'h') + "\n",
         ":1: help text is 300 characters (at most 79)"},
        {"init:1;2;*IDN?;" + std::string(64, 'A') + "\n",
         ":1: expected answer is 64 characters (at most 63)"},
        {std::string(1500, '#') + "off:1;5;*RST\n", ":1: line is longer than 1023 bytes"}};
    for (const auto& [text, why] : cases) {
        int result = loadCfg(dir.write("t.conf", text).c_str(), 1);
        EXPECT_EQ(result != 0, !why.empty()) << text.substr(0, 60);
        EXPECT_EQ(why.empty() ? "" : resultWhyText(), why.empty() ? "" : dir.file("t.conf") + why);
    }
    for (const char* bad : {"0", "3", "x", "", "-1"})
        for (const char* kw : {"init", "read", "addr", "cfg", "dsp", "off"})
            EXPECT_EQ(
                loadCfg(dir.write("t.conf", std::string(kw) + ":" + bad + ";5;C;1\n").c_str(), 1),
                EINVAL);
    EXPECT_EQ(loadCfg(dir.path().c_str(), 1), EISDIR); // opens, but cannot be read

    // With the suffix the name may take all of 255 bytes.
    std::string name(249 - dir.path().size(), 'f');
    dir.write(name + ".conf", "off:1;1;o\n");
    EXPECT_EQ(loadCfg(dir.file(name).c_str(), 0), 0);
}

} // namespace
