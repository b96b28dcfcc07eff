// Telling whether two paths name one file, however they are spelt (links,
// "./", other directories): a log written over a controller or over another
// log would destroy what it shares a file with.
#pragma once

// True when both paths exist and name the same file (device and inode).
bool fileSame(const char* a, const char* b);
