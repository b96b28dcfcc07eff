// The guard: for every limit (a lim: record), how many passes in a row its
// reading has been outside, and the pass on which it acts. The display pass
// hands over each pass's readings once they are all in, and takes the
// actions, the rows' states and the texts that name a limit from here.
// State lives in static arrays; nothing is allocated. Called by the display
// thread only, except guardStart, which runs before that thread exists.
#pragma once

#include <cstddef>
#include <cstdint>

#include "config/records.h"

enum class GuardDo : uint8_t {
    Mark,    // the row highlighted while outside, a comment in the data log
    Off,     // the run ends
    Command, // a dictionary command sent, once per crossing
};

// What a guarded row shows: its limits taken together, the furthest along.
enum class GuardShow : uint8_t { None, Within, Outside, Tripped };

struct GuardRow {
    int counted; // Outside: passes outside so far, of
    int needed;  // the passes the nearest limit waits for
    GuardShow show;
    bool marked; // a mark limit has acted and the reading is still outside
};

// Binds every limit to its reading and its command, all passes counted
// afresh; returns the number of limits.
int guardStart();

// Weighs the readings of the pass just polled; returns how many limits act
// on it, in the order of their lines.
int guardPass();
// The limit that acts i-th on this pass.
int guardActed(int i);

GuardDo guardAction(int limit);
// The dictionary command of a Command limit and the value sent after it.
const DictCmd* guardCommand(int limit, const char** value);

// "Load A= 1.250 above 1.000 for 3 passes": the reading as it stands, the
// bound it crossed as written, and the passes the limit waited for.
void guardDescribe(int limit, char* buf, size_t size);
// "Load A= 1.250": the reading as it stands, for the data log's comment.
void guardValue(int limit, char* buf, size_t size);

// The state of the reading at a display position (from 1), after the last
// pass.
GuardRow guardRow(uint32_t pos);

// The description of the last limit that acted and what it did, or "".
const char* guardLast();
