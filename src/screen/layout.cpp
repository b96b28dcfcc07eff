#include "screen/layout.h"

#include <cstdio>
#include <cstring>

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
