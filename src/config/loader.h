// Reading the configuration file into the record stores.
#pragma once

// Field n (n >= 1) of a configuration line, or the keyword for n = 0. The
// result lives in a 64-byte area that the next call overwrites.
const char* getCfgVar(const char* line, int n);

// Loads path (plus ".conf" unless noSuffix) into Dict, Index, Read_gpib and
// Addr_gpib. Returns 0 on success, 3 when the file or a line is refused, and
// when the file holds a NUL byte or is larger than 1 MiB; a refusal leaves
// its detail (file, line, reason). Lines that load but look like mistakes
// are kept as warnings.
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
