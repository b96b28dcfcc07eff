#include "config/loader.h"

#include <algorithm>
#include <bsd/string.h>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <strings.h>

#include "config/records.h"
#include "util/strutil.h"

namespace {

char cfgVar[64];
char cfgName[256];
int storedRecords;

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

// A wait above 999 ms means "none"; a negative one is refused outright.
bool cfgWait(const char* field, int32_t* out) {
    int32_t v = cfgInt(field);
    if (v < 0) return false;
    *out = v > kMaxWait ? 0 : v;
    return true;
}

// Controller field of a line: 1 or 2 gives 0 or 1, anything else -1.
int cfgController(const char* line) {
    uint32_t n = cfgUnsigned(getCfgVar(line, 1));
    return (n == 0 || n > 2) ? -1 : static_cast<int>(n - 1);
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
            if (!cfgWait(getCfgVar(line, 5), &rec->num)) return kRefused;
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
    if (isRead && !cfgWait(getCfgVar(line, 4), &e.num)) return false;
    return true;
}

// Returns false when the line stops the load.
bool cfgLine(const char* line) {
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
    if (strlcpy(name, path, sizeof cfgName) >= sizeof cfgName) return 3;
    if (!noSuffix && strlcat(name, ".conf", sizeof cfgName) >= sizeof cfgName) return 3;
    FILE* fp = fopen(name, "r");
    if (fp == nullptr) return 3;

    std::fill(std::begin(Dict), std::end(Dict), GpibRec{});
    std::fill(std::begin(Read_gpib), std::end(Read_gpib), GpibRec{});
    std::fill(std::begin(Index), std::end(Index), nullptr);
    storedRecords = 0;
    int result = 0;
    char line[kLineSize];
    size_t total = 0;
    Read got = Read::Line;
    while ((got = cfgGetLine(fp, line, sizeof line, &total)) == Read::Line) {
        if (storedRecords >= kMaxRecords) break;
        strnl(line, sizeof line);
        if (!cfgLine(line)) {
            result = 3;
            break;
        }
    }
    // A read error (a directory, an unreadable device) is no valid file.
    if (ferror(fp) || got == Read::Refused) result = 3;
    fclose(fp);
    return result;
}

int cfgRecords() {
    return storedRecords;
}

const char* cfgFileName() {
    return cfgName;
}
