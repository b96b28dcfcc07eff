#include "support/term.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <vterm.h>

extern char** environ;

namespace qterm {

namespace {

using Clock = std::chrono::steady_clock;

// How often a wait re-tests its condition when the program stays quiet:
// conditions may depend on more than the screen (a file, the simulator).
constexpr milliseconds kRetest{50};

void appendUtf8(std::string& out, uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string visible(const std::string& bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        if (c == '\n') {
            out += "\\n\n";
        } else if (c == 0x1b) {
            out += "\\e";
        } else if (c < 0x20 || c == 0x7f) {
            char hex[8];
            snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string envName(const std::string& entry) {
    return entry.substr(0, entry.find('='));
}

// The replies a real terminal would send back are of no interest here.
void dropOutput(const char* /*s*/, size_t /*len*/, void* /*user*/) {}

} // namespace

Term::Term(std::vector<std::string> argv, std::vector<std::string> env) {
    if (argv.empty()) throw std::invalid_argument("Term: no program");
    if (std::none_of(env.begin(), env.end(),
                     [](const std::string& e) { return envName(e) == "TERM"; }))
        env.push_back("TERM=xterm");
    std::vector<std::string> envAll;
    for (char** e = environ; *e != nullptr; e++) {
        std::string entry(*e);
        std::string name = envName(entry);
        bool replaced = name == "LINES" || name == "COLUMNS" ||
                        std::any_of(env.begin(), env.end(),
                                    [&](const std::string& o) { return envName(o) == name; });
        if (!replaced) envAll.push_back(entry);
    }
    envAll.insert(envAll.end(), env.begin(), env.end());

    // Everything the child needs is built before the fork: after it, only
    // async-signal-safe calls are allowed in a threaded process.
    std::vector<char*> cargv;
    for (std::string& a : argv) cargv.push_back(a.data());
    cargv.push_back(nullptr);
    std::vector<char*> cenv;
    for (std::string& e : envAll) cenv.push_back(e.data());
    cenv.push_back(nullptr);

    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
        throw std::runtime_error("Term: no pseudo-terminal");
    char name[128];
    if (ptsname_r(master_, name, sizeof name) != 0) throw std::runtime_error("Term: ptsname");
    int slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) throw std::runtime_error("Term: cannot open the terminal");

    termios t{};
    tcgetattr(slave, &t);
    t.c_lflag |= ICANON | ECHO | ECHOE | ISIG;
    t.c_oflag |= OPOST | ONLCR;
    t.c_iflag |= ICRNL;
    tcsetattr(slave, TCSANOW, &t);
    winsize ws{};
    ws.ws_row = kRows;
    ws.ws_col = kCols;
    ioctl(slave, TIOCSWINSZ, &ws);

    vt_ = vterm_new(kRows, kCols);
    vterm_set_utf8(vt_, 1);
    vterm_output_set_callback(vt_, dropOutput, nullptr);
    screen_ = vterm_obtain_screen(vt_);
    vterm_screen_reset(screen_, 1);

    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("Term: fork");
    if (pid_ == 0) {
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        for (int s : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGQUIT}) ::signal(s, SIG_DFL);
        setsid();
        ioctl(slave, TIOCSCTTY, 0);
        dup2(slave, 0);
        dup2(slave, 1);
        dup2(slave, 2);
        // Descriptors of the test process (simulator terminals, logs) are
        // none of the program's business.
        close_range(3, ~0U, 0);
        execve(cargv[0], cargv.data(), cenv.data());
        _exit(127);
    }
    close(slave);
    reader_ = std::thread([this] { readLoop(); });
}

Term::~Term() {
    if (!status_) {
        kill(pid_, SIGKILL);
        int st = 0;
        while (waitpid(pid_, &st, 0) < 0 && errno == EINTR) {
        }
    }
    // With the program gone the terminal reports its hang-up to our side;
    // should anything else still hold it open, the reader stops anyway.
    stop_.store(true);
    if (reader_.joinable()) reader_.join();
    close(master_);
    vterm_free(vt_);
}

void Term::readLoop() {
    char buf[4096];
    for (;;) {
        pollfd p{master_, POLLIN, 0};
        int ready = poll(&p, 1, static_cast<int>(kRetest.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready == 0) {
            if (stop_.load()) return;
            continue;
        }
        ssize_t n = read(master_, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        std::lock_guard<std::mutex> lock(mu_);
        if (n <= 0) {
            eof_ = true;
            changed_.notify_all();
            return;
        }
        log_.append(buf, static_cast<size_t>(n));
        vterm_input_write(vt_, buf, static_cast<size_t>(n));
        generation_++;
        changed_.notify_all();
    }
}

std::string Term::rowLocked(int r) const {
    std::string out;
    if (r < 1 || r > kRows) return out;
    for (int c = 0; c < kCols; c++) {
        VTermScreenCell cell{};
        vterm_screen_get_cell(screen_, VTermPos{r - 1, c}, &cell);
        if (cell.width == 0) continue; // the right half of a wide character
        if (cell.chars[0] == 0) {
            out += ' ';
            continue;
        }
        for (int i = 0; i < VTERM_MAX_CHARS_PER_CELL && cell.chars[i] != 0; i++)
            appendUtf8(out, cell.chars[i]);
    }
    return out;
}

std::string Term::row(int r, bool trim) const {
    std::string out;
    {
        std::lock_guard<std::mutex> lock(mu_);
        out = rowLocked(r);
    }
    if (trim) out.erase(out.find_last_not_of(' ') + 1);
    return out;
}

std::string Term::text(int r, int col, int len) const {
    std::string full = row(r, false);
    if (col < 1 || static_cast<size_t>(col - 1) >= full.size()) return "";
    return full.substr(static_cast<size_t>(col - 1), static_cast<size_t>(len));
}

std::pair<int, int> Term::cursor() const {
    std::lock_guard<std::mutex> lock(mu_);
    VTermPos pos{};
    vterm_state_get_cursorpos(vterm_obtain_state(vt_), &pos);
    return {pos.row + 1, pos.col + 1};
}

std::string Term::dump() const {
    std::string out = "screen:\n";
    std::lock_guard<std::mutex> lock(mu_);
    for (int r = 1; r <= kRows; r++) {
        char num[8];
        snprintf(num, sizeof num, "%2d|", r);
        std::string line = rowLocked(r);
        line.erase(line.find_last_not_of(' ') + 1);
        out += num + line + "\n";
    }
    constexpr size_t kTail = 3000;
    size_t from = log_.size() > kTail ? log_.size() - kTail : 0;
    out += "last bytes written:\n" + visible(log_.substr(from)) + "\n";
    return out;
}

std::string Term::log() const {
    std::lock_guard<std::mutex> lock(mu_);
    return log_;
}

size_t Term::logSize() const {
    std::lock_guard<std::mutex> lock(mu_);
    return log_.size();
}

bool Term::waitFor(const std::function<bool()>& cond, milliseconds timeout) const {
    auto deadline = Clock::now() + timeout;
    for (;;) {
        unsigned long seen = 0;
        {
            std::lock_guard<std::mutex> lock(mu_);
            seen = generation_;
        }
        if (cond()) return true;
        auto now = Clock::now();
        if (now >= deadline) return false;
        std::unique_lock<std::mutex> lock(mu_);
        auto slice = std::min<Clock::duration>(kRetest, deadline - now);
        changed_.wait_for(lock, slice, [&] { return generation_ != seen; });
    }
}

bool Term::waitForText(int r, int col, const std::string& s, milliseconds timeout) const {
    return waitFor([&] { return text(r, col, static_cast<int>(s.size())) == s; }, timeout);
}

bool Term::waitForRowContaining(int r, const std::string& s, milliseconds timeout) const {
    return waitFor([&] { return row(r).find(s) != std::string::npos; }, timeout);
}

bool Term::waitForOutput(const std::string& bytes, size_t from, milliseconds timeout) const {
    return waitFor(
        [&] {
            std::lock_guard<std::mutex> lock(mu_);
            return log_.size() > from && log_.find(bytes, from) != std::string::npos;
        },
        timeout);
}

void Term::type(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw std::runtime_error("Term: cannot type");
        done += static_cast<size_t>(n);
    }
}

void Term::closeInput() {
    termios t{};
    tcgetattr(master_, &t);
    type(std::string(1, static_cast<char>(t.c_cc[VEOF])));
}

bool Term::flowControl() const {
    termios t{};
    return tcgetattr(master_, &t) == 0 && (t.c_iflag & IXON) != 0;
}

void Term::signal(int sig) {
    kill(pid_, sig);
}

std::optional<int> Term::waitExit(milliseconds timeout) {
    auto deadline = Clock::now() + timeout;
    while (!status_) {
        int st = 0;
        pid_t got = waitpid(pid_, &st, WNOHANG);
        if (got == pid_) {
            status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
            break;
        }
        if (got < 0 && errno != EINTR) return std::nullopt;
        if (Clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(milliseconds(10));
    }
    // The last output may still be on its way after the exit.
    auto drained = std::max(deadline, Clock::now() + milliseconds(5000));
    std::unique_lock<std::mutex> lock(mu_);
    if (!changed_.wait_until(lock, drained, [&] { return eof_; })) return std::nullopt;
    return status_;
}

} // namespace qterm
