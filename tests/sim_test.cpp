// What quorvel's whole-program tests do not reach of the simulator: its command
// line, instrument files, framing faults and the "++" commands quorvel never sends.
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "bus/net.h"
#include "support/child.h"
#include "support/scenario.h"

namespace {

using std::string;

TEST(SimProgram, RefusesBadCommandLinesAndFiles) {
    RunResult help = runProgram({QUORVEL_SIM_BIN, "--help"});
    EXPECT_EQ(help.exitCode, 0);
    // FILE stands for a file holding text; only a bad command line gets the usage.
    const std::tuple<std::vector<string>, string, int, string, bool> cases[] = {
        {{"--fault", "5=melt"}, "", 2, "--fault wants ADDR=KIND, not 5=melt\n", true},
        {{"--vanish-after", "-1"}, "", 2, "--vanish-after wants seconds, not -1\n", true},
        {{"--fault", "9=silent"}, "", 2, "no instrument at address 9\n", false},
        {{"--link", "FILE"}, "precious", 1, "not a symbolic link", false},
        {{"--instruments", "FILE"}, "instrument 31 psu\n", 2, "f:1: address", false},
        {{"--instruments", "FILE"}, "answer 5 X? 1\n", 2, "f:1: no instrument at", false},
        {{"--ramp", "22=MEAS:CURR?"}, "", 2, "--ramp wants ADDR=QUERY,STEP, not 22=MEAS", true},
        {{"--instruments", "FILE"},
         "instrument 22 dmm follows=5\n",
         2,
         "f:1: no power supply",
         false},
    };
    for (const auto& [args, text, code, why, usage] : cases) {
        TempDir dir;
        std::vector<string> argv{QUORVEL_SIM_BIN};
        for (const string& a : args) argv.push_back(a == "FILE" ? dir.write("f", text) : a);
        RunResult r = runProgram(argv);
        EXPECT_EQ(r.exitCode, code) << why;
        EXPECT_NE(r.err.find(why), string::npos) << r.err;
        EXPECT_EQ(r.err.ends_with(help.out), usage) << why;
        EXPECT_EQ(readFile(dir.file("f")), text) << why;
    }
}

// One instrument per framing fault; answers are trimmed, queries matched in
// any case; an answer that ramps.
const char* const kBench =
    "# a comment\ninstrument 1 generic fault=lonelf\nanswer 1 Q? a\n"
    "instrument 2 generic fault=crlf\nanswer 2 q? b\nanswer 2 R? 1.5\nramp 2 r? -0.25\n"
    "instrument 3 generic fault=overlong\nanswer 3 Q? c\n"
    "instrument 4 generic fault=pieces latency=50\nanswer 4 Q?   +1.000E+03 Hz \n";

TEST(SimListen, FramingFaultsAndCommands) {
    TempDir dir;
    string err;
    qsim::Controller sim;
    ASSERT_TRUE(sim.loadInstruments(dir.write("bench", kBench), &err)) << err;
    NetTarget t{};
    ASSERT_TRUE(sim.listen("0") && netResolve(sim.path().c_str(), &t) == 0) << sim.error();
    // A blocking client whose reads give up after 5 s of silence.
    int fd = netConnect(t, 3000);
    timeval five{5, 0};
    ASSERT_TRUE(fcntl(fd, F_SETFL, 0) == 0 &&
                setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &five, sizeof five) == 0);
    const std::pair<string, string> wire[] = {
        {"++ver\n", "quorvel-sim version 1.0\r\n"},
        {"++addr 1\nQ?\n++read eoi\n", "\na\n"},
        {"++addr 2\nQ?\n++read eoi\n", "b\r\n"},
        {"R?\n++read eoi\nR?\n++read eoi\n", "+1.500000E+00\r\n+1.250000E+00\r\n"},
        {"++addr 3\nQ?\n++read eoi\n", "c" + string(99, '.') + "\n"},
        {"++addr 4\nQ?\n++read\n", "+1.000E+03 Hz\n"},
        // An answer later than the read time-out waits for a later read.
        {"Q?\n++read_tmo_ms 10\n++read\n++read_tmo_ms\n++read_tmo_ms 1200\n++read 9\n",
         "10\r\n+1.000E+03 Hz\n"},
        {"++auto 1\nQ?\n++auto 0\n", "+1.000E+03 Hz\n"},
        {"++nosuch\n++addr 31\n++addr\n", "Unrecognized command\r\nUnrecognized command\r\n4\r\n"},
    };
    for (const auto& [lines, answer] : wire) {
        string got(answer.size(), '\0');
        ASSERT_EQ(send(fd, lines.data(), lines.size(), 0), static_cast<ssize_t>(lines.size()));
        got.resize(std::max<ssize_t>(recv(fd, got.data(), got.size(), MSG_WAITALL), 0));
        EXPECT_EQ(got, answer) << lines;
    }
    close(fd);
}

} // namespace
