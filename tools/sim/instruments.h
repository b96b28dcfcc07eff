// The instruments on the simulated bus: the power supply and multimeter
// models, fixed query answers, each instrument's latency and fault switch,
// the built-in bench, and the instrument file that describes another one.
#pragma once

#include <chrono>
#include <istream>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "sim.h"

namespace qsim {

enum class Kind {
    Psu,     // power supply: VOLT, CURR, OUTP
    Dmm,     // multimeter: MEAS:VOLT?, MEAS:CURR?
    Generic, // answers only its fixed answers (and *OPC?)
};

constexpr int kMaxAddress = 30;
constexpr int kMaxLatencyMs = 60000;

struct Instrument {
    Kind kind = Kind::Generic;
    int latencyMs = 0;
    Fault fault = Fault::None;
    // Looked up before the model's own commands, ignoring case.
    std::vector<std::pair<std::string, std::string>> answers;

    // Power supply settings.
    double volt = 0.0;
    double curr = 0.1;
    bool output = false;

    // The answer waiting for a read, readable from readyAt on.
    std::optional<std::string> pending;
    std::chrono::steady_clock::time_point readyAt{};

    // Acts on one line from the bus and returns the answer when the line is
    // a query the instrument knows; t (seconds since the bench started)
    // drives the multimeter's drift.
    std::optional<std::string> respond(const std::string& line, double t);
    void setAnswer(const std::string& query, const std::string& answer);
};

using Bench = std::map<int, Instrument>;

// A power supply at 5 and a multimeter at 22.
Bench defaultBench();

// Reads an instrument file; false with "name:line: reason" in err.
bool parseBench(std::istream& in, const std::string& name, Bench* bench, std::string* err);
bool loadBench(const std::string& path, Bench* bench, std::string* err);

// Fault names as the instrument file and the command line write them.
bool parseFault(const std::string& name, Fault* fault);

} // namespace qsim
