#include "sim.h"

#include <algorithm>
#include <climits>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <poll.h>
#include <sstream>
#include <sys/stat.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <utility>

#include "bus/net.h"
#include "support/child.h"
#include "support/run.h"
#include "support/tempdir.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

const milliseconds kLong{5000};
const std::string kVersion = "quorvel-sim version 1.0\r\n";

// The controller port as quorvel opens it.
class Port {
  public:
    // A connected socket, taken over.
    explicit Port(int fd) : fd_(fd) {}
    explicit Port(const std::string& path) {
        fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        termios t{};
        if (fd_ >= 0 && tcgetattr(fd_, &t) == 0) {
            cfmakeraw(&t);
            tcsetattr(fd_, TCSANOW, &t);
        }
    }
    ~Port() {
        if (fd_ >= 0) close(fd_);
    }
    Port(const Port&) = delete;
    Port& operator=(const Port&) = delete;

    bool ok() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    void send(const std::string& line) {
        std::string l = line + "\n";
        ASSERT_EQ(write(fd_, l.data(), l.size()), static_cast<ssize_t>(l.size()));
    }
    // One line (its LF included), or what came before the timeout.
    std::string line(milliseconds timeout = kLong) {
        auto until = Clock::now() + timeout;
        while (buf_.find('\n') == std::string::npos && fill(until)) {
        }
        size_t lf = buf_.find('\n');
        size_t end = lf == std::string::npos ? buf_.size() : lf + 1;
        std::string l = buf_.substr(0, end);
        buf_.erase(0, end);
        return l;
    }
    // Everything that arrives within ms.
    std::string quiet(int ms) {
        auto until = Clock::now() + milliseconds(ms);
        while (fill(until)) {
        }
        return std::exchange(buf_, "");
    }
    // Moves what is waiting, or what arrives by until, into into; with max
    // 1 the arrival of each byte is seen.
    bool readSome(std::string* into, Clock::time_point until, size_t max = 4096) {
        if (buf_.empty() && !fill(until, max)) return false;
        *into += std::exchange(buf_, "");
        return true;
    }

  private:
    bool fill(Clock::time_point until, size_t max = 4096) {
        auto left = std::chrono::ceil<milliseconds>(until - Clock::now()).count();
        pollfd p{fd_, POLLIN, 0};
        if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0) return false;
        char buf[4096];
        ssize_t n = read(fd_, buf, std::min(max, sizeof buf));
        if (n <= 0) return false;
        buf_.append(buf, static_cast<size_t>(n));
        return true;
    }

    std::string buf_;
    int fd_ = -1;
};

class SimTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(sim.start()) << sim.error();
        port = std::make_unique<Port>(sim.path());
        ASSERT_TRUE(port->ok());
    }
    // Addresses the instrument, sends the command and reads the answer.
    std::string query(int addr, const std::string& cmd) {
        port->send("++addr " + std::to_string(addr));
        port->send(cmd);
        port->send("++read eoi");
        return port->line();
    }
    // A version line right away proves nothing else was sent before it.
    void expectNothingBefore() {
        port->send("++ver");
        EXPECT_EQ(port->line(), kVersion);
    }

    qsim::Controller sim;
    std::unique_ptr<Port> port;
};

TEST_F(SimTest, ControllerCommands) {
    port->send("++ver");
    EXPECT_EQ(port->line(), kVersion);
    port->send("++addr");
    EXPECT_EQ(port->line(), "0\r\n");
    port->send("++addr 22\r");
    port->send("++addr");
    EXPECT_EQ(port->line(), "22\r\n");
    EXPECT_EQ(sim.address(), 22);
    for (const char* bad : {"++addr 31", "++addr x", "++bogus", "++read nonsense", "++auto 7"}) {
        port->send(bad);
        EXPECT_EQ(port->line(), "Unrecognized command\r\n") << bad;
    }
    port->send("++read_tmo_ms");
    EXPECT_EQ(port->line(), "1200\r\n");
    port->send("++eos 2");
    port->send("++eos");
    EXPECT_EQ(port->line(), "2\r\n");
    for (const char* silent : {"++eoi 1", "++ifc", "++clr", "++loc", "++savecfg 0", "++mode 1"})
        port->send(silent);
    expectNothingBefore();
}

TEST_F(SimTest, InstrumentsAnswerTheirQueries) {
    EXPECT_EQ(query(5, "*IDN?"), "QUORVEL-SIM,PSU,0,1.0\n");
    EXPECT_EQ(query(22, "*idn?"), "QUORVEL-SIM,DMM,0,1.0\n");
    port->send("++addr 5");
    port->send("VOLT 2.5");
    EXPECT_EQ(query(5, "VOLT?"), "+2.500000E+00\n");
    port->send("CURR 0.25");
    port->send("OUTP ON");
    EXPECT_EQ(query(5, "CURR?"), "+2.500000E-01\n");
    EXPECT_EQ(query(5, "OUTP?"), "1\n");
    EXPECT_EQ(sim.ask(5, "VOLT?"), "+2.500000E+00");
    port->send("*RST");
    EXPECT_EQ(query(5, "VOLT?"), "+0.000000E+00\n");
    EXPECT_EQ(query(5, "OUTP?"), "0\n");

    double v = std::stod(query(22, "MEAS:VOLT?"));
    EXPECT_NEAR(v, 5.0, 0.01);
    double a = std::stod(query(22, "MEAS:CURR?"));
    EXPECT_NEAR(a, 0.1, 0.01);
}

TEST_F(SimTest, NoAnswerPendingSendsNothing) {
    port->send("++addr 5");
    port->send("++read eoi"); // nothing asked yet
    port->send("NOSUCH?");
    port->send("++read");
    port->send("VOLT?");
    port->send("VOLT 1"); // a new command drops the unread answer
    port->send("++read");
    port->send("++addr 7"); // nobody there
    port->send("*IDN?");
    port->send("++read");
    expectNothingBefore();
}

TEST_F(SimTest, LatencyDelaysTheAnswerOrLosesItToTheReadTimeout) {
    sim.setLatency(22, 300);
    auto t0 = Clock::now();
    EXPECT_EQ(query(22, "*IDN?"), "QUORVEL-SIM,DMM,0,1.0\n");
    EXPECT_GE(Clock::now() - t0, milliseconds(290));

    // Lines behind a waiting read are acted on after its answer.
    port->send("*IDN?");
    port->send("++read");
    port->send("++ver");
    EXPECT_EQ(port->line(), "QUORVEL-SIM,DMM,0,1.0\n");
    EXPECT_EQ(port->line(), kVersion);

    port->send("++read_tmo_ms 100");
    port->send("*IDN?");
    port->send("++read");
    EXPECT_EQ(port->quiet(400), "");
    port->send("++read");
    EXPECT_EQ(port->line(), "QUORVEL-SIM,DMM,0,1.0\n");
}

TEST_F(SimTest, FramingFaults) {
    struct Case {
        qsim::Fault fault;
        std::string wire;
    } cases[] = {
        {qsim::Fault::LoneLf, "\nQUORVEL-SIM,DMM,0,1.0\n"},
        {qsim::Fault::CrLf, "QUORVEL-SIM,DMM,0,1.0\r\n"},
        {qsim::Fault::Overlong, "QUORVEL-SIM,DMM,0,1.0" + std::string(79, '.') + "\n"},
        {qsim::Fault::Pieces, "QUORVEL-SIM,DMM,0,1.0\n"},
        {qsim::Fault::None, "QUORVEL-SIM,DMM,0,1.0\n"},
    };
    for (const auto& c : cases) {
        sim.setFault(22, c.fault);
        port->send("++addr 22");
        port->send("*IDN?");
        port->send("++read eoi");
        std::string got;
        auto until = Clock::now() + kLong;
        Clock::time_point first{};
        while (got.size() < c.wire.size() && port->readSome(&got, until, 1))
            if (got.size() == 1) first = Clock::now();
        EXPECT_EQ(got, c.wire) << static_cast<int>(c.fault);
        // 22 bytes in pieces of 3 are 8 writes 2 ms apart.
        if (c.fault == qsim::Fault::Pieces) {
            EXPECT_GE(Clock::now() - first, milliseconds(12));
        }
    }
    expectNothingBefore();
}

TEST_F(SimTest, SilentInstrumentStillActs) {
    sim.setFault(5, qsim::Fault::Silent);
    port->send("++addr 5");
    port->send("VOLT 3");
    port->send("VOLT?");
    port->send("++read");
    expectNothingBefore();
    EXPECT_EQ(sim.ask(5, "VOLT?"), "+3.000000E+00");
}

TEST_F(SimTest, FloodRunsUntilTheNextLine) {
    sim.setFault(22, qsim::Fault::Flood);
    port->send("++addr 22");
    port->send("*RST");
    std::string got;
    auto until = Clock::now() + kLong;
    while (std::count(got.begin(), got.end(), '\n') < 20 && port->readSome(&got, until)) {
    }
    EXPECT_EQ(got.rfind("flood 1\nflood 2\n", 0), 0u) << got;
    port->send("++ver");
    ASSERT_TRUE(sim.waitForLine("++ver", kLong));
    got.clear();
    until = Clock::now() + kLong;
    while (got.find(kVersion) == std::string::npos && port->readSome(&got, until)) {
    }
    EXPECT_TRUE(got.ends_with(kVersion)) << got;
    EXPECT_EQ(port->quiet(100), "");
}

TEST_F(SimTest, TrafficIsRecordedInOrder) {
    TempDir dir;
    std::string err;
    ASSERT_TRUE(sim.setLog(dir.file("wire.log"), &err)) << err;
    sim.clearTraffic();
    port->send("++addr 5");
    port->send("VOLT 1.5\r");
    port->send("++read eoi");
    ASSERT_TRUE(sim.waitForLine("++read eoi", kLong));
    EXPECT_EQ(sim.lines(), (std::vector<std::string>{"++addr 5", "VOLT 1.5", "++read eoi"}));
    auto t = sim.traffic();
    ASSERT_EQ(t.size(), 3u);
    EXPECT_LE(t[0].at, t[1].at);
    EXPECT_LE(t[1].at, t[2].at);
    EXPECT_FALSE(sim.waitForLine("never", milliseconds(50)));

    std::string log = readFile(dir.file("wire.log"));
    std::istringstream in(log);
    std::vector<std::string> texts;
    long long last = -1;
    for (std::string line; std::getline(in, line);) {
        size_t sp = line.find(' ');
        ASSERT_NE(sp, std::string::npos) << line;
        long long us = std::stoll(line.substr(0, sp));
        EXPECT_GE(us, last);
        last = us;
        texts.push_back(line.substr(sp + 1));
    }
    EXPECT_EQ(texts, sim.lines());
    sim.clearTraffic();
    EXPECT_TRUE(sim.lines().empty());
}

std::string linkTarget(const std::string& link) {
    char buf[PATH_MAX];
    ssize_t n = readlink(link.c_str(), buf, sizeof buf - 1);
    return n < 0 ? "" : std::string(buf, static_cast<size_t>(n));
}

bool exists(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

TEST(SimVanish, UnplugAndPlugBackBehindTheLink) {
    TempDir dir;
    std::string link = dir.file("gpib0");
    qsim::Controller sim;
    ASSERT_TRUE(sim.start(link)) << sim.error();
    EXPECT_EQ(linkTarget(link), sim.path());
    Port before(link);
    ASSERT_TRUE(before.ok());
    before.send("++ver");
    EXPECT_EQ(before.line(), kVersion);

    sim.vanish();
    EXPECT_FALSE(exists(link));
    EXPECT_EQ(sim.path(), "");
    pollfd p{before.fd(), POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 5000), 1);
    EXPECT_NE(p.revents & (POLLHUP | POLLERR), 0);
    char c = 0;
    EXPECT_LE(read(before.fd(), &c, 1), 0);

    ASSERT_TRUE(sim.reappear()) << sim.error();
    EXPECT_EQ(linkTarget(link), sim.path());
    Port after(link);
    ASSERT_TRUE(after.ok());
    after.send("++ver");
    EXPECT_EQ(after.line(), kVersion);
    EXPECT_EQ(sim.lines(), (std::vector<std::string>{"++ver", "++ver"}));

    sim.stop();
    EXPECT_FALSE(exists(link));
    EXPECT_FALSE(sim.reappear());
}

// A client of the network side, connected as quorvel connects; -1 when
// refused.
int dial(const std::string& url) {
    NetTarget t{};
    return netResolve(url.c_str(), &t) == 0 ? netConnect(t, 3000) : -1;
}

// True when the far end closes fd within the wait.
bool endsWithin(int fd, milliseconds wait) {
    pollfd p{fd, POLLIN, 0};
    char c = 0;
    return poll(&p, 1, static_cast<int>(wait.count())) == 1 && read(fd, &c, 1) == 0;
}

TEST(SimListen, OneClientAtATimeAndRefusedWhileUnplugged) {
    qsim::Controller sim;
    ASSERT_TRUE(sim.listen("0")) << sim.error();
    std::string url = sim.path();
    EXPECT_EQ(url.rfind("tcp://127.0.0.1:", 0), 0U) << url;
    {
        Port first(dial(url));
        ASSERT_TRUE(first.ok());
        first.send("++ver");
        EXPECT_EQ(first.line(), kVersion);
        Port second(dial(url));
        ASSERT_TRUE(second.ok());
        EXPECT_TRUE(endsWithin(second.fd(), kLong));
        first.send("++ver");
        EXPECT_EQ(first.line(), kVersion);
    }
    Port next(dial(url));
    ASSERT_TRUE(next.ok());
    next.send("++ver");
    EXPECT_EQ(next.line(), kVersion);

    sim.vanish();
    EXPECT_EQ(sim.path(), "");
    EXPECT_TRUE(endsWithin(next.fd(), kLong));
    EXPECT_EQ(dial(url), -1);
    EXPECT_EQ(errno, ECONNREFUSED);
}

TEST(SimLink, RefusesToReplaceAFile) {
    TempDir dir;
    std::string path = dir.write("gpib0", "precious");
    qsim::Controller sim;
    EXPECT_FALSE(sim.start(path));
    EXPECT_NE(sim.error().find("not a symbolic link"), std::string::npos);
    EXPECT_EQ(readFile(path), "precious");
}

TEST(SimInstruments, FileDescribesTheBench) {
    TempDir dir;
    std::string file = dir.write("bench", "# a counter\n"
                                          "instrument 9 generic latency=50 fault=crlf\n"
                                          "answer 9 FREQ?   +1.000E+03 Hz \n"
                                          "\n"
                                          "instrument 5 dmm\n");
    qsim::Controller sim;
    std::string err;
    ASSERT_TRUE(sim.loadInstruments(file, &err)) << err;
    EXPECT_FALSE(sim.hasInstrument(22));
    EXPECT_EQ(sim.ask(9, "freq?"), "+1.000E+03 Hz");
    EXPECT_EQ(sim.ask(9, "*IDN?"), "");
    EXPECT_EQ(sim.ask(5, "*IDN?"), "QUORVEL-SIM,DMM,0,1.0");
    ASSERT_TRUE(sim.start());
    Port port(sim.path());
    port.send("++addr 9");
    port.send("FREQ?");
    port.send("++read");
    EXPECT_EQ(port.line(), "+1.000E+03 Hz\r\n");
    sim.setAnswer(12, "x?", "y");
    EXPECT_EQ(sim.ask(12, "X?"), "y");

    qsim::Controller shipped;
    ASSERT_TRUE(shipped.loadInstruments(EXAMPLES_DIR "/../tools/sim/bench.instruments", &err))
        << err;
    qsim::Controller builtIn;
    for (int addr = 0; addr <= 30; addr++) {
        EXPECT_EQ(shipped.hasInstrument(addr), builtIn.hasInstrument(addr)) << addr;
        EXPECT_EQ(shipped.ask(addr, "*IDN?"), builtIn.ask(addr, "*IDN?")) << addr;
    }
}

TEST(SimInstruments, BadFilesNameTheLine) {
    const std::pair<const char*, const char*> cases[] = {
        {"instrument 31 psu\n", "b:1: address"},
        {"\ninstrument 5 scope\n", "b:2: unknown kind scope"},
        {"instrument 5 psu\ninstrument 5 dmm\n", "b:2: address 5 used twice"},
        {"instrument 5 psu fault=melt\n", "b:1: unknown fault=melt"},
        {"instrument 5 psu latency=-1\n", "b:1: latency"},
        {"answer 5 X? 1\n", "b:1: no instrument at address 5"},
        {"instrument 5 psu\nmeter 5\n", "b:2: unknown keyword meter"},
    };
    for (const auto& [text, why] : cases) {
        TempDir dir;
        qsim::Controller sim;
        std::string err;
        EXPECT_FALSE(sim.loadInstruments(dir.write("b", text), &err)) << text;
        EXPECT_NE(err.find(why), std::string::npos) << err;
        EXPECT_TRUE(sim.hasInstrument(5)) << "a refused file leaves the bench as it was";
    }
}

TEST(SimProgram, Usage) {
    RunResult r = runProgram({QUORVEL_SIM_BIN, "--help"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, readFile(TEST_DATA "/sim/usage.txt"));
    r = runProgram({QUORVEL_SIM_BIN, "--fault", "5=melt"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err, "quorvel-sim: --fault wants ADDR=KIND, not 5=melt\n" +
                         readFile(TEST_DATA "/sim/usage.txt"));
}

bool waitFor(const std::function<bool()>& cond) {
    auto until = Clock::now() + kLong;
    while (!cond()) {
        if (Clock::now() > until) return false;
        std::this_thread::sleep_for(milliseconds(10));
    }
    return true;
}

TEST(SimProgram, ServesUntilTerminated) {
    TempDir dir;
    std::string link = dir.file("gpib0");
    std::string log = dir.file("wire.log");
    Child sim({QUORVEL_SIM_BIN, "--link", link, "--log", log, "--fault", "22=crlf"});
    ASSERT_TRUE(waitFor([&] { return sim.out().find('\n') != std::string::npos; }));
    std::string first = sim.out().substr(0, sim.out().find('\n'));
    EXPECT_EQ(linkTarget(link), first);
    {
        Port port(link);
        ASSERT_TRUE(port.ok());
        port.send("++addr 22");
        port.send("*IDN?");
        port.send("++read eoi");
        EXPECT_EQ(port.line(), "QUORVEL-SIM,DMM,0,1.0\r\n");
    }
    EXPECT_TRUE(waitFor([&] { return readFile(log).ends_with(" ++read eoi\n"); }));

    sim.signal(SIGUSR1);
    EXPECT_TRUE(waitFor([&] { return !exists(link); }));
    sim.signal(SIGUSR1);
    EXPECT_TRUE(waitFor([&] { return exists(link); }));
    EXPECT_TRUE(waitFor([&] { return sim.out() == first + "\n" + linkTarget(link) + "\n"; }));

    sim.signal(SIGTERM);
    EXPECT_EQ(sim.wait(kLong), 0);
    EXPECT_FALSE(exists(link));
    EXPECT_EQ(sim.err(), "");
}

TEST(SimProgram, UnplugsAndComesBackOnTime) {
    TempDir dir;
    std::string link = dir.file("gpib0");
    Child sim(
        {QUORVEL_SIM_BIN, "--link", link, "--vanish-after", "0.1", "--reappear-after", "0.2"});
    // The second path line is printed once the controller is back.
    ASSERT_TRUE(waitFor([&] {
        std::string o = sim.out();
        return std::count(o.begin(), o.end(), '\n') == 2;
    }));
    std::string out = sim.out();
    EXPECT_EQ(out.substr(out.find('\n') + 1), linkTarget(link) + "\n");
    sim.signal(SIGINT);
    EXPECT_EQ(sim.wait(kLong), 0);
    EXPECT_FALSE(exists(link));
}

} // namespace
