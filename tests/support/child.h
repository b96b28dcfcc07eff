// A program under test on plain pipes: its standard output and standard
// error collected apart, its standard input a pipe the test can close.
#pragma once

#include <csignal>

#include "support/term.h"

class Child : public qterm::Term {
  public:
    explicit Child(const std::vector<std::string>& argv) : Term(argv, true) {}
    // The exit code (128 + signal when killed), or nothing after the timeout.
    // Once it returns a code, out() and err() hold everything written.
    std::optional<int> wait(std::chrono::milliseconds timeout) { return waitExit(timeout); }
    std::string out() const { return log(); }
};

struct RunResult {
    int exitCode = -1; // exit status, or -1 when the program did not exit by itself
    std::string out, err;
};

// Runs argv[0] (a path) with standard input closed at once; kills it after
// timeoutMs.
inline RunResult runProgram(const std::vector<std::string>& argv, int timeoutMs = 10000) {
    Child child(argv);
    child.closeInput();
    std::optional<int> code = child.wait(std::chrono::milliseconds(timeoutMs));
    if (!code) child.signal(SIGKILL), child.wait(std::chrono::seconds(30));
    return {code && child.termSignal() == 0 ? *code : -1, child.out(), child.err()};
}
