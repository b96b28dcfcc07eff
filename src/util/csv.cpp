#include "util/csv.h"

#include <cstring>

bool csvNeedsQuotes(const char* text) {
    return strpbrk(text, ",\"\r\n") != nullptr;
}

void csvQuoted(FILE* fp, const char* text) {
    fputc('"', fp);
    for (const char* p = text; *p != '\0'; p++) {
        if (*p == '"') fputc('"', fp);
        fputc(*p, fp);
    }
    fputc('"', fp);
}

void csvCell(FILE* fp, const char* text) {
    if (csvNeedsQuotes(text))
        csvQuoted(fp, text);
    else
        fputs(text, fp);
}
