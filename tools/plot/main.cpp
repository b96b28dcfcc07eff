// quorvel-plot: a data log as a picture, one panel per reading on a shared
// time axis, drawn by gnuplot into a PNG or SVG file or onto the terminal.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/ioctl.h>
#include <unistd.h>
#include <vector>

#include "datalog.h"
#include "gnuplot.h"
#include "script.h"
#include "util/fileid.h"

namespace {

using namespace qplot;

constexpr int kExitArgs = 2;
constexpr int kExitLog = 3;
constexpr int kExitGnuplot = 4;

const char* const kUsage =
    "Usage: quorvel-plot [-o FILE.png|FILE.svg] [--term dumb|png|svg] [--columns LABEL,...]\n"
    "                    DATA.csv\n"
    "Draws a quorvel data log with gnuplot: one panel per reading over the date and\n"
    "time of the rows, ERR cells as gaps, marks as vertical lines with their comment.\n"
    "\n"
    "  -o FILE              write the picture to FILE; its ending .png or .svg picks\n"
    "                       the format (without -o it is drawn on the terminal)\n"
    "  --term KIND          dumb (text), png or svg, whatever FILE ends in\n"
    "  --columns LIST       only these readings, by label, comma-separated (CSV\n"
    "                       quoting for a label holding a comma); the ': ' after a\n"
    "                       label may be left out\n"
    "  -h, --help           print this text\n"
    "  --version            print the version of quorvel it comes with\n";

struct Options {
    std::string output, term, columns, log;
    bool help = false, version = false;
};

int fail(int code, const std::string& msg) {
    fprintf(stderr, "quorvel-plot: %s\n", msg.c_str());
    return code;
}

// Parses argv into opt; returns an error message, empty when none.
std::string parseArgs(int argc, char** argv, Options& opt) {
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        auto value = [&](std::string* to) {
            if (i + 1 >= argc) return false;
            *to = argv[++i];
            return true;
        };
        if (a == "-h" || a == "--help") {
            opt.help = true;
        } else if (a == "--version") {
            opt.version = true;
        } else if (a == "-o" || a == "--term" || a == "--columns") {
            std::string* to = a == "-o" ? &opt.output : a == "--term" ? &opt.term : &opt.columns;
            if (!value(to)) return a + " needs a value";
        } else if (a.size() > 1 && a[0] == '-') {
            return "unknown option " + a;
        } else if (!opt.log.empty()) {
            return "one data log at a time (" + opt.log + ", " + a + ")";
        } else {
            opt.log = a;
        }
    }
    return "";
}

bool endsWith(const std::string& s, const char* tail) {
    size_t n = strlen(tail);
    return s.size() >= n && strcasecmp(s.c_str() + s.size() - n, tail) == 0;
}

std::string pickTerm(const Options& opt, PlotOptions& plot) {
    std::string kind = opt.term;
    if (kind.empty())
        kind = opt.output.empty()             ? "dumb"
               : endsWith(opt.output, ".png") ? "png"
               : endsWith(opt.output, ".svg") ? "svg"
                                              : "";
    if (kind.empty()) return "-o " + opt.output + ": name a .png or .svg file, or give --term";
    if (kind == "dumb")
        plot.term = Term::Dumb;
    else if (kind == "png")
        plot.term = Term::Png;
    else if (kind == "svg")
        plot.term = Term::Svg;
    else
        return "--term " + kind + ": dumb, png or svg";
    if (plot.term != Term::Dumb && opt.output.empty()) return "--term " + kind + " needs -o FILE";
    plot.output = opt.output;
    return "";
}

bool readAll(const std::string& path, std::string& text) {
    FILE* fp = fopen(path.c_str(), "rb");
    if (fp == nullptr) return false;
    char buf[1 << 16];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, fp)) > 0) text.append(buf, n);
    bool ok = ferror(fp) == 0;
    fclose(fp);
    return ok;
}

// The positions of the readings named in list (all of them when empty).
std::string pickColumns(const DataLog& log, const std::string& list, std::vector<size_t>& cols) {
    if (list.empty()) {
        for (size_t i = 0; i < log.labels.size(); i++) cols.push_back(i);
        return "";
    }
    CsvReader csv(list.data(), list.size());
    std::vector<std::string> names;
    if (csv.next(names) != CsvReader::Next::Record) return "--columns: " + std::string(csv.why());
    for (const std::string& name : names) {
        auto it = std::find_if(log.labels.begin(), log.labels.end(), [&](const std::string& l) {
            return l == name || labelName(l) == labelName(name);
        });
        if (it == log.labels.end()) {
            std::string all;
            for (const std::string& l : log.labels) all += (all.empty() ? "" : ", ") + labelName(l);
            std::string msg = "--columns: no reading \"" + name + "\" (the log has: ";
            return msg.append(all).append(")");
        }
        cols.push_back(static_cast<size_t>(it - log.labels.begin()));
    }
    return "";
}

int termColumns() {
    winsize ws{};
    if (isatty(STDOUT_FILENO) && ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col >= 40)
        return ws.ws_col;
    return 80;
}

} // namespace

int main(int argc, char** argv) {
    Options opt;
    std::string err = parseArgs(argc, argv, opt);
    if (!err.empty()) return fail(kExitArgs, err + " (quorvel-plot --help)");
    if (opt.help) return fputs(kUsage, stdout), 0;
    if (opt.version) return printf("quorvel-plot %s\n", QUORVEL_VERSION), 0;
    if (opt.log.empty()) return fputs(kUsage, stderr), kExitArgs;
    PlotOptions plot;
    if (!(err = pickTerm(opt, plot)).empty()) return fail(kExitArgs, err);
    if (!opt.output.empty() && fileSame(opt.output.c_str(), opt.log.c_str()))
        return fail(kExitArgs, "-o " + opt.output + " would overwrite the data log");

    std::string text;
    if (!readAll(opt.log, text)) return fail(kExitLog, opt.log + ": " + strerror(errno));
    DataLog log;
    if (!logParse(text, log, err)) return fail(kExitLog, opt.log + ": " + err);
    if (log.labels.empty()) return fail(kExitLog, opt.log + ": the log has no readings");
    std::vector<size_t> cols;
    if (!(err = pickColumns(log, opt.columns, cols)).empty()) return fail(kExitArgs, err);

    plot.title = opt.log;
    plot.columns = termColumns();
    std::string detail;
    switch (gnuplotRun(plotScript(log, cols, plot), detail)) {
    case Gnuplot::Done:
        return 0;
    case Gnuplot::Missing:
        return fail(kExitGnuplot, "cannot run gnuplot (" + detail + "): install gnuplot-nox");
    case Gnuplot::Failed:
        break;
    }
    return fail(kExitGnuplot, "gnuplot failed, " + detail);
}
