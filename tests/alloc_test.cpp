// Nothing is allocated while quorvel runs: the real binary, with a heap-call
// counter preloaded, polls the simulated controller without pause, logs every
// pass and serves console commands; its count of malloc, calloc, realloc and
// free calls must not move once the first passes and commands are done.
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "sim.h"
#include "support/tempdir.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto kWait = 30s;

// Two instruments, so that every pass changes the address twice, and a
// calculated reading, so that the calculation's formatting runs too.
constexpr const char* kConf = "addr:1;0;++addr\n"
                              "read:1;0;++read eoi;200\n"
                              "init:1;22;*IDN?;QUORVEL-SIM,DMM,0,1.0\n"
                              "cfg:1;5;iget;CURR?;0;1;supply current limit\n"
                              "cfg:1;5;vset;VOLT ;1;0;set supply volts\n"
                              "dsp:1;22;V: ;MEAS:VOLT?;3;0\n"
                              "dsp:1;22;A: ;MEAS:CURR?;4;0\n"
                              "dsp:1;5;Set: ;VOLT?;5;0\n"
                              "dsp:1;0;W: ;$calc$;6;0;*;1;2;3\n"
                              "off:1;5;OUTP OFF\n";

// What the preloaded counter last wrote: the heap calls so far and the
// number of its report, which tells a fresh report from an old one.
struct Report {
    unsigned long calls = 0;
    unsigned long tick = 0;
};

Report readReport(const std::string& path) {
    Report r;
    std::ifstream f(path);
    f >> r.calls >> r.tick;
    return r;
}

// quorvel with the counter preloaded, its standard input a pipe, its screen
// output discarded (nothing here looks at it).
class Counted {
  public:
    Counted(const std::vector<std::string>& argv, const std::string& preload,
            const std::string& countFile, const std::string& errFile) {
        int in[2];
        if (pipe2(in, O_CLOEXEC) != 0) return;
        std::vector<std::string> env = {"LD_PRELOAD=" + preload,
                                        "QUORVEL_ALLOC_COUNT_FILE=" + countFile};
        for (char** e = environ; *e != nullptr; e++) {
            std::string v = *e;
            if (!v.starts_with("LD_PRELOAD=") && !v.starts_with("QUORVEL_ALLOC_COUNT_FILE="))
                env.push_back(v);
        }
        std::vector<char*> args;
        std::vector<char*> envp;
        args.reserve(argv.size() + 1);
        envp.reserve(env.size() + 1);
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
        args.push_back(nullptr);
        envp.push_back(nullptr);
        pid_ = fork();
        if (pid_ == 0) {
            int out = open("/dev/null", O_WRONLY);
            int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(in[0], 0);
            dup2(out, 1);
            dup2(err, 2);
            execve(args[0], args.data(), envp.data());
            _exit(127);
        }
        close(in[0]);
        in_ = in[1];
    }
    ~Counted() {
        if (in_ >= 0) close(in_);
        if (pid_ > 0 && !status_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    Counted(const Counted&) = delete;
    Counted& operator=(const Counted&) = delete;

    bool started() const { return pid_ > 0 && in_ >= 0; }
    void type(const std::string& text) {
        if (write(in_, text.data(), text.size()) < 0) ADD_FAILURE() << "quorvel's input is closed";
    }
    // The exit code, or -1 when it did not end in time.
    int wait(std::chrono::milliseconds timeout) {
        auto until = Clock::now() + timeout;
        while (!status_ && Clock::now() < until) {
            int st = 0;
            if (waitpid(pid_, &st, WNOHANG) == pid_)
                status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128;
            else
                std::this_thread::sleep_for(10ms);
        }
        return status_.value_or(-1);
    }

  private:
    pid_t pid_ = -1;
    int in_ = -1;
    std::optional<int> status_;
};

class AllocTest : public ::testing::Test {
  protected:
    TempDir dir;
    qsim::Controller sim;

    int count(const std::string& line) const {
        auto lines = sim.lines();
        return static_cast<int>(std::count(lines.begin(), lines.end(), line));
    }
    // Waits until the simulator has received line at least n times.
    bool heard(const std::string& line, int n) const {
        auto until = Clock::now() + kWait;
        while (Clock::now() < until) {
            if (count(line) >= n) return true;
            std::this_thread::sleep_for(5ms);
        }
        return false;
    }
    bool logHas(const std::string& text) const {
        auto until = Clock::now() + kWait;
        while (Clock::now() < until) {
            if (readFile(dir.file("data.csv")).find(text) != std::string::npos) return true;
            std::this_thread::sleep_for(5ms);
        }
        return false;
    }
    // The count as of now: a report written after this call began.
    Report fresh() const {
        std::string path = dir.file("count");
        unsigned long seen = readReport(path).tick;
        auto until = Clock::now() + kWait;
        Report r;
        while (Clock::now() < until) {
            r = readReport(path);
            if (r.tick >= seen + 2) return r;
            std::this_thread::sleep_for(20ms);
        }
        ADD_FAILURE() << "the counter stopped reporting";
        return r;
    }
    // A passes, then every kind of console command once; returns when the
    // last of them has reached the controller or the data log.
    void round(Counted& q, const std::string& mark, const std::string& markRow, int passes) {
        int volt = count("VOLT 1.5");
        int curr = count("CURR?");
        q.type("bogus\n");
        q.type("help\n");
        q.type("\n");
        q.type("cls\n");
        q.type("iget\n");
        q.type("vset 1.5\n");
        q.type("mark " + mark + "\n");
        ASSERT_TRUE(heard("CURR?", curr + 1));
        ASSERT_TRUE(heard("VOLT 1.5", volt + 1));
        ASSERT_TRUE(logHas(markRow));
        ASSERT_TRUE(heard("MEAS:VOLT?", count("MEAS:VOLT?") + passes));
    }
};

TEST_F(AllocTest, NothingIsAllocatedAfterTheFirstPassesAndCommands) {
    // The counter is built, and its path defined, only without a sanitizer.
#if !defined(ALLOC_COUNT_LIB)
    GTEST_SKIP() << "a sanitizer build interposes the heap functions itself";
#else
    ASSERT_TRUE(sim.start());
    std::string conf = dir.write("alloc.conf", kConf);
    Counted q({QUORVEL_BIN, "-c" + conf, "-u0", "-l" + dir.file("data.csv"),
               "-g" + dir.file("cmd.csv"), sim.path()},
              ALLOC_COUNT_LIB, dir.file("count"), dir.file("err"));
    ASSERT_TRUE(q.started());
    ASSERT_TRUE(heard("MEAS:VOLT?", 3));
    // The first round may allocate, once: the buffers of stdin and of the
    // controller stream are made at their first use, the time zone is loaded
    // at the first time stamp, and the help screen and the command log run
    // for the first time.
    round(q, "x", ",1,\"x\",", 3);
    Report before = fresh();
    EXPECT_GT(before.calls, 0U) << "the counter counts nothing";
    round(q, "y", ",0,\"y\",", 50);
    Report after = fresh();
    EXPECT_EQ(after.calls, before.calls) << "heap calls while running";
    q.type("quit\n");
    EXPECT_EQ(q.wait(kWait), 0) << readFile(dir.file("err"));
    EXPECT_EQ(count("OUTP OFF"), 1);
#endif
}

} // namespace
