#include "support/wire.h"

#include <chrono>
#include <gtest/gtest.h>

#include "bus/port.h"

std::vector<std::string> wireLines(qsim::Controller& sim, FILE* fp) {
    gpibPuts(fp, "MARK");
    EXPECT_TRUE(sim.waitForLine("MARK", std::chrono::seconds(10)));
    std::vector<std::string> l = sim.lines();
    if (!l.empty()) l.pop_back();
    return l;
}
