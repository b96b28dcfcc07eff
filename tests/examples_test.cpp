// The shipped example configurations: each one loads, lays its readings out
// where the screen has room, points its calculated readings at readings that
// exist, and runs against the simulated controllers with every reading
// answered and every calculation fed by the readings it names.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <strings.h>
#include <vector>

#include "sim.h"
#include "support/run.h"
#include "support/tempdir.h"
#include "support/term.h"

namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kShipped = {"bench.conf", "power.conf", "two-controllers.conf"};

std::vector<std::string> exampleFiles() {
    std::vector<std::string> names;
    for (const fs::directory_entry& e : fs::directory_iterator(EXAMPLES_DIR))
        if (e.path().extension() == ".conf") names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string example(const std::string& name) {
    return std::string(EXAMPLES_DIR) + "/" + name;
}

// Lines that make a record (init, cfg, dsp, off), counted from the file
// itself rather than from the loader.
int recordLines(const std::string& path) {
    std::ifstream f(path);
    int n = 0;
    for (std::string line; std::getline(f, line);) {
        for (const char* k : {"init:", "cfg:", "dsp:", "off:"})
            if (strncasecmp(line.c_str(), k, strlen(k)) == 0) n++;
    }
    return n;
}

TEST(Examples, AllShippedExamplesArePresent) {
    std::vector<std::string> have = exampleFiles();
    for (const std::string& name : kShipped)
        EXPECT_NE(std::find(have.begin(), have.end(), name), have.end()) << name;
}

TEST(Examples, EachDumpsWithEveryRecordAndARoomyLayout) {
    const std::regex reading(R"(^(\d+): dev=\d+, adr=-?\d+, .*, row=(-?\d+), rltx=)");
    const std::regex operands(R"(^\top=., f1 \| constant=(\d+) \| .*, f2 \| constant=(\d+) \|)");
    for (const std::string& name : exampleFiles()) {
        SCOPED_TRACE(name);
        RunResult r = runProgram({QUORVEL_BIN, "-d", "-c" + example(name)});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.err, "");
        std::string count =
            "\n# records=" + std::to_string(recordLines(example(name))) + ", max=500\n\n\n";
        ASSERT_GE(r.out.size(), count.size());
        EXPECT_EQ(r.out.substr(r.out.size() - count.size()), count) << r.out;

        std::istringstream dump(r.out);
        int readings = 0;
        std::vector<int> named;
        std::smatch m;
        for (std::string line; std::getline(dump, line);) {
            if (std::regex_search(line, m, reading)) {
                readings = std::stoi(m[1]);
                int row = std::stoi(m[2]);
                // Rows 15 to 19 hold the prompt, answer, log notice, mark and
                // status; 23 and 24 the banner and the cursor; readings of rows
                // 1 and 2 are drawn on row 3.
                bool free = row == 0 || (row >= 3 && row <= 14) || (row >= 20 && row <= 22);
                EXPECT_TRUE(free) << line;
            } else if (std::regex_search(line, m, operands)) {
                named.push_back(std::stoi(m[1]));
                named.push_back(std::stoi(m[2]));
            }
        }
        EXPECT_GT(readings, 0);
        for (int pos : named) EXPECT_LE(pos, readings) << "operand names no reading";
    }
}

// The data log's header and rows, split at commas (the simulated
// instruments answer no commas).
struct DataLog {
    std::vector<std::string> header;
    std::vector<std::vector<std::string>> rows;
};

std::vector<std::string> cells(const std::string& line) {
    std::vector<std::string> out;
    std::istringstream in(line);
    for (std::string c; std::getline(in, c, ',');) out.push_back(c);
    return out;
}

DataLog readLog(const std::string& path) {
    DataLog log;
    std::istringstream in(readFile(path));
    std::string line;
    if (std::getline(in, line)) log.header = cells(line);
    while (std::getline(in, line)) log.rows.push_back(cells(line));
    return log;
}

// A row of the data log that is complete and holds no failed reading.
std::vector<std::string> answeredRow(const DataLog& log) {
    for (const std::vector<std::string>& row : log.rows) {
        if (row.size() != log.header.size()) continue;
        if (std::find(row.begin(), row.end(), "ERR") == row.end()) return row;
    }
    return {};
}

class ExampleRun : public ::testing::Test {
  protected:
    TempDir dir;
    qsim::Controller sims[2];
    std::unique_ptr<qterm::Term> term;
    std::map<std::string, double> values;

    // Runs quorvel on the example with `controllers` simulated controllers
    // until the data log holds a row in which every reading was answered,
    // then quits; the row's values end up in `values` by column label.
    void run(const std::string& name, int controllers) {
        std::vector<std::string> argv{QUORVEL_BIN, "-c" + example(name), "-u50",
                                      "-l" + dir.file("data.csv")};
        for (int i = 0; i < controllers; i++) {
            std::string link = dir.file("ctl" + std::to_string(i));
            ASSERT_TRUE(sims[i].start(link)) << sims[i].error();
            argv.push_back(link);
        }
        term = std::make_unique<qterm::Term>(argv);
        std::vector<std::string> row;
        bool answered = term->waitFor([&] {
            row = answeredRow(readLog(dir.file("data.csv")));
            return !row.empty();
        });
        term->type("quit\n");
        std::optional<int> code = term->waitExit();
        ASSERT_TRUE(answered) << readFile(dir.file("data.csv")) << term->dump();
        ASSERT_EQ(code, std::optional<int>(0)) << term->dump();

        std::vector<std::string> header = readLog(dir.file("data.csv")).header;
        for (size_t i = 5; i < header.size(); i++)
            values[header[i]] = std::strtod(row[i].c_str(), nullptr);
    }

    double value(const std::string& label) {
        auto it = values.find(label);
        EXPECT_NE(it, values.end()) << "no column " << label;
        return it == values.end() ? NAN : it->second;
    }
};

TEST_F(ExampleRun, BenchShowsPowerOfTheMeasuredReadings) {
    run("bench.conf", 1);
    EXPECT_NEAR(value("DMM volts: "), 5.0, 0.01);
    EXPECT_NEAR(value("DMM amps: "), 0.1, 0.001);
    EXPECT_NEAR(value("Set volts: "), 5.0, 1e-9);
    EXPECT_NEAR(value("Power W: "), value("DMM volts: ") * value("DMM amps: "), 0.001);
}

TEST_F(ExampleRun, PowerCalculatesPowerAndResistance) {
    run("power.conf", 1);
    double v = value("Volts V: ");
    double a = value("Amps A: ");
    EXPECT_NEAR(v, 5.0, 0.01);
    EXPECT_NEAR(value("Power W: "), v * a, 0.0002);
    EXPECT_NEAR(value("Resistance Ohm: "), v / a, 0.01);
    EXPECT_NEAR(value("Power mW: "), 1000 * value("Power W: "), 0.1);
    EXPECT_NEAR(value("Set V"), 5.0, 1e-9);
}

TEST_F(ExampleRun, TwoControllersReachTheirOwnInstrumentsAtOneAddress) {
    run("two-controllers.conf", 2);
    // Each supply got its own setting, though both sit at address 5.
    EXPECT_NEAR(value("Set 1 V: "), 5.0, 1e-9);
    EXPECT_NEAR(value("Set 2 V: "), 3.3, 1e-9);
    EXPECT_NEAR(value("V1 - V2: "), value("Bench 1 V: ") - value("Bench 2 V: "), 0.0002);
    for (qsim::Controller& s : sims) {
        std::vector<std::string> wire = s.lines();
        EXPECT_NE(std::find(wire.begin(), wire.end(), "MEAS:VOLT?"), wire.end());
        EXPECT_NE(std::find(wire.begin(), wire.end(), "OUTP OFF"), wire.end());
    }
}

} // namespace
