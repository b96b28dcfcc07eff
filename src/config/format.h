// The configuration format, described once: for each keyword its fields in
// line order, with their kind, their bounds and the member of the keyword's
// record type that holds them. The loader parses and warns by this table and the dump prints by it,
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
    Reading,    // a display position, in digits
    Bound,      // a number kept as written, or empty for none
    Count,      // digits, 1 to kCfgMostCount
    Switch,     // the field's name (any case) for 1, empty for 0
};

constexpr long kCfgMostCount = 1000000;

// Where a keyword's records go.
enum class CfgSection : uint8_t { Init, Read, Addr, Dict, Dsp, Off, Lim };

// Whether a field is read with the keyword's marker command, without it, or
// always.
enum class CfgWhen : uint8_t { Always, Marked, Unmarked };

struct CfgField {
    const char* name;  // as -d prints it
    const char* words; // as a message names it
    int16_t pos;       // on the line, from 1
    CfgKind kind;
    uint16_t at;   // offset of its member in the keyword's record type
    uint16_t size; // of that member
    CfgWhen when = CfgWhen::Always;
    bool required = true; // a line without it has too few fields
    int16_t most = 0;     // Text: longest value
    bool apart = false;   // -d prints it on a line of its own, when calculated
};

struct CfgKeyword {
    const char* keyword; // with its colon
    const char* marker;  // a command that reads other fields, or null
    const CfgField* fields;
    int count;
    uint16_t size;  // of its record type
    int16_t cmdPos; // the field of the command sent (or acted on)
    CfgSection section;
    // The dump shows its section only when it holds records, so that the
    // dump of a file without it stays as it was before the keyword existed.
    bool quietEmpty = false;
};

// "read:" and "addr:": one record per controller, not a list.
inline bool cfgPerController(const CfgKeyword& k) {
    return k.section == CfgSection::Read || k.section == CfgSection::Addr;
}

constexpr int kCfgKeywords = 7;
// In the order the keyword test and the dump take them.
extern const CfgKeyword cfgKeywords[kCfgKeywords];

// The keyword the line starts with (any case), or null.
const CfgKeyword* cfgKeywordOf(const char* line);

// Whether cmd starts with the keyword's marker (any case).
bool cfgMarked(const CfgKeyword& k, const char* cmd);

// Where a keyword's records are, as bytes: the first, the distance between
// two, and how many are stored (null per controller: one for each).
struct CfgRecords {
    char* first;
    int* count;
    size_t stride;
};
CfgRecords cfgRecordsOf(Config& c, const CfgKeyword& k);

// Records of the keyword stored so far (per controller: always both), and
// the one at index i.
int cfgRecordCount(const CfgKeyword& k);
const char* cfgRecordAt(const CfgKeyword& k, int i);

// A field's member in a record of its keyword: a number (its 32 bits; read
// as signed), a text of f.size bytes, an operand.
long cfgNumber(const char* rec, const CfgField& f);
void cfgSetNumber(char* rec, const CfgField& f, long v);
inline const char* cfgText(const char* rec, const CfgField& f) {
    return rec + f.at;
}
Operand cfgOperand(const char* rec, const CfgField& f);
