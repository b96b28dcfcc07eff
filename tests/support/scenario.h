// A whole-program run written as data: the configuration, the simulated
// controllers with their instruments and faults, the flags, the steps of the
// run and the checks at its end. The whole-program tests are tables of these.
#pragma once

#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "sim.h"
#include "support/tempdir.h"
#include "support/term.h"

using Cells = std::vector<std::string>;

// The live parts of a run, as its steps and checks see them.
struct Run {
    TempDir dir;
    qsim::Controller sim[2];
    std::string conf;                  // the configuration as written
    std::unique_ptr<qterm::Term> term; // the user's terminal, or plain pipes
    std::optional<int> code;           // once the program has ended

    std::string file(const std::string& name) const { return dir.file(name); }
    int count(const std::string& line, int c = 0) const {
        auto all = sim[c].lines();
        return static_cast<int>(std::count(all.begin(), all.end(), line));
    }
    // What went to the terminal (standard error too) or to standard output.
    std::string out() const { return term->log(); }
    std::string err() const { return term->err(); }
    void type(const std::string& bytes) { term->type(bytes); }
    // A log's lines, and the same read back as CSV; while the run goes on
    // the last one may be a row still being written.
    std::vector<std::string> lines(const std::string& log = "data.csv") const;
    std::vector<Cells> csv(const std::string& log = "data.csv") const;
    bool waitFor(const std::function<bool()>& cond) const { return term->waitFor(cond); }
};

using Step = std::function<void(Run&)>;

struct Scenario {
    std::string name;
    std::string config; // after the lines of controllers 1 and 2
    // In every argument {dir} is the run's directory, {dev} and {dev1} the
    // controllers' links, {pty} the first one's terminal. A -c flag replaces
    // the written configuration.
    std::vector<std::string> flags = {"-u50"};
    std::vector<std::string> devices = {"{dev}"};
    // Fixed answers {address, query, answer} and faults of controller 1's
    // instruments, and anything else to set up before the start.
    std::vector<std::tuple<int, std::string, std::string>> answers{};
    std::vector<std::pair<int, qsim::Fault>> faults{};
    Step bench{};
    std::vector<Step> steps{};
    std::optional<int> code = 0; // none: the check looks at it
    // How often controller 1 received each of these lines.
    std::vector<std::pair<std::string, int>> wire{};
    std::optional<std::string> err{};         // the whole standard error
    std::vector<std::string> says{}, never{}; // in all it wrote, or not
    std::string rows{};                       // what every data-log row holds after its time
    Step check{};
    bool pipes = false;
    std::vector<std::string> prefix{}; // the command the program runs under
};

inline void PrintTo(const Scenario& s, std::ostream* os) {
    *os << s.name;
}
inline std::string rowName(const ::testing::TestParamInfo<Scenario>& info) {
    return info.param.name;
}

class Scenarios : public ::testing::TestWithParam<Scenario> {};

void play(const Scenario& s);

Step type(const std::string& bytes);
Step sig(int s);
Step closeInput();
Step pause(int ms);
// Gives the terminal rows x cols.
Step resize(int rows, int cols);
Step vanish(int c = 0);
Step reappear(int c = 0);
// Waits for controller c to receive line.
Step wire(const std::string& line, int c = 0);
// Waits for the screen to show text at row r from column col.
Step screen(int r, const std::string& text, int col = 1);
// Types line at the prompt and waits for its answer on row 16.
Step answer(const std::string& line, const std::string& shown);
Step until(const std::function<bool(Run&)>& cond, const std::string& what);
// Waits for the data log to hold n rows.
Step rows(size_t n);
// Waits for the newest finished row of the data log to satisfy cond.
Step lastRow(const std::function<bool(const std::string&)>& cond);

// Dictionary commands c1 to cn, "filler" their help: a long help listing.
std::string fillers(int n);

// Every row of a log reads "number,date,time," and then matches cells, the
// numbers counting from 1.
void expectRows(const Run& r, const std::string& cells, const std::string& log = "data.csv");
