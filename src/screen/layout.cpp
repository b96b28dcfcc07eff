#include "screen/layout.h"

#include <cstdio>
#include <cstring>

#include "screen/ansi.h"

void scrBanner() {
    printf("\nQuorvel, v%d.%d build %d.  %s\n", kVerMajor, kVerMinor, kVerBuild,
           "(c) 2026 the quorvel developers");
}

void scrPutText(const char* text) {
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != 0; p++) {
        // C0, DEL and C1 controls would move the cursor, clear the screen or
        // write the clipboard; the logs keep the bytes as they came.
        bool control = *p < 0x20 || (*p >= 0x7F && *p <= 0x9F);
        putchar(control ? '?' : *p);
    }
}

namespace {
const char* noticePath;
const char* noticeFailure;
} // namespace

void scrSetLogNotice(const char* path, const char* failure) {
    noticePath = path;
    noticeFailure = failure;
}

void scrLogNotice(bool failed) {
    constexpr const char* kLead = "Writing data to ";
    constexpr const char* kCut = "...";
    const char* failure = noticeFailure;
    // The notice stays on its row: a longer path would wrap over the mark.
    size_t room = kNoticeWidth - strlen(kLead) - (failed ? strlen(failure) + 1 : 0);
    const char* path = noticePath;
    size_t len = strlen(path);
    fputs(kLead, stdout);
    if (len > room) {
        fputs(kCut, stdout);
        path += len - (room - strlen(kCut));
        // Start the tail at a character, not inside one.
        while ((static_cast<unsigned char>(*path) & 0xC0) == 0x80) path++;
    }
    scrPutText(path);
    if (failed) printf(" %s", failure);
}

void scrSetup(bool logFailed) {
    fflush(stdout);
    ansiClrScr();
    ansiCursorPos(18, 1);
    fputs("\n\nMark:", stdout);
    ansiCursorPos(19, 0);
    if (noticePath != nullptr) scrLogNotice(logFailed);
    ansiCursorPos(24, 0);
    scrBanner();
    fflush(stdout);
}
