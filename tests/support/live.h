// A live run for whole-program tests: the simulated controller with its
// default bench (power supply at 5, multimeter at 22) in this process, and
// the real program on a terminal, started from a configuration text.
#pragma once

#include <algorithm>
#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

#include "sim.h"
#include "support/tempdir.h"
#include "support/term.h"

// Addressing and read commands of the simulated controller, with a read
// time-out that a sanitizer build keeps to.
inline const std::string kControllerLines = "addr:1;0;++addr\nread:1;0;++read eoi;500\n";

class LiveRun : public ::testing::Test {
  protected:
    TempDir dir;
    qsim::Controller sim;
    std::unique_ptr<qterm::Term> term;

    // Starts the program with config (the controller lines are prepended)
    // and flags, and waits for its first prompt.
    ::testing::AssertionResult start(const std::string& config,
                                     const std::vector<std::string>& flags = {"-u100"}) {
        if (!sim.start(dir.file("ctl"))) return ::testing::AssertionFailure() << "no simulator";
        std::vector<std::string> argv{QUORVEL_BIN,
                                      "-c" + dir.write("run.conf", kControllerLines + config)};
        argv.insert(argv.end(), flags.begin(), flags.end());
        argv.push_back(dir.file("ctl"));
        term = std::make_unique<qterm::Term>(argv);
        if (!term->waitForText(15, 2, ": ")) return ::testing::AssertionFailure() << term->dump();
        return ::testing::AssertionSuccess();
    }

    // Types a line and waits until the program has taken it: the answer
    // row is rewritten, so the bytes written from now on contain "=>".
    void command(const std::string& line) {
        size_t from = term->logSize();
        term->type(line + "\n");
        ASSERT_TRUE(term->waitForOutput("=>", from)) << term->dump();
    }

    size_t wireCount(const std::string& line) const {
        std::vector<std::string> all = sim.lines();
        return static_cast<size_t>(std::count(all.begin(), all.end(), line));
    }
};
