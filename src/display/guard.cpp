#include "display/guard.h"

#include <algorithm>
#include <bsd/string.h>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <strings.h>

#include "util/result.h"

namespace {

struct Limit {
    const GpibRec* lim;
    const GpibRec* reading;
    const GpibRec* command; // Command only
    const char* value;      // in lim->cmd, after the command's name
    uint32_t pos;
    float low;
    float high;
    int counted; // passes outside in a row
    GuardDo what;
    bool acted; // since the reading went outside
};

Limit limits[kMaxRecords];
int limitCount;
GuardRow rows[kMaxRecords];
int acted[kMaxRecords];
int actedCount;
// Room for a label and a reading shown whole, and the rest of the line.
char last[2 * kLabelSize + 2 * kRespSize];

// Only a number is within or outside; "ERR" and other text are neither.
bool guardNumber(const char* resp, float* v) {
    char* end = nullptr;
    *v = strtof(resp, &end);
    return end != resp && !std::isnan(*v);
}

float bound(const char* text, float none) {
    return text[0] == '\0' ? none : strtof(text, nullptr);
}

// The label without the blanks that part it from the reading on screen.
void labelOf(const Limit& l, char* buf, size_t size) {
    strlcpy(buf, l.reading->label, size);
    for (size_t n = strlen(buf); n > 0 && buf[n - 1] == ' '; n--) buf[n - 1] = '\0';
}

// A row shows its limits together: of those counting passes, the one
// nearest to acting; else tripped when one has acted.
void guardFold(const Limit& l) {
    GuardRow& row = rows[l.pos - 1];
    row.marked = row.marked || (l.acted && l.what == GuardDo::Mark);
    if (l.acted && row.show == GuardShow::Within) row.show = GuardShow::Tripped;
    if (l.counted == 0 || l.acted) return;
    if (row.show != GuardShow::Outside || l.lim->num - l.counted < row.needed - row.counted) {
        row.show = GuardShow::Outside;
        row.counted = l.counted;
        row.needed = l.lim->num;
    }
}

// One limit on this pass's reading: true when it acts now. A reading that is
// no number (ERR, an instrument's text) is outside only for a limit with
// err; for the others it leaves the count as it stands, since it tells
// nothing of the bounds.
bool guardWeigh(Limit& l) {
    float v = 0.0F;
    bool number = guardNumber(l.reading->resp, &v);
    if (!number && l.lim->flag == 0) return false;
    if (number && v >= l.low && v <= l.high) {
        l.counted = 0;
        l.acted = false;
        return false;
    }
    if (l.counted < l.lim->num) l.counted++;
    if (l.acted || l.counted < l.lim->num) return false;
    l.acted = true;
    return true;
}

} // namespace

int guardStart() {
    limitCount = 0;
    actedCount = 0;
    last[0] = '\0';
    std::fill(std::begin(rows), std::end(rows), GuardRow{});
    for (const GpibRec* r = Index[kLimHead]; r != nullptr; r = r->next) {
        const GpibRec* reading = cfgAt(kDspHead, r->f1);
        if (reading == nullptr) continue; // the loader refuses such a limit
        Limit& l = limits[limitCount++];
        l = Limit{};
        l.lim = r;
        l.pos = r->f1;
        l.reading = reading;
        l.low = bound(r->label, -INFINITY);
        l.high = bound(r->text, INFINITY);
        l.what = GuardDo::Command;
        if (strcasecmp(r->cmd, "mark") == 0) l.what = GuardDo::Mark;
        if (strcasecmp(r->cmd, "off") == 0) l.what = GuardDo::Off;
        if (l.what != GuardDo::Command) continue;
        // The name and the value as the console splits a typed line.
        const char* p = r->cmd + strspn(r->cmd, " ");
        size_t name = strcspn(p, " ");
        char word[kCmdSize];
        strlcpy(word, p, name + 1 < sizeof word ? name + 1 : sizeof word);
        l.command = cfgDictFind(word);
        l.value = p + name + strspn(p + name, " ");
    }
    return limitCount;
}

int guardPass() {
    actedCount = 0;
    for (int i = 0; i < limitCount; i++) rows[limits[i].pos - 1] = {0, 0, GuardShow::Within, false};
    for (int i = 0; i < limitCount; i++) {
        Limit& l = limits[i];
        if (guardWeigh(l)) {
            acted[actedCount++] = i;
            char what[sizeof last];
            guardDescribe(i, what, sizeof what);
            textJoin(last, sizeof last, {"limit: ", what, ": ", l.lim->cmd});
        }
        guardFold(l);
    }
    return actedCount;
}

int guardActed(int i) {
    return acted[i];
}

GuardDo guardAction(int limit) {
    return limits[limit].what;
}

const GpibRec* guardCommand(int limit, const char** value) {
    *value = limits[limit].value;
    return limits[limit].command;
}

void guardValue(int limit, char* buf, size_t size) {
    char label[kLabelSize];
    labelOf(limits[limit], label, sizeof label);
    textJoin(buf, size, {label, " ", limits[limit].reading->resp});
}

void guardDescribe(int limit, char* buf, size_t size) {
    const Limit& l = limits[limit];
    char value[kLabelSize + kRespSize];
    guardValue(limit, value, sizeof value);
    float v = 0.0F;
    const char* side = ", no reading";
    const char* crossed = "";
    if (guardNumber(l.reading->resp, &v)) {
        side = v < l.low ? " below " : " above ";
        crossed = v < l.low ? l.lim->label : l.lim->text;
    }
    textJoin(buf, size,
             {value, side, crossed, " for ", TextNum(l.lim->num),
              l.lim->num == 1 ? " pass" : " passes"});
}

GuardRow guardRow(uint32_t pos) {
    return pos >= 1 && pos <= kMaxRecords ? rows[pos - 1] : GuardRow{};
}

const char* guardLast() {
    return last;
}
