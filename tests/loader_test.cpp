// The loader's field rules; which field lands where the dump goldens show.
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "config/loader.h"
#include "config/records.h"
#include "support/stores.h"
#include "support/tempdir.h"

namespace {

TEST(Loader, GetCfgVar) {
    const std::string x80 = "cfg:1;" + std::string(80, 'x') + ";tail";
    // In this order: a short value after a long one shows a stale buffer.
    const struct {
        std::string line;
        int n;
        std::string want;
    } cases[] = {{"dsp:1;5:x;a:b:c;;", 2, "5:x"},
                 {"dsp:1;5:x;a:b:c;;", 3, "a:b:c"},
                 {"dsp:1;5:x;a:b:c;;", 4, ""},
                 {"a;b:c;d", 1, "c"},
                 {"no colon;here", 1, ""},
                 {"init:1;5;A\\;B;next", 3, "A;B"},
                 {"init:1;5;A\\;B;next", 4, "next"},
                 {"k:a\\b\\;;z", 1, "a\\b;"},
                 {"k:\\;x", 1, ";x"},
                 {"cfg: 1 ;VOLT ", 1, " 1 "},
                 {x80, 2, std::string(63, 'x')},
                 {x80, 3, "tail"},
                 // After 63 characters an escaped ';' no longer replaces its backslash.
                 {"k:" + std::string(62, 'x') + "\\;y", 1, std::string(62, 'x') + "\\"},
                 {x80, 9, ""}};
    for (const auto& c : cases) EXPECT_EQ(getCfgVar(c.line.c_str(), c.n), c.want) << c.line;
}

class LoadCfg : public ::testing::Test {
  protected:
    void SetUp() override { resetStores(); }
    void TearDown() override { resetStores(); }
    int load(const std::string& text) { return loadCfg(dir.write("t.conf", text).c_str(), 1); }
    TempDir dir;
};

TEST_F(LoadCfg, AcceptsOrRefuses) {
    struct Case {
        std::string text;
        int result;
        int records; // stored before the load ended
    };
    const size_t mib = 1 << 20;
    std::vector<Case> cases = {
        {"# c\n\n  init:1;5;*RST\nreadme: x\nother:1;1;x\nOFF:1;1;o\n", 0, 1},
        {"init:1;1;A\ninit:1;1;$delay$;;-5\ninit:1;1;B\n", 3, 1},
        {"read:1;0;R;-1\n", 3, 0},
        // Only a delay record reads the wait field.
        {"init:1;1;CMD;resp;-5\n", 0, 1},
        // The low 32 bits of the number count: 2^32 + 1 is controller 1.
        {"off:4294967297;1;o\n", 0, 1},
        {"off:1;1;a\n" + std::string(1, '\0') + "\noff:1;1;b\n", 3, 1},
        {std::string(mib - 1, '#') + "\n", 0, 0},
        {std::string(mib, '#') + "\n", 3, 0},
        // 255 bytes fill the line buffer; what follows is read as a line.
        {"#" + std::string(254, '-') + "off:2;7;TAIL\n", 0, 1},
        {std::string(254, '-') + "off:2;7;TAIL\n", 0, 0},
        {"off:1;1;" + std::string(100000, 'x') + "\n", 0, 1}};
    // Loading stops before the line after the 500th record.
    std::string full;
    for (int i = 0; i < kMaxRecords; i++) full += "off:1;1;o\n";
    cases.push_back({full + "off:9;1;never read\n", 0, kMaxRecords});
    for (const char* bad : {"0", "3", "x", "", "-1"})
        for (const char* kw : {"init", "read", "addr", "cfg", "dsp", "off"})
            cases.push_back({"off:1;1;a\n" + std::string(kw) + ":" + bad + ";5;C;1\n", 3, 1});
    for (const Case& c : cases) {
        EXPECT_EQ(load(c.text), c.result) << c.text.substr(0, 60);
        EXPECT_EQ(cfgRecords(), c.records) << c.text.substr(0, 60);
    }
    EXPECT_EQ(loadCfg(dir.path().c_str(), 1), 3); // opens, but cannot be read
}

TEST_F(LoadCfg, WaitsAndCalculations) {
    ASSERT_EQ(load("init:1;1;$delay$;;999\ninit:1;1;$DeLaY$;;1000\ninit:1;1;$delay$;;\n"
                   "init:1;1;$delay$;; 42ms\ninit:1;1;x$delay$;lbl;42\n"
                   "read:1;0;R;1000\nread:2;0;R;999\n"
                   "dsp:1;0;a;$calc$;0;0;*+;c;2.5;2\ndsp:1;0;b;x$calc$;0;0;*;1;2;2\n"),
              0);
    std::vector<int> waits;
    for (GpibRec* r = Index[kInitHead]; r != nullptr; r = r->next) waits.push_back(r->num);
    EXPECT_EQ(waits, (std::vector<int>{999, 0, 0, 42, 0}));
    EXPECT_EQ(Read_gpib[0].num, 0);
    EXPECT_EQ(Read_gpib[1].num, 999);
    // The operator's first character counts; without 'c' an operand is a
    // position, read as an integer; the marker counts only as a prefix.
    GpibRec* a = Index[kDspHead];
    EXPECT_EQ(a->op, 3);
    EXPECT_EQ(a->f1, 0U);
    EXPECT_EQ(a->f2, 2U);
    EXPECT_EQ(a->next->op, 0);
}

TEST_F(LoadCfg, SuffixAndPathLength) {
    std::string base = dir.path() + "/";
    std::string fits = std::string(250 - base.size(), 'f');
    std::string over = fits + "o";
    dir.write(fits + ".conf", "off:1;1;o\n");
    dir.write(over + ".conf", "off:1;1;o\n");
    EXPECT_EQ(loadCfg((base + fits).c_str(), 0), 0);
    EXPECT_EQ(loadCfg((base + fits).c_str(), 1), 3);
    // With the suffix the name must fit 255 bytes.
    EXPECT_EQ(loadCfg((base + over).c_str(), 0), 3);
}

} // namespace
