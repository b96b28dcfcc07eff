#include "config/loader.h"

#include <algorithm>
#include <bsd/string.h>
#include <cctype>
#include <cerrno>
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
int storedRecords;
// Line of the file being read, and the line of each record.
int lineNo;
int dictLine[kMaxRecords];

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
bool cfgWait(const CfgField& f, const char* field, GpibRec* rec) {
    int32_t v = cfgInt(field);
    if (v < 0) return cfgRefuse({f.words, " ", field, " (must not be negative)"});
    if (v > kMaxWait) cfgWarnAt(lineNo, {f.words, " ", field, " is above 999 ms: stored as 0"});
    cfgSetNumber(*rec, f.slot, v > kMaxWait ? 0 : v);
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

// Reads one field into its slot; false when it refuses the line.
bool cfgField(const CfgField& f, const char* v, GpibRec* rec) {
    switch (f.kind) {
    case CfgKind::Controller: {
        auto n = static_cast<uint32_t>(cfgInt(v));
        if (n == 0 || n > kControllers) return cfgRefuse({"controller ", v, " (must be 1 or 2)"});
        cfgSetNumber(*rec, f.slot, n - 1);
        return true;
    }
    case CfgKind::Wait:
        return cfgWait(f, v, rec);
    case CfgKind::Text: {
        size_t size = 0;
        char* to = cfgText(*rec, f.slot, &size);
        if (size_t n = strlen(v); n > static_cast<size_t>(f.most))
            return cfgRefuse({f.words, " is ", TextNum(static_cast<long>(n)),
                              " characters (at most ", TextNum(f.most), ")"});
        strlcpy(to, v, size);
        return true;
    }
    case CfgKind::Operator:
        cfgSetNumber(*rec, f.slot, cfgOperator(v));
        return true;
    case CfgKind::Operand:
        if (v[0] == 'c' || v[0] == 'C')
            *cfgConstant(*rec, f.slot) = strtof(v + 1, nullptr);
        else
            cfgSetNumber(*rec, f.slot, cfgInt(v));
        return true;
    case CfgKind::Row:
        cfgCheckRow(cfgInt(v));
        break;
    case CfgKind::Int:
        break;
    }
    cfgSetNumber(*rec, f.slot, cfgInt(v));
    return true;
}

// Returns false when the line stops the load.
bool cfgLine(const char* line) {
    const CfgKeyword* k = cfgKeywordOf(line);
    if (k == nullptr) {
        cfgCheckOther(line);
        return true;
    }
    cfgSplit(line);
    const char* cmd = fields[3];
    for (int i = 0; i < k->count; i++)
        if (k->fields[i].slot == CfgSlot::Cmd) cmd = fields[k->fields[i].pos];
    bool marked = cfgMarked(*k, cmd);
    cfgCheckShape(*k, cmd, marked);
    if (k->head >= 0 && storedRecords == kMaxRecords)
        return cfgRefuse({"record ", TextNum(kMaxRecords + 1), " does not fit (at most ",
                          TextNum(kMaxRecords), " records)"});
    GpibRec settings{};
    GpibRec* rec = k->head >= 0 ? &Dict[storedRecords] : &settings;
    rec->type = k->type;
    for (int i = 0; i < k->count; i++)
        if (reads(k->fields[i], marked) && !cfgField(k->fields[i], fields[k->fields[i].pos], rec))
            return false;
    if (k->head < 0) {
        // A later line for the same controller replaces the earlier one.
        (k->type == kTypeRead ? Read_gpib : Addr_gpib)[rec->dev] = settings;
        return true;
    }
    dictLine[storedRecords] = lineNo;
    cfgAppend(k->head, rec);
    storedRecords++;
    return true;
}

// Operands that point past the display list (read as 0) or at their own
// reading (its value of the pass before): never what was meant.
void cfgCheckCalc() {
    uint32_t count = static_cast<uint32_t>(cfgCount(kDspHead));
    uint32_t pos = 1;
    for (const GpibRec* r = Index[kDspHead]; r != nullptr; r = r->next, pos++) {
        if (r->op == 0) continue;
        for (uint32_t f : {r->f1, r->f2}) {
            if (f == pos)
                cfgWarnAt(dictLine[r - Dict],
                          {"$calc$ operand ", TextNum(f), " is the reading itself"});
            else if (f > count)
                cfgWarnAt(dictLine[r - Dict],
                          {"$calc$ operand ", TextNum(f), " is past the display list (",
                           TextNum(count), " readings)"});
        }
    }
}

// Two readings on one row: drawn one after the other they share it, side by
// side (the examples do so); apart, the later erases the earlier at every
// pass.
void cfgCheckRows() {
    const GpibRec* onRow[kLastRow + 1] = {};
    const GpibRec* drawn = nullptr;
    for (const GpibRec* r = Index[kDspHead]; r != nullptr; r = r->next) {
        if (r->num < 1 || r->num > kLastRow) continue;
        if (const GpibRec* first = onRow[r->num]; first != nullptr && first != drawn)
            cfgWarnAt(dictLine[r - Dict],
                      {"row ", TextNum(r->num), " also holds the reading of line ",
                       TextNum(dictLine[first - Dict]), ", which this one erases at every pass"});
        onRow[r->num] = r;
        drawn = r;
    }
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

    std::fill(std::begin(Dict), std::end(Dict), GpibRec{});
    std::fill(std::begin(Read_gpib), std::end(Read_gpib), GpibRec{});
    std::fill(std::begin(Addr_gpib), std::end(Addr_gpib), GpibRec{});
    for (uint32_t d = 0; d < kControllers; d++) Read_gpib[d].dev = Addr_gpib[d].dev = d;
    std::fill(std::begin(Index), std::end(Index), nullptr);
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
