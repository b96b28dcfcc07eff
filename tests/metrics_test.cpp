// The metrics file: its text (a golden file that promtool accepts) with the
// labels escaped and the readings that hold no number left out; written
// whole, at most once a second, and with quorvel_up 0 at the end.
#include <bsd/string.h>
#include <dirent.h>
#include <gtest/gtest.h>

#include "display/metrics.h"
#include "support/child.h"
#include "support/stores.h"
#include "support/tempdir.h"

namespace {

TEST(Metrics, EscapedTextThatPromtoolAccepts) {
    resetStores();
    const struct {
        int dev, adr;
        const char *label, *resp;
    } readings[] = {{0, 22, "DMM volts: ", "+5.001794E+00"},
                    {0, 22, "DMM amps: ", "ERR"},
                    {1, 5, "a\"b\\c\nd", " -1.5e-3 "},
                    {1, 7, "\xb5V=", "42"},
                    {0, 9, "state", "OUTP ON"},
                    {0, 9, "inf", "inf"}};
    for (const auto& r : readings) {
        GpibRec* rec = addRecord(kDspHead, r.dev, r.adr, "Q?", r.label);
        strlcpy(rec->resp, r.resp, sizeof rec->resp);
    }
    TempDir dir;
    std::string path = dir.file("quorvel.prom");
    EXPECT_EQ(metricsOpen(dir.file("none/quorvel.prom").c_str(), 2), 9);
    EXPECT_EQ(metricsOpen("/dev/null", 2), 9);
    ASSERT_EQ(metricsOpen(path.c_str(), 2), 0);
    EXPECT_TRUE(metricsPass({1700000000, 250000000}));
    metricsCommand();
    metricsLost(1);
    // Within the second after a write the pass is counted, not written.
    EXPECT_TRUE(metricsPass({1700000001, 0}));
    EXPECT_NE(readFile(path).find("\nquorvel_passes_total 1\n"), std::string::npos);
    ASSERT_TRUE(metricsClose());
    EXPECT_EQ(readFile(path), readFile(TEST_DATA "/metrics/run.prom"));

    RunResult check = runProgram({"/bin/sh", "-c", "promtool check metrics <\"$0\"", path});
    EXPECT_EQ(check.exitCode, 0) << check.err;
    EXPECT_EQ(check.out + check.err, "");
    // No temporary file is left beside it.
    int files = 0;
    DIR* d = opendir(dir.path().c_str());
    while (dirent* e = readdir(d)) files += e->d_name[0] != '.';
    closedir(d);
    EXPECT_EQ(files, 1);
}

} // namespace
