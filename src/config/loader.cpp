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

#include "config/records.h"
#include "util/result.h"
#include "util/strutil.h"

namespace {

char cfgVar[64];
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

constexpr int kLineSize = 256;
constexpr int kMaxWait = 999;
constexpr size_t kMaxCfgBytes = 1 << 20;

// strtol semantics, keeping the low 32 bits of what was read.
int32_t cfgInt(const char* s) {
    return static_cast<int32_t>(static_cast<uint32_t>(strtol(s, nullptr, 10)));
}

uint32_t cfgUnsigned(const char* s) {
    return static_cast<uint32_t>(strtol(s, nullptr, 10));
}

enum class Read { Line, End, Refused };

// fgets with two guards: a NUL byte or a file beyond kMaxCfgBytes is no
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
    return len == 0 ? Read::End : Read::Line;
}

bool hasPrefix(const char* s, const char* prefix) {
    return strncasecmp(s, prefix, strlen(prefix)) == 0;
}

void cfgWarnAt(int line, std::initializer_list<const char*> parts) {
    if (warnCount < kMaxWarnings) {
        cfgWarns[warnCount].line = line;
        textJoin(cfgWarns[warnCount].text, sizeof cfgWarns[warnCount].text, parts);
    }
    warnCount++;
}

// The detail of a refused line; returns false, the line's verdict.
bool cfgRefuse(const char* what, const char* value, const char* why) {
    resultWhy({cfgName, ":", TextNum(lineNo), ": ", what, value, why});
    return false;
}

// A wait above 999 ms means "none"; a negative one is refused outright.
bool cfgWait(const char* field, int32_t* out, const char* what) {
    int32_t v = cfgInt(field);
    if (v < 0) return cfgRefuse(what, field, " (must not be negative)");
    if (v > kMaxWait) cfgWarnAt(lineNo, {what, field, " is above 999 ms: stored as 0"});
    *out = v > kMaxWait ? 0 : v;
    return true;
}

// Controller field of a line: 1 or 2 gives 0 or 1, anything else -1.
int cfgController(const char* line) {
    const char* field = getCfgVar(line, 1);
    uint32_t n = cfgUnsigned(field);
    if (n == 0 || n > 2) {
        cfgRefuse("controller ", field, " (must be 1 or 2)");
        return -1;
    }
    return static_cast<int>(n - 1);
}

// How many fields each record takes (a marker command takes others), and
// which field is its command.
struct Shape {
    const char* keyword;
    int cmdField;
    int least, most;
    const char* marker;
    int markerLeast, markerMost;
};
constexpr Shape kShapes[] = {
    {"init:", 3, 3, 4, "$delay$", 5, 5},  {"read:", 3, 4, 4, nullptr, 0, 0},
    {"addr:", 3, 3, 3, nullptr, 0, 0},    {"cfg:", 4, 6, 7, nullptr, 0, 0},
    {"dsp:", 4, 5, 11, "$calc$", 10, 11}, {"off:", 3, 3, 3, nullptr, 0, 0},
};

const Shape* shapeOf(const char* line) {
    for (const Shape& s : kShapes)
        if (hasPrefix(line, s.keyword)) return &s;
    return nullptr;
}

// Fields after the keyword, counted as getCfgVar separates them.
int fieldCount(const char* line) {
    const char* p = strchr(line, ':');
    int n = 1;
    for (; p != nullptr && *p != '\0'; p++)
        if (*p == ';' && p[-1] != '\\') n++;
    return n;
}

// Lines that load, but most likely not as meant.
void cfgCheck(const char* line) {
    const Shape* s = shapeOf(line);
    if (s == nullptr) {
        size_t blanks = strspn(line, " \t");
        size_t word = 0;
        while (isalpha(static_cast<unsigned char>(line[word])) != 0) word++;
        char kw[32];
        if (blanks > 0 && shapeOf(line + blanks) != nullptr) {
            cfgWarnAt(lineNo, {"keyword after blanks or tabs: line ignored"});
        } else if (word > 0 && line[word] == ':') {
            strlcpy(kw, line, std::min(word + 2, sizeof kw));
            cfgWarnAt(lineNo, {kw, " is no keyword: line ignored"});
        }
        return;
    }
    char cmd[64];
    strlcpy(cmd, getCfgVar(line, s->cmdField), sizeof cmd);
    bool marked = s->marker != nullptr && hasPrefix(cmd, s->marker);
    int least = marked ? s->markerLeast : s->least;
    int most = marked ? s->markerMost : s->most;
    if (int n = fieldCount(line); n < least || n > most)
        cfgWarnAt(lineNo,
                  {s->keyword, " with ", TextNum(n), " fields (", TextNum(least),
                   least < most ? " to " : "", least < most ? TextNum(most) : "", " expected)"});
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

void cfgOperand(const char* field, uint32_t* pos, float* konst) {
    if (field[0] == 'c' || field[0] == 'C')
        *konst = strtof(field + 1, nullptr);
    else
        *pos = cfgUnsigned(field);
}

int32_t cfgOperator(const char* field) {
    if (field[0] == '\0') return 0;
    const char* p = strchr(kAryMath + 1, field[0]);
    return p == nullptr ? 0 : static_cast<int32_t>(p - kAryMath);
}

constexpr int kRefused = -1;
constexpr int kNoRecord = -2;

// Fills the record for a line of a list section; returns its list head slot,
// kRefused, or kNoRecord for a line of no list section.
int cfgRecord(const char* line, GpibRec* rec) {
    if (hasPrefix(line, "init:")) {
        rec->type = kTypeInit;
        strlcpy(rec->cmd, getCfgVar(line, 3), sizeof rec->cmd);
        if (strncasecmp(rec->cmd, "$delay$", 7) == 0) {
            if (!cfgWait(getCfgVar(line, 5), &rec->num, "delay ")) return kRefused;
        } else {
            strlcpy(rec->label, getCfgVar(line, 4), sizeof rec->label);
        }
        return kInitHead;
    }
    if (hasPrefix(line, "cfg:")) {
        rec->type = kTypeCfg;
        rec->num = cfgInt(getCfgVar(line, 5));
        rec->flag = cfgUnsigned(getCfgVar(line, 6));
        strlcpy(rec->label, getCfgVar(line, 3), sizeof rec->label);
        strlcpy(rec->cmd, getCfgVar(line, 4), sizeof rec->cmd);
        strlcpy(rec->text, getCfgVar(line, 7), sizeof rec->text);
        return kCfgHead;
    }
    if (hasPrefix(line, "dsp:")) {
        rec->type = kTypeDsp;
        rec->num = cfgInt(getCfgVar(line, 5));
        rec->flag = cfgUnsigned(getCfgVar(line, 6));
        strlcpy(rec->label, getCfgVar(line, 3), sizeof rec->label);
        strlcpy(rec->cmd, getCfgVar(line, 4), sizeof rec->cmd);
        if (strncasecmp(rec->cmd, "$calc$", 6) == 0) {
            rec->op = cfgOperator(getCfgVar(line, 7));
            cfgOperand(getCfgVar(line, 8), &rec->f1, &rec->f1const);
            cfgOperand(getCfgVar(line, 9), &rec->f2, &rec->f2const);
            rec->precision = cfgUnsigned(getCfgVar(line, 10));
        }
        strlcpy(rec->text, getCfgVar(line, 11), sizeof rec->text);
        return kDspHead;
    }
    if (hasPrefix(line, "off:")) {
        rec->type = kTypeOff;
        strlcpy(rec->cmd, getCfgVar(line, 3), sizeof rec->cmd);
        return kOffHead;
    }
    return kNoRecord;
}

// Handles a "read:" or "addr:" line; false when it is refused.
bool cfgController(const char* line, bool isRead) {
    int dev = cfgController(line);
    if (dev < 0) return false;
    GpibRec& e = isRead ? Read_gpib[dev] : Addr_gpib[dev];
    e.type = isRead ? kTypeRead : kTypeAddr;
    e.adr = cfgInt(getCfgVar(line, 2));
    strlcpy(e.cmd, getCfgVar(line, 3), sizeof e.cmd);
    if (isRead && !cfgWait(getCfgVar(line, 4), &e.num, "time-out ")) return false;
    return true;
}

// Returns false when the line stops the load.
bool cfgLine(const char* line) {
    cfgCheck(line);
    if (hasPrefix(line, "read:")) return cfgController(line, true);
    if (hasPrefix(line, "addr:")) return cfgController(line, false);
    GpibRec* rec = &Dict[storedRecords];
    int head = cfgRecord(line, rec);
    if (head == kNoRecord) return true;
    if (head == kRefused) return false;
    int dev = cfgController(line);
    if (dev < 0) return false;
    rec->dev = static_cast<uint32_t>(dev);
    rec->adr = cfgInt(getCfgVar(line, 2));
    dictLine[storedRecords] = lineNo;
    cfgAppend(head, rec);
    storedRecords++;
    return true;
}

} // namespace

const char* getCfgVar(const char* line, int n) {
    memset(cfgVar, 0, sizeof cfgVar);
    int field = 0;
    bool colon = false;
    size_t copied = 0;
    for (size_t i = 0; line[i] != '\0'; i++) {
        char c = line[i];
        bool escaped = i > 0 && line[i - 1] == '\\';
        if (field != n) {
            if (c == ':' && !colon) {
                colon = true;
                field = 1;
            } else if (c == ';' && colon && !escaped) {
                field++;
            }
            continue;
        }
        // 63 characters end the value: an escaped ';' after them no longer
        // takes the place of its backslash.
        if (copied >= sizeof cfgVar - 1) break;
        if (c == ';') {
            if (!escaped) break;
            if (copied > 0) {
                cfgVar[copied - 1] = ';';
                continue;
            }
        }
        cfgVar[copied++] = c;
    }
    return cfgVar;
}

int loadCfg(const char* path, int noSuffix) {
    char* name = cfgName;
    name[0] = '\0';
    lineNo = 0;
    warnCount = 0;
    if (strlcpy(name, path, sizeof cfgName) >= sizeof cfgName ||
        (!noSuffix && strlcat(name, ".conf", sizeof cfgName) >= sizeof cfgName)) {
        resultWhy({path, noSuffix ? "" : ".conf", ": path too long (255 bytes at most)"});
        return 3;
    }
    FILE* fp = fopen(name, "r");
    if (fp == nullptr && errno == ENOENT) {
        resultWhy({"no such file: ", name, noSuffix ? "" : " (give one with -c<file>)"});
        return 3;
    }
    if (fp == nullptr) {
        resultWhy({name, ": ", resultErrText(errno)});
        return 3;
    }

    std::fill(std::begin(Dict), std::end(Dict), GpibRec{});
    std::fill(std::begin(Read_gpib), std::end(Read_gpib), GpibRec{});
    std::fill(std::begin(Index), std::end(Index), nullptr);
    storedRecords = 0;
    int result = 0;
    char line[kLineSize];
    size_t total = 0;
    // A line longer than the buffer goes on in the next piece, on the same line.
    bool lineEnded = true;
    Read got = Read::Line;
    for (;;) {
        if (lineEnded) lineNo++;
        got = cfgGetLine(fp, line, sizeof line, &total);
        if (got != Read::Line || storedRecords >= kMaxRecords) break;
        lineEnded = strchr(line, '\n') != nullptr;
        strnl(line, sizeof line);
        if (!cfgLine(line)) {
            result = 3;
            break;
        }
    }
    // A read error (a directory, an unreadable device) is no valid file.
    if (ferror(fp)) resultWhy({name, ": ", resultErrText(errno)});
    if (got == Read::Refused && total > kMaxCfgBytes)
        resultWhy({name, ": larger than 1 MiB (no configuration)"});
    else if (got == Read::Refused)
        resultWhy({name, ":", TextNum(lineNo), ": holds a NUL byte (no text file)"});
    if (ferror(fp) || got == Read::Refused) result = 3;
    if (result == 0) cfgCheckCalc();
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
