// Whole runs with a network controller (the simulator on loopback) beside a
// terminal one (dropped and taken up again in the chaos soak); starts that
// cannot connect end with 4.
#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include "support/scenario.h"

namespace {

using namespace std::chrono_literals;
using std::string;

// A loopback port whose queue of connections is full: the kernel drops
// further requests, so a connection is neither made nor refused.
string fullPort(std::vector<int>& fds) {
    sockaddr_in a{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t len = sizeof a;
    auto* sa = reinterpret_cast<sockaddr*>(&a);
    for (int i = 0; i < 4; i++) fds.push_back(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
    if (bind(fds[0], sa, len) != 0 || listen(fds[0], 0) != 0 || getsockname(fds[0], sa, &len) != 0)
        return "";
    for (int i = 1; i < 4; i++) connect(fds[i], sa, len);
    return "tcp://127.0.0.1:" + std::to_string(ntohs(a.sin_port));
}

enum Kind { First, Second, Stopped, FullQueue };

struct Row {
    const char* name;
    const char* listen; // where the simulator listens, skipped where it cannot; "": nowhere
    const char* device; // "": the simulator's address
    Kind kind;
    std::vector<int> errnos; // the start ends with 4 and one of these
    friend void PrintTo(const Row& s, std::ostream* os) { *os << s.name; }
};

const Row kRows[] = {
    {"Ipv4", "127.0.0.1:0", "", First, {}},
    {"Ipv6", "[::1]:0", "", First, {}},
    // Where localhost is also ::1, that address is refused first.
    {"NameAndDefaultPort", "127.0.0.1:1234", "tcp://localhost", First, {}},
    {"SecondDevice", "0", "", Second, {}},
    {"Refused", "127.0.0.1:0", "", Stopped, {ECONNREFUSED}},
    {"NeverAnswered", "", "", FullQueue, {ETIMEDOUT}},
    {"Malformed", "", "tcp://::1:1234", First, {EINVAL}},
    // The resolver may also be out of reach (EAGAIN).
    {"UnknownName", "", "tcp://nonexistent.invalid:1234", First, {ENOENT, EAGAIN}},
};

const string kConf = "addr:1;0;++addr\naddr:2;0;++addr\nread:1;0;++read eoi;100\n"
                     "read:2;0;++read eoi;100\ninit:1;22;*IDN?;QUORVEL-SIM,DMM,0,1.0\n"
                     "init:2;22;*IDN?;QUORVEL-SIM,DMM,0,1.0\ndsp:1;22;A: ;MEAS:VOLT?;5;0\n"
                     "dsp:2;22;B: ;MEAS:VOLT?;6;0\noff:1;5;OUTP OFF\noff:2;5;OUTP OFF\n";

bool answered(const string& row) {
    return row.find("ERR") == string::npos;
}

class Tcp : public ::testing::TestWithParam<Row> {};

TEST_P(Tcp, Run) {
    const Row& s = GetParam();
    ::Run r;              // sim[0] is the network controller, sim[1] the terminal one
    std::vector<int> fds; // left to the end of the process
    if (*s.listen != '\0' && !r.sim[0].listen(s.listen)) GTEST_SKIP() << r.sim[0].error();
    string device = *s.device ? s.device : s.kind == FullQueue ? fullPort(fds) : r.sim[0].path();
    if (s.kind == Stopped) r.sim[0].stop();
    ASSERT_TRUE(r.sim[1].start());
    r.dir.write("run.conf", kConf);
    std::vector<string> argv{
        QUORVEL_BIN,    "-c" + r.file("run.conf"), "-l" + r.file("data.csv"), "-u20", device,
        r.sim[1].path()};
    if (s.kind == Second) std::swap(argv[4], argv[5]);
    r.term = std::make_unique<qterm::Term>(argv, true);
    if (!s.errnos.empty()) {
        ASSERT_EQ(r.term->waitExit(30s), 4) << r.err();
        auto named = [&](int e) { return r.err().ends_with("errno=" + std::to_string(e) + "."); };
        EXPECT_TRUE(std::ranges::any_of(s.errnos, named)) << r.err();
        return;
    }
    ASSERT_NO_FATAL_FAILURE(lastRow(answered)(r));
    r.type("quit\n");
    ASSERT_EQ(r.term->waitExit(30s), 0) << r.err();
    EXPECT_EQ(r.count("*IDN?"), 1);
    EXPECT_EQ(r.count("OUTP OFF"), 1);
    EXPECT_EQ(r.count("OUTP OFF", 1), 1);
}

INSTANTIATE_TEST_SUITE_P(Scenarios, Tcp, ::testing::ValuesIn(kRows),
                         [](const auto& info) { return string(info.param.name); });

} // namespace
