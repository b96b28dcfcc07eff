#include "config/format.h"

#include <cstddef>
#include <cstring>
#include <strings.h>

namespace {

using K = CfgKind;
using W = CfgWhen;

// A member of a record type, as a field names it.
#define AT(T, m) static_cast<uint16_t>(offsetof(T, m)), static_cast<uint16_t>(sizeof(T::m))

// A command fits a real SCPI line; an expected answer what an answer holds;
// a name, a label and a help or info text one screen row.
constexpr int kCmdMost = static_cast<int>(kCmdSize) - 1;
constexpr int kAnswerMost = static_cast<int>(kRespSize) - 1;
constexpr int kRowMost = static_cast<int>(kLabelSize) - 1;

// Every record type but the limit's starts with where its line goes.
constexpr CfgField kDev = {"dev", "controller", 1, K::Controller, AT(GpibAt, dev)};
constexpr CfgField kAdr = {"adr", "address", 2, K::Int, AT(GpibAt, adr)};

constexpr CfgField kInit[] = {
    kDev,
    kAdr,
    {"cmd", "command", 3, K::Text, AT(InitStep, cmd), W::Always, true, kCmdMost},
    {"cresp", "expected answer", 4, K::Text, AT(InitStep, cresp), W::Unmarked, false, kAnswerMost},
    {"delay", "delay", 5, K::Wait, AT(InitStep, delay), W::Marked},
};
constexpr CfgField kRead[] = {
    kDev,
    kAdr,
    {"cmd", "read command", 3, K::Text, AT(CtlRead, cmd), W::Always, true, kCmdMost},
    {"to", "time-out", 4, K::Wait, AT(CtlRead, to)},
};
constexpr CfgField kAddr[] = {
    kDev,
    kAdr,
    {"cmd", "addressing command", 3, K::Text, AT(CtlAddr, cmd), W::Always, true, kCmdMost},
};
constexpr CfgField kCfg[] = {
    kDev,
    kAdr,
    {"cfg", "name", 3, K::Text, AT(DictCmd, name), W::Always, true, kRowMost},
    {"cmd", "command", 4, K::Text, AT(DictCmd, cmd), W::Always, true, kCmdMost},
    {"usrv", "value flag", 5, K::Int, AT(DictCmd, usrv)},
    {"crsp", "answer flag", 6, K::Int, AT(DictCmd, crsp)},
    {"hlp", "help text", 7, K::Text, AT(DictCmd, hlp), W::Always, false, kRowMost},
};
constexpr CfgField kDsp[] = {
    kDev,
    kAdr,
    {"label", "label", 3, K::Text, AT(Reading, label), W::Always, true, kRowMost},
    {"cmd", "command", 4, K::Text, AT(Reading, cmd), W::Always, true, kCmdMost},
    {"row", "row", 5, K::Row, AT(Reading, row)},
    {"rltx", "first-word flag", 6, K::Int, AT(Reading, rltx), W::Always, false},
    {"op", "operator", 7, K::Operator, AT(Reading, calc.op), W::Marked, true, 0, true},
    {"f1 | constant", "operand 1", 8, K::Operand, AT(Reading, calc.a), W::Marked, true, 0, true},
    {"f2 | constant", "operand 2", 9, K::Operand, AT(Reading, calc.b), W::Marked, true, 0, true},
    {"precision", "precision", 10, K::Int, AT(Reading, calc.precision), W::Marked, true, 0, true},
    {"info", "info text", 11, K::Text, AT(Reading, info), W::Always, false, kRowMost},
};
constexpr CfgField kOff[] = {
    kDev,
    kAdr,
    {"cmd", "command", 3, K::Text, AT(OffCmd, cmd), W::Always, true, kCmdMost},
};

// A limit: the reading it guards, its bounds as written, how many passes
// in a row outside make it act, the action, and whether ERR is outside.
constexpr int kBoundMost = static_cast<int>(kBoundSize) - 1;
constexpr CfgField kLim[] = {
    {"reading", "reading", 1, K::Reading, AT(Limit, reading)},
    {"low", "low", 2, K::Bound, AT(Limit, low), W::Always, true, kBoundMost},
    {"high", "high", 3, K::Bound, AT(Limit, high), W::Always, true, kBoundMost},
    {"passes", "passes", 4, K::Count, AT(Limit, passes)},
    {"action", "action", 5, K::Text, AT(Limit, action), W::Always, true, kCmdMost},
    {"err", "err", 6, K::Switch, AT(Limit, err), W::Always, false},
};

#undef AT

template <class R, size_t N>
constexpr CfgKeyword keyword(const char* word, CfgSection section, const char* marker,
                             int16_t cmdPos, const CfgField (&fields)[N], bool quietEmpty = false) {
    return {word, marker, fields, static_cast<int>(N), sizeof(R), cmdPos, section, quietEmpty};
}

template <class R> CfgRecords of(Records<R>& r) {
    return {reinterpret_cast<char*>(r.at), &r.count, sizeof(R)};
}

} // namespace

const CfgKeyword cfgKeywords[kCfgKeywords] = {
    keyword<InitStep>("init:", CfgSection::Init, "$delay$", 3, kInit),
    keyword<CtlRead>("read:", CfgSection::Read, nullptr, 3, kRead),
    keyword<CtlAddr>("addr:", CfgSection::Addr, nullptr, 3, kAddr),
    keyword<DictCmd>("cfg:", CfgSection::Dict, nullptr, 4, kCfg),
    keyword<Reading>("dsp:", CfgSection::Dsp, "$calc$", 4, kDsp),
    keyword<OffCmd>("off:", CfgSection::Off, nullptr, 3, kOff),
    keyword<Limit>("lim:", CfgSection::Lim, nullptr, 5, kLim, true),
};

const CfgKeyword* cfgKeywordOf(const char* line) {
    for (const CfgKeyword& k : cfgKeywords)
        if (strncasecmp(line, k.keyword, strlen(k.keyword)) == 0) return &k;
    return nullptr;
}

bool cfgMarked(const CfgKeyword& k, const char* cmd) {
    return k.marker != nullptr && strncasecmp(cmd, k.marker, strlen(k.marker)) == 0;
}

CfgRecords cfgRecordsOf(Config& c, const CfgKeyword& k) {
    switch (k.section) {
    case CfgSection::Init:
        return of(c.init);
    case CfgSection::Dict:
        return of(c.dict);
    case CfgSection::Dsp:
        return of(c.dsp);
    case CfgSection::Off:
        return of(c.off);
    case CfgSection::Lim:
        return of(c.lim);
    case CfgSection::Read:
        return {reinterpret_cast<char*>(&c.ctl[0].read), nullptr, sizeof(Controller)};
    case CfgSection::Addr:
        return {reinterpret_cast<char*>(&c.ctl[0].addr), nullptr, sizeof(Controller)};
    }
    return {};
}

int cfgRecordCount(const CfgKeyword& k) {
    CfgRecords r = cfgRecordsOf(cfgStore, k);
    return r.count != nullptr ? *r.count : kControllers;
}

const char* cfgRecordAt(const CfgKeyword& k, int i) {
    CfgRecords r = cfgRecordsOf(cfgStore, k);
    return r.first + static_cast<size_t>(i) * r.stride;
}

long cfgNumber(const char* rec, const CfgField& f) {
    int32_t v = 0;
    memcpy(&v, rec + f.at, sizeof v);
    return v;
}

void cfgSetNumber(char* rec, const CfgField& f, long v) {
    // The low 32 bits, as the records' members hold them.
    auto u = static_cast<uint32_t>(v);
    memcpy(rec + f.at, &u, sizeof u);
}

Operand cfgOperand(const char* rec, const CfgField& f) {
    Operand o{};
    memcpy(&o, rec + f.at, sizeof o);
    return o;
}
