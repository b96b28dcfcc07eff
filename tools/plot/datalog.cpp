#include "datalog.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "util/reading.h"

namespace qplot {

namespace {

constexpr const char* kHead[] = {"Record", "Date", "Time", "Mark", "Comment"};
constexpr size_t kFixed = 5;

bool digits(const std::string& s, size_t at, size_t n, int* v) {
    *v = 0;
    for (size_t i = at; i < at + n; i++) {
        if (i >= s.size() || s[i] < '0' || s[i] > '9') return false;
        *v = *v * 10 + (s[i] - '0');
    }
    return true;
}

// Days since 1970-01-01 of a proleptic Gregorian date.
long long daysFromCivil(int y, int m, int d) {
    y -= m <= 2;
    long long era = (y >= 0 ? y : y - 399) / 400;
    long long yoe = y - era * 400;
    long long doy = (153LL * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

// "MM/DD/YYYY" and "HH:MM:SS" as seconds of the wall clock; the date makes
// a run across midnight go on rising.
bool stamp(const std::string& date, const std::string& time, double* t) {
    int mo, d, y, h, mi, s;
    if (date.size() != 10 || date[2] != '/' || date[5] != '/' || !digits(date, 0, 2, &mo) ||
        !digits(date, 3, 2, &d) || !digits(date, 6, 4, &y) || mo < 1 || mo > 12 || d < 1 || d > 31)
        return false;
    if (time.size() != 8 || time[2] != ':' || time[5] != ':' || !digits(time, 0, 2, &h) ||
        !digits(time, 3, 2, &mi) || !digits(time, 6, 2, &s) || h > 23 || mi > 59 || s > 60)
        return false;
    *t = static_cast<double>(daysFromCivil(y, mo, d) * 86400 + h * 3600LL + mi * 60LL + s);
    return true;
}

std::string at(int line) {
    return "line " + std::to_string(line) + ": ";
}

} // namespace

CsvReader::Next CsvReader::next(std::vector<std::string>& cells) {
    cells.clear();
    // A blank line (a file that ends with a line feed) holds no record.
    while (p_ < end_ && (*p_ == '\n' || (*p_ == '\r' && p_ + 1 < end_ && p_[1] == '\n'))) {
        p_ += *p_ == '\r' ? 2 : 1;
        lineNo_++;
    }
    if (p_ >= end_) return Next::End;
    start_ = lineNo_;
    std::string cell;
    for (;;) {
        cell.clear();
        if (p_ < end_ && *p_ == '"') {
            for (p_++;; p_++) {
                if (p_ >= end_) {
                    why_ = "a quoted cell is not closed";
                    return Next::Bad;
                }
                if (*p_ == '"') {
                    if (p_ + 1 < end_ && p_[1] == '"') {
                        cell += *p_++;
                        continue;
                    }
                    p_++;
                    break;
                }
                if (*p_ == '\n') lineNo_++;
                cell += *p_;
            }
            if (p_ < end_ && *p_ != ',' && *p_ != '\n' && *p_ != '\r') {
                why_ = "text after a quoted cell";
                return Next::Bad;
            }
        } else {
            while (p_ < end_ && *p_ != ',' && *p_ != '\n' && *p_ != '\r') {
                if (*p_ == '"') {
                    why_ = "a double quote inside an unquoted cell";
                    return Next::Bad;
                }
                cell += *p_++;
            }
        }
        cells.push_back(cell);
        if (p_ >= end_) return Next::Record;
        if (*p_ == ',') {
            p_++;
            continue;
        }
        if (*p_ == '\r') {
            if (p_ + 1 >= end_ || p_[1] != '\n') {
                why_ = "a CR that ends no line";
                return Next::Bad;
            }
            p_++;
        }
        p_++;
        lineNo_++;
        return Next::Record;
    }
}

double cellValue(const std::string& cell) {
    double v;
    return readingNumber(cell.c_str(), &v) ? v : NAN;
}

std::string labelName(const std::string& label) {
    return label.substr(0, readingNameLen(label.c_str()));
}

bool logParse(const std::string& text, DataLog& log, std::string& err) {
    log = DataLog{};
    CsvReader csv(text.data(), text.size());
    std::vector<std::string> cells;
    CsvReader::Next n = csv.next(cells);
    if (n == CsvReader::Next::End) {
        err = "the file is empty";
        return false;
    }
    bool head = n == CsvReader::Next::Record && cells.size() >= kFixed;
    for (size_t i = 0; head && i < kFixed; i++) head = cells[i] == kHead[i];
    if (!head) {
        err = "line 1: not a data log (its header is not Record,Date,Time,Mark,Comment,...)";
        return false;
    }
    log.labels.assign(cells.begin() + kFixed, cells.end());
    log.values.resize(log.labels.size());
    int lastMark = 0;
    while ((n = csv.next(cells)) == CsvReader::Next::Record) {
        if (cells.size() != kFixed + log.labels.size()) {
            err = at(csv.line()) + std::to_string(cells.size()) + " cells, the header has " +
                  std::to_string(kFixed + log.labels.size());
            return false;
        }
        double t;
        if (!stamp(cells[1], cells[2], &t)) {
            err = at(csv.line()) + "no date MM/DD/YYYY and time HH:MM:SS";
            return false;
        }
        if (cells[3] != "0" && cells[3] != "1") {
            err = at(csv.line()) + "the mark is neither 0 nor 1";
            return false;
        }
        int mark = cells[3][0] - '0';
        // A mark command toggles the state and may leave a comment; two of
        // them between rows leave the state and only the comment shows.
        if (mark != lastMark || !cells[4].empty())
            log.marks.push_back({log.times.size(), t,
                                 cells[4].empty() ? (mark ? "mark ON" : "mark OFF") : cells[4]});
        lastMark = mark;
        log.times.push_back(t);
        for (size_t i = 0; i < log.labels.size(); i++)
            log.values[i].push_back(cellValue(cells[kFixed + i]));
    }
    if (n == CsvReader::Next::Bad) {
        err = at(csv.line()) + csv.why();
        return false;
    }
    if (log.times.empty()) {
        err = "no rows to plot, only the header";
        return false;
    }
    return true;
}

} // namespace qplot
