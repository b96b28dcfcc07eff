#include "util/csv.h"

#include <cstring>

bool csvNeedsQuotes(const char* text) {
    return strpbrk(text, ",\"\r\n") != nullptr;
}

bool csvQuoted(FILE* fp, const char* text) {
    if (fputc('"', fp) == EOF) return false;
    for (const char* p = text; *p != '\0'; p++) {
        if (*p == '"' && fputc('"', fp) == EOF) return false;
        if (fputc(*p, fp) == EOF) return false;
    }
    return fputc('"', fp) != EOF;
}

bool csvCell(FILE* fp, const char* text) {
    if (csvNeedsQuotes(text)) return csvQuoted(fp, text);
    return fputs(text, fp) != EOF;
}
