// The loader's field splitting and its refusals; which field lands where the
// dump goldens show (tests/data/dump/fields.conf).
#include <gtest/gtest.h>
#include <string>
#include <tuple>
#include <vector>

#include "config/loader.h"
#include "config/records.h"
#include "support/tempdir.h"

namespace {

TEST(Loader, GetCfgVar) {
    const std::string x80 = "cfg:1;" + std::string(80, 'x') + ";tail";
    // In this order: a short value after a long one shows a stale buffer.
    const std::tuple<std::string, int, std::string> cases[] = {
        {x80, 2, std::string(63, 'x')},
        {x80, 3, "tail"},
        {"k:\\;x", 1, ";x"}, // an escaped ';' first in its field
        // After 63 characters an escaped ';' no longer replaces its backslash.
        {"k:" + std::string(62, 'x') + "\\;y", 1, std::string(62, 'x') + "\\"}};
    for (const auto& [line, n, want] : cases) EXPECT_EQ(getCfgVar(line.c_str(), n), want) << line;
}

TEST(Loader, Refusals) {
    TempDir dir;
    const size_t mib = 1 << 20;
    std::string full; // loading stops before the line after the 500th record
    for (int i = 0; i < kMaxRecords; i++) full += "off:1;1;o\n";
    std::vector<std::pair<std::string, int>> cases = {{"init:1;1;$delay$;;-5\n", 3},
                                                      {"read:1;0;R;-1\n", 3},
                                                      {std::string(mib - 1, '#') + "\n", 0},
                                                      {std::string(mib, '#') + "\n", 3},
                                                      {full + "off:9;1;never read\n", 0}};
    for (const char* bad : {"0", "3", "x", "", "-1"})
        for (const char* kw : {"init", "read", "addr", "cfg", "dsp", "off"})
            cases.push_back({std::string(kw) + ":" + bad + ";5;C;1\n", 3});
    for (const auto& [text, result] : cases)
        EXPECT_EQ(loadCfg(dir.write("t.conf", text).c_str(), 1), result) << text.substr(0, 60);
    EXPECT_EQ(loadCfg(dir.path().c_str(), 1), 3); // opens, but cannot be read

    // With the suffix the name may take all of 255 bytes.
    std::string name(249 - dir.path().size(), 'f');
    dir.write(name + ".conf", "off:1;1;o\n");
    EXPECT_EQ(loadCfg(dir.file(name).c_str(), 0), 0);
}

} // namespace
