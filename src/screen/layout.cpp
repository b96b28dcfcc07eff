#include "screen/layout.h"

#include <cstdio>
#include <cstring>

#include "screen/ansi.h"

namespace {

void scrBannerLine() {
    printf("Quorvel, v%d.%d build %d.  %s", kVerMajor, kVerMinor, kVerBuild, kOwner);
}

} // namespace

void scrBanner() {
    putchar('\n');
    scrBannerLine();
    putchar('\n');
}

size_t scrPutText(const char* text, size_t room) {
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != 0; p++) {
        // C0, DEL and C1 controls would move the cursor, clear the screen or
        // write the clipboard; the logs keep the bytes as they came.
        bool control = *p < 0x20 || (*p >= 0x7F && *p <= 0x9F);
        // The later bytes of a character share its column.
        if (*p < 0xA0 || *p > 0xBF) {
            if (room == 0) break;
            room--;
        }
        putchar(control ? '?' : *p);
    }
    return room;
}

void scrLeave() {
    ansiCursorPos(kScreenRows, kLineWidth);
}

void scrInitAttempt(unsigned attempt, const char* got, const char* want) {
    constexpr const char* kMid = "\", waiting for \"";
    fputs(attempt == 1 ? "\n" : "\r", stdout);
    char head[32];
    snprintf(head, sizeof head, "attempt %u: got \"", attempt);
    fputs(head, stdout);
    // The expected answer is a field of at most 31 characters, so the rest
    // always leaves the answer some room; the answer gives way.
    scrPutText(got, kLineWidth - strlen(head) - strlen(kMid) - strlen(want) - 1);
    fputs(kMid, stdout);
    scrPutText(want);
    putchar('"');
    ansiEraseLine();
    fflush(stdout);
}
