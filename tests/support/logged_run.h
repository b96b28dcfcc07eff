// A fixture for whole-program runs with a data log: the simulated
// controller, a private directory with the configuration and the log, and
// waits on the rows the program has finished.
#pragma once

#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "sim.h"
#include "support/tempdir.h"

class LoggedRun : public ::testing::Test {
  protected:
    qsim::Controller sim;
    TempDir tmp;
    std::string dir = tmp.path();
    std::string conf = tmp.file("test.conf");
    std::string log = tmp.file("data.csv");

    // The data rows of the log, without the header.
    std::vector<std::string> rows() const;
    // Waits until the log holds at least n rows.
    bool waitRows(size_t n) const;
    // Waits until the last row that is surely finished satisfies cond.
    bool waitLastRow(const std::function<bool(const std::string&)>& cond) const;
};

// How often the simulator s received line.
int wireCount(const qsim::Controller& s, const std::string& line);
