#include "script.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace qplot {

namespace {

constexpr int kPngWidth = 1000;
constexpr int kPanelPx = 220;
constexpr int kDumbPanelRows = 12;

// Whole seconds, or any number in its shortest exact form.
std::string sec(double t) {
    return std::to_string(static_cast<long long>(std::llround(t)));
}

std::string num(double v) {
    char buf[32];
    return std::string(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
}

// The tick format fits the span: seconds for a short run, the day for one
// that crosses midnight.
const char* timeFormat(double span, bool dumb) {
    if (span <= 600) return "%H:%M:%S";
    if (span <= 86400) return "%H:%M";
    return dumb ? "%m/%d %H:%M" : "%m/%d\\n%H:%M";
}

// Seconds between time tics that leave room for every tic's text on a text
// drawing, where gnuplot would write them over each other.
double dumbTicStep(double span, int columns) {
    constexpr double kSteps[] = {1,   2,    5,    10,   15,    30,    60,    120,   300,    600,
                                 900, 1800, 3600, 7200, 10800, 21600, 43200, 86400, 172800, 604800};
    double tics = std::max(1, (columns - 14) / 14);
    for (double step : kSteps)
        if (span / step <= tics) return step;
    return span / tics;
}

} // namespace

std::string gpQuote(const std::string& text) {
    std::string q = "'";
    for (char c : text) {
        if (c == '\'')
            q += "''";
        else
            q += static_cast<unsigned char>(c) < 0x20 || c == 0x7f ? ' ' : c;
    }
    return q + "'";
}

std::string plotScript(const DataLog& log, const std::vector<size_t>& cols,
                       const PlotOptions& opt) {
    std::string s;
    int panels = static_cast<int>(cols.size());
    switch (opt.term) {
    case Term::Dumb:
        s += "set terminal dumb noenhanced size " + std::to_string(opt.columns) + "," +
             std::to_string(2 + kDumbPanelRows * panels) + "\n";
        break;
    case Term::Png:
        s += "set terminal pngcairo noenhanced font ',9' size " + std::to_string(kPngWidth) + "," +
             std::to_string(60 + kPanelPx * panels) + "\n";
        break;
    case Term::Svg:
        s += "set terminal svg noenhanced font ',9' size " + std::to_string(kPngWidth) + "," +
             std::to_string(60 + kPanelPx * panels) + "\n";
        break;
    }
    if (!opt.output.empty()) s += "set output " + gpQuote(opt.output) + "\n";

    s += "$d << EOD\n";
    for (size_t r = 0; r < log.times.size(); r++) {
        s += sec(log.times[r]);
        for (size_t c : cols) {
            double v = log.values[c][r];
            if (std::isnan(v))
                s += " NaN";
            else
                s += " " + num(v);
        }
        s += "\n";
    }
    s += "EOD\n";

    auto [lo, hi] = std::minmax_element(log.times.begin(), log.times.end());
    double t0 = *lo, t1 = *hi;
    // A single row still gets an axis a minute wide.
    if (t1 - t0 < 1) t0 -= 30, t1 += 30;
    s += "set xdata time\nset timefmt '%s'\n";
    s += std::string("set format x '") + timeFormat(t1 - t0, opt.term == Term::Dumb) + "'\n";
    s += "set xrange [" + sec(t0) + ":" + sec(t1) + "]\n";
    if (opt.term == Term::Dumb) s += "set xtics " + sec(dumbTicStep(t1 - t0, opt.columns)) + "\n";
    // Each panel is named by its title: a key would sit where marks write.
    s += "set lmargin 12\nset rmargin 6\nunset key\nset offsets 0, 0, graph 0.05, graph 0.05\n";
    // Dots of a grid would crowd the lines out of a text drawing.
    if (opt.term != Term::Dumb) s += "set grid xtics ytics\n";
    for (const Mark& m : log.marks)
        s += "set arrow from " + sec(m.t) + ", graph 0 to " + sec(m.t) +
             ", graph 1 nohead dashtype 2 linecolor 'gray40'\n";
    s += "set multiplot layout " + std::to_string(panels) + ",1 title " + gpQuote(opt.title) + "\n";
    for (int p = 0; p < panels; p++) {
        size_t c = cols[p];
        std::string title = gpQuote(labelName(log.labels[c]));
        if (p == 0) {
            // The comments on the top panel only: the lines mark the others.
            for (const Mark& m : log.marks)
                s += "set label " + gpQuote(m.text) + " at " + sec(m.t) +
                     ", graph 0.9 left offset 0.5,0 front\n";
        }
        bool any = std::any_of(log.values[c].begin(), log.values[c].end(),
                               [](double v) { return !std::isnan(v); });
        s += "set title " + title + "\n";
        if (any) {
            s += "set autoscale y\n";
            s += "plot $d using 1:" + std::to_string(p + 2) +
                 " with lines linewidth 1.5 linecolor " + std::to_string(p % 8 + 1) + "\n";
        } else {
            // gnuplot refuses a plot with no point; the panel says why.
            s += "set yrange [0:1]\nset label 'no values' at graph 0.5, graph 0.5 center\n";
            s += "plot 2 with lines\n";
        }
        s += "unset label\n";
    }
    s += "unset multiplot\n";
    return s;
}

} // namespace qplot
