// The configuration format, described once: for each keyword its fields in
// line order, with their kind, their bounds and the record member that holds
// them. The loader parses and warns by this table and the dump prints by it,
// so a field cannot be read one way and shown another.
#pragma once

#include <cstddef>
#include <cstdint>

#include "config/records.h"

// How a field's text is read.
enum class CfgKind : uint8_t {
    Controller, // 1 or 2, stored as 0 or 1
    Int,        // base-10 integer, its low 32 bits
    Wait,       // milliseconds: negative refused, above 999 stored as 0
    Row,        // a screen row; warned of where the screen has no room for it
    Text,       // kept whole up to `most` characters, refused beyond
    Operator,   // one of + - * /, else 0
    Operand,    // a display position, or c and a constant
};

// The record member a field is stored in.
enum class CfgSlot : uint8_t { Dev, Adr, Num, Flag, Op, F1, F2, Precision, Label, Cmd, Text };

// Whether a field is read with the keyword's marker command, without it, or
// always.
enum class CfgWhen : uint8_t { Always, Marked, Unmarked };

struct CfgField {
    int16_t pos;       // on the line, from 1
    const char* name;  // as -d prints it
    const char* words; // as a message names it
    CfgKind kind;
    CfgSlot slot;
    CfgWhen when = CfgWhen::Always;
    bool required = true; // a line without it has too few fields
    int16_t most = 0;     // Text: longest value
    bool apart = false;   // -d prints it on a line of its own, when calculated
};

struct CfgKeyword {
    const char* keyword; // with its colon
    int head;            // list head slot in Index, or -1: per controller
    int type;            // RecType of its records
    const char* marker;  // a command that reads other fields, or null
    const CfgField* fields;
    int count;
};

constexpr int kCfgKeywords = 6;
// In the order the keyword test and the dump take them.
extern const CfgKeyword cfgKeywords[kCfgKeywords];

// The keyword the line starts with (any case), or null.
const CfgKeyword* cfgKeywordOf(const char* line);

// Whether cmd starts with the keyword's marker (any case).
bool cfgMarked(const CfgKeyword& k, const char* cmd);

// The record member of a slot: a number, or a text with its size.
long cfgNumber(const GpibRec& r, CfgSlot slot);
void cfgSetNumber(GpibRec& r, CfgSlot slot, long v);
char* cfgText(GpibRec& r, CfgSlot slot, size_t* size);
const char* cfgText(const GpibRec& r, CfgSlot slot);
// The constant of an operand slot (F1 or F2).
float* cfgConstant(GpibRec& r, CfgSlot slot);
float cfgConstant(const GpibRec& r, CfgSlot slot);
