// The user's terminal for whole-program tests: starts a program on a real
// pseudo-terminal of 24 x 80 in its ordinary cooked mode (echo and output
// processing on), feeds everything the program writes, standard error
// included, into a terminal emulator, and lets a test read the screen, type
// lines, send signals and wait for the exit.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

struct VTerm;
struct VTermScreen;

namespace qterm {

using std::chrono::milliseconds;

// Long enough for a sanitizer build on a busy two-core machine.
constexpr milliseconds kWait{20000};

constexpr int kRows = 24;
constexpr int kCols = 80;

class Term {
  public:
    // argv[0] is the program's path. env entries ("NAME=value") are added to
    // (or replace those of) the test's own environment; TERM is xterm.
    explicit Term(std::vector<std::string> argv, std::vector<std::string> env = {});
    // Kills the program if it still runs.
    ~Term();
    Term(const Term&) = delete;
    Term& operator=(const Term&) = delete;

    pid_t pid() const { return pid_; }

    // Row r (1-based) as the screen shows it, kCols characters, or with
    // trailing spaces removed.
    std::string row(int r, bool trim = true) const;
    // len characters of row r from column col (both 1-based).
    std::string text(int r, int col, int len) const;
    // The cursor, 1-based {row, column}.
    std::pair<int, int> cursor() const;
    // Every row, numbered, for failure messages, followed by the tail of the
    // byte log.
    std::string dump() const;

    // Everything the program wrote so far, as written.
    std::string log() const;
    size_t logSize() const;

    // Re-tests cond whenever the program writes (and a few times a second)
    // until it holds; false after the timeout.
    bool waitFor(const std::function<bool()>& cond, milliseconds timeout = kWait) const;
    bool waitForText(int r, int col, const std::string& text, milliseconds timeout = kWait) const;
    bool waitForRowContaining(int r, const std::string& text, milliseconds timeout = kWait) const;
    // Waits until the byte log, from offset `from` on, contains bytes.
    bool waitForOutput(const std::string& bytes, size_t from = 0,
                       milliseconds timeout = kWait) const;

    // Types bytes at the keyboard (a line ends with "\n").
    void type(const std::string& bytes);
    // End of input: the terminal's EOF character, which ends the input at
    // the start of a line.
    void closeInput();
    void signal(int sig);
    // True while the terminal has output flow control (Ctrl-S) on.
    bool flowControl() const;

    // The exit code once the program has ended (128 + the signal when a
    // signal killed it) and all its output has been read; nothing after the
    // timeout.
    std::optional<int> waitExit(milliseconds timeout = kWait);

  private:
    void readLoop();
    std::string rowLocked(int r) const;

    int master_ = -1;
    pid_t pid_ = -1;
    std::optional<int> status_;

    mutable std::mutex mu_;
    mutable std::condition_variable changed_;
    VTerm* vt_ = nullptr;
    VTermScreen* screen_ = nullptr;
    std::string log_;
    unsigned long generation_ = 0;
    bool eof_ = false;
    std::atomic<bool> stop_{false};
    std::thread reader_;
};

} // namespace qterm
