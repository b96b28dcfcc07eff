// A data log read back for plotting, by the rules quorvel writes it with
// (RFC 4180: a cell holding a comma, a double quote, CR or LF is quoted, its
// quotes doubled; records end with LF or CR LF), as a time axis, one series
// per reading and the marks.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace qplot {

// Splits CSV text into records. The text must outlive the reader.
class CsvReader {
  public:
    CsvReader(const char* data, size_t size) : p_(data), end_(data + size) {}
    enum class Next { Record, End, Bad };
    // The next record's cells; Bad with why() set on malformed quoting.
    Next next(std::vector<std::string>& cells);
    // Line on which the last record began, from 1.
    int line() const { return start_; }
    const char* why() const { return why_; }

  private:
    const char* p_;
    const char* end_;
    int lineNo_ = 1;
    int start_ = 1;
    const char* why_ = "";
};

struct Mark {
    size_t row; // from 0
    double t;
    std::string text; // the comment, or the mark state when there is none
};

struct DataLog {
    std::vector<std::string> labels;         // of the reading columns, as written
    std::vector<double> times;               // seconds of the logged local wall time
    std::vector<std::vector<double>> values; // per reading; NaN where no number
    std::vector<Mark> marks;
};

// Reads text as a data log. On failure returns false and sets err to a
// message naming the line.
bool logParse(const std::string& text, DataLog& log, std::string& err);

// A reading's value: a decimal number, blanks around it allowed, else NaN
// (ERR and any other answer are gaps).
double cellValue(const std::string& cell);

// A label without the blanks and the one ':' or '=' the screen puts after it.
std::string labelName(const std::string& label);

} // namespace qplot
