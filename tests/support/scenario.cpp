#include "support/scenario.h"

#include <algorithm>
#include <csignal>
#include <regex>
#include <sstream>
#include <thread>

namespace {

using namespace std::chrono_literals;

// Controllers 1 and 2 as the simulator speaks, with a read time-out that a
// sanitizer build keeps to.
const std::string kBus = "addr:1;0;++addr\naddr:2;0;++addr\n"
                         "read:1;0;++read eoi;500\nread:2;0;++read eoi;500\n";

Cells splitCsv(const std::string& line) {
    Cells out(1);
    bool quoted = false;
    for (size_t i = 0; i < line.size(); i++) {
        char c = line[i];
        if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"')
            out.back() += line[++i];
        else if (c == '"')
            quoted = !quoted;
        else if (c == ',' && !quoted)
            out.emplace_back();
        else
            out.back() += c;
    }
    return out;
}

} // namespace

std::vector<std::string> Run::lines(const std::string& log) const {
    std::vector<std::string> out;
    std::istringstream in(readFile(file(log)));
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

std::vector<Cells> Run::csv(const std::string& log) const {
    std::vector<Cells> out;
    for (const std::string& line : lines(log)) out.push_back(splitCsv(line));
    return out;
}

void play(const Scenario& s) {
    Run r;
    std::vector<std::string> argv = s.prefix;
    argv.push_back(QUORVEL_BIN);
    if (std::none_of(s.flags.begin(), s.flags.end(),
                     [](const std::string& f) { return f.starts_with("-c"); }))
        argv.push_back("-c{dir}/run.conf");
    argv.insert(argv.end(), s.flags.begin(), s.flags.end());
    argv.insert(argv.end(), s.devices.begin(), s.devices.end());
    bool two = std::find(s.devices.begin(), s.devices.end(), "{dev1}") != s.devices.end();
    for (int c = 0; c < (two ? 2 : 1); c++)
        ASSERT_TRUE(r.sim[c].start(r.file("ctl" + std::to_string(c)))) << r.sim[c].error();
    for (std::string& arg : argv) {
        for (auto [key, val] : {std::pair<std::string, std::string>{"{dir}", r.dir.path()},
                                {"{dev}", r.file("ctl0")},
                                {"{dev1}", r.file("ctl1")},
                                {"{pty}", r.sim[0].path()}})
            for (size_t at; (at = arg.find(key)) != std::string::npos;)
                arg.replace(at, key.size(), val);
    }
    r.conf = kBus + s.config;
    r.dir.write("run.conf", r.conf);
    for (const auto& [addr, query, text] : s.answers) r.sim[0].setAnswer(addr, query, text);
    for (const auto& [addr, fault] : s.faults) r.sim[0].setFault(addr, fault);
    if (s.bench) s.bench(r);
    if (::testing::Test::IsSkipped() || ::testing::Test::HasFatalFailure()) return;
    r.term = std::make_unique<qterm::Term>(argv, s.pipes);
    for (const Step& step : s.steps) {
        step(r);
        if (::testing::Test::HasFatalFailure()) return;
    }
    if (!r.code) r.code = r.term->waitExit(60s);
    ASSERT_TRUE(r.code.has_value()) << "still running\n" << r.term->dump();
    EXPECT_EQ(*r.code, s.code.value_or(*r.code)) << r.term->dump();
    for (const auto& [line, n] : s.wire) EXPECT_EQ(r.count(line), n) << line;
    EXPECT_EQ(s.err ? r.err() : "", s.err.value_or(""));
    std::string all = r.out() + r.err();
    for (const std::string& text : s.says) EXPECT_NE(all.find(text), std::string::npos) << text;
    for (const std::string& text : s.never) EXPECT_EQ(all.find(text), std::string::npos) << text;
    if (!s.rows.empty()) expectRows(r, s.rows);
    if (s.check) s.check(r);
}

Step type(const std::string& bytes) {
    return [=](Run& r) { r.type(bytes); };
}

Step sig(int s) {
    return [=](Run& r) { r.term->signal(s); };
}

Step closeInput() {
    return [](Run& r) { r.term->closeInput(); };
}

Step pause(int ms) {
    return [=](Run&) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
}

Step resize(int rows, int cols) {
    return [=](Run& r) { r.term->resize(rows, cols); };
}

std::string fillers(int n) {
    std::string out;
    for (int i = 1; i <= n; i++) out += "cfg:1;5;c" + std::to_string(i) + ";X;0;0;filler\n";
    return out;
}

Step vanish(int c) {
    return [=](Run& r) { r.sim[c].vanish(); };
}

Step reappear(int c) {
    return [=](Run& r) { ASSERT_TRUE(r.sim[c].reappear()) << r.sim[c].error(); };
}

Step wire(const std::string& line, int c) {
    return [=](Run& r) { ASSERT_TRUE(r.sim[c].waitForLine(line, 30s)) << line; };
}

Step screen(int row, const std::string& text, int col) {
    return [=](Run& r) { ASSERT_TRUE(r.term->waitForText(row, col, text)) << r.term->dump(); };
}

Step answer(const std::string& line, const std::string& shown) {
    return [=](Run& r) {
        ASSERT_TRUE(r.term->waitForText(15, 2, ": ")) << r.term->dump();
        size_t from = r.term->log().size();
        r.term->type(line + "\n");
        // The answer row is rewritten whatever the answer, "=>" first.
        ASSERT_TRUE(r.term->waitForOutput("=>", from)) << line << "\n" << r.term->dump();
        EXPECT_TRUE(r.term->waitForText(16, 1, "=>" + shown)) << line << "\n" << r.term->dump();
        EXPECT_EQ(r.term->row(16), "=>" + shown) << line;
    };
}

Step until(const std::function<bool(Run&)>& cond, const std::string& what) {
    return [=](Run& r) {
        ASSERT_TRUE(r.waitFor([&] { return cond(r); }))
            << what << "\n"
            << readFile(r.file("data.csv")) << r.term->dump();
    };
}

Step rows(size_t n) {
    return until([=](Run& r) { return r.lines().size() >= n + 1; }, "rows");
}

Step lastRow(const std::function<bool(const std::string&)>& cond) {
    return until(
        [=](Run& r) {
            auto l = r.lines();
            return l.size() >= 3 && cond(l[l.size() - 2]);
        },
        "last row");
}

void expectRows(const Run& r, const std::string& cells, const std::string& log) {
    std::regex row("([0-9]+),[01][0-9]/[0-3][0-9]/2[0-9]{3},[0-2][0-9]:[0-5][0-9]:[0-6][0-9]," +
                   cells);
    auto l = r.lines(log);
    for (size_t i = 1; i < l.size(); i++) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(l[i], m, row)) << log << " row " << i << ": " << l[i];
        EXPECT_EQ(std::stoul(m[1]), i) << l[i];
    }
}
