// The metrics file: its text (a golden file that promtool accepts) with the
// labels escaped and the readings that hold no number left out; written
// whole, at most once a second, and with quorvel_up 0 at the end, as a real
// node exporter serves it.
#include <arpa/inet.h>
#include <bsd/string.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <iostream>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "bus/port.h"
#include "display/answers.h"
#include "display/metrics.h"
#include "support/child.h"
#include "support/scenario.h"
#include "support/tempdir.h"

namespace {

TEST(Metrics, EscapedTextThatPromtoolAccepts) {
    cfgClear();
    const struct {
        uint32_t dev;
        int32_t adr;
        const char *label, *resp;
    } readings[] = {{0, 22, "DMM volts: ", "+5.001794E+00"},
                    {0, 22, "DMM amps: ", "ERR"},
                    {1, 5, "a\"b\\c\nd", " -1.5e-3 "},
                    {1, 7, "\xb5V=", "42"},
                    {0, 9, "state", "OUTP ON"},
                    {0, 9, "inf", "inf"}};
    for (const auto& r : readings) {
        Reading& rec = cfgStore.dsp.at[cfgStore.dsp.count];
        rec.at = {r.dev, r.adr};
        strlcpy(rec.label, r.label, sizeof rec.label);
        strlcpy(dspAnswers[cfgStore.dsp.count++], r.resp, sizeof(Answer));
    }
    TempDir dir;
    std::string path = dir.file("quorvel.prom");
    ASSERT_EQ(metricsOpen(path.c_str(), 2), 0);
    EXPECT_TRUE(metricsPass({1700000000, 250000000}));
    metricsCommand();
    gpibLosses[1]++;
    // Within the second after a write the pass is counted, not written.
    EXPECT_TRUE(metricsPass({1700000001, 0}));
    EXPECT_NE(readFile(path).find("\nquorvel_passes_total 1\n"), std::string::npos);
    ASSERT_TRUE(metricsClose());
    EXPECT_EQ(readFile(path), readFile(TEST_DATA "/metrics/run.prom"));

    RunResult check = runProgram({"/bin/sh", "-c", "promtool check metrics <\"$0\"", path});
    EXPECT_EQ(check.exitCode, 0) << check.err;
    // No temporary file is left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

// Reads http://127.0.0.1:port/metrics; empty when nothing answers there.
std::string scrape(int port) {
    return runProgram({"/usr/bin/python3", "-c",
                       "import sys, urllib.request as u\n"
                       "try: print(u.urlopen(sys.argv[1], timeout=5).read().decode())\n"
                       "except OSError: pass",
                       "http://127.0.0.1:" + std::to_string(port) + "/metrics"})
        .out;
}

// A loopback port that was free a moment ago.
int freePort() {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    close(fd);
    return ntohs(a.sin_port);
}

// A reading's sample as the exporter serves it, its labels sorted.
std::string served(const char* metric, const std::string& label, int pos, int adr) {
    return std::string("\n") + metric + "{address=\"" + std::to_string(adr) +
           "\",controller=\"1\",label=\"" + label + "\",position=\"" + std::to_string(pos) + "\"} ";
}

// The demo's configuration and a reading of an instrument that never
// answers, its label holding a double quote and a backslash, served by a
// real node exporter from the metrics file's directory.
TEST(Metrics, NodeExporterServesARun) {
    std::unique_ptr<Child> exporter;
    int port = 0;
    auto scraped = [&](const std::string& text) {
        return until([&, text](::Run&) { return scrape(port).find(text) != std::string::npos; },
                     "/metrics with " + text);
    };
    Scenario s{"exporter", "", {"-c{dir}/demo.conf", "-u50", "-m{dir}/quorvel.prom"}};
    s.bench = [&](::Run& r) {
        r.dir.write("demo.conf",
                    readFile(EXAMPLES_DIR "/bench.conf") + "dsp:1;9;Absent \"x\\y\": ;X?;12;0\n");
        port = freePort();
        exporter = std::make_unique<Child>(
            std::vector<std::string>{"/usr/bin/prometheus-node-exporter",
                                     "--web.listen-address=127.0.0.1:" + std::to_string(port),
                                     "--collector.disable-defaults", "--collector.textfile",
                                     "--collector.textfile.directory=" + r.dir.path()});
    };
    s.steps = {scraped("\nquorvel_up 1\n"),
               scraped(served("quorvel_reading_ok", R"(Absent \"x\\y\")", 5, 9) + "0\n"),
               scraped(served("quorvel_reading", "Set volts", 3, 5) + "5\n"), type("quit\n"),
               scraped("\nquorvel_up 0\n")};
    s.check = [&](::Run& r) {
        std::string page = scrape(port);
        std::cout << page;
        EXPECT_NE(page.find("\nnode_textfile_scrape_error 0\n"), std::string::npos);
        // The simulated multimeter's volts drift around 5 V.
        std::string volts = served("quorvel_reading", "DMM volts", 1, 22);
        size_t at = page.find(volts);
        ASSERT_NE(at, std::string::npos);
        EXPECT_NEAR(std::stod(page.substr(at + volts.size())), 5.0, 0.01);
        RunResult check =
            runProgram({"/bin/sh", "-c", "promtool check metrics <\"$0\"", r.file("quorvel.prom")});
        EXPECT_EQ(check.exitCode, 0) << check.out << check.err;
    };
    play(s);
}

} // namespace
