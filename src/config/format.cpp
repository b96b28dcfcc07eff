#include "config/format.h"

#include <cstring>
#include <iterator>
#include <strings.h>

namespace {

using K = CfgKind;
using S = CfgSlot;
using W = CfgWhen;

// A command fits a real SCPI line; an expected answer what an answer holds;
// a name, a label and a help or info text one screen row.
constexpr int kCmdMost = static_cast<int>(kCmdSize) - 1;
constexpr int kAnswerMost = static_cast<int>(kRespSize) - 1;
constexpr int kRowMost = static_cast<int>(kLabelSize) - 1;

constexpr CfgField kDev = {1, "dev", "controller", K::Controller, S::Dev};
constexpr CfgField kAdr = {2, "adr", "address", K::Int, S::Adr};

constexpr CfgField kInit[] = {
    kDev,
    kAdr,
    {3, "cmd", "command", K::Text, S::Cmd, W::Always, true, kCmdMost},
    {4, "cresp", "expected answer", K::Text, S::Label, W::Unmarked, false, kAnswerMost},
    {5, "delay", "delay", K::Wait, S::Num, W::Marked},
};
constexpr CfgField kRead[] = {
    kDev,
    kAdr,
    {3, "cmd", "read command", K::Text, S::Cmd, W::Always, true, kCmdMost},
    {4, "to", "time-out", K::Wait, S::Num},
};
constexpr CfgField kAddr[] = {
    kDev,
    kAdr,
    {3, "cmd", "addressing command", K::Text, S::Cmd, W::Always, true, kCmdMost},
};
constexpr CfgField kCfg[] = {
    kDev,
    kAdr,
    {3, "cfg", "name", K::Text, S::Label, W::Always, true, kRowMost},
    {4, "cmd", "command", K::Text, S::Cmd, W::Always, true, kCmdMost},
    {5, "usrv", "value flag", K::Int, S::Num},
    {6, "crsp", "answer flag", K::Int, S::Flag},
    {7, "hlp", "help text", K::Text, S::Text, W::Always, false, kRowMost},
};
constexpr CfgField kDsp[] = {
    kDev,
    kAdr,
    {3, "label", "label", K::Text, S::Label, W::Always, true, kRowMost},
    {4, "cmd", "command", K::Text, S::Cmd, W::Always, true, kCmdMost},
    {5, "row", "row", K::Row, S::Num},
    {6, "rltx", "first-word flag", K::Int, S::Flag, W::Always, false},
    {7, "op", "operator", K::Operator, S::Op, W::Marked, true, 0, true},
    {8, "f1 | constant", "operand 1", K::Operand, S::F1, W::Marked, true, 0, true},
    {9, "f2 | constant", "operand 2", K::Operand, S::F2, W::Marked, true, 0, true},
    {10, "precision", "precision", K::Int, S::Precision, W::Marked, true, 0, true},
    {11, "info", "info text", K::Text, S::Text, W::Always, false, kRowMost},
};
constexpr CfgField kOff[] = {
    kDev,
    kAdr,
    {3, "cmd", "command", K::Text, S::Cmd, W::Always, true, kCmdMost},
};

} // namespace

const CfgKeyword cfgKeywords[kCfgKeywords] = {
    {"init:", kInitHead, kTypeInit, "$delay$", kInit, static_cast<int>(std::size(kInit))},
    {"read:", -1, kTypeRead, nullptr, kRead, static_cast<int>(std::size(kRead))},
    {"addr:", -1, kTypeAddr, nullptr, kAddr, static_cast<int>(std::size(kAddr))},
    {"cfg:", kCfgHead, kTypeCfg, nullptr, kCfg, static_cast<int>(std::size(kCfg))},
    {"dsp:", kDspHead, kTypeDsp, "$calc$", kDsp, static_cast<int>(std::size(kDsp))},
    {"off:", kOffHead, kTypeOff, nullptr, kOff, static_cast<int>(std::size(kOff))},
};

const CfgKeyword* cfgKeywordOf(const char* line) {
    for (const CfgKeyword& k : cfgKeywords)
        if (strncasecmp(line, k.keyword, strlen(k.keyword)) == 0) return &k;
    return nullptr;
}

bool cfgMarked(const CfgKeyword& k, const char* cmd) {
    return k.marker != nullptr && strncasecmp(cmd, k.marker, strlen(k.marker)) == 0;
}

long cfgNumber(const GpibRec& r, CfgSlot slot) {
    switch (slot) {
    case S::Dev:
        return r.dev;
    case S::Adr:
        return r.adr;
    case S::Num:
        return r.num;
    case S::Flag:
        return r.flag;
    case S::Op:
        return r.op;
    case S::F1:
        return r.f1;
    case S::F2:
        return r.f2;
    case S::Precision:
        return r.precision;
    default:
        return 0;
    }
}

void cfgSetNumber(GpibRec& r, CfgSlot slot, long v) {
    // The low 32 bits, as the record's members hold them.
    auto u = static_cast<uint32_t>(v);
    auto i = static_cast<int32_t>(u);
    switch (slot) {
    case S::Dev:
        r.dev = u;
        break;
    case S::Adr:
        r.adr = i;
        break;
    case S::Num:
        r.num = i;
        break;
    case S::Flag:
        r.flag = u;
        break;
    case S::Op:
        r.op = i;
        break;
    case S::F1:
        r.f1 = u;
        break;
    case S::F2:
        r.f2 = u;
        break;
    case S::Precision:
        r.precision = u;
        break;
    default:
        break;
    }
}

char* cfgText(GpibRec& r, CfgSlot slot, size_t* size) {
    switch (slot) {
    case S::Label:
        *size = sizeof r.label;
        return r.label;
    case S::Cmd:
        *size = sizeof r.cmd;
        return r.cmd;
    case S::Text:
        *size = sizeof r.text;
        return r.text;
    default:
        *size = 0;
        return nullptr;
    }
}

const char* cfgText(const GpibRec& r, CfgSlot slot) {
    size_t size = 0;
    const char* t = cfgText(const_cast<GpibRec&>(r), slot, &size);
    return t != nullptr ? t : "";
}

float* cfgConstant(GpibRec& r, CfgSlot slot) {
    return slot == S::F1 ? &r.f1const : &r.f2const;
}

float cfgConstant(const GpibRec& r, CfgSlot slot) {
    return slot == S::F1 ? r.f1const : r.f2const;
}
