#include "display/guard.h"

#include <algorithm>
#include <bsd/string.h>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <strings.h>

#include "display/answers.h"
#include "util/result.h"

namespace {

struct Guarded {
    const Limit* lim;
    const Reading* reading;
    const DictCmd* command; // Command only
    const char* value;      // in lim->action, after the command's name
    uint32_t pos;
    float low;
    float high;
    int counted; // passes outside in a row
    GuardDo what;
    bool acted; // since the reading went outside
};

Guarded limits[kMaxRecords];
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
void labelOf(const Guarded& l, char* buf, size_t size) {
    strlcpy(buf, l.reading->label, size);
    for (size_t n = strlen(buf); n > 0 && buf[n - 1] == ' '; n--) buf[n - 1] = '\0';
}

// A row shows its limits together: of those counting passes, the one
// nearest to acting; else tripped when one has acted.
void guardFold(const Guarded& l) {
    GuardRow& row = rows[l.pos - 1];
    row.marked = row.marked || (l.acted && l.what == GuardDo::Mark);
    if (l.acted && row.show == GuardShow::Within) row.show = GuardShow::Tripped;
    if (l.counted == 0 || l.acted) return;
    if (row.show != GuardShow::Outside || l.lim->passes - l.counted < row.needed - row.counted) {
        row.show = GuardShow::Outside;
        row.counted = l.counted;
        row.needed = l.lim->passes;
    }
}

// One limit on this pass's reading: true when it acts now. A reading that is
// no number (ERR, an instrument's text) is outside only for a limit with
// err; for the others it leaves the count as it stands, since it tells
// nothing of the bounds.
bool guardWeigh(Guarded& l) {
    float v = 0.0F;
    bool number = guardNumber(dspAnswers[l.pos - 1], &v);
    if (!number && l.lim->err == 0) return false;
    if (number && v >= l.low && v <= l.high) {
        l.counted = 0;
        l.acted = false;
        return false;
    }
    if (l.counted < l.lim->passes) l.counted++;
    if (l.acted || l.counted < l.lim->passes) return false;
    l.acted = true;
    return true;
}

} // namespace

int guardStart() {
    limitCount = 0;
    actedCount = 0;
    last[0] = '\0';
    std::fill(std::begin(rows), std::end(rows), GuardRow{});
    for (const Limit& r : cfg().lim) {
        const Reading* reading = cfg().dsp.pos(r.reading);
        if (reading == nullptr) continue; // the loader refuses such a limit
        Guarded& l = limits[limitCount++];
        l = Guarded{};
        l.lim = &r;
        l.pos = r.reading;
        l.reading = reading;
        l.low = bound(r.low, -INFINITY);
        l.high = bound(r.high, INFINITY);
        l.what = GuardDo::Command;
        if (strcasecmp(r.action, "mark") == 0) l.what = GuardDo::Mark;
        if (strcasecmp(r.action, "off") == 0) l.what = GuardDo::Off;
        if (l.what != GuardDo::Command) continue;
        // The name and the value as the console splits a typed line.
        const char* p = r.action + strspn(r.action, " ");
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
        Guarded& l = limits[i];
        if (guardWeigh(l)) {
            acted[actedCount++] = i;
            char what[sizeof last];
            guardDescribe(i, what, sizeof what);
            textJoin(last, sizeof last, {"limit: ", what, ": ", l.lim->action});
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

const DictCmd* guardCommand(int limit, const char** value) {
    *value = limits[limit].value;
    return limits[limit].command;
}

void guardValue(int limit, char* buf, size_t size) {
    char label[kLabelSize];
    labelOf(limits[limit], label, sizeof label);
    textJoin(buf, size, {label, " ", dspAnswers[limits[limit].pos - 1]});
}

void guardDescribe(int limit, char* buf, size_t size) {
    const Guarded& l = limits[limit];
    char value[kLabelSize + kRespSize];
    guardValue(limit, value, sizeof value);
    float v = 0.0F;
    const char* side = ", no reading";
    const char* crossed = "";
    if (guardNumber(dspAnswers[l.pos - 1], &v)) {
        side = v < l.low ? " below " : " above ";
        crossed = v < l.low ? l.lim->low : l.lim->high;
    }
    textJoin(buf, size,
             {value, side, crossed, " for ", TextNum(l.lim->passes),
              l.lim->passes == 1 ? " pass" : " passes"});
}

GuardRow guardRow(uint32_t pos) {
    return pos >= 1 && pos <= kMaxRecords ? rows[pos - 1] : GuardRow{};
}

const char* guardLast() {
    return last;
}
