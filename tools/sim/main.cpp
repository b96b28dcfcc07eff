// quorvel-sim: the simulated controller as a program of its own, for the
// demo, for benchmarks and for trying configurations without hardware.
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <optional>
#include <signal.h>
#include <string>
#include <vector>

#include "instruments.h"
#include "listener.h"
#include "sim.h"

namespace {

using Clock = std::chrono::steady_clock;

const char* const kUsage =
    "Usage: quorvel-sim [options]\n"
    "A simulated \"++\" GPIB controller on a pseudo-terminal or a TCP port. Prints\n"
    "the terminal's path or the tcp:// address as the first line of standard output\n"
    "(and again each time it comes back after an unplug), then serves it until\n"
    "SIGINT, SIGTERM or SIGHUP.\n"
    "SIGUSR1 unplugs the controller, or plugs it back in.\n"
    "\n"
    "  --link PATH           make PATH a symbolic link to the terminal\n"
    "  --listen [HOST:]PORT  serve TCP instead, one client at a time; HOST is\n"
    "                        127.0.0.1 by default, IPv6 in brackets, PORT 0 picks\n"
    "                        a free port\n"
    "  --instruments FILE    take the instruments from FILE instead of the built-in\n"
    "                        power supply at 5 and multimeter at 22\n"
    "  --fault ADDR=KIND     fault of the instrument at ADDR: silent, pieces, lonelf,\n"
    "                        crlf, overlong, flood, nul, burst or none\n"
    "  --latency ADDR=MS     answers of the instrument at ADDR are ready MS ms after\n"
    "                        its query\n"
    "  --ramp ADDR=QUERY,STEP  each answer of the instrument at ADDR to QUERY is\n"
    "                        the one before plus STEP (a reading that drifts)\n"
    "  --log FILE            append every received line as \"<microseconds> <line>\"\n"
    "  --chaos SEED          a hostile bus: numbers answered as checkable stamps,\n"
    "                        one answer in 256 late, in pieces, cut, repeated 1000\n"
    "                        times, after a NUL or with control bytes; answers are\n"
    "                        logged as \"<microseconds> => <fault> <answer>\"\n"
    "  --vanish-after SEC    unplug the controller SEC seconds after the start\n"
    "  --reappear-after SEC  plug it back in SEC seconds after each unplug\n"
    "  --reset-on-replug     come back from an unplug with the power-on settings\n"
    "                        (++auto 1 among them), not those quorvel gave\n"
    "  -h, --help            print this text\n"
    "  --version             print the version of quorvel it comes with\n";

struct Options {
    std::string link;
    std::string listen;
    std::string instruments;
    std::string log;
    std::vector<std::pair<int, qsim::Fault>> faults;
    std::vector<std::pair<int, int>> latencies;
    struct Ramp {
        int addr;
        std::string query;
        double step;
    };
    std::vector<Ramp> ramps;
    std::optional<int> chaos;
    std::optional<double> vanishAfter;
    std::optional<double> reappearAfter;
    bool help = false;
    bool version = false;
    bool resetOnReplug = false;
};

bool parseInt(const std::string& s, int lo, int hi, int* v) {
    const char* end = s.data() + s.size();
    auto r = std::from_chars(s.data(), end, *v);
    return r.ec == std::errc() && r.ptr == end && *v >= lo && *v <= hi;
}

bool parseSeconds(const std::string& s, double* v) {
    const char* end = s.data() + s.size();
    auto r = std::from_chars(s.data(), end, *v);
    return r.ec == std::errc() && r.ptr == end && *v >= 0.0 && *v <= 1e6;
}

// "ADDR=VALUE": the address and the text after '='.
bool splitAddr(const std::string& s, int* addr, std::string* value) {
    size_t eq = s.find('=');
    if (eq == std::string::npos) return false;
    *value = s.substr(eq + 1);
    return parseInt(s.substr(0, eq), 0, qsim::kMaxAddress, addr);
}

// Returns an empty string, or why the command line is refused.
std::string parseArgs(int argc, char** argv, Options* o) {
    for (int i = 1; i < argc; i++) {
        std::string opt = argv[i];
        if (opt == "-h" || opt == "--help") {
            o->help = true;
            continue;
        }
        if (opt == "--version") {
            o->version = true;
            continue;
        }
        if (opt == "--reset-on-replug") {
            o->resetOnReplug = true;
            continue;
        }
        if (i + 1 >= argc) return opt + " needs a value or is unknown";
        std::string val = argv[++i];
        int addr = 0;
        std::string rest;
        double sec = 0.0;
        if (opt == "--link") {
            o->link = val;
        } else if (opt == "--listen") {
            qsim::Listener l;
            std::string why;
            if (!qsim::parseListen(val, &l, &why)) return why;
            o->listen = val;
        } else if (opt == "--instruments") {
            o->instruments = val;
        } else if (opt == "--log") {
            o->log = val;
        } else if (opt == "--fault") {
            qsim::Fault f{};
            if (!splitAddr(val, &addr, &rest) || !qsim::parseFault(rest, &f))
                return "--fault wants ADDR=KIND, not " + val;
            o->faults.emplace_back(addr, f);
        } else if (opt == "--latency") {
            int ms = 0;
            if (!splitAddr(val, &addr, &rest) || !parseInt(rest, 0, qsim::kMaxLatencyMs, &ms))
                return "--latency wants ADDR=MS (0 to 60000), not " + val;
            o->latencies.emplace_back(addr, ms);
        } else if (opt == "--ramp") {
            Options::Ramp r{};
            if (!splitAddr(val, &r.addr, &rest) || !qsim::parseRamp(rest, &r.query, &r.step))
                return "--ramp wants ADDR=QUERY,STEP, not " + val;
            o->ramps.push_back(r);
        } else if (opt == "--chaos") {
            int seed = 0;
            if (!parseInt(val, 0, INT32_MAX, &seed))
                return "--chaos wants a seed (0 to 2147483647), not " + val;
            o->chaos = seed;
        } else if (opt == "--vanish-after" || opt == "--reappear-after") {
            if (!parseSeconds(val, &sec)) return opt.append(" wants seconds, not ").append(val);
            (opt == "--vanish-after" ? o->vanishAfter : o->reappearAfter) = sec;
        } else {
            return "unknown option " + opt;
        }
    }
    if (!o->link.empty() && !o->listen.empty()) return "--link and --listen exclude each other";
    return "";
}

Clock::time_point after(double sec) {
    return Clock::now() +
           std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(sec));
}

// Waits for one of the blocked signals until the deadline; 0 when it passed.
int waitSignal(const sigset_t& set, std::optional<Clock::time_point> deadline) {
    if (!deadline) return sigwaitinfo(&set, nullptr);
    auto left = std::max(*deadline - Clock::now(), Clock::duration::zero());
    auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    timespec ts{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
    int sig = sigtimedwait(&set, nullptr, &ts);
    return sig < 0 && errno == EAGAIN ? 0 : sig;
}

std::optional<Clock::time_point> earliest(std::optional<Clock::time_point> a,
                                          std::optional<Clock::time_point> b) {
    if (a && b) return std::min(*a, *b);
    return a ? a : b;
}

int serve(qsim::Controller& sim, const Options& o, const sigset_t& set) {
    std::optional<Clock::time_point> vanishAt;
    std::optional<Clock::time_point> reappearAt;
    if (o.vanishAfter) vanishAt = after(*o.vanishAfter);
    bool gone = false;
    for (;;) {
        int sig = waitSignal(set, earliest(vanishAt, reappearAt));
        if (sig == SIGINT || sig == SIGTERM || sig == SIGHUP) return 0;
        Clock::time_point now = Clock::now();
        bool toggle = sig == SIGUSR1;
        bool unplug = (toggle && !gone) || (vanishAt && now >= *vanishAt);
        bool plug = (toggle && gone) || (reappearAt && now >= *reappearAt);
        if (unplug) vanishAt.reset();
        if (unplug && !gone) {
            sim.vanish();
            gone = true;
            if (o.reappearAfter) reappearAt = after(*o.reappearAfter);
        } else if (plug && gone) {
            reappearAt.reset();
            if (!sim.reappear()) {
                std::fprintf(stderr, "quorvel-sim: %s\n", sim.error().c_str());
                return 1;
            }
            gone = false;
            std::printf("%s\n", sim.path().c_str());
            std::fflush(stdout);
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    Options o;
    std::string why = parseArgs(argc, argv, &o);
    if (!why.empty()) {
        std::fprintf(stderr, "quorvel-sim: %s\n%s", why.c_str(), kUsage);
        return 2;
    }
    if (o.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (o.version) {
        std::puts("quorvel-sim " QUORVEL_VERSION);
        return 0;
    }
    qsim::Controller sim;
    sim.setResetOnReplug(o.resetOnReplug);
    std::string err;
    if (!o.instruments.empty() && !sim.loadInstruments(o.instruments, &err)) {
        std::fprintf(stderr, "quorvel-sim: %s\n", err.c_str());
        return 2;
    }
    for (const auto& [addr, f] : o.faults) {
        if (!sim.hasInstrument(addr)) {
            std::fprintf(stderr, "quorvel-sim: no instrument at address %d\n", addr);
            return 2;
        }
        sim.setFault(addr, f);
    }
    for (const auto& [addr, ms] : o.latencies) {
        if (!sim.hasInstrument(addr)) {
            std::fprintf(stderr, "quorvel-sim: no instrument at address %d\n", addr);
            return 2;
        }
        sim.setLatency(addr, ms);
    }
    for (const auto& r : o.ramps) {
        if (!sim.hasInstrument(r.addr)) {
            std::fprintf(stderr, "quorvel-sim: no instrument at address %d\n", r.addr);
            return 2;
        }
        sim.setRamp(r.addr, r.query, r.step);
    }
    if (o.chaos) sim.setChaos(static_cast<unsigned>(*o.chaos));
    if (!o.log.empty() && !sim.setLog(o.log, &err)) {
        std::fprintf(stderr, "quorvel-sim: %s\n", err.c_str());
        return 2;
    }
    // Blocked before the serving thread exists so that it inherits the mask
    // and the signals all come to the loop below.
    sigset_t set;
    sigemptyset(&set);
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGUSR1}) sigaddset(&set, s);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    if (!(o.listen.empty() ? sim.start(o.link) : sim.listen(o.listen))) {
        std::fprintf(stderr, "quorvel-sim: %s\n", sim.error().c_str());
        return 1;
    }
    std::printf("%s\n", sim.path().c_str());
    std::fflush(stdout);
    int code = serve(sim, o, set);
    sim.stop();
    return code;
}
