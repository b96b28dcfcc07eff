// What a reading's texts say outside the screen, to the metrics file and to
// the plot of a data log: the number an answer holds, and the name a label
// gives once the ": " that the screen puts after it is left out.
#pragma once

#include <cstddef>

// True, with *v set, when text is a finite decimal number (blanks around it
// allowed). "ERR", any other answer, "inf", "nan" and hexadecimal numbers
// are not: an instrument's word is no measurement.
bool readingNumber(const char* text, double* v);

// Length of label without its trailing blanks and the one ':' or '=' before
// them; the whole length when nothing else would be left.
size_t readingNameLen(const char* label);
