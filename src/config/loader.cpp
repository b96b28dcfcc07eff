#include "config/loader.h"

#include <algorithm>
#include <bsd/string.h>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <strings.h>

#include "config/format.h"
#include "config/records.h"
#include "util/result.h"
#include "util/strutil.h"

namespace {

char cfgName[256];
// Records of all list keywords so far, against kMaxRecords.
int storedRecords;
// Line of the file being read, and the line of each record by keyword.
int lineNo;
int recordLine[kCfgKeywords][kMaxRecords];

// Warnings: the first kMaxWarnings are kept, all are counted.
constexpr int kMaxWarnings = 32;
struct CfgWarning {
    int line;
    char text[160];
};
CfgWarning cfgWarns[kMaxWarnings];
int warnCount;

constexpr int kMaxWait = 999;
constexpr size_t kMaxCfgBytes = 1 << 20;
// The screen's rows, and those its fixed texts take (prompt, answer,
// notices, mark, banner, the cursor's row).
constexpr int kLastRow = 24;
constexpr bool rowTaken(int32_t row) {
    return (row >= 15 && row <= 19) || row >= 23;
}

// A line cut into its fields once: the keyword and the fields after it, each
// escaped ';' in place of its backslash. `count` counts every field after
// the keyword, kept or not.
constexpr int kMaxFields = 11;
struct Fields {
    char buf[kCfgLineBytes + 2];
    const char* at[kMaxFields + 1];
    int count;
    const char* operator[](int n) const { return n <= count && n <= kMaxFields ? at[n] : ""; }
};
Fields fields;

void cfgSplit(const char* line) {
    size_t len = 0;
    bool colon = false;
    fields.at[0] = fields.buf;
    fields.count = 0;
    for (size_t i = 0; line[i] != '\0'; i++) {
        char c = line[i];
        bool escaped = i > 0 && line[i - 1] == '\\';
        bool ends = (c == ':' && !colon) || (c == ';' && colon && !escaped);
        if (c == ';' && colon && escaped) {
            fields.buf[len - 1] = ';';
        } else if (!ends) {
            fields.buf[len++] = c;
        } else {
            colon = true;
            fields.buf[len++] = '\0';
            if (++fields.count <= kMaxFields) fields.at[fields.count] = fields.buf + len;
        }
    }
    fields.buf[len] = '\0';
}

// strtol semantics, keeping the low 32 bits of what was read.
int32_t cfgInt(const char* s) {
    return static_cast<int32_t>(static_cast<uint32_t>(strtol(s, nullptr, 10)));
}

enum class Read { Line, End, Refused, TooLong };

// Reads one line whole. A NUL byte or a file beyond kMaxCfgBytes is no
// configuration (a device such as /dev/zero would otherwise be read for ever).
Read cfgGetLine(FILE* fp, char* line, size_t size, size_t* total) {
    size_t len = 0;
    int c = 0;
    while (len + 1 < size && (c = getc(fp)) != EOF) {
        if (c == '\0' || ++*total > kMaxCfgBytes) return Read::Refused;
        line[len++] = static_cast<char>(c);
        if (c == '\n') break;
    }
    line[len] = '\0';
    if (len + 1 == size && c != '\n') return Read::TooLong;
    return len == 0 ? Read::End : Read::Line;
}

void cfgWarnAt(int line, std::initializer_list<const char*> parts) {
    if (warnCount < kMaxWarnings) {
        cfgWarns[warnCount].line = line;
        textJoin(cfgWarns[warnCount].text, sizeof cfgWarns[warnCount].text, parts);
    }
    warnCount++;
}

// The detail of a refused line, naming file and line; returns false, the
// line's verdict.
bool cfgRefuse(std::initializer_list<const char*> parts) {
    char why[512];
    textJoin(why, sizeof why, parts);
    resultWhy({cfgName, ":", TextNum(lineNo), ": ", why});
    return false;
}

// Lines of no keyword that were most likely meant as one.
void cfgCheckOther(const char* line) {
    size_t blanks = strspn(line, " \t");
    size_t word = 0;
    while (isalpha(static_cast<unsigned char>(line[word])) != 0) word++;
    char kw[32];
    if (blanks > 0 && cfgKeywordOf(line + blanks) != nullptr) {
        cfgWarnAt(lineNo, {"keyword after blanks or tabs: line ignored"});
    } else if (word > 0 && line[word] == ':') {
        strlcpy(kw, line, std::min(word + 2, sizeof kw));
        cfgWarnAt(lineNo, {kw, " is no keyword: line ignored"});
    }
}

bool reads(const CfgField& f, bool marked) {
    return f.when == CfgWhen::Always || (f.when == CfgWhen::Marked) == marked;
}

// The field the line reads at pos, or null.
const CfgField* fieldAt(const CfgKeyword& k, int pos, bool marked) {
    for (int i = 0; i < k.count; i++)
        if (k.fields[i].pos == pos && reads(k.fields[i], marked)) return &k.fields[i];
    return nullptr;
}

// Lines that load, but most likely not as meant: a field count the record
// does not take, text in a field that is not read (the first), a command that looks like
// a misspelt marker or sends a blank after ';'.
void cfgCheckShape(const CfgKeyword& k, const char* cmd, bool marked) {
    int least = 0, most = 0;
    for (int i = 0; i < k.count; i++) {
        if (!reads(k.fields[i], marked)) continue;
        most = std::max<int>(most, k.fields[i].pos);
        if (k.fields[i].required) least = std::max<int>(least, k.fields[i].pos);
    }
    if (int n = fields.count; n < least || n > most)
        cfgWarnAt(lineNo,
                  {k.keyword, " with ", TextNum(n), " fields (", TextNum(least),
                   least < most ? " to " : "", least < most ? TextNum(most) : "", " expected)"});
    for (int pos = 1; pos <= std::min(fields.count, most); pos++) {
        if (fields[pos][0] == '\0' || fieldAt(k, pos, marked) != nullptr) continue;
        // The field at `most` is read, so one follows.
        const CfgField* next = k.fields;
        while (next->pos <= pos || !reads(*next, marked)) next++;
        cfgWarnAt(lineNo, {k.keyword, " field ", TextNum(pos), " \"", fields[pos],
                           "\" is not read; the ", next->words, " is field ", TextNum(next->pos)});
        break;
    }
    // A marker is meant wherever one is half written or in the wrong record.
    if (!marked && (cmd[strspn(cmd, " \t")] == '$' || strcasestr(cmd, "calc$") != nullptr ||
                    strcasestr(cmd, "delay$") != nullptr))
        cfgWarnAt(lineNo, {"command \"", cmd, "\" looks like a misspelt $calc$ or $delay$"});
    for (const char* p = cmd; *p != '\0'; p++) {
        if ((*p != ' ' && *p != '\t') || (p != cmd && p[-1] != ';')) continue;
        cfgWarnAt(lineNo, {"command \"", cmd, "\" has a blank after ';' (blanks are sent)"});
        break;
    }
}

// A wait above 999 ms means "none"; a negative one is refused outright.
bool cfgWait(const CfgField& f, const char* field, char* rec) {
    int32_t v = cfgInt(field);
    if (v < 0) return cfgRefuse({f.words, " ", field, " (must not be negative)"});
    if (v > kMaxWait) cfgWarnAt(lineNo, {f.words, " ", field, " is above 999 ms: stored as 0"});
    cfgSetNumber(rec, f, v > kMaxWait ? 0 : v);
    return true;
}

// A reading on a row the screen has no room for still loads: it is polled
// and logged as before.
void cfgCheckRow(int32_t row) {
    if (row < 0 || row > kLastRow)
        cfgWarnAt(lineNo, {"row ", TextNum(row),
                           " is not on the screen (1 to 24): polled and logged, not drawn"});
    else if (rowTaken(row))
        cfgWarnAt(lineNo, {"row ", TextNum(row),
                           " is taken by the screen (15 to 19, 23, 24): drawn over it"});
}

int32_t cfgOperator(const char* field) {
    const char* p = field[0] == '\0' ? nullptr : strchr(kAryMath + 1, field[0]);
    if (p == nullptr)
        cfgWarnAt(lineNo, {"$calc$ operator \"", field,
                           "\" is none of + - * /: the command is sent as a query"});
    return p == nullptr ? 0 : static_cast<int32_t>(p - kAryMath);
}

bool cfgDigits(const char* v) {
    return v[0] != '\0' && v[strspn(v, "0123456789")] == '\0';
}

// The fields of the limit keyword are read strictly: a guard that read
// "1,5" as 1 would act on the wrong value.
bool cfgStrict(const CfgField& f, const char* v, char* rec) {
    long n = cfgDigits(v) ? strtol(v, nullptr, 10) : -1;
    switch (f.kind) {
    case CfgKind::Reading:
        if (n < 0) return cfgRefuse({f.words, " \"", v, "\" is no display position"});
        if (n > kMaxRecords)
            return cfgRefuse({f.words, " ", v, " is past the display list (at most ",
                              TextNum(kMaxRecords), " readings)"});
        break;
    case CfgKind::Count:
        if (n < 1 || n > kCfgMostCount || strlen(v) > 7)
            return cfgRefuse({f.words, " \"", v, "\" (must be 1 to ", TextNum(kCfgMostCount), ")"});
        break;
    case CfgKind::Switch:
        n = v[0] == '\0' ? 0 : 1;
        if (n != 0 && strcasecmp(v, f.name) != 0)
            return cfgRefuse({"field ", TextNum(f.pos), " \"", v, "\" is not ", f.name});
        break;
    default:
        break;
    }
    cfgSetNumber(rec, f, n);
    return true;
}

// Reads one field into its slot; false when it refuses the line.
bool cfgField(const CfgField& f, const char* v, char* rec) {
    switch (f.kind) {
    case CfgKind::Reading:
    case CfgKind::Count:
    case CfgKind::Switch:
        return cfgStrict(f, v, rec);
    case CfgKind::Controller: {
        auto n = static_cast<uint32_t>(cfgInt(v));
        if (n == 0 || n > kControllers) return cfgRefuse({"controller ", v, " (must be 1 or 2)"});
        cfgSetNumber(rec, f, n - 1);
        return true;
    }
    case CfgKind::Wait:
        return cfgWait(f, v, rec);
    case CfgKind::Bound: {
        char* end = nullptr;
        float b = strtof(v, &end);
        if (v[0] != '\0' && (*end != '\0' || !std::isfinite(b)))
            return cfgRefuse({f.words, " \"", v, "\" is no number"});
        [[fallthrough]];
    }
    case CfgKind::Text:
        if (size_t n = strlen(v); n > static_cast<size_t>(f.most))
            return cfgRefuse({f.words, " is ", TextNum(static_cast<long>(n)),
                              " characters (at most ", TextNum(f.most), ")"});
        strlcpy(rec + f.at, v, f.size);
        return true;
    case CfgKind::Operator:
        cfgSetNumber(rec, f, cfgOperator(v));
        return true;
    case CfgKind::Operand: {
        Operand o{};
        if (v[0] == 'c' || v[0] == 'C')
            o.constant = strtof(v + 1, nullptr);
        else
            o.pos = static_cast<uint32_t>(cfgInt(v));
        memcpy(rec + f.at, &o, sizeof o);
        return true;
    }
    case CfgKind::Row:
        cfgCheckRow(cfgInt(v));
        break;
    case CfgKind::Int:
        break;
    }
    cfgSetNumber(rec, f, cfgInt(v));
    return true;
}

union AnyRecord {
    InitStep init;
    DictCmd dict;
    Reading dsp;
    OffCmd off;
    Limit lim;
    CtlRead read;
    CtlAddr addr;
};

// Stores a parsed record where its keyword's records go; a later line for
// the same controller replaces the earlier one.
void cfgCommit(const CfgKeyword& k, const char* rec) {
    CfgRecords r = cfgRecordsOf(cfgStore, k);
    if (r.count == nullptr) {
        GpibAt at{};
        memcpy(&at, rec, sizeof at);
        memcpy(r.first + at.dev * r.stride, rec, k.size);
        return;
    }
    int i = (*r.count)++;
    memcpy(r.first + static_cast<size_t>(i) * r.stride, rec, k.size);
    recordLine[&k - cfgKeywords][i] = lineNo;
    storedRecords++;
}

// Returns false when the line stops the load.
bool cfgLine(const char* line) {
    const CfgKeyword* k = cfgKeywordOf(line);
    if (k == nullptr) {
        cfgCheckOther(line);
        return true;
    }
    cfgSplit(line);
    const char* cmd = fields[k->cmdPos];
    bool marked = cfgMarked(*k, cmd);
    cfgCheckShape(*k, cmd, marked);
    if (!cfgPerController(*k) && storedRecords == kMaxRecords)
        return cfgRefuse({"record ", TextNum(kMaxRecords + 1), " does not fit (at most ",
                          TextNum(kMaxRecords), " records)"});
    // Room for a record of any keyword; fields a line does not give stay zero.
    alignas(AnyRecord) char rec[sizeof(AnyRecord)] = {};
    for (int i = 0; i < k->count; i++)
        if (reads(k->fields[i], marked) && !cfgField(k->fields[i], fields[k->fields[i].pos], rec))
            return false;
    cfgCommit(*k, rec);
    return true;
}

int lineOf(CfgSection section, int i) {
    for (const CfgKeyword& k : cfgKeywords)
        if (k.section == section) return recordLine[&k - cfgKeywords][i];
    return 0;
}

// Operands that point past the display list (read as 0) or at their own
// reading (its value of the pass before): never what was meant.
void cfgCheckCalc() {
    const auto count = static_cast<uint32_t>(cfg().dsp.count);
    for (uint32_t pos = 1; pos <= count; pos++) {
        const Calc& c = cfg().dsp.pos(pos)->calc;
        if (c.op == 0) continue;
        int line = lineOf(CfgSection::Dsp, static_cast<int>(pos - 1));
        for (uint32_t f : {c.a.pos, c.b.pos}) {
            if (f == pos)
                cfgWarnAt(line, {"$calc$ operand ", TextNum(f), " is the reading itself"});
            else if (f > count)
                cfgWarnAt(line, {"$calc$ operand ", TextNum(f), " is past the display list (",
                                 TextNum(count), " readings)"});
        }
    }
}

// Two readings on one row: drawn one after the other they share it, side by
// side (the examples do so); apart, the later erases the earlier at every
// pass.
void cfgCheckRows() {
    int onRow[kLastRow + 1];
    std::fill(std::begin(onRow), std::end(onRow), -1);
    int drawn = -1;
    for (int i = 0; i < cfg().dsp.count; i++) {
        int32_t row = cfg().dsp.at[i].row;
        if (row < 1 || row > kLastRow) continue;
        if (int first = onRow[row]; first >= 0 && first != drawn)
            cfgWarnAt(lineOf(CfgSection::Dsp, i),
                      {"row ", TextNum(row), " also holds the reading of line ",
                       TextNum(lineOf(CfgSection::Dsp, first)),
                       ", which this one erases at every pass"});
        onRow[row] = i;
        drawn = i;
    }
}

// A bound as the guard compares it; empty is none.
float cfgBound(const char* text, float none) {
    return text[0] == '\0' ? none : strtof(text, nullptr);
}

bool cfgActionIs(const char* action, const char* word) {
    return strcasecmp(action, word) == 0;
}

// What a limit guards and does can only be checked once the display list
// and the dictionary are whole; a refusal names the limit's line.
bool cfgCheckLimits() {
    int readings = cfg().dsp.count;
    for (int i = 0; i < cfg().lim.count; i++) {
        const Limit* r = &cfg().lim.at[i];
        lineNo = lineOf(CfgSection::Lim, i);
        if (r->reading == 0)
            return cfgRefuse({"reading 0 points at no reading (positions from 1)"});
        if (static_cast<int>(r->reading) > readings)
            return cfgRefuse({"reading ", TextNum(r->reading), " is past the display list (",
                              TextNum(readings), " readings)"});
        if (cfgBound(r->low, -INFINITY) > cfgBound(r->high, INFINITY))
            return cfgRefuse({"low ", r->low, " is above high ", r->high});
        if (cfgActionIs(r->action, "mark") || cfgActionIs(r->action, "off")) {
            if (cfgDictFind(r->action) != nullptr)
                cfgWarnAt(lineNo,
                          {"action ", r->action, " is the limit's own, not the dictionary's ",
                           r->action, " command"});
        } else {
            char word[kCmdSize];
            char value[kCmdSize];
            strlcpy(word, r->action, sizeof word);
            strlrtrim(word, sizeof word);
            strlcpy(value, r->action, sizeof value);
            strlnshift(value, sizeof value);
            const DictCmd* c = cfgDictFind(word);
            if (c == nullptr)
                return cfgRefuse(
                    {"action \"", r->action, "\" is none of mark, off or a dictionary command"});
            if (c->usrv != 0 && value[0] == '\0')
                return cfgRefuse(
                    {"action \"", r->action, "\" needs a value, as ", c->name, " takes one"});
        }
        if (r->low[0] == '\0' && r->high[0] == '\0' && r->err == 0)
            cfgWarnAt(lineNo, {"limit without bounds or err: it never acts"});
    }
    return true;
}

} // namespace

int loadCfg(const char* path, int noSuffix) {
    char* name = cfgName;
    name[0] = '\0';
    lineNo = 0;
    warnCount = 0;
    if (strlcpy(name, path, sizeof cfgName) >= sizeof cfgName ||
        (!noSuffix && strlcat(name, ".conf", sizeof cfgName) >= sizeof cfgName)) {
        resultWhy({path, noSuffix ? "" : ".conf", ": path too long (255 bytes at most)"});
        return ENAMETOOLONG;
    }
    FILE* fp = fopen(name, "r");
    if (fp == nullptr) {
        int err = errno;
        if (err == ENOENT)
            resultWhy({"no such file: ", name, noSuffix ? "" : " (give one with -c<file>)"});
        else
            resultWhy({name, ": ", resultSysErr(err)});
        return err;
    }

    cfgClear();
    storedRecords = 0;
    int result = 0;
    static char line[kCfgLineBytes + 2]; // the line and its line feed
    size_t total = 0;
    Read got = Read::Line;
    for (;;) {
        lineNo++;
        got = cfgGetLine(fp, line, sizeof line, &total);
        if (got != Read::Line) break;
        strnl(line, sizeof line);
        if (!cfgLine(line)) {
            result = EINVAL;
            break;
        }
    }
    // A read error (a directory, an unreadable device) is no valid file.
    if (ferror(fp)) {
        result = errno;
        resultWhy({name, ": ", resultSysErr(errno)});
    } else if (got == Read::Refused && total > kMaxCfgBytes) {
        result = EFBIG;
        resultWhy({name, ": larger than 1 MiB (no configuration)"});
    } else if (got == Read::Refused) {
        result = EINVAL;
        resultWhy({name, ":", TextNum(lineNo), ": holds a NUL byte (no text file)"});
    } else if (got == Read::TooLong) {
        result = EINVAL;
        resultWhy({name, ":", TextNum(lineNo), ": line is longer than ", TextNum(kCfgLineBytes),
                   " bytes"});
    }
    if (result == 0) {
        cfgCheckCalc();
        cfgCheckRows();
        if (!cfgCheckLimits()) result = EINVAL;
    }
    fclose(fp);
    return result;
}

int cfgRecords() {
    return storedRecords;
}

const char* cfgFileName() {
    return cfgName;
}

int cfgWarnings() {
    return warnCount;
}

void cfgPrintWarnings() {
    char where[320];
    textJoin(where, sizeof where, {cfgName});
    for (int i = 0; i < std::min(warnCount, kMaxWarnings); i++)
        fprintf(stderr, "%s:%d: warning: %s\n", where, cfgWarns[i].line, cfgWarns[i].text);
    if (warnCount > kMaxWarnings)
        fprintf(stderr, "%s: %d more warnings\n", where, warnCount - kMaxWarnings);
}
