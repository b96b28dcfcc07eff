// Stale input: what a controller sends that no query is waiting for, such as
// an answer that came after its read timed out or the rest of a burst. It is
// discarded before every query, and a controller that may still be sending is
// fenced: it is sent a line it answers itself (the addressing command's query
// form, "++addr"), and everything up to that answer is discarded. The
// controller handles its lines one at a time, so whatever it still had to
// send comes before the fence's answer and nothing of it after.
#pragma once

// Discards controller dev's waiting input, in the stream's buffer and in the
// kernel; true when there was some. Call with the bus held.
bool gpibDiscard(int dev);

// After a read that timed out: the controller may still be reading the
// instrument, so it is fenced. Call with the bus held.
void gpibFence(int dev);

// Before a query: waits, within the controller's read time-out, for the
// answer to an open fence, then discards what is waiting; input found there
// gets a fence of its own. False when the controller cannot be taken as quiet
// yet (its fence is still unanswered): the query must not go out. Call with
// the bus held.
bool gpibSettle(int dev);

// Forgets an open fence: the controller was closed.
void gpibFenceClear(int dev);
