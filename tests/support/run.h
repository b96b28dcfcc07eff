// Running a real binary as a child process: its standard output and error
// captured in full, its exit status, and a time-out that kills it.
#pragma once

#include <string>
#include <vector>

struct RunResult {
    int exitCode = -1;     // exit status, or -1 when the child did not exit normally
    int signal = 0;        // signal that ended the child, 0 when it exited
    bool timedOut = false; // killed by runProgram after the time-out
    std::string out;       // everything written to standard output
    std::string err;       // everything written to standard error
};

// Runs argv[0] (a path, not searched in PATH) with argv as its argument
// vector, standard input closed at once, the current environment and working
// directory. The child is killed with SIGKILL after timeoutMs.
RunResult runProgram(const std::vector<std::string>& argv, int timeoutMs = 10000);
