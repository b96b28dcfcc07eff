// The metrics file (-m): the readings and the run's counters in the
// Prometheus text format, for the node exporter's textfile collector.
// Guarantee: a reader of the file sees the last whole version, never half of
// one: each version is written to a new file beside it, then renamed over
// it. The text is built in a static buffer, so writing allocates nothing, and
// a pass writes at most once a second.
#pragma once

#include <cstddef>
#include <ctime>

// Takes path for the metrics file of a run with `controllers` controllers
// and makes sure a file can be made beside it; returns 0, or 9 with errno
// set when the path is too long, names something other than a regular file
// (EEXIST) or its directory takes no new file.
int metricsOpen(const char* path, int controllers);
// The errno of the last write, while it failed; 0 while the file is written.
int metricsError();

// Display thread, after a pass begun at wall-clock time `when` whose values
// stand in the display records: counts it and writes the file when a second
// has passed since the last write. Returns false when the write failed.
bool metricsPass(const timespec& when);
// Any thread: a dictionary command was sent.
void metricsCommand();

// At the end of the run, with the display stopped: writes the file once
// more, with quorvel_up 0, and lets it be. Returns false when that failed.
bool metricsClose();

// The file's text, with quorvel_up set to up, into buf; returns its length,
// or 0 when it does not fit in size bytes.
size_t metricsFormat(char* buf, size_t size, int up);
