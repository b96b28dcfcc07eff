// The command console of the real program, typed at on an emulated terminal
// and checked on the screen and on the simulated controller's wire.
#include <csignal>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/live.h"

namespace {

const std::string kDictionary = "cfg:1;5;vset;VOLT ;1;0;Set supply voltage\n"
                                "cfg:1;5;vget;VOLT?;0;1;Read supply voltage\n"
                                "cfg:1;5;Outp;OUTP ;0;0;Output on or off\n"
                                "off:1;5;OUTP OFF\n";

std::string golden(const std::string& name) {
    std::string text = readFile(std::string(TEST_DATA "/console/") + name);
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

class ConsoleTest : public LiveRun {
  protected:
    // Types line and waits for "=>" followed by answer on row 16.
    void expectAnswer(const std::string& line, const std::string& answer) {
        command(line);
        EXPECT_TRUE(term->waitForText(16, 1, "=>" + answer)) << line << "\n" << term->dump();
        EXPECT_EQ(term->row(16), "=>" + answer) << line;
    }

    // The supply's voltage as the console reads it back, which also shows
    // that everything typed before has been dealt with.
    void expectVoltage(const std::string& answer) { expectAnswer("vget", answer); }

    // The screen from its first non-empty row on.
    std::string screenText() const {
        std::vector<std::string> rows;
        for (int r = 1; r <= qterm::kRows; r++) rows.push_back(term->row(r));
        size_t first = 0;
        while (first < rows.size() && rows[first].empty()) first++;
        std::string out;
        for (size_t i = first; i < rows.size(); i++) out += (i > first ? "\n" : "") + rows[i];
        return out;
    }
};

TEST_F(ConsoleTest, DictionaryCommandsOnTheWire) {
    ASSERT_TRUE(start(kDictionary));
    EXPECT_EQ(term->text(15, 2, 2), ": ");
    expectAnswer("vset 1.5", "");
    EXPECT_TRUE(sim.waitForLine("VOLT 1.5", qterm::kWait));
    expectVoltage("+1.500000E+00");
    // Any case; leading spaces dropped, trailing ones sent with the value.
    expectAnswer("VSET 2.5", "");
    expectAnswer("  vset   3.5  ", "");
    EXPECT_TRUE(sim.waitForLine("VOLT 3.5  ", qterm::kWait));
    // A value after a command that needs none is appended all the same.
    expectAnswer("outp ON", "");
    EXPECT_TRUE(sim.waitForLine("OUTP ON", qterm::kWait));
    expectVoltage("+3.500000E+00");
    std::vector<std::string> want{"++addr 5",   "VOLT 1.5", "VOLT?", "++read eoi", "VOLT 2.5",
                                  "VOLT 3.5  ", "OUTP ON",  "VOLT?", "++read eoi"};
    EXPECT_EQ(sim.lines(), want);
}

TEST_F(ConsoleTest, RefusedLinesSendNothing) {
    ASSERT_TRUE(start(kDictionary));
    expectAnswer("vset", "Value required");
    expectAnswer("vset   ", "Value required");
    for (const char* line : {"", "   ", "vset\t1.5", "nosuch 1"})
        expectAnswer(line, "Invalid command");
    // 68 characters fit, line feed included in the 69 bytes read...
    std::string fits = "vset 5" + std::string(62, ' ');
    expectAnswer(fits, "");
    // ...69 and more are refused whole: no part of them reaches the bus.
    expectAnswer("vset 8" + std::string(63, ' '), "Line too long");
    expectAnswer("vset 7" + std::string(63, ' ') + "vset 9", "Line too long");
    // A NUL byte would hide the rest of the line from the length test.
    expectAnswer(std::string("mark\0", 5) + std::string(64, 'x') + "vset 9.5", "Line too long");
    expectAnswer(std::string("vset 1\0x", 8), "Line too long");
    expectVoltage("+5.000000E+00");
    std::vector<std::string> want{"++addr 5", "VOLT 5" + std::string(62, ' '), "VOLT?",
                                  "++read eoi"};
    EXPECT_EQ(sim.lines(), want);
}

TEST_F(ConsoleTest, HelpListsEveryCommandAndWaitsForEnter) {
    ASSERT_TRUE(start(kDictionary));
    command("HELP");
    ASSERT_TRUE(term->waitFor([&] { return screenText() == golden("help.txt"); })) << term->dump();
    // The whole line that ends the help screen is read: nothing of it runs.
    term->type(std::string(69, ' ') + "vset 7\n");
    EXPECT_TRUE(term->waitForText(18, 1, "Mark: OFF")) << term->dump();
    EXPECT_EQ(term->row(23), golden("banner.txt"));
    EXPECT_TRUE(term->waitForText(15, 2, ": "));
    expectVoltage("+0.000000E+00");
    EXPECT_EQ(wireCount("VOLT 7"), 0U);
}

TEST_F(ConsoleTest, DictionaryNameHidesInternalCommand) {
    ASSERT_TRUE(start("cfg:1;5;help;*IDN?;0;1;Identify the supply\n"));
    expectAnswer("help", "QUORVEL-SIM,PSU,0,1.0");
    EXPECT_EQ(wireCount("*IDN?"), 1U);
    term->type("quit now\n");
    EXPECT_EQ(term->waitExit(), 0) << term->dump();
}

TEST_F(ConsoleTest, MarkTwiceWithComment) {
    std::string log = dir.file("data.csv");
    ASSERT_TRUE(start("", {"-u50", "-l" + log}));
    auto marks = [&] {
        std::istringstream in(readFile(log));
        std::vector<std::string> out;
        for (std::string row; std::getline(in, row);) {
            size_t at = row.find(",\"");
            if (at != std::string::npos && at > 0) out.push_back(row.substr(at - 1));
        }
        return out;
    };
    auto has = [](const std::vector<std::string>& m, const std::string& cell) {
        return std::find(m.begin(), m.end(), cell) != m.end();
    };
    command("mark first note");
    ASSERT_TRUE(term->waitForText(18, 1, "Mark: ON ")) << term->dump();
    // The row head takes the mark at the start of a pass: wait for the row
    // that carries the comment before turning the mark off again.
    ASSERT_TRUE(term->waitFor([&] { return has(marks(), "1,\"first note\""); })) << readFile(log);
    command("mark");
    ASSERT_TRUE(term->waitForText(18, 1, "Mark: OFF")) << term->dump();
    std::vector<std::string> m;
    ASSERT_TRUE(term->waitFor([&] {
        m = marks();
        return !m.empty() && m.back() == "0,\"\"";
    })) << readFile(log);
    // The comment goes with one row only; the state stays until the next mark.
    EXPECT_EQ(std::count(m.begin(), m.end(), "1,\"first note\""), 1);
    for (const std::string& c : m) EXPECT_TRUE(c == "0,\"\"" || c[0] == '1') << c;
}

TEST_F(ConsoleTest, ClsRedrawsTheScreen) {
    ASSERT_TRUE(start(kDictionary));
    expectAnswer("nosuch", "Invalid command");
    command("cls");
    EXPECT_TRUE(term->waitFor([&] { return term->row(16).empty(); })) << term->dump();
    EXPECT_TRUE(term->waitForText(18, 1, "Mark: OFF")) << term->dump();
    EXPECT_EQ(term->row(23), golden("banner.txt"));
    EXPECT_TRUE(term->waitForText(15, 2, ": ")) << term->dump();
    EXPECT_EQ(term->text(15, 4, 3), "   ");
}

// What an instrument sends is shown with each control byte as '?': it can
// neither clear the screen nor ask the terminal anything. The log keeps it.
TEST_F(ConsoleTest, ControlBytesFromInstrumentsAreShownAsQuestionMarks) {
    const std::string answer = "\x1b]52;c;SGVsbG8=\x07"
                               "A\x1b[2JB\x1b[6n\x9b\x7f"
                               "C";
    const std::string shown = "?]52;c;SGVsbG8=?A?[2JB?[6n??C";
    sim.setAnswer(22, "MEAS:VOLT?", answer);
    std::string log = dir.file("data.csv");
    ASSERT_TRUE(
        start(kDictionary + "cfg:1;22;dmm;MEAS:VOLT?;0;1;meter\ndsp:1;22;V: ;MEAS:VOLT?;5;0\n",
              {"-u100", "-l" + log}));
    ASSERT_TRUE(term->waitForText(5, 1, "V: " + shown)) << term->dump();
    expectAnswer("dmm", shown);
    EXPECT_TRUE(term->row(18).starts_with("Mark: OFF")) << term->dump();
    EXPECT_EQ(term->row(23), golden("banner.txt"));
    EXPECT_NE(readFile(log).find(",\"\"," + answer), std::string::npos);
}

// A command that cannot be written says so, on the screen and in the log.
TEST_F(ConsoleTest, ACommandThatCannotBeSentAnswersErr) {
    std::string cmdlog = dir.file("cmd.csv");
    ASSERT_TRUE(start(kDictionary, {"-u100", "-g" + cmdlog}));
    sim.vanish();
    expectAnswer("vset 3", "ERR");
    EXPECT_TRUE(readFile(cmdlog).ends_with(",VOLT ,3,ERR")) << readFile(cmdlog);
}

// Ctrl-S reaches the console as a character: neither the screen nor the
// data log stops, and the terminal gets its flow control back at the end.
TEST_F(ConsoleTest, CtrlSDoesNotStopTheDisplayOrTheDataLog) {
    std::string log = dir.file("data.csv");
    ASSERT_TRUE(start("dsp:1;22;V: ;MEAS:VOLT?;5;0\n", {"-u20", "-l" + log}));
    auto rows = [&] {
        std::string t = readFile(log);
        return std::count(t.begin(), t.end(), '\n');
    };
    term->type("\x13");
    auto before = rows();
    size_t from = term->logSize();
    EXPECT_TRUE(term->waitFor([&] { return rows() > before + 5; }, std::chrono::seconds(5)));
    EXPECT_TRUE(term->waitForOutput("V: ", from));
    term->type("\x11\n");
    command("quit");
    EXPECT_EQ(term->waitExit(), 0) << term->dump();
    EXPECT_TRUE(term->flowControl());
}

// Every way out runs the off sequence once; only a signal changes the code.
TEST_F(ConsoleTest, QuitSendsTheOffSequence) {
    ASSERT_TRUE(start(kDictionary));
    term->type("Quit\n");
    EXPECT_EQ(term->waitExit(), 0) << term->dump();
    EXPECT_EQ(wireCount("OUTP OFF"), 1U);
}

TEST_F(ConsoleTest, EndOfInputQuits) {
    ASSERT_TRUE(start(kDictionary));
    term->closeInput();
    EXPECT_EQ(term->waitExit(), 0) << term->dump();
    EXPECT_EQ(wireCount("OUTP OFF"), 1U);
}

TEST_F(ConsoleTest, TermSignalAtThePrompt) {
    ASSERT_TRUE(start(kDictionary));
    term->signal(SIGTERM);
    EXPECT_EQ(term->waitExit(), 8) << term->dump();
    EXPECT_EQ(wireCount("OUTP OFF"), 1U);
    bool told = false;
    for (int r = 1; r <= qterm::kRows; r++)
        told = told || term->row(r) == "quorvel terminating on signal 15.";
    EXPECT_TRUE(told) << term->dump();
}

// Console commands against a display that polls without pause: each one
// waits for the display, runs alone on the bus and gets its own answer.
TEST_F(ConsoleTest, HandshakeUnderAFastDisplay) {
    ASSERT_TRUE(
        start(kDictionary + "dsp:1;22;V: ;MEAS:VOLT?;5;0\ndsp:1;22;I: ;MEAS:CURR?;6;0\n", {"-u0"}));
    ASSERT_TRUE(term->waitForRowContaining(5, "V: +")) << term->dump();
    constexpr int kRounds = 25;
    for (int i = 1; i <= kRounds; i++) {
        std::string v = std::to_string(i);
        term->type("vset " + v + "\nvget\n");
        char want[32];
        snprintf(want, sizeof want, "=>%+.6E", static_cast<double>(i));
        ASSERT_TRUE(term->waitForText(16, 1, want)) << want << "\n" << term->dump();
    }
    std::vector<std::string> sets;
    for (const std::string& l : sim.lines())
        if (l.rfind("VOLT ", 0) == 0) sets.push_back(l);
    ASSERT_EQ(sets.size(), static_cast<size_t>(kRounds));
    for (int i = 1; i <= kRounds; i++) EXPECT_EQ(sets[i - 1], "VOLT " + std::to_string(i));
    // The display is still polling after all these pauses.
    size_t polls = wireCount("MEAS:CURR?");
    EXPECT_TRUE(term->waitFor([&] { return wireCount("MEAS:CURR?") > polls; }));
    term->type("quit\n");
    EXPECT_EQ(term->waitExit(), 0) << term->dump();
}

} // namespace
