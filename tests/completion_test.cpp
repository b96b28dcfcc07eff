// The bash completion, run by bash itself: the flags, their attached file
// names, and the device paths that follow the flags.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <glob.h>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

#include "support/run.h"
#include "support/tempdir.h"
#include "support/tools.h"

namespace {

using Words = std::vector<std::string>;

// Sources the script, sets COMP_WORDS to words (the last one being the word
// under the cursor) inside dir, calls the completion function and returns
// COMPREPLY, sorted.
const char* const kDriver = R"(
source "$1" || exit 9
cd "$2" || exit 9
shift 2
COMP_WORDS=("$@")
COMP_CWORD=$(($# - 1))
COMP_LINE="${COMP_WORDS[*]}"
COMP_POINT=${#COMP_LINE}
_quorvel || exit 8
((${#COMPREPLY[@]})) && printf '%s\n' "${COMPREPLY[@]}"
exit 0
)";

class Completion : public ::testing::Test {
  protected:
    void SetUp() override {
        bash_ = findProgram("bash");
        ASSERT_FALSE(bash_.empty()) << "bash is missing";
        dir_.write("a.conf", "");
        dir_.write("b.log", "");
        std::filesystem::create_directory(dir_.file("sub"));
    }

    Words complete(const Words& words) const {
        Words argv{bash_,
                   "--norc",
                   "--noprofile",
                   "-c",
                   kDriver,
                   "bash",
                   sourceDir() + "/completion/quorvel.bash",
                   dir_.path()};
        argv.insert(argv.end(), words.begin(), words.end());
        RunResult r = runProgram(argv);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.err, "");
        Words out;
        std::istringstream in(r.out);
        for (std::string line; std::getline(in, line);) out.push_back(line);
        std::sort(out.begin(), out.end());
        return out;
    }

    // The serial devices of this machine that the completion offers.
    static Words serialDevices() {
        Words out;
        for (const char* pattern : {"/dev/ttyUSB*", "/dev/ttyACM*"}) {
            glob_t g{};
            if (glob(pattern, 0, nullptr, &g) == 0)
                for (size_t i = 0; i < g.gl_pathc; i++) out.emplace_back(g.gl_pathv[i]);
            globfree(&g);
        }
        return out;
    }

    static Words sorted(Words w) {
        std::sort(w.begin(), w.end());
        return w;
    }

    std::string bash_;
    TempDir dir_;
};

TEST_F(Completion, ADashOffersTheSevenFlags) {
    Words flags{"-c", "-d", "-f", "-g", "-l", "-r", "-u"};
    EXPECT_EQ(complete({"quorvel", "-"}), flags);
    EXPECT_EQ(complete({"quorvel", "-cbench.conf", "-u500", "-"}), flags);
    EXPECT_EQ(complete({"quorvel", "-d"}), Words{"-d"});
    EXPECT_EQ(complete({"quorvel", "-dx"}), Words{});
}

TEST_F(Completion, FileFlagsTakeFileNamesAttached) {
    EXPECT_EQ(complete({"quorvel", "-c"}), sorted({"-ca.conf", "-cb.log", "-csub/"}));
    EXPECT_EQ(complete({"quorvel", "-ca"}), Words{"-ca.conf"});
    EXPECT_EQ(complete({"quorvel", "-lb"}), Words{"-lb.log"});
    // The flag's case is ignored by quorvel and kept as typed.
    EXPECT_EQ(complete({"quorvel", "-Gs"}), Words{"-Gsub/"});
    EXPECT_EQ(complete({"quorvel", "-cnone"}), Words{});
}

TEST_F(Completion, TheIntervalTakesNoCompletion) {
    EXPECT_EQ(complete({"quorvel", "-u"}), Words{});
    EXPECT_EQ(complete({"quorvel", "-u5"}), Words{});
}

TEST_F(Completion, DevicePathsFollowTheFlags) {
    Words here = serialDevices();
    for (const char* f : {"a.conf", "b.log", "sub"}) here.emplace_back(f);
    EXPECT_EQ(complete({"quorvel", "-cx.conf", ""}), sorted(here));
    EXPECT_EQ(complete({"quorvel", ""}), sorted(here));
    EXPECT_EQ(complete({"quorvel", "-d", "a"}), Words{"a.conf"});
    EXPECT_EQ(complete({"quorvel", "/dev/nul"}), Words{"/dev/null"});
    // The second controller, also after a network one, which bash splits at
    // its colons.
    EXPECT_EQ(complete({"quorvel", "/dev/null", "a"}), Words{"a.conf"});
    EXPECT_EQ(complete({"quorvel", "tcp", ":", "//[", "::", "1]", ":", "1234", "a"}),
              Words{"a.conf"});
}

TEST_F(Completion, NothingAfterTheDevicePaths) {
    // A flag after a device path would leave quorvel without a device, and
    // a third path is ignored.
    EXPECT_EQ(complete({"quorvel", "/dev/null", "-"}), Words{});
    EXPECT_EQ(complete({"quorvel", "/dev/null", "/dev/null", "a"}), Words{});
    // An argument that is no flag of quorvel's counts as a device.
    EXPECT_EQ(complete({"quorvel", "-x", "-"}), Words{});
}

TEST_F(Completion, IsRegisteredForQuorvel) {
    RunResult r =
        runProgram({bash_, "--norc", "--noprofile", "-c", "source \"$1\" && complete -p quorvel",
                    "bash", sourceDir() + "/completion/quorvel.bash"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("-F _quorvel"), std::string::npos) << r.out;
}

} // namespace
