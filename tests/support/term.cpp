#include "support/term.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <vterm.h>

namespace qterm {

namespace {

using Clock = std::chrono::steady_clock;

// How often a wait re-tests its condition when the program stays quiet:
// conditions may depend on more than the screen (a file, the simulator).
constexpr milliseconds kRetest{50};

void appendUtf8(std::string& out, uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
        return;
    }
    int more = c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
    out += static_cast<char>(((0xFF00 >> (more + 1)) & 0xFF) | (c >> (6 * more)));
    for (int i = more - 1; i >= 0; i--) out += static_cast<char>(0x80 | ((c >> (6 * i)) & 0x3F));
}

std::string visible(const std::string& bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        char hex[8];
        snprintf(hex, sizeof hex, "\\x%02x", c);
        out += c == '\n' ? "\\n\n" : c < 0x20 || c == 0x7f ? hex : std::string(1, c);
    }
    return out;
}

} // namespace

Term::Term(std::vector<std::string> argv, bool pipes) {
    ::signal(SIGPIPE, SIG_IGN); // a program that is gone must not end the test
    // Built before the fork: after it, only async-signal-safe calls are
    // allowed in a threaded process.
    std::vector<char*> cargv;
    for (std::string& a : argv) cargv.push_back(a.data());
    cargv.push_back(nullptr);
    int child[3];
    if (pipes) {
        int p[3][2];
        for (auto& fds : p)
            if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("Term: pipe");
        child[0] = p[0][0], in_ = p[0][1];
        child[1] = p[1][1], out_ = p[1][0];
        child[2] = p[2][1], err_ = p[2][0];
    } else {
        out_ = in_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        char name[128];
        if (out_ < 0 || grantpt(out_) != 0 || unlockpt(out_) != 0 ||
            ptsname_r(out_, name, sizeof name) != 0)
            throw std::runtime_error("Term: no pseudo-terminal");
        child[0] = child[1] = child[2] = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        termios t{};
        tcgetattr(child[0], &t);
        t.c_lflag |= ICANON | ECHO | ECHOE | ISIG;
        t.c_oflag |= OPOST | ONLCR;
        t.c_iflag |= ICRNL;
        tcsetattr(child[0], TCSANOW, &t);
        winsize ws{};
        ws.ws_row = kRows;
        ws.ws_col = kCols;
        ioctl(child[0], TIOCSWINSZ, &ws);
    }
    vt_ = vterm_new(kRows, kCols);
    vterm_set_utf8(vt_, 1);
    // The replies a real terminal would send back are of no interest here.
    vterm_output_set_callback(
        vt_, [](const char*, size_t, void*) {}, nullptr);
    screen_ = vterm_obtain_screen(vt_);
    vterm_screen_reset(screen_, 1);
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("Term: fork");
    if (pid_ == 0) {
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        for (int s : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGQUIT}) ::signal(s, SIG_DFL);
        if (!pipes) {
            setsid();
            ioctl(child[0], TIOCSCTTY, 0);
        }
        for (int fd = 0; fd < 3; fd++) dup2(child[fd], fd);
        // Descriptors of the test process (simulator terminals, logs) are
        // none of the program's business.
        close_range(3, ~0U, 0);
        execv(cargv[0], cargv.data());
        _exit(127);
    }
    for (int fd = 0; fd < (pipes ? 3 : 1); fd++) close(child[fd]);
    reader_ = std::thread([this] { readLoop(); });
}

Term::~Term() {
    if (!status_) {
        kill(pid_, SIGKILL);
        int st = 0;
        while (waitpid(pid_, &st, 0) < 0 && errno == EINTR) {
        }
    }
    // With the program gone its end of the terminal or pipes closes; should
    // anything else still hold it open, the reader stops anyway.
    stop_.store(true);
    if (reader_.joinable()) reader_.join();
    for (int fd : {in_ == out_ ? -1 : in_, out_, err_})
        if (fd >= 0) close(fd);
    vterm_free(vt_);
}

void Term::readLoop() {
    char buf[4096];
    pollfd p[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
    while (p[0].fd >= 0 || p[1].fd >= 0) {
        int ready = poll(p, 2, static_cast<int>(kRetest.count()));
        if (ready == 0 && stop_.load()) break;
        for (pollfd& f : p) {
            if (ready <= 0 || f.fd < 0 || f.revents == 0) continue;
            ssize_t n = read(f.fd, buf, sizeof buf);
            if (n < 0 && errno == EINTR) continue;
            std::lock_guard<std::mutex> lock(mu_);
            if (n <= 0) {
                f.fd = -1; // a terminal whose program is gone reads EIO
            } else if (&f == &p[0]) {
                log_.append(buf, static_cast<size_t>(n));
                vterm_input_write(vt_, buf, static_cast<size_t>(n));
            } else {
                errLog_.append(buf, static_cast<size_t>(n));
            }
            generation_++;
            changed_.notify_all();
        }
    }
    std::lock_guard<std::mutex> lock(mu_);
    eof_ = true;
    changed_.notify_all();
}

std::string Term::rowLocked(int r) const {
    std::string out;
    for (int c = 0; c < cols_ && r >= 1 && r <= rows_; c++) {
        VTermScreenCell cell{};
        vterm_screen_get_cell(screen_, VTermPos{r - 1, c}, &cell);
        if (cell.width == 0) continue; // the right half of a wide character
        if (cell.chars[0] == 0) out += ' ';
        for (int i = 0; i < VTERM_MAX_CHARS_PER_CELL && cell.chars[i] != 0; i++)
            appendUtf8(out, cell.chars[i]);
    }
    return out;
}

std::string Term::row(int r) const {
    std::lock_guard<std::mutex> lock(mu_);
    std::string out = rowLocked(r);
    return out.erase(out.find_last_not_of(' ') + 1);
}

std::string Term::text(int r, int col, int len) const {
    std::lock_guard<std::mutex> lock(mu_);
    std::string full = rowLocked(r);
    if (col < 1 || static_cast<size_t>(col - 1) >= full.size()) return "";
    return full.substr(static_cast<size_t>(col - 1), static_cast<size_t>(len));
}

bool Term::reverse(int r, int col) const {
    std::lock_guard<std::mutex> lock(mu_);
    VTermScreenCell cell{};
    vterm_screen_get_cell(screen_, VTermPos{r - 1, col - 1}, &cell);
    return cell.attrs.reverse != 0;
}

std::string Term::dump() const {
    std::string out = "screen:\n";
    // rows_ changes only on the thread that calls resize and dump.
    for (int r = 1; r <= rows_; r++) out += std::to_string(r) + "|" + row(r) + "\n";
    std::lock_guard<std::mutex> lock(mu_);
    size_t from = log_.size() > 3000 ? log_.size() - 3000 : 0;
    return out + "last bytes written:\n" + visible(log_.substr(from)) + "\n" + errLog_;
}

std::string Term::log() const {
    std::lock_guard<std::mutex> lock(mu_);
    return log_;
}

std::string Term::err() const {
    std::lock_guard<std::mutex> lock(mu_);
    return errLog_;
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

bool Term::waitForOutput(const std::string& bytes, size_t from, milliseconds timeout) const {
    return waitFor([&] { return log().find(bytes, from) != std::string::npos; }, timeout);
}

void Term::type(const std::string& bytes) {
    for (size_t done = 0; done < bytes.size() && in_ >= 0;) {
        ssize_t n = write(in_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return; // the program is gone: its checks will say so
        done += static_cast<size_t>(n);
    }
}

void Term::closeInput() {
    termios t{};
    if (in_ >= 0 && tcgetattr(in_, &t) == 0) return type(std::string(1, char(t.c_cc[VEOF])));
    if (in_ >= 0) close(in_);
    in_ = -1;
}

bool Term::flowControl() const {
    termios t{};
    return tcgetattr(out_, &t) == 0 && (t.c_iflag & IXON) != 0;
}

void Term::resize(int rows, int cols) {
    std::lock_guard<std::mutex> lock(mu_);
    rows_ = rows;
    cols_ = cols;
    vterm_set_size(vt_, rows, cols);
    winsize ws{};
    ws.ws_row = static_cast<unsigned short>(rows);
    ws.ws_col = static_cast<unsigned short>(cols);
    ioctl(out_, TIOCSWINSZ, &ws);
}

void Term::signal(int sig) {
    if (!status_) kill(pid_, sig);
}

std::optional<int> Term::waitExit(milliseconds timeout) {
    auto deadline = Clock::now() + timeout;
    while (!status_) {
        int st = 0;
        pid_t got = waitpid(pid_, &st, WNOHANG);
        if (got == pid_) {
            status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
            termSignal_ = WIFSIGNALED(st) ? WTERMSIG(st) : 0;
        } else if ((got < 0 && errno != EINTR) || Clock::now() >= deadline) {
            return std::nullopt;
        } else {
            std::this_thread::sleep_for(milliseconds(10));
        }
    }
    // The last output may still be on its way after the exit.
    auto drained = std::max(deadline, Clock::now() + milliseconds(5000));
    std::unique_lock<std::mutex> lock(mu_);
    if (!changed_.wait_until(lock, drained, [&] { return eof_; })) return std::nullopt;
    return status_;
}

} // namespace qterm
