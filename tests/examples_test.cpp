// The shipped example configurations: each one loads, lays its readings out
// where the screen has room, points its calculated readings at readings that
// exist, and runs against the simulated controllers with every reading
// answered and every calculation fed by the readings it names.
#include <filesystem>
#include <map>
#include <regex>
#include <sstream>

#include "support/run.h"
#include "support/scenario.h"

namespace {

using std::string;

string example(const string& name) {
    return string(EXAMPLES_DIR) + "/" + name;
}

TEST(Examples, EachDumpsWithEveryRecordAndARoomyLayout) {
    std::vector<string> names;
    for (const auto& e : std::filesystem::directory_iterator(EXAMPLES_DIR))
        if (e.path().extension() == ".conf") names.push_back(e.path().filename().string());
    for (const char* name : {"bench.conf", "power.conf", "two-controllers.conf"})
        EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name;
    const std::regex record("(^|\n)(init|cfg|dsp|off):", std::regex::icase);
    const std::regex reading(R"(^(\d+): dev=\d+, adr=-?\d+, .*, row=(-?\d+), rltx=)");
    const std::regex operands(R"(^\top=., f1 \| constant=(\d+) \| .*, f2 \| constant=(\d+) \|)");
    for (const string& name : names) {
        SCOPED_TRACE(name);
        RunResult r = runProgram({QUORVEL_BIN, "-d", "-c" + example(name)});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.err, "");
        // Every line of the file that makes a record is one.
        string text = readFile(example(name));
        auto records = std::distance(std::sregex_iterator(text.begin(), text.end(), record), {});
        EXPECT_TRUE(r.out.ends_with("\n# records=" + std::to_string(records) + ", max=500\n\n\n"))
            << r.out;
        int readings = 0;
        std::vector<int> named;
        std::smatch m;
        std::istringstream dump(r.out);
        for (string line; std::getline(dump, line);) {
            if (std::regex_search(line, m, reading)) {
                readings = std::stoi(m[1]);
                // Rows 15 to 19 hold the prompt, answer, log notice, mark and
                // status; 23 and 24 the banner and the cursor; readings of rows
                // 1 and 2 are drawn on row 3.
                int row = std::stoi(m[2]);
                EXPECT_TRUE(row == 0 || (row >= 3 && row <= 14) || (row >= 20 && row <= 22))
                    << line;
            } else if (std::regex_search(line, m, operands)) {
                named.insert(named.end(), {std::stoi(m[1]), std::stoi(m[2])});
            }
        }
        EXPECT_GT(readings, 0);
        for (int pos : named) EXPECT_LE(pos, readings) << "operand names no reading";
    }
}

// The first complete row of the data log with every reading answered.
Cells answeredRow(const Run& r) {
    auto rows = r.csv();
    for (size_t i = 1; i < rows.size(); i++)
        if (rows[i].size() == rows[0].size() &&
            std::find(rows[i].begin(), rows[i].end(), "ERR") == rows[i].end())
            return rows[i];
    return {};
}

// Runs an example until every reading was answered, and checks that row's
// values, found by their column labels.
Scenario exampleRun(const string& name, const string& file, const std::vector<string>& devices,
                    const std::function<void(std::map<string, double>&)>& check) {
    return {.name = name,
            .config = "",
            .flags = {"-c" + example(file), "-u50", "-l{dir}/data.csv"},
            .devices = devices,
            .steps = {until([](Run& r) { return !answeredRow(r).empty(); }, "answered row"),
                      type("quit\n")},
            .check = [=](Run& r) {
                Cells row = answeredRow(r);
                Cells header = r.csv()[0];
                std::map<string, double> v;
                for (size_t i = 5; i < header.size(); i++)
                    v[header[i]] = std::strtod(row.at(i).c_str(), nullptr);
                check(v);
                for (int c = 0; c < static_cast<int>(devices.size()); c++) {
                    EXPECT_GT(r.count("MEAS:VOLT?", c), 0);
                    EXPECT_EQ(r.count("OUTP OFF", c), 1);
                }
            }};
}

const std::vector<Scenario> kRows = {
    exampleRun("Bench", "bench.conf", {"{dev}"},
               [](auto& v) {
                   EXPECT_NEAR(v.at("DMM volts: "), 5.0, 0.01);
                   EXPECT_NEAR(v.at("DMM amps: "), 0.1, 0.001);
                   EXPECT_NEAR(v.at("Set volts: "), 5.0, 1e-9);
                   EXPECT_NEAR(v.at("Power W: "), v["DMM volts: "] * v["DMM amps: "], 0.001);
               }),
    exampleRun("Power", "power.conf", {"{dev}"},
               [](auto& v) {
                   EXPECT_NEAR(v.at("Volts V: "), 5.0, 0.01);
                   EXPECT_NEAR(v.at("Power W: "), v["Volts V: "] * v.at("Amps A: "), 0.0002);
                   EXPECT_NEAR(v.at("Resistance Ohm: "), v["Volts V: "] / v["Amps A: "], 0.01);
                   EXPECT_NEAR(v.at("Power mW: "), 1000 * v["Power W: "], 0.1);
                   EXPECT_NEAR(v.at("Set V"), 5.0, 1e-9);
               }),
    // Each supply gets its own setting, though both sit at address 5.
    exampleRun("TwoControllers", "two-controllers.conf", {"{dev}", "{dev1}"},
               [](auto& v) {
                   EXPECT_NEAR(v.at("Set 1 V: "), 5.0, 1e-9);
                   EXPECT_NEAR(v.at("Set 2 V: "), 3.3, 1e-9);
                   EXPECT_NEAR(v.at("V1 - V2: "), v["Bench 1 V: "] - v["Bench 2 V: "], 0.0002);
               }),
};

TEST_P(Scenarios, Run) {
    play(GetParam());
}
INSTANTIATE_TEST_SUITE_P(Examples, Scenarios, ::testing::ValuesIn(kRows), rowName);

} // namespace
