// The manual pages: both render without a warning from either formatter,
// and the main page quotes the program's own texts exactly.
#include <cstdio>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "console/cmdline.h"
#include "main/cli.h"
#include "screen/layout.h"
#include "support/run.h"
#include "support/tools.h"

namespace {

const std::vector<std::string> kPages = {"quorvel.1", "quorvel-sim.1"};

std::string page(const std::string& name) {
    return sourceDir() + "/man/" + name;
}

// Terminal output marks bold and underlined text by overstriking
// (character, backspace, character); keep the visible character.
std::string stripOverstrike(const std::string& in) {
    std::string out;
    for (char c : in) {
        if (c == '\b') {
            if (!out.empty()) out.pop_back();
            continue;
        }
        out += c;
    }
    return out;
}

// Every run of blanks and line ends becomes one space, so that a text the
// formatter wrapped or justified is still found.
std::string squeeze(const std::string& in) {
    std::string out;
    for (char c : in) {
        bool blank = c == ' ' || c == '\n' || c == '\t';
        if (blank && (out.empty() || out.back() == ' ')) continue;
        out += blank ? ' ' : c;
    }
    return out;
}

TEST(ManPages, MandocLintFindsNothing) {
    std::string mandoc = findProgram("mandoc");
    ASSERT_FALSE(mandoc.empty()) << "mandoc is missing: run scripts/install-deps";
    for (const std::string& p : kPages) {
        RunResult r = runProgram({mandoc, "-Tlint", page(p)});
        EXPECT_EQ(r.exitCode, 0) << p;
        EXPECT_EQ(r.out + r.err, "") << p;
    }
}

TEST(ManPages, GroffWarnsAboutNothing) {
    std::string groff = findProgram("groff");
    if (groff.empty()) GTEST_SKIP() << "groff is not installed";
    for (const std::string& p : kPages) {
        RunResult r = runProgram({groff, "-man", "-Tutf8", "-ww", "-z", page(p)});
        EXPECT_EQ(r.exitCode, 0) << p;
        EXPECT_EQ(r.out + r.err, "") << p;
    }
}

class MainPage : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string mandoc = findProgram("mandoc");
        ASSERT_FALSE(mandoc.empty()) << "mandoc is missing: run scripts/install-deps";
        RunResult r = runProgram({mandoc, "-Tascii", page("quorvel.1")});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        text_ = squeeze(stripOverstrike(r.out));
    }

    void expectQuoted(const std::string& s) const {
        EXPECT_NE(text_.find("\"" + squeeze(s) + "\""), std::string::npos)
            << "the manual page does not quote \"" << s << "\"";
    }

    std::string text_;
};

TEST_F(MainPage, QuotesEveryResultMessage) {
    for (const char* msg : retCode) expectQuoted(msg);
}

TEST_F(MainPage, QuotesEveryFlagsHelpText) {
    for (const Flag& f : Flags) {
        expectQuoted(f.help);
        EXPECT_NE(text_.find(std::string(f.name) + " "), std::string::npos) << f.name;
    }
}

TEST_F(MainPage, QuotesTheInternalCommandsAndTheirHelp) {
    for (const Icmd& c : Icmds) {
        expectQuoted(c.help);
        EXPECT_NE(text_.find(std::string(" ") + c.name + " "), std::string::npos) << c.name;
    }
}

TEST_F(MainPage, ShowsTheBannersVersion) {
    char banner[64];
    snprintf(banner, sizeof banner, "Quorvel, v%d.%d build %d.", kVerMajor, kVerMinor, kVerBuild);
    expectQuoted(banner);
}

} // namespace
