#include "util/reading.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

bool readingNumber(const char* text, double* v) {
    const char* b = text + strspn(text, " ");
    size_t n = strspn(b, "0123456789+-.eE");
    if (n == 0 || b[n + strspn(b + n, " ")] != '\0') return false;
    // Answers are at most 64 bytes long; a longer number is no reading.
    char num[80];
    if (n >= sizeof num) return false;
    memcpy(num, b, n);
    num[n] = '\0';
    char* stop = nullptr;
    double d = strtod(num, &stop);
    if (stop != num + n || !std::isfinite(d)) return false;
    *v = d;
    return true;
}

size_t readingNameLen(const char* label) {
    size_t all = strlen(label), n = all;
    while (n > 0 && label[n - 1] == ' ') n--;
    if (n > 0 && (label[n - 1] == ':' || label[n - 1] == '=')) n--;
    while (n > 0 && label[n - 1] == ' ') n--;
    return n == 0 ? all : n;
}
