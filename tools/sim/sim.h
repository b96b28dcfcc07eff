// quorvel-sim: a simulated "++" GPIB controller on a pseudo-terminal or on
// a TCP port, with instruments at GPIB addresses that answer their commands.
// It runs as its own program (tools/sim/main.cpp) or inside a test process.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace qsim {

// Fault switches of one instrument.
enum class Fault {
    None,
    Silent,   // never answers
    Pieces,   // answer written a few bytes at a time
    LoneLf,   // a bare LF before each answer
    CrLf,     // answers end in CR LF
    Overlong, // answers of 100 characters
    Flood,    // after any command, a stream of lines until the next command
    Nul,      // a NUL byte leads each answer
    Burst,    // each answer comes 1000 times, more than a stream buffers
};

// One line the simulator received from quorvel, with the time it arrived.
struct WireLine {
    std::chrono::steady_clock::time_point at;
    std::string text; // without its line feed
};

constexpr unsigned kChaosOneIn = 256;

// The answer of chaos mode: "+ADDR.QQCCCCCCCCCE+00", a number whose digits
// hold the address, two digits of the query's check sum (its bytes, upper
// case, added modulo 100) and the running count modulo 10^9.
std::string stamp(int addr, const std::string& query, unsigned long count);

class Controller {
  public:
    Controller();
    ~Controller();
    Controller(const Controller&) = delete;
    Controller& operator=(const Controller&) = delete;

    // Replaces the built-in instruments with those of an instrument file;
    // false with a message in err when the file is refused.
    bool loadInstruments(const std::string& path, std::string* err);

    // Creates the pseudo-terminal and starts serving it; with a link path, a
    // symbolic link to the terminal is made there.
    bool start(const std::string& link = "");
    // Instead of a terminal, serves one network client at a time on
    // "[HOST:]PORT" (HOST 127.0.0.1 when left out, IPv6 in brackets; port 0
    // picks a free one). A second client is closed at once.
    bool listen(const std::string& hostPort);
    // The terminal's path, or the tcp:// URL, that quorvel opens; empty
    // while unplugged.
    std::string path() const;
    // Stops serving, closes the terminal and removes the link.
    void stop();

    // Closes our side while quorvel runs (an unplugged controller) and, on
    // reappear, comes back on a new terminal behind the same link. On the
    // network the client is dropped and the port refuses connections until
    // reappear listens on it again.
    void vanish();
    bool reappear();
    // Plugged back in, the controller has its power-on settings again (among
    // them ++auto 1) instead of those it was given.
    void setResetOnReplug(bool on);
    // The controller stops reading what quorvel sends, or starts again. On
    // the terminal it still sees quorvel discard its output queue, and drops
    // the line it had begun.
    void setDeaf(bool on);

    // A hostile bus for trying quorvel against, repeatable by its seed: each
    // numeric answer becomes a checkable stamp (address, query, running
    // count, see stamp()), and about one answer in kChaosOneIn is sent late,
    // in pieces, cut, 1000 times over, after a NUL or with control bytes.
    // With a log, every answer goes there too.
    void setChaos(unsigned seed);

    void setFault(int addr, Fault f);
    void setLatency(int addr, int ms);
    // Each answer of the instrument at addr to query (ignoring case) is the
    // one before plus step, from its first answer on.
    void setRamp(int addr, const std::string& query, double step);
    // A fixed answer to query (compared ignoring case) at addr, looked up
    // before the instrument's own commands; an empty address gets a generic
    // instrument.
    void setAnswer(int addr, const std::string& query, const std::string& answer);
    bool hasInstrument(int addr) const;
    // The instrument's answer to query from its present state, without the
    // bus and without touching its pending answer; empty when it has none.
    std::string ask(int addr, const std::string& query) const;
    // The address the controller has selected.
    int address() const;
    // Why start(), listen() or reappear() failed.
    std::string error() const;

    // Appends every received line to path as "<microseconds> <line>", the
    // time counted from the controller's creation, flushed line by line.
    bool setLog(const std::string& path, std::string* err);

    // Every line received so far (the oldest are dropped beyond 100000).
    std::vector<WireLine> traffic() const;
    std::vector<std::string> lines() const;
    void clearTraffic();
    // Waits until a received line equals text; false after the timeout.
    bool waitForLine(const std::string& text, std::chrono::milliseconds timeout) const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace qsim
