// The whole program's start-up, clean-up and termination signals: refused
// starts, signals at every stage with their one clean-up, and ends that come
// promptly however long the interval.
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include "support/scenario.h"

namespace {

using namespace std::chrono_literals;
using std::string;

const string kConf = "cfg:1;5;vget;VOLT?;0;1;supply volts\n"
                     "dsp:1;22;V: ;MEAS:VOLT?;5;0\n"
                     "off:1;5;OUTP OFF\n";
const string kArgs = "bad or missing arguments";
const string kDevice = "can't open device";
const string kData = "data log file error";
const string kCmd = "Cfg (command) log file error";
const string kConfig = "problem with config file";
const string kNoFile = "No such file or directory";
const string kInterval = "interval must be 0 to 86400000 ms, in digits";
const string kIdn60 = "MAKER TECHNOLOGIES,34465A,MY12345678,A.03.01-02.40-03.01-012";
const string kOff34 = "SOURce:VOLTage:LEVel:IMMediate 0.0";
const std::vector<string> kNoFiles = {"/usr/bin/prlimit", "--fsize=0:0"};
const std::vector<string> kNoFilesShell = {"/bin/sh", "-c", "ulimit -f 0 && exec \"$@\"", "sh"};

// The text with the run's paths in place of {dir}, {dev} and {pty}.
string paths(const Run& r, string text) {
    for (auto [key, val] : {std::pair<string, string>{"{dir}", r.dir.path()},
                            {"{dev}", r.file("ctl0")},
                            {"{pty}", r.sim[0].path()}})
        for (size_t at; (at = text.find(key)) != string::npos;) text.replace(at, key.size(), val);
    return text;
}

// A refused start: the line naming what and why, its result and message,
// nothing on the wire, and the files around (an earlier data log, the
// configuration) as they were.
Scenario refused(const string& name, const std::vector<string>& args, int code, const string& msg,
                 const string& named, const std::vector<string>& prefix = {}) {
    return {.name = name,
            .config = kConf,
            .flags = args,
            .devices = {},
            .bench =
                [=](Run& r) {
#ifdef __SANITIZE_THREAD__
                    // The sanitizer's runtime writes a file before main.
                    if (!prefix.empty()) GTEST_SKIP() << "no start under a size limit";
#endif
                    r.dir.write("old.csv", "old,data\n");
                    r.dir.write("nul.conf", string("# a\0b\n", 6) + r.conf);
                    r.dir.write("bad.conf", "# a\noff:3;5;X\n");
                },
            .code = code,
            .check =
                [=](Run& r) {
                    EXPECT_TRUE(r.err().starts_with(
                        paths(r, "quorvel: " + named + "\n\nquorvel:  " + msg + ", errno=")))
                        << r.err();
                    EXPECT_TRUE(r.sim[0].lines().empty());
                    EXPECT_EQ(readFile(r.file("old.csv")), "old,data\n");
                    EXPECT_EQ(readFile(r.file("run.conf")), r.conf);
                },
            .pipes = true,
            .prefix = prefix};
}

// After a signal the fixed line alone says what happened.
string signalled(int s) {
    return "\nquorvel terminating on signal " + std::to_string(s) + ".\n";
}

// A signal while the init sequence waits for its answer ends the run there,
// with the off sequence, before the screen; however short the read time-out,
// the instrument is asked at most about a hundred times a second. The line
// under the wait shows the last answer, made harmless and cut to its row, at
// most ten times a second.
Scenario initWait(int timeoutMs, int s) {
    const string want = "\", waiting for \"QUORVEL-SIM,DMM,0,1.0\"";
    return {.name = "SignalInInitWaitReadTimeOut" + std::to_string(timeoutMs),
            .config = kConf + "init:1;22;*IDN?;QUORVEL-SIM,DMM,0,1.0\nread:1;0;++read eoi;" +
                      std::to_string(timeoutMs) + "\n",
            .answers = {{22, "*IDN?", "\x1b[2J" + string(58, 'x')}},
            .steps = {wire("*IDN?"), pause(2000),
                      [](Run& r) {
                          EXPECT_LE(r.count("*IDN?"), 300);
                          string out = r.out();
                          size_t shown = 0;
                          for (size_t at = 0; (at = out.find("attempt ", at)) != string::npos; at++)
                              shown++;
                          EXPECT_LE(shown, 30U);
                          // Shown while it waits, not only at the end.
                          EXPECT_NE(out.find("1.0\nattempt 1: got \""), string::npos);
                      },
                      sig(s)},
            .code = 8,
            .wire = {{"OUTP OFF", 1}, {"MEAS:VOLT?", 0}},
            .err = signalled(s),
            .says = {(timeoutMs == 0 ? "got \"ERR" : "got \"?[2J" + string(21, 'x')) + want +
                     "\x1b[K\rattempt "},
            .never = {"Mark:", "Quorvel,", "\x1b[2J"},
            // The line ends before the signal's.
            .check = [](Run& r) { EXPECT_TRUE(r.out().ends_with("\"\x1b[K\n")) << r.out(); },
            .pipes = true};
}

// However long the interval between passes, the end comes promptly.
Scenario endAt(const string& name, const string& interval, const Step& how, bool pipes = true) {
    return {.name = name,
            .config = kConf,
            .flags = {interval},
            .steps = {wire("MEAS:VOLT?"), pause(300),
                      [=](Run& r) {
                          auto start = std::chrono::steady_clock::now();
                          how(r);
                          r.code = r.term->waitExit(20s);
                          EXPECT_LT(std::chrono::steady_clock::now() - start, 6s);
                      }},
            .code = pipes ? 0 : 8,
            .wire = {{"OUTP OFF", 1}},
            .err = pipes ? std::optional<string>("") : std::nullopt,
            .says = {pipes ? "" : "quorvel terminating on signal 15."},
            // The end of input is no empty command line.
            .never = {"Invalid command"},
            .check =
                [=](Run& r) {
                    EXPECT_TRUE(!pipes || r.out().ends_with("\n\n")) << r.out();
                    // The last lines go below the screen, as after quit, from
                    // column 1 and once.
                    if (!pipes) {
                        EXPECT_EQ(r.term->row(23), "quorvel terminating on signal 15.");
                        EXPECT_EQ(r.out().find("terminating"), r.out().rfind("terminating"));
                    }
                },
            .pipes = pipes};
}

// A signal at each stage of the run: one clean-up, every finished row in the
// log, and nothing typed after the signal on the bus.
Scenario stage(const string& name, int s, std::vector<Step> steps, const Step& bench = nullptr,
               int volts = 0) {
    bool quit = name == "AfterQuit";
    return {.name = name,
            .config = kConf + (name == "Help" ? fillers(30) : ""),
            .flags = {"-u20", "-l{dir}/data.csv"},
            .bench = bench,
            .steps = steps,
            .code = std::nullopt,
            .wire = {{"OUTP OFF", 1}, {"VOLT?", volts}},
            .rows = "0,\"\",[^,]+",
            .check =
                [=](Run& r) {
                    EXPECT_TRUE(*r.code == 8 || (quit && *r.code == 0));
                    EXPECT_GE(r.lines().size(), 2U) << "no row";
                    // After a quit the signal may find the run ended.
                    EXPECT_EQ(r.err(), *r.code == 0 ? "" : signalled(s));
                },
            .pipes = true};
}

const Step kMeasured = wire("MEAS:VOLT?");

// A second quorvel on a log that a run writes: refused, with its line.
Step second(const string& flag, int code) {
    return [=](Run& r) {
        string log = flag + r.file(flag == "-l" ? "data.csv" : "cmd.csv");
        string cmd = QUORVEL_BIN " -c" + r.file("run.conf") + " " + log + " " + r.file("ctl0") +
                     " </dev/null >/dev/null 2>" + r.file("second");
        EXPECT_EQ(WEXITSTATUS(std::system(cmd.c_str())), code);
        EXPECT_TRUE(readFile(r.file("second"))
                        .starts_with("quorvel: " + log + ": in use by another program (locked)\n"))
            << readFile(r.file("second"));
    };
}

termios portBefore;
termios portSettings(const Run& r) {
    termios t{};
    int fd = open(r.sim[0].path().c_str(), O_RDWR | O_NOCTTY);
    EXPECT_EQ(tcgetattr(fd, &t), 0);
    close(fd);
    return t;
}

const std::vector<Scenario> kRows = {
    refused("FlagAfterDevice", {"-l{dir}/old.csv", "{dev}", "-f"}, 2, kArgs,
            "-f: flags go before the devices"),
    refused("NoDevice", {"-l{dir}/old.csv"}, 2, kArgs,
            "no device given: quorvel (flags) <device> (<device>)"),
    refused("MissingDevice", {"-l{dir}/old.csv", "{dir}/missing"}, 4, kDevice,
            "{dir}/missing: " + kNoFile),
    refused("MissingSecondDevice", {"-l{dir}/old.csv", "{dev}", "{dir}/mis\x1bsing"}, 4, kDevice,
            "{dir}/mis\\x1bsing: " + kNoFile),
    refused("DevicePathPast255Bytes", {"{dir}" + string(300, '/') + "ctl0"}, 4, kDevice,
            "{dir}" + string(300, '/') + "ctl0: path too long (255 bytes at most)"),
    refused("DeviceLocked", {"{dev}"}, 4, kDevice, "{dev}: in use by another program (locked)",
            {"/usr/bin/flock", "{dev}"}),
    refused("LogsInOneFile", {"-l{dir}/old.csv", "-g{dir}/old.csv", "{dev}"}, 10, kCmd,
            "-g{dir}/old.csv: would overwrite the data log"),
    refused("LogsInOneFileSpeltTwoWays", {"-l{dir}/old.csv", "-g{dir}/./old.csv", "{dev}"}, 10,
            kCmd, "-g{dir}/./old.csv: would overwrite the data log"),
    refused("DataLogOnTheDevice", {"-l{pty}", "{dev}"}, 9, kData,
            "-l{pty}: would overwrite controller 1"),
    refused("DataLogOnALinkToTheDevice", {"-l{dev}", "{dev}"}, 9, kData,
            "-l{dev}: would overwrite controller 1"),
    refused("CmdLogOnALinkToTheDevice", {"-g{dev}", "{dev}"}, 10, kCmd,
            "-g{dev}: would overwrite controller 1"),
    refused("DataLogOnTheConfiguration", {"-l{dir}/run.conf", "{dev}"}, 9, kData,
            "-l{dir}/run.conf: would overwrite the configuration"),
    refused("MetricsOnTheDataLog", {"-l{dir}/old.csv", "-m{dir}/./old.csv", "{dev}"}, 9, kData,
            "-m{dir}/./old.csv: would overwrite the data log"),
    refused("MetricsOnTheCmdLog", {"-g{dir}/cmd.csv", "-m{dir}/cmd.csv", "{dev}"}, 9, kData,
            "-m{dir}/cmd.csv: would overwrite the command log"),
    refused("MetricsOnALinkToTheDevice", {"-m{dev}", "{dev}"}, 9, kData,
            "-m{dev}: would overwrite controller 1"),
    refused("MetricsOnADevice", {"-m/dev/null", "{dev}"}, 9, kData,
            "-m/dev/null: not a regular file"),
    refused("MetricsInNoDirectory", {"-m{dir}/no/q.prom", "{dev}"}, 9, kData,
            "-m{dir}/no/q.prom: " + kNoFile),
    refused("DataLogInNoDirectory", {"-l{dir}/no/such/data.csv", "{dev}"}, 9, kData,
            "-l{dir}/no/such/data.csv: " + kNoFile),
    refused("DataLogOnAFullDisk", {"-l/dev/full", "{dev}"}, 9, kData,
            "-l/dev/full: No space left on device"),
    refused("CmdLogInNoDirectory", {"-g{dir}/no/such/cmd.csv", "{dev}"}, 10, kCmd,
            "-g{dir}/no/such/cmd.csv: " + kNoFile),
    refused("DataLogBeyondAZeroSizeLimit", {"-l{dir}/new.csv", "{dev}"}, 9, kData,
            "-l{dir}/new.csv: File too large", kNoFiles),
    refused("CmdLogBeyondAZeroSizeLimit", {"-g{dir}/new.csv", "{dev}"}, 10, kCmd,
            "-g{dir}/new.csv: File too large", kNoFilesShell),
    refused("NegativeInterval", {"-u-1", "{dev}"}, 2, kArgs, "-u-1: " + kInterval),
    refused("IntervalPastADay", {"-u86400001", "{dev}"}, 2, kArgs, "-u86400001: " + kInterval),
    refused("IntervalPastLong", {"-u9223372036854775807", "{dev}"}, 2, kArgs,
            "-u9223372036854775807: " + kInterval),
    refused("IntervalNoNumber", {"-uabc", "{dev}"}, 2, kArgs, "-uabc: " + kInterval),
    refused("IntervalEmpty", {"-u", "{dev}"}, 2, kArgs, "-u: " + kInterval),
    refused("IntervalWithUnit", {"-u2s", "{dev}"}, 2, kArgs, "-u2s: " + kInterval),
    refused("IntervalFraction", {"-u1.5", "{dev}"}, 2, kArgs, "-u1.5: " + kInterval),
    refused("IntervalDetached", {"-u", "500", "{dev}"}, 2, kArgs,
            "-u needs its value attached: -u500"),
    refused("ConfigurationDetached", {"-c", "bench.conf", "{dev}"}, 2, kArgs,
            "-c needs its file attached: -cbench.conf"),
    refused("SameDeviceTwice", {"{dev}", "{pty}"}, 4, kDevice,
            "{pty}: the same device as controller 1 ({dev})"),
    refused("EndlessConfiguration", {"-c/dev/zero", "{dev}"}, 3, kConfig,
            "/dev/zero:1: holds a NUL byte (no text file)"),
    refused("ConfigurationWithNul", {"-c{dir}/nul.conf", "{dev}"}, 3, kConfig,
            "{dir}/nul.conf:1: holds a NUL byte (no text file)"),
    refused("ConfigurationMissing", {"-c{dir}/none", "{dev}"}, 3, kConfig,
            "no such file: {dir}/none"),
    refused("ConfigurationADirectory", {"-c{dir}", "{dev}"}, 3, kConfig, "{dir}: Is a directory"),
    refused("ConfigurationBadController", {"-c{dir}/bad.conf", "{dev}"}, 3, kConfig,
            "{dir}/bad.conf:2: controller 3 (must be 1 or 2)"),
    // Fields kept whole: a 60-character answer matches, a 34-character off
    // command goes out whole. A reading past the screen is logged, never drawn.
    Scenario{.name = "WholeFieldsAndARowPastTheScreen",
             .config = "init:1;22;*IDN?;" + kIdn60 + "\noff:1;5;" + kOff34 +
                       "\ndsp:1;22;far: ;MEAS:VOLT?;259;0\ndsp:1;22;V: ;MEAS:VOLT?;4;0\n",
             .flags = {"-u50", "-l{dir}/data.csv"},
             .answers = {{22, "*IDN?", kIdn60}},
             .steps = {screen(4, "V: "), rows(3), type("quit\n")},
             .wire = {{kOff34, 1}},
             .never = {"far: "},
             .rows = "0,\"\",[-+0-9.E]+,[-+0-9.E]+"},
    initWait(100, SIGTERM),
    initWait(0, SIGQUIT),
    endAt("QuitAtALongInterval", "-u30000", type("quit\n")),
    endAt("TermAtALongInterval", "-u30000", sig(SIGTERM), false),
    endAt("EndOfInputADayApart", "-u86400000", closeInput()),
    // A command's pause request ends the display's long sleep at once. A
    // configuration that warns says so among the init messages.
    Scenario{
        .name = "CommandAtALongInterval",
        .config = kConf + "dps:1;5;x\n",
        .flags = {"-u30000"},
        .steps = {wire("MEAS:VOLT?"), pause(300), answer("vget", "+0.000000E+00"), type("quit\n")},
        .wire = {{"VOLT?", 1}, {"OUTP OFF", 1}},
        .says = {"\n1 warning in "}},
    // One run per log: a second one is refused and the first one's rows go
    // on, numbered without a gap. The port gets its settings back at the end.
    {.name = "SecondRunOnTheLogsAndThePortKept",
     .config = kConf,
     .flags = {"-u20", "-l{dir}/data.csv", "-g{dir}/cmd.csv"},
     .bench = [](Run& r) { portBefore = portSettings(r); },
     .steps = {rows(2), second("-l", 9), second("-g", 10), rows(4), type("quit\n")},
     .rows = "0,\"\",[^,]+",
     .check =
         [](Run& r) {
             termios after = portSettings(r);
             EXPECT_EQ(memcmp(&after, &portBefore, sizeof after), 0);
         }},
    stage("Pass", SIGHUP, {kMeasured, sig(SIGHUP)}, [](Run& r) { r.sim[0].setLatency(22, 80); }),
    stage(
        "Command", SIGINT, {kMeasured, type("vget\n"), wire("VOLT?"), sig(SIGINT)},
        [](Run& r) { r.sim[0].setLatency(5, 80); }, 1),
    stage("Help", SIGTERM,
          {kMeasured, type("help\n"),
           until([](Run& r) { return r.out().find("-- more: ENTER --") != string::npos; }, "help"),
           sig(SIGTERM)}),
    stage("AfterQuit", SIGTERM, {kMeasured, type("quit\n"), pause(300), sig(SIGTERM)}),
    // Typed while the clean-up waits before the off sequence.
    stage("TypedAfterSignal", SIGINT, {kMeasured, sig(SIGINT), pause(400), type("vget\n")}),
    stage("SecondSignalIgnored", SIGINT,
          {kMeasured, sig(SIGINT), pause(200), sig(SIGQUIT), sig(SIGHUP)}),
};

TEST_P(Scenarios, Run) {
    play(GetParam());
}
INSTANTIATE_TEST_SUITE_P(Starts, Scenarios, ::testing::ValuesIn(kRows), rowName);

} // namespace
