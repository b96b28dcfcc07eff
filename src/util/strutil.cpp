#include "util/strutil.h"

#include <cstring>

int strnl(char* buf, size_t len) {
    for (size_t i = 0; i < len; i++) {
        if (buf[i] == '\r' || buf[i] == '\n' || buf[i] == '\0') {
            buf[i] = '\0';
            return static_cast<int>(i);
        }
    }
    return 0;
}

int strlrtrim(char* buf, size_t len) {
    size_t start = 0;
    while (start < len && buf[start] == ' ') start++;
    if (start >= len || buf[start] == '\0') return 0;
    size_t end = start;
    while (end < len && buf[end] != ' ' && buf[end] != '\0') end++;
    size_t n = end - start;
    // A word that fills the whole buffer loses its last byte to the terminator.
    if (n >= len) n = len - 1;
    memmove(buf, buf + start, n);
    buf[n] = '\0';
    return static_cast<int>(n);
}

int strlnshift(char* buf, size_t len) {
    if (len == 0) return 0;
    size_t i = 0;
    while (i < len && buf[i] == ' ') i++;
    while (i < len && buf[i] != ' ' && buf[i] != '\0') i++;
    while (i < len && buf[i] == ' ') i++;
    if (i >= len || buf[i] == '\0') {
        buf[0] = '\0';
        return 0;
    }
    size_t n = strnlen(buf + i, len - i);
    if (n >= len) n = len - 1;
    memmove(buf, buf + i, n);
    buf[n] = '\0';
    return static_cast<int>(n);
}
