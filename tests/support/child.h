// A program under test on plain pipes: its standard output and standard
// error collected apart, its standard input a pipe the test can close.
#pragma once

#include "support/term.h"

class Child : public qterm::Term {
  public:
    explicit Child(const std::vector<std::string>& argv) : Term(argv, true) {}
    // The exit code (128 + signal when killed), or nothing after the timeout.
    // Once it returns a code, out() and err() hold everything written.
    std::optional<int> wait(std::chrono::milliseconds timeout) { return waitExit(timeout); }
    std::string out() const { return log(); }
};
