// The guard's count of passes in a row, its once-per-crossing actions and
// what a guarded row shows, over a run of readings; the whole program's
// scenarios (limit_test) take the actions through to the bus and the logs.
#include <bsd/string.h>
#include <gtest/gtest.h>
#include <string>

#include "config/loader.h"
#include "display/answers.h"
#include "display/guard.h"
#include "support/tempdir.h"

namespace {

TEST(Guard, CountsPassesInARowAndActsOncePerCrossing) {
    TempDir dir;
    ASSERT_EQ(loadCfg(dir.write("g.conf", "cfg:1;5;vset;VOLT ;1;0;v\ndsp:1;22;A:  ;Q?;5;0\n"
                                          "lim:1;;0.8;1;mark\nlim:1;0;1.0;3;off\n"
                                          "lim:1;-5;0.9;2;vset  0 ;err\n")
                          .c_str(),
                      1),
              0);
    ASSERT_EQ(guardStart(), 3);
    // The reading of each pass; the limits that act on it; the row's state:
    // W within, O outside (counted/needed), T tripped, M marked.
    const char* const passes[][3] = {
        {"0.5", "", "W"},    {"0.85", "0", "TM"},   {"0.95", "", "OM1/2"}, {"0.7", "", "W"},
        {"-1", "", "O1/3"},  {"-1", "", "O2/3"},    {"ERR", "", "O2/3"},   {"ERR", "2", "O2/3"},
        {"1.2", "01", "TM"}, {"+1.3E+0", "", "TM"}, {"0.5", "", "W"},      {"-0.1", "", "O1/3"},
    };
    for (const auto& [value, acts, shown] : passes) {
        strlcpy(dspAnswers[0], value, sizeof dspAnswers[0]);
        std::string got;
        for (int i = 0, n = guardPass(); i < n; i++) got += std::to_string(guardActed(i));
        GuardRow row = guardRow(1);
        std::string state = std::string(1, " WOT"[static_cast<int>(row.show)]) +
                            (row.marked ? "M" : "") +
                            (row.show == GuardShow::Outside
                                 ? std::to_string(row.counted) + "/" + std::to_string(row.needed)
                                 : "");
        EXPECT_EQ(got + " " + state, std::string(acts) + " " + shown) << value;
    }
    EXPECT_EQ(guardRow(2).show, GuardShow::None);
    EXPECT_STREQ(guardLast(), "limit: A: 1.2 above 1.0 for 3 passes: off");
    char text[128];
    guardDescribe(1, text, sizeof text);
    EXPECT_STREQ(text, "A: -0.1 below 0 for 3 passes");
    guardValue(0, text, sizeof text);
    EXPECT_STREQ(text, "A: -0.1");
    const char* value = nullptr;
    EXPECT_EQ(guardCommand(2, &value), cfgDictFind("vset"));
    EXPECT_STREQ(value, "0 ");
    EXPECT_EQ(guardAction(2), GuardDo::Command);
}

} // namespace
