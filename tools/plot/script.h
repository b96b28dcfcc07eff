// The gnuplot script of a plot: the log's readings as one inline data
// block, one panel per reading on a shared time axis, the marks as vertical
// lines labelled with their comment.
#pragma once

#include <string>
#include <vector>

#include "datalog.h"

namespace qplot {

enum class Term { Dumb, Png, Svg };

struct PlotOptions {
    Term term = Term::Dumb;
    std::string output; // empty: standard output
    std::string title;
    int columns = 80; // of the dumb terminal
};

// The script for the readings at positions cols of log.
std::string plotScript(const DataLog& log, const std::vector<size_t>& cols, const PlotOptions& opt);

// text as a gnuplot string in single quotes, control bytes as blanks.
std::string gpQuote(const std::string& text);

} // namespace qplot
