// The command log: a CSV file that gets one record per dictionary command
// sent. It is opened and closed at every call, so it may be moved or removed
// between commands; a call never waits (a FIFO without a reader, or one that
// has stopped reading, fails the record). A regular file is locked for the
// whole run at the header call, against a second quorvel. Records come from
// the console (main thread) and from a limit's command (display thread), one
// at a time under a lock.
#pragma once

// Path of the command log (-g), or null when it is off. Set by the main
// thread at start-up, before the display thread starts; read by both.
extern const char* gpibLogcPath;

// Header mode (cmd null): makes sure the file opens, locks it and makes it
// start with the header; 0 with errno EWOULDBLOCK when another quorvel holds
// it. Record mode: appends one record. Returns 1 on success, 0 on failure.
int gpibLogc(const char* path, const char* cmd, const char* value, const char* resp);

// Makes path the command log: its header when it needs one. Returns 0, or
// the error number when it cannot be opened or written.
int gpibLogcStart(const char* path);
