// The pause handshake between the display thread, which owns the bus by
// default, and the console or the clean-up that take it for a while; and the
// mark state with its comment, handed to the data log. The pause is for the
// bus alone: the screen has a lock of its own (screen/screen.h), so nothing
// that holds the screen stops the passes and the data log.
#pragma once

#include <atomic>
#include <cstddef>
#include <ctime>

// Pause request: written by the console (main thread) and by the clean-up
// (main or signal thread); read by the display thread.
extern std::atomic<int> gpibDspWait;
// Pause acknowledgement: written by the display thread only; read by the
// console and the clean-up.
extern std::atomic<int> gpibDspAck;
// Mark state, 0 or 1: written by the console's mark (main thread); read by
// the display thread.
extern std::atomic<int> gpibDspMark;

constexpr size_t kMarkTextSize = 70;

// Console side: requests the pause and blocks until the display thread
// acknowledges it.
void dspPause();
// Console side: ends the pause.
void dspRelease();

// Shutdown side: requests the pause without waiting.
void dspRequestPause();
// Shutdown side: waits at most limitNs until the display thread has
// acknowledged.
void dspAwaitAck(long long limitNs);

// Display side: sleeps until the monotonic time due (clkNow), or less when a
// pause is requested or withdrawn, a redraw is requested, or the run is
// stopping.
void dspSleepUntil(const timespec& due);
// Ends the display's sleep so that it sees a changed flag at once.
void dspWake();

// Display side: one turn of the handshake. Returns true while the display
// runs (a withdrawn request is cleared on the way), false while it is paused.
bool dspTurn();

// Asks the display to draw the static screen again (the terminal changed
// size); it does so at its next turn while it runs.
void dspRequestRedraw();
// Display side: true once for each request.
bool dspRedrawDue();

// Flips the mark and stores its comment (at most 69 characters).
void dspMarkToggle(const char* comment);
// Copies the comment into out (kMarkTextSize bytes) and empties it; returns
// the mark state read under the same lock.
int dspMarkTake(char* out);
