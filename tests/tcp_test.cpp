// Network controllers: whole runs of the real program against the simulator
// listening on loopback, alone or beside a pseudo-terminal controller; a
// connection dropped mid-run and taken up again; start-ups that cannot
// connect, which end with 4 and leave the logs as they were.
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <fstream>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "sim.h"
#include "support/child.h"
#include "support/tempdir.h"

namespace {

using namespace std::chrono_literals;

struct Scenario {
    const char* name;
    const char* listen;      // where the network simulator listens; empty: none
    const char* device;      // the device argument; empty: the simulator's address
    bool optional;           // skipped when the machine cannot listen there
    bool stopped;            // the simulator is stopped before the start: a refused port
    bool full;               // device: a port whose queue of connections is full
    bool beside;             // controller 1 is a pseudo-terminal, the network one is 2
    bool drop;               // the connection is dropped mid-run, then accepted again
    std::vector<int> errnos; // the start-up ends with 4 and one of these
};

void PrintTo(const Scenario& s, std::ostream* os) {
    *os << s.name;
}

// The resolver may also be out of reach (EAGAIN).
const char* const kNoSuchName = "tcp://nonexistent.invalid:1234";

const Scenario kScenarios[] = {
    {"Ipv4", "127.0.0.1:0", "", false, false, false, false, false, {}},
    {"Ipv6", "[::1]:0", "", true, false, false, false, false, {}},
    // Where localhost is also ::1, that address is refused first.
    {"NameAndDefaultPort",
     "127.0.0.1:1234",
     "tcp://localhost",
     true,
     false,
     false,
     false,
     false,
     {}},
    {"BesideATerminal", "0", "", false, false, false, true, false, {}},
    {"DroppedAndAcceptedAgain", "127.0.0.1:0", "", false, false, false, false, true, {}},
    {"Refused", "127.0.0.1:0", "", false, true, false, false, false, {ECONNREFUSED}},
    {"NeverAnswered", "", "", false, false, true, false, false, {ETIMEDOUT}},
    {"Malformed", "", "tcp://::1:1234", false, false, false, false, false, {EINVAL}},
    {"NameThatDoesNotResolve",
     "",
     kNoSuchName,
     false,
     false,
     false,
     false,
     false,
     {ENOENT, EAGAIN}},
};

// A loopback port whose queue of connections is full: the kernel drops
// further requests, so a connection is neither made nor refused.
class FullPort {
  public:
    FullPort() {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        auto* sa = reinterpret_cast<sockaddr*>(&a);
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (bind(fd_, sa, len) != 0 || listen(fd_, 0) != 0 || getsockname(fd_, sa, &len) != 0)
            return;
        for (int& c : fill_) {
            c = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            connect(c, sa, len);
        }
        url_ = "tcp://127.0.0.1:" + std::to_string(ntohs(a.sin_port));
    }
    ~FullPort() {
        for (int c : fill_) close(c);
        close(fd_);
    }
    FullPort(const FullPort&) = delete;
    FullPort& operator=(const FullPort&) = delete;
    const std::string& url() const { return url_; }

  private:
    int fd_ = -1;
    int fill_[3] = {-1, -1, -1};
    std::string url_;
};

bool noErr(const std::string& row) {
    return row.find("ERR") == std::string::npos;
}

class TcpTest : public ::testing::TestWithParam<Scenario> {
  protected:
    qsim::Controller sim;
    TempDir tmp;
    std::string conf = tmp.file("test.conf");
    std::string log = tmp.file("data.csv");

    // Waits until the newest finished row of the data log (the last one may
    // still be on its way) satisfies cond.
    bool waitLastRow(bool (*cond)(const std::string&)) const {
        for (auto until = std::chrono::steady_clock::now() + 30s;
             std::chrono::steady_clock::now() < until; std::this_thread::sleep_for(20ms)) {
            std::istringstream in(readFile(log));
            std::vector<std::string> rows;
            for (std::string line; std::getline(in, line);) rows.push_back(line);
            if (rows.size() >= 3 && cond(rows[rows.size() - 2])) return true;
        }
        return false;
    }
};

int wireCount(const qsim::Controller& s, const std::string& line) {
    int n = 0;
    for (const auto& l : s.lines()) n += l == line ? 1 : 0;
    return n;
}

TEST_P(TcpTest, WholeRun) {
    const Scenario& s = GetParam();
    std::string device = s.device;
    if (s.listen[0] != '\0') {
        bool listening = sim.listen(s.listen);
        if (!listening && s.optional) GTEST_SKIP() << sim.error();
        ASSERT_TRUE(listening) << sim.error();
        if (device.empty()) device = sim.path();
        ASSERT_EQ(device.rfind("tcp://", 0), 0U) << device;
        if (s.stopped) sim.stop();
    }
    std::optional<FullPort> full;
    if (s.full) device = full.emplace().url();
    ASSERT_FALSE(device.empty());
    qsim::Controller pty;
    std::vector<std::string> devices{device};
    std::string n = "1";
    std::string extra;
    if (s.beside) {
        ASSERT_TRUE(pty.start());
        devices.insert(devices.begin(), pty.path());
        n = "2";
        extra = "dsp:1;22;T: ;MEAS:VOLT?;6;0\noff:1;5;OUTP OFF\n";
    }
    std::ofstream(conf) << "addr:1;0;++addr\naddr:2;0;++addr\n"
                           "read:1;0;++read eoi;100\nread:2;0;++read eoi;100\n"
                        << "init:" << n << ";22;*IDN?;QUORVEL-SIM,DMM,0,1.0\n"
                        << "cfg:" << n << ";5;vget;VOLT?;0;1;supply volts\n"
                        << "dsp:" << n << ";22;V: ;MEAS:VOLT?;5;0\n"
                        << "off:" << n << ";5;OUTP OFF\n"
                        << extra;
    std::string cmdlog = tmp.write("cmd.csv", "Record,Date,Time,Command,Value,Response\n1,x\n");
    tmp.write("data.csv", "yesterday's rows\n");
    std::vector<std::string> argv{QUORVEL_BIN, "-c" + conf, "-l" + log, "-g" + cmdlog, "-u20"};
    argv.insert(argv.end(), devices.begin(), devices.end());
    Child q(argv);

    if (!s.errnos.empty()) {
        ASSERT_EQ(q.wait(30s), 4) << q.err();
        bool listed = false;
        for (int e : s.errnos)
            listed |= q.err().ends_with(
                "\nquorvel:  can't open device, errno=" + std::to_string(e) + ".");
        EXPECT_TRUE(listed) << q.err();
        EXPECT_EQ(readFile(log), "yesterday's rows\n");
        EXPECT_EQ(readFile(cmdlog), "Record,Date,Time,Command,Value,Response\n1,x\n");
        return;
    }
    ASSERT_TRUE(waitLastRow(noErr));
    if (s.drop) {
        sim.vanish();
        ASSERT_TRUE(waitLastRow([](const std::string& r) { return !noErr(r); }));
        sim.clearTraffic();
        ASSERT_TRUE(sim.reappear()) << sim.error();
        ASSERT_TRUE(waitLastRow(noErr));
        auto wire = sim.lines();
        ASSERT_FALSE(wire.empty());
        EXPECT_EQ(wire.front(), "++addr 22");
    }
    q.type("vget\nquit\n");
    ASSERT_EQ(q.wait(30s), 0) << q.err();
    EXPECT_NE(q.out().find(sim.ask(5, "VOLT?")), std::string::npos);
    EXPECT_EQ(wireCount(sim, "*IDN?"), s.drop ? 0 : 1);
    EXPECT_EQ(wireCount(sim, "VOLT?"), 1);
    EXPECT_EQ(wireCount(sim, "OUTP OFF"), 1);
    if (s.beside) {
        EXPECT_EQ(wireCount(pty, "OUTP OFF"), 1);
    }
}

INSTANTIATE_TEST_SUITE_P(Scenarios, TcpTest, ::testing::ValuesIn(kScenarios),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
