// The instrument record and the global stores every configuration line ends
// up in: the record array, the four record lists, the per-controller read and
// addressing settings and the controller streams. All of it is static and
// filled once by the loader; at run time only `file` and `resp` change.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Room for what real instruments take and the screen shows: a SCPI command
// of 127 characters, a label or help text as wide as a screen row (79
// columns), an answer of 63 characters.
constexpr size_t kCmdSize = 128;
constexpr size_t kLabelSize = 80;
constexpr size_t kTextSize = 80;
constexpr size_t kRespSize = 64;

struct GpibRec {
    uint32_t dev;       // controller 0 or 1
    int32_t adr;        // GPIB address as written in the file
    FILE* file;         // stream of controller `dev`, null when not open
    int32_t type;       // section code, see RecType
    int32_t num;        // init: delay; read: to; cfg: usrv; dsp: row
    uint32_t flag;      // cfg: crsp; dsp: rltx
    int32_t op;         // dsp "$calc$": index into kAryMath, 0 = none
    uint32_t precision; // dsp "$calc$": digits after the point
    uint32_t f1;        // 1-based display position of operand 1, 0 = f1const
    uint32_t f2;        // same for operand 2
    float f1const;
    float f2const;
    GpibRec* prev;
    GpibRec* next;
    char label[kLabelSize]; // init: cresp; cfg: name; dsp: label
    char cmd[kCmdSize];     // command text, read command or addressing command
    char text[kTextSize];   // cfg: hlp; dsp: info
    char resp[kRespSize];   // last answer, "ERR", or a calculated result
};

enum RecType {
    kTypeRead = 0,
    kTypeInit = 1,
    kTypeCfg = 2,
    kTypeDsp = 3,
    kTypeOff = 4,
    kTypeAddr = 5
};

// Slots of Index: head and tail of each list.
enum ListSlot {
    kInitHead = 0,
    kInitTail = 1,
    kCfgHead = 2,
    kCfgTail = 3,
    kDspHead = 4,
    kDspTail = 5,
    kOffHead = 6,
    kOffTail = 7,
};

constexpr int kMaxRecords = 500;
constexpr int kControllers = 2;
constexpr const char* kAryMath = " +-*/";
constexpr const char* kDspErr = "ERR";

extern GpibRec Dict[kMaxRecords];
extern GpibRec* Index[8];
extern GpibRec Read_gpib[kControllers];
extern GpibRec Addr_gpib[kControllers];
extern FILE* GpibDev[kControllers];

// Appends rec to the list whose head slot is `head` (tail is head + 1).
void cfgAppend(int head, GpibRec* rec);

// Number of records in the list whose head slot is `head`.
int cfgCount(int head);
