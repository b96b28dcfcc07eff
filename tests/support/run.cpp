#include "support/run.h"

#include <chrono>
#include <csignal>

#include "support/child.h"

RunResult runProgram(const std::vector<std::string>& argv, int timeoutMs) {
    RunResult res;
    Child child(argv);
    child.closeInput();
    std::optional<int> code = child.wait(std::chrono::milliseconds(timeoutMs));
    if (!code) {
        res.timedOut = true;
        child.signal(SIGKILL);
        code = child.wait(std::chrono::seconds(30));
    }
    res.signal = child.termSignal();
    res.exitCode = code && res.signal == 0 ? *code : -1;
    res.out = child.out();
    res.err = child.err();
    return res;
}
