// The simulator as a program of its own: command line, instrument files,
// framing faults, wire log and unplugging. Its ordinary service and the
// in-process fault switches are exercised by quorvel's whole-program tests.
#include <algorithm>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <poll.h>
#include <regex>
#include <string>
#include <termios.h>
#include <thread>
#include <tuple>
#include <unistd.h>
#include <vector>

#include "bus/net.h"
#include "sim.h"
#include "support/child.h"
#include "support/run.h"
#include "support/tempdir.h"

namespace {

using namespace std::chrono_literals;

TEST(SimProgram, RefusesBadCommandLinesAndFiles) {
    RunResult help = runProgram({QUORVEL_SIM_BIN, "--help"});
    EXPECT_EQ(help.exitCode, 0);
    // FILE stands for a file holding text; only a bad command line gets the usage.
    const std::tuple<std::vector<std::string>, std::string, int, std::string, bool> cases[] = {
        {{"--fault", "5=melt"}, "", 2, "--fault wants ADDR=KIND, not 5=melt\n", true},
        {{"--vanish-after", "-1"}, "", 2, "--vanish-after wants seconds, not -1\n", true},
        {{"--fault", "9=silent"}, "", 2, "no instrument at address 9\n", false},
        {{"--link", "FILE"}, "precious", 1, "not a symbolic link", false},
        {{"--instruments", "FILE"}, "instrument 31 psu\n", 2, "f:1: address", false},
        {{"--instruments", "FILE"}, "\ninstrument 5 scope\n", 2, "f:2: unknown kind", false},
        {{"--instruments", "FILE"}, "instrument 5 psu\ninstrument 5 dmm\n", 2, "f:2: ", false},
        {{"--instruments", "FILE"}, "answer 5 X? 1\n", 2, "f:1: no instrument at", false},
    };
    for (const auto& [args, text, code, why, usage] : cases) {
        TempDir dir;
        std::vector<std::string> argv{QUORVEL_SIM_BIN};
        for (const std::string& a : args) argv.push_back(a == "FILE" ? dir.write("f", text) : a);
        RunResult r = runProgram(argv);
        EXPECT_EQ(r.exitCode, code) << why;
        EXPECT_NE(r.err.find(why), std::string::npos) << r.err;
        EXPECT_EQ(r.err.ends_with(help.out), usage) << why;
        EXPECT_EQ(readFile(dir.file("f")), text) << why;
    }
}

// The terminal behind a link, empty while the link is gone.
std::string target(const std::string& link) {
    std::error_code ec;
    return std::filesystem::read_symlink(link, ec).string();
}

template <class Cond> bool eventually(Cond cond) {
    for (int tries = 0; !cond(); tries++, std::this_thread::sleep_for(10ms))
        if (tries == 1000) return false;
    return true;
}

// Sends lines to the controller and reads until n bytes came or the reads
// stay empty for 5 s.
std::string exchange(const std::string& path, const std::string& lines, size_t n) {
    std::string got;
    int fd = open(path.c_str(), O_RDWR | O_NOCTTY);
    termios t{};
    if (fd >= 0 && tcgetattr(fd, &t) == 0) {
        cfmakeraw(&t);
        t.c_cc[VMIN] = 0;
        t.c_cc[VTIME] = 50;
        tcsetattr(fd, TCSANOW, &t);
        char buf[256];
        ssize_t k = write(fd, lines.data(), lines.size());
        while (k > 0 && got.size() < n && (k = read(fd, buf, sizeof buf)) > 0)
            got.append(buf, static_cast<size_t>(k));
    }
    if (fd >= 0) close(fd);
    return got;
}

const char* const kBench =
    "# one instrument per framing fault; answers are trimmed\n"
    "instrument 1 generic fault=lonelf\nanswer 1 Q? a\ninstrument 2 generic\nanswer 2 q? b\n"
    "instrument 3 generic fault=overlong\nanswer 3 Q? c\n"
    "instrument 4 generic fault=pieces latency=50\nanswer 4 Q?   +1.000E+03 Hz \n";

TEST(SimProgram, ServesAFileBenchLogsAndUnplugs) {
    TempDir dir;
    std::string link = dir.file("gpib0"), log = dir.file("wire.log");
    Child sim({QUORVEL_SIM_BIN, "--link", link, "--instruments", dir.write("bench", kBench),
               "--fault", "2=crlf", "--log", log, "--vanish-after", "0.1", "--reappear-after",
               "0.2"});
    // A second path once the controller is back from the timed unplug.
    ASSERT_TRUE(eventually([&] { return std::ranges::count(sim.out(), '\n') == 2; })) << sim.err();
    std::string out = sim.out();
    EXPECT_EQ(out.substr(out.find('\n') + 1), target(link) + "\n");
    const std::pair<std::string, std::string> wire[] = {
        {"++addr 1\nQ?\n++read eoi\n", "\na\n"},
        {"++addr 2\nQ?\n++read eoi\n", "b\r\n"},
        {"++addr 3\nQ?\n++read eoi\n", "c" + std::string(99, '.') + "\n"},
        {"++addr 4\nQ?\n++read\n", "+1.000E+03 Hz\n"},
    };
    std::string sent;
    for (const auto& [lines, answer] : wire) {
        EXPECT_EQ(exchange(link, lines, answer.size()), answer) << lines;
        sent += lines;
    }
    ASSERT_TRUE(eventually([&] { return readFile(log).ends_with(" ++read\n"); }));
    EXPECT_EQ(std::regex_replace(readFile(log), std::regex("^[0-9]+ ", std::regex::multiline), ""),
              sent);

    // Unplugged by the signal, back by itself on a new terminal.
    sim.signal(SIGUSR1);
    ASSERT_TRUE(eventually([&] { return std::ranges::count(sim.out(), '\n') == 3; }));
    EXPECT_EQ(sim.out(), out + target(link) + "\n");
    EXPECT_EQ(exchange(link, "++addr\n", 3), "4\r\n") << "the address survives an unplug";
    sim.signal(SIGTERM);
    EXPECT_EQ(sim.wait(5s), 0);
    EXPECT_EQ(target(link), "");
    EXPECT_EQ(sim.err(), "");
}

// A network box serves one client at a time and refuses all while unplugged.
TEST(SimListen, OneClientAtATimeAndRefusedWhileUnplugged) {
    qsim::Controller sim;
    ASSERT_TRUE(sim.listen("0")) << sim.error();
    std::string url = sim.path();
    auto dial = [&] {
        NetTarget t{};
        return netResolve(url.c_str(), &t) == 0 ? netConnect(t, 3000) : -1;
    };
    // Answers ++ver, or reads the end of the connection (""), within 5 s.
    auto ask = [](int fd) {
        if (write(fd, "++ver\n", 6) != 6) return std::string("?");
        std::string got;
        pollfd p{fd, POLLIN, 0};
        char buf[64];
        ssize_t n = 1;
        while (got.find('\n') == std::string::npos && poll(&p, 1, 5000) == 1 &&
               (n = read(fd, buf, sizeof buf)) > 0)
            got.append(buf, static_cast<size_t>(n));
        return got;
    };
    int first = dial();
    int second = dial();
    ASSERT_GE(first, 0);
    ASSERT_GE(second, 0);
    EXPECT_EQ(ask(first), "quorvel-sim version 1.0\r\n");
    EXPECT_EQ(ask(second), "");
    close(first);
    close(second);
    // The box listens again once the first client has gone.
    int next = -1;
    ASSERT_TRUE(eventually([&] {
        if (next >= 0) close(next);
        next = dial();
        return next >= 0 && !ask(next).empty();
    }));
    sim.vanish();
    EXPECT_EQ(ask(next), "");
    close(next);
    EXPECT_EQ(dial(), -1);
    EXPECT_EQ(errno, ECONNREFUSED);
}

} // namespace
