// Reading the configuration file into the configuration value (cfgStore of
// config/records.h), by the format of config/format.h. Main thread only,
// before any other thread starts.
#pragma once

// Longest line read whole, without its line feed; a longer one is refused.
constexpr int kCfgLineBytes = 1023;

// Loads path (plus ".conf" unless noSuffix) into cfgStore. Returns 0, or an error number when the
// file or a line is refused: a field longer than its store, a line longer than kCfgLineBytes, more
// records than the store holds, a NUL byte, a file beyond 1 MiB. A refusal leaves its detail (file,
// line, reason). Lines that load but look like mistakes are kept as warnings.
int loadCfg(const char* path, int noSuffix);

// Number of records stored by the last loadCfg.
int cfgRecords();

// The file the last loadCfg read (the path with its ".conf").
const char* cfgFileName();

// Number of warnings of the last loadCfg, kept or not.
int cfgWarnings();
// Prints the warnings kept, with file and line, and how many more there
// were, on standard error.
void cfgPrintWarnings();
