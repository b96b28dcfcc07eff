// The program under test, started on the user's terminal (a real
// pseudo-terminal of 24 x 80 in its ordinary cooked mode, standard error
// included) or on plain pipes. What it writes to the terminal or its standard
// output goes through a terminal emulator whose screen a test reads; a test
// can also type, send signals and wait for the exit.
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
    // argv[0] is the program's path. With pipes, standard
    // error is kept apart (err()) and closeInput() closes standard input.
    explicit Term(std::vector<std::string> argv, bool pipes = false);
    // Kills the program if it still runs.
    ~Term();
    Term(const Term&) = delete;
    Term& operator=(const Term&) = delete;

    pid_t pid() const { return pid_; }
    // Row r (1-based) as the screen shows it, trailing spaces removed.
    std::string row(int r) const;
    // len characters of row r from column col (both 1-based).
    std::string text(int r, int col, int len) const;
    // Whether the cell at row r, column col is drawn in reverse video.
    bool reverse(int r, int col) const;
    // Every row, numbered, and the tail of what was written, for failures.
    std::string dump() const;

    // Everything written to the terminal (or standard output) so far.
    std::string log() const;
    std::string err() const;

    // Re-tests cond whenever the program writes (and a few times a second)
    // until it holds; false after the timeout.
    bool waitFor(const std::function<bool()>& cond, milliseconds timeout = kWait) const;
    bool waitForText(int r, int col, const std::string& text, milliseconds timeout = kWait) const;
    // Waits until what was written from offset `from` on contains bytes.
    bool waitForOutput(const std::string& bytes, size_t from = 0,
                       milliseconds timeout = kWait) const;

    void type(const std::string& bytes);
    // The end of input: the terminal's EOF character at the start of a line.
    void closeInput();
    void signal(int sig);
    // Gives the terminal another size; the program learns of it by SIGWINCH.
    void resize(int rows, int cols);
    // True while the terminal has output flow control (Ctrl-S) on.
    bool flowControl() const;

    // The exit code (128 + the signal when one ended it) once the program
    // has ended and all its output is read; nothing after the timeout.
    std::optional<int> waitExit(milliseconds timeout = kWait);
    // The signal that ended the program, 0 when it exited or still runs.
    int termSignal() const { return termSignal_; }

  private:
    void readLoop();
    std::string rowLocked(int r) const;

    int in_ = -1, out_ = -1, err_ = -1; // out_ is the terminal itself without pipes
    pid_t pid_ = -1;
    std::optional<int> status_;
    int termSignal_ = 0;

    mutable std::mutex mu_;
    mutable std::condition_variable changed_;
    VTerm* vt_ = nullptr;
    VTermScreen* screen_ = nullptr;
    int rows_ = kRows, cols_ = kCols;
    std::string log_, errLog_;
    unsigned long generation_ = 0;
    bool eof_ = false;
    std::atomic<bool> stop_{false};
    std::thread reader_;
};

} // namespace qterm
