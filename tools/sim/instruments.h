// The instruments on the simulated bus: the power supply and multimeter
// models (a multimeter may measure a supply's output across its load),
// fixed query answers, answers that ramp from query to query, each
// instrument's latency and fault switch, the built-in bench, and the
// instrument file that describes another one.
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
constexpr double kDefaultLoad = 50.0;

struct Instrument {
    Kind kind = Kind::Generic;
    int latencyMs = 0;
    Fault fault = Fault::None;
    // Looked up before the model's own commands, ignoring case.
    std::vector<std::pair<std::string, std::string>> answers;

    // Power supply settings, and the resistance of the load on its output.
    double volt = 0.0;
    double curr = 0.1;
    bool output = false;
    double load = kDefaultLoad;

    // A multimeter across the load of the supply at this address (-1: a
    // fixed source of about 5 V and 0.1 A); linkBench finds it.
    int follows = -1;
    const Instrument* source = nullptr;

    // Answers that drift: each answer to the query is the one before plus
    // step, starting from the instrument's own answer.
    struct Ramp {
        std::string query;
        double step;
        long count = 0;
    };
    std::vector<Ramp> ramps;

    // The answer waiting for a read, readable from readyAt on.
    std::optional<std::string> pending;
    std::chrono::steady_clock::time_point readyAt{};

    // Acts on one line from the bus and returns the answer when the line is
    // a query the instrument knows; t (seconds since the bench started)
    // drives the multimeter's drift.
    std::optional<std::string> respond(const std::string& line, double t);
    void setAnswer(const std::string& query, const std::string& answer);
    void setRamp(const std::string& query, double step);
};

using Bench = std::map<int, Instrument>;

// A power supply at 5 and a multimeter at 22 across its load.
Bench defaultBench();

// Points each multimeter that follows a supply at it; again after the bench
// is copied.
void linkBench(Bench& bench);

// "QUERY,STEP" as the command line writes a ramp.
bool parseRamp(const std::string& text, std::string* query, double* step);

// Reads an instrument file; false with "name:line: reason" in err.
bool parseBench(std::istream& in, const std::string& name, Bench* bench, std::string* err);
bool loadBench(const std::string& path, Bench* bench, std::string* err);

// Fault names as the instrument file and the command line write them.
bool parseFault(const std::string& name, Fault* fault);

} // namespace qsim
