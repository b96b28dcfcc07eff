// The "++" controller: reads host lines from the pseudo-terminal or from the
// one network client, acts on controller commands, passes other lines to the
// addressed instrument and writes answers back, all on one serving thread
// driven by poll time-outs.
#include "sim.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <poll.h>
#include <random>
#include <sstream>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

#include "instruments.h"
#include "listener.h"
#include "pty.h"

namespace qsim {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr size_t kTrafficLimit = 100000;
constexpr size_t kMaxLine = 65536;
constexpr size_t kPieceBytes = 3;
constexpr milliseconds kPieceGap{2};
constexpr milliseconds kFloodGap{1};
// A flood stops growing while the far side does not read, instead of piling
// up without bound.
constexpr size_t kFloodBacklog = 256;
constexpr size_t kOverlongChars = 100;
constexpr int kBurstLines = 1000;
// How soon a deaf controller notices that it may read again.
constexpr int kDeafPollMs = 10;
constexpr int kReadTmoDefault = 1200;
const char* const kVersion = "quorvel-sim version 1.0";

// What a controller keeps across an unplug, like its saved configuration.
struct Settings {
    int addr = 0;
    int autoRead = 0;
    int eoi = 1;
    int eos = 0;
    int mode = 1;
    int readTmoMs = kReadTmoDefault;
    int saveCfg = 1;
};

// A controller just switched on, as a replug that resets it leaves it.
Settings poweredOn() {
    Settings s;
    s.autoRead = 1;
    return s;
}

struct Chunk {
    Clock::time_point at;
    std::string bytes;
};

// What lives and dies with one pseudo-terminal or one network client.
struct Session {
    std::string in;               // bytes of a line not yet complete
    std::deque<std::string> todo; // lines received, not yet acted on
    std::deque<Chunk> sched;      // output with its time; lines wait while any is due
    std::string out;              // output the terminal has not taken yet
    // After quorvel discarded its output queue: the bytes still to read that
    // were sent before, ending in the line that was cut.
    size_t beforeCut = 0;
    bool cut = false;
    int floodAddr = -1;
    Clock::time_point floodNext{};
    unsigned floodCount = 0;
};

bool parseInt(const std::string& s, int lo, int hi, int* v) {
    const char* end = s.data() + s.size();
    auto r = std::from_chars(s.data(), end, *v);
    return r.ec == std::errc() && r.ptr == end && *v >= lo && *v <= hi;
}

std::string lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

std::string frame(const std::string& answer, Fault fault) {
    switch (fault) {
    case Fault::LoneLf:
        return "\n" + answer + "\n";
    case Fault::CrLf:
        return answer + "\r\n";
    case Fault::Nul:
        return std::string(1, '\0') + answer + "\n";
    case Fault::Burst: {
        std::string out;
        for (int i = 0; i < kBurstLines; i++) out += answer + "\n";
        return out;
    }
    case Fault::Overlong: {
        std::string a = answer;
        a.resize(kOverlongChars, '.');
        return a + "\n";
    }
    default:
        return answer + "\n";
    }
}

// What chaos mode does to one answer; the names are those of the log.
enum class Twist { None, Late, Pieces, Cut, Burst, Nul, Controls };
const char* const kTwistNames[] = {"ok", "late", "pieces", "cut", "burst", "nul", "ctl"};
constexpr unsigned long kTwists = 6;
// Past a usual read time-out of quorvel, some past its longest (999 ms), all
// within the controller's own default one.
constexpr int kLateMinMs = 300;
constexpr int kLateSpanMs = 800;
// Screen controls, and a comma and a quote for the logs' quoting.
const char* const kControlTail = "\x1b[2J\x07,\"\x7f";

bool isNumber(const std::string& s) {
    char* end = nullptr;
    std::strtod(s.c_str(), &end);
    return !s.empty() && *end == '\0';
}

} // namespace

std::string stamp(int addr, const std::string& query, unsigned long count) {
    unsigned sum = 0;
    for (char c : query)
        sum += static_cast<unsigned char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    char buf[48];
    std::snprintf(buf, sizeof buf, "%+d.%02u%09luE+00", addr, sum % 100, count % 1000000000UL);
    return buf;
}

struct Controller::Impl {
    const Clock::time_point t0 = Clock::now();

    // start, listen, stop, vanish and reappear run one at a time; the
    // serving thread and the members up to mu are theirs.
    std::mutex life;
    std::thread thread;
    int wake[2] = {-1, -1};
    bool started = false;
    bool tcp = false;
    std::atomic<bool> deaf{false};

    // Everything below is shared with the serving thread.
    mutable std::mutex mu;
    mutable std::condition_variable heard;
    Bench bench = defaultBench();
    Settings set;
    bool resetOnReplug = false;
    Session ses;
    std::optional<std::mt19937> chaos;
    unsigned long stamps = 0;
    std::vector<WireLine> traffic;
    FILE* log = nullptr;
    Pty pty;
    Listener net;
    std::string link;
    std::string error;

    ~Impl() {
        if (log != nullptr) fclose(log);
    }

    bool open(const std::string& linkPath);
    bool openTerminal(const std::string& linkPath, std::string* err);
    void close();
    void serve(int conn, int listenFd, int wakeFd);

    // The rest run on the serving thread with mu held.
    int admit(int listenFd, int conn);
    bool receive(int conn, Clock::time_point now);
    void take(const char* data, size_t len, Clock::time_point now);
    void split(Clock::time_point now);
    void arrive(std::string line, Clock::time_point now);
    void advance(Clock::time_point now);
    void handle(const std::string& line, Clock::time_point now);
    void command(const std::string& text, Clock::time_point now);
    void toInstrument(const std::string& line, Clock::time_point now);
    void readInstrument(Clock::time_point now);
    void setting(int* value, const std::vector<std::string>& args, int lo, int hi,
                 Clock::time_point now);
    void reply(const std::string& text, Clock::time_point now);
    Twist twist();
    void logAnswer(Clock::time_point at, Twist t, const std::string& text);
    void flush(int conn);
    int timeoutMs(Clock::time_point now) const;
};

bool Controller::Impl::openTerminal(const std::string& linkPath, std::string* err) {
    Pty p;
    int packet = 1;
    if (!openPty(&p, err) || ioctl(p.master, TIOCPKT, &packet) != 0 ||
        (!linkPath.empty() && !makeLink(p.path, linkPath, err))) {
        if (!linkPath.empty() && !p.path.empty()) removeLink(p.path, linkPath);
        closePty(&p);
        return false;
    }
    std::lock_guard<std::mutex> lock(mu);
    pty = p;
    link = linkPath;
    return true;
}

bool Controller::Impl::open(const std::string& linkPath) {
    std::string err;
    Listener l;
    {
        std::lock_guard<std::mutex> lock(mu);
        l = net;
    }
    bool ok = tcp ? openListener(&l, &err) : openTerminal(linkPath, &err);
    if (ok && pipe2(wake, O_CLOEXEC) != 0) {
        err = "pipe failed";
        ok = false;
    }
    std::lock_guard<std::mutex> lock(mu);
    if (!ok) {
        if (!tcp) {
            if (!link.empty()) removeLink(pty.path, link);
            closePty(&pty);
        }
        closeListener(&l);
        error = err;
        return false;
    }
    net = l;
    ses = Session{};
    thread = std::thread(&Impl::serve, this, tcp ? -1 : pty.master, net.fd, wake[0]);
    return true;
}

void Controller::Impl::close() {
    if (!thread.joinable()) return;
    char c = 'x';
    while (write(wake[1], &c, 1) < 0 && errno == EINTR) {
    }
    thread.join();
    ::close(wake[0]);
    ::close(wake[1]);
    wake[0] = wake[1] = -1;
    std::lock_guard<std::mutex> lock(mu);
    if (!link.empty()) removeLink(pty.path, link);
    closePty(&pty);
    closeListener(&net);
    ses = Session{};
}

void Controller::Impl::serve(int conn, int listenFd, int wakeFd) {
    int timeout = -1;
    bool pendingOut = false;
    for (;;) {
        // Deaf, it reads nothing but the terminal's news of a discard.
        bool deafNow = deaf.load();
        short in = deafNow ? (tcp ? 0 : POLLPRI) : POLLIN;
        pollfd p[3] = {{conn, static_cast<short>(in | (pendingOut ? POLLOUT : 0)), 0},
                       {wakeFd, POLLIN, 0},
                       {listenFd, POLLIN, 0}};
        if (deafNow && (timeout < 0 || timeout > kDeafPollMs)) timeout = kDeafPollMs;
        if (poll(p, 3, timeout) < 0 && errno != EINTR) break;
        if (p[1].revents != 0) break;
        std::lock_guard<std::mutex> lock(mu);
        Clock::time_point now = Clock::now();
        // The slave we hold keeps hang-ups away from the terminal, so an
        // error there would only spin: it is left alone from then on. A
        // network client that leaves makes room for the next.
        bool lost = (p[0].revents & (POLLERR | POLLNVAL | (tcp ? POLLHUP : 0))) != 0;
        if (!lost && (p[0].revents & (POLLIN | POLLPRI)) != 0) lost = !receive(conn, now);
        if (lost) {
            if (tcp) ::close(conn);
            conn = -1;
            ses = Session{};
        }
        // After a leaving client is let go, so that the next one finds room.
        if ((p[2].revents & POLLIN) != 0) conn = admit(listenFd, conn);
        advance(now);
        flush(conn);
        timeout = timeoutMs(now);
        pendingOut = !ses.out.empty();
    }
    if (tcp && conn >= 0) ::close(conn);
}

int Controller::Impl::admit(int listenFd, int conn) {
    int c = acceptClient(listenFd);
    if (c < 0) return conn;
    // One client at a time, as the boxes serve: a second is sent away.
    if (conn >= 0) {
        ::close(c);
        return conn;
    }
    ses = Session{};
    return c;
}

// False when the far side has closed its end or failed. The terminal is in
// packet mode: each read starts with a status byte, which also tells when
// quorvel discarded its output queue.
bool Controller::Impl::receive(int conn, Clock::time_point now) {
    char buf[4096];
    bool open = true;
    for (;;) {
        ssize_t n = read(conn, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n == 0 || (n < 0 && errno != EAGAIN)) open = false;
        if (n <= 0) break;
        if (tcp) {
            take(buf, static_cast<size_t>(n), now);
            continue;
        }
        if (buf[0] == TIOCPKT_DATA) {
            take(buf + 1, static_cast<size_t>(n - 1), now);
        } else if ((buf[0] & TIOCPKT_FLUSHWRITE) != 0) {
            // What is still to read was sent before the discard; the line it
            // ends in was cut, and is dropped once it is read.
            int left = 0;
            ioctl(conn, FIONREAD, &left);
            ses.beforeCut = static_cast<size_t>(std::max(left, 0));
            ses.cut = true;
            take(buf, 0, now);
        }
        if (deaf.load()) break;
    }
    return open;
}

void Controller::Impl::take(const char* data, size_t len, Clock::time_point now) {
    do {
        size_t k = ses.cut ? std::min(len, ses.beforeCut) : len;
        ses.in.append(data, k);
        data += k;
        len -= k;
        if (ses.cut && (ses.beforeCut -= k) == 0) {
            split(now);
            ses.in.clear();
            ses.cut = false;
        }
    } while (len > 0);
    split(now);
}

void Controller::Impl::split(Clock::time_point now) {
    size_t lf = 0;
    while ((lf = ses.in.find('\n')) != std::string::npos) {
        std::string line = ses.in.substr(0, lf);
        ses.in.erase(0, lf + 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        arrive(std::move(line), now);
    }
    if (ses.in.size() > kMaxLine) ses.in.clear();
}

void Controller::Impl::arrive(std::string line, Clock::time_point now) {
    if (log != nullptr) {
        auto us = std::chrono::duration_cast<std::chrono::microseconds>(now - t0).count();
        std::fprintf(log, "%lld ", static_cast<long long>(us));
        std::fwrite(line.data(), 1, line.size(), log);
        std::fputc('\n', log);
        std::fflush(log);
    }
    if (traffic.size() >= kTrafficLimit)
        traffic.erase(traffic.begin(), traffic.begin() + kTrafficLimit / 2);
    traffic.push_back({now, line});
    heard.notify_all();
    ses.floodAddr = -1;
    ses.todo.push_back(std::move(line));
}

void Controller::Impl::advance(Clock::time_point now) {
    for (;;) {
        while (!ses.sched.empty() && ses.sched.front().at <= now) {
            ses.out += ses.sched.front().bytes;
            ses.sched.pop_front();
        }
        // Like a real controller, the next line waits while an answer is
        // still coming from the bus.
        if (!ses.sched.empty() || ses.todo.empty()) break;
        std::string line = std::move(ses.todo.front());
        ses.todo.pop_front();
        handle(line, now);
    }
    if (ses.floodAddr >= 0 && now >= ses.floodNext) {
        if (ses.out.size() < kFloodBacklog)
            ses.out += "flood " + std::to_string(++ses.floodCount) + "\n";
        ses.floodNext = std::max(ses.floodNext + kFloodGap, now);
    }
}

void Controller::Impl::handle(const std::string& line, Clock::time_point now) {
    if (line.rfind("++", 0) == 0)
        command(line.substr(2), now);
    else
        toInstrument(line, now);
}

void Controller::Impl::reply(const std::string& text, Clock::time_point now) {
    ses.sched.push_back({now, text + "\r\n"});
}

void Controller::Impl::setting(int* value, const std::vector<std::string>& args, int lo, int hi,
                               Clock::time_point now) {
    int v = 0;
    if (args.empty())
        reply(std::to_string(*value), now);
    else if (args.size() == 1 && parseInt(args[0], lo, hi, &v))
        *value = v;
    else
        reply("Unrecognized command", now);
}

void Controller::Impl::command(const std::string& text, Clock::time_point now) {
    std::istringstream words(text);
    std::string name;
    words >> name;
    name = lower(name);
    std::vector<std::string> args;
    for (std::string w; words >> w;) args.push_back(lower(w));
    int n = 0;
    bool bare = args.empty();
    if (name == "addr") {
        setting(&set.addr, args, 0, kMaxAddress, now);
    } else if (name == "read") {
        if (bare || (args.size() == 1 && (args[0] == "eoi" || parseInt(args[0], 0, 255, &n))))
            readInstrument(now);
        else
            reply("Unrecognized command", now);
    } else if (name == "ver" && bare) {
        reply(kVersion, now);
    } else if (name == "auto") {
        setting(&set.autoRead, args, 0, 3, now);
    } else if (name == "eoi") {
        setting(&set.eoi, args, 0, 1, now);
    } else if (name == "eos") {
        setting(&set.eos, args, 0, 3, now);
    } else if (name == "mode") {
        setting(&set.mode, args, 0, 1, now);
    } else if (name == "read_tmo_ms") {
        setting(&set.readTmoMs, args, 1, 32000, now);
    } else if (name == "savecfg") {
        setting(&set.saveCfg, args, 0, 1, now);
    } else if (name == "clr" && bare) {
        auto it = bench.find(set.addr);
        if (it != bench.end()) it->second.pending.reset();
    } else if ((name == "spoll" && args.size() <= 1) || (name == "srq" && bare)) {
        reply("0", now);
    } else if (name == "rst" && bare) {
        set = Settings{};
    } else if (!((name == "ifc" || name == "loc" || name == "llo" || name == "trg") && bare)) {
        reply("Unrecognized command", now);
    }
}

void Controller::Impl::toInstrument(const std::string& line, Clock::time_point now) {
    auto it = bench.find(set.addr);
    if (it == bench.end()) return;
    Instrument& in = it->second;
    // A new command clears an unread answer, as SCPI instruments do.
    in.pending.reset();
    auto answer = in.respond(line, std::chrono::duration<double>(now - t0).count());
    if (answer && chaos && isNumber(*answer)) answer = stamp(it->first, line, ++stamps);
    if (answer && in.fault != Fault::Silent) {
        in.pending = *answer;
        in.readyAt = now + milliseconds(in.latencyMs);
    }
    // A later line already waiting would have stopped the stream at once.
    if (in.fault == Fault::Flood && ses.todo.empty()) {
        ses.floodAddr = it->first;
        ses.floodNext = now;
    }
    if (set.autoRead != 0) readInstrument(now);
}

void Controller::Impl::readInstrument(Clock::time_point now) {
    auto it = bench.find(set.addr);
    if (it == bench.end() || !it->second.pending) {
        // With ++auto 1 the controller has read the answer already; a read
        // that finds none waits out the read time-out, and the lines after
        // it wait with it.
        if (set.autoRead != 0) ses.sched.push_back({now + milliseconds(set.readTmoMs), ""});
        return;
    }
    Instrument& in = it->second;
    Twist tw = in.fault == Fault::None ? twist() : Twist::None;
    Clock::time_point ready = std::max(now, in.readyAt);
    if (tw == Twist::Late) ready += milliseconds(kLateMinMs + (*chaos)() % kLateSpanMs);
    // A controller gives up after its read time-out and sends nothing; the
    // answer stays with the instrument for a later read.
    if (ready - now > milliseconds(set.readTmoMs)) return;
    Fault fault = tw == Twist::Pieces  ? Fault::Pieces
                  : tw == Twist::Burst ? Fault::Burst
                  : tw == Twist::Nul   ? Fault::Nul
                                       : in.fault;
    std::string text = *in.pending + (tw == Twist::Controls ? kControlTail : "");
    std::string bytes = frame(text, fault);
    if (tw == Twist::Cut) bytes.resize(bytes.size() / 2);
    logAnswer(ready, tw, text);
    in.pending.reset();
    if (fault != Fault::Pieces) {
        ses.sched.push_back({ready, bytes});
        return;
    }
    for (size_t i = 0; i < bytes.size(); i += kPieceBytes)
        ses.sched.push_back(
            {ready + kPieceGap * static_cast<int>(i / kPieceBytes), bytes.substr(i, kPieceBytes)});
}

Twist Controller::Impl::twist() {
    if (!chaos) return Twist::None;
    auto roll = (*chaos)() % (kChaosOneIn * kTwists);
    return roll < kTwists ? static_cast<Twist>(roll + 1) : Twist::None;
}

void Controller::Impl::logAnswer(Clock::time_point at, Twist t, const std::string& text) {
    if (log == nullptr || !chaos) return;
    auto us = std::chrono::duration_cast<std::chrono::microseconds>(at - t0).count();
    std::fprintf(log, "%lld => %s ", static_cast<long long>(us), kTwistNames[static_cast<int>(t)]);
    for (char c : text) {
        auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7f || b == '\\')
            std::fprintf(log, "\\x%02x", b);
        else
            std::fputc(c, log);
    }
    std::fputc('\n', log);
    std::fflush(log);
}

void Controller::Impl::flush(int conn) {
    while (!ses.out.empty() && conn >= 0) {
        ssize_t n = write(conn, ses.out.data(), ses.out.size());
        if (n > 0) {
            ses.out.erase(0, static_cast<size_t>(n));
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            if (n < 0 && errno != EAGAIN) ses.out.clear();
            return;
        }
    }
}

int Controller::Impl::timeoutMs(Clock::time_point now) const {
    std::optional<Clock::time_point> next;
    if (!ses.sched.empty()) next = ses.sched.front().at;
    if (ses.floodAddr >= 0) next = next ? std::min(*next, ses.floodNext) : ses.floodNext;
    if (!next) return -1;
    if (*next <= now) return 0;
    return static_cast<int>(std::chrono::ceil<milliseconds>(*next - now).count());
}

Controller::Controller() : impl_(std::make_unique<Impl>()) {}

Controller::~Controller() {
    stop();
}

bool Controller::loadInstruments(const std::string& path, std::string* err) {
    Bench b;
    if (!loadBench(path, &b, err)) return false;
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->bench = std::move(b);
    impl_->ses.floodAddr = -1;
    return true;
}

bool Controller::start(const std::string& link) {
    std::lock_guard<std::mutex> life(impl_->life);
    if (impl_->started) {
        std::lock_guard<std::mutex> lock(impl_->mu);
        impl_->error = "already started";
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(impl_->mu);
        impl_->tcp = false;
    }
    impl_->started = impl_->open(link);
    return impl_->started;
}

bool Controller::listen(const std::string& hostPort) {
    std::lock_guard<std::mutex> life(impl_->life);
    Listener l;
    std::string err = "already started";
    bool parsed = !impl_->started && parseListen(hostPort, &l, &err);
    {
        std::lock_guard<std::mutex> lock(impl_->mu);
        if (!parsed) {
            impl_->error = err;
            return false;
        }
        impl_->net = l;
        impl_->tcp = true;
    }
    impl_->started = impl_->open("");
    return impl_->started;
}

std::string Controller::path() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    if (impl_->tcp) return impl_->net.fd >= 0 ? impl_->net.url : "";
    return impl_->pty.path;
}

void Controller::stop() {
    std::lock_guard<std::mutex> life(impl_->life);
    impl_->close();
    impl_->started = false;
}

void Controller::vanish() {
    std::lock_guard<std::mutex> life(impl_->life);
    impl_->close();
}

bool Controller::reappear() {
    std::lock_guard<std::mutex> life(impl_->life);
    if (!impl_->started) return false;
    if (impl_->thread.joinable()) return true;
    std::string link;
    {
        std::lock_guard<std::mutex> lock(impl_->mu);
        link = impl_->link;
        if (impl_->resetOnReplug) impl_->set = poweredOn();
    }
    return impl_->open(link);
}

void Controller::setResetOnReplug(bool on) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->resetOnReplug = on;
}

void Controller::setDeaf(bool on) {
    impl_->deaf.store(on);
}

void Controller::setChaos(unsigned seed) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->chaos.emplace(seed);
}

void Controller::setFault(int addr, Fault f) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    auto it = impl_->bench.find(addr);
    if (it == impl_->bench.end()) return;
    it->second.fault = f;
    if (f != Fault::Flood && impl_->ses.floodAddr == addr) impl_->ses.floodAddr = -1;
}

void Controller::setLatency(int addr, int ms) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    auto it = impl_->bench.find(addr);
    if (it != impl_->bench.end()) it->second.latencyMs = std::clamp(ms, 0, kMaxLatencyMs);
}

void Controller::setRamp(int addr, const std::string& query, double step) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    auto it = impl_->bench.find(addr);
    if (it != impl_->bench.end()) it->second.setRamp(query, step);
}

void Controller::setAnswer(int addr, const std::string& query, const std::string& answer) {
    if (addr < 0 || addr > kMaxAddress) return;
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->bench[addr].setAnswer(query, answer);
}

bool Controller::hasInstrument(int addr) const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->bench.count(addr) != 0;
}

std::string Controller::ask(int addr, const std::string& query) const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    auto it = impl_->bench.find(addr);
    if (it == impl_->bench.end()) return "";
    Instrument copy = it->second;
    double t = std::chrono::duration<double>(Clock::now() - impl_->t0).count();
    return copy.respond(query, t).value_or("");
}

int Controller::address() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->set.addr;
}

std::string Controller::error() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->error;
}

bool Controller::setLog(const std::string& path, std::string* err) {
    FILE* f = std::fopen(path.c_str(), "ae");
    if (f == nullptr) {
        *err = path + ": cannot be opened for appending";
        return false;
    }
    std::lock_guard<std::mutex> lock(impl_->mu);
    if (impl_->log != nullptr) std::fclose(impl_->log);
    impl_->log = f;
    return true;
}

std::vector<WireLine> Controller::traffic() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->traffic;
}

std::vector<std::string> Controller::lines() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    std::vector<std::string> v;
    v.reserve(impl_->traffic.size());
    for (const auto& l : impl_->traffic) v.push_back(l.text);
    return v;
}

void Controller::clearTraffic() {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->traffic.clear();
}

bool Controller::waitForLine(const std::string& text, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(impl_->mu);
    return impl_->heard.wait_for(lock, timeout, [&] {
        return std::any_of(impl_->traffic.begin(), impl_->traffic.end(),
                           [&](const WireLine& l) { return l.text == text; });
    });
}

} // namespace qsim
