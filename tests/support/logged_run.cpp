#include "support/logged_run.h"

#include <sstream>
#include <thread>

namespace {
constexpr auto kLimit = std::chrono::seconds(30);
constexpr auto kPoll = std::chrono::milliseconds(20);
} // namespace

std::vector<std::string> LoggedRun::rows() const {
    std::vector<std::string> out;
    std::istringstream in(readFile(log));
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) out.push_back(line);
    return out;
}

bool LoggedRun::waitRows(size_t n) const {
    auto until = std::chrono::steady_clock::now() + kLimit;
    while (std::chrono::steady_clock::now() < until) {
        if (rows().size() >= n) return true;
        std::this_thread::sleep_for(kPoll);
    }
    return false;
}

bool LoggedRun::waitLastRow(const std::function<bool(const std::string&)>& cond) const {
    auto until = std::chrono::steady_clock::now() + kLimit;
    while (std::chrono::steady_clock::now() < until) {
        auto r = rows();
        // The newest row may still be on its way; the one before is whole.
        if (r.size() >= 2 && cond(r[r.size() - 2])) return true;
        std::this_thread::sleep_for(kPoll);
    }
    return false;
}

int wireCount(const qsim::Controller& s, const std::string& line) {
    int n = 0;
    for (const auto& l : s.lines()) n += l == line ? 1 : 0;
    return n;
}
