#include "screen/layout.h"

#include <cstdio>
#include <cstring>

#include "screen/ansi.h"
#include "screen/tty.h"

namespace {

void scrBannerLine() {
    printf("Quorvel, v%d.%d build %d.  %s", kVerMajor, kVerMinor, kVerBuild,
           "(c) 2026 the quorvel developers");
}

const char* noticePath;
const char* noticeFailure;

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

void scrSetLogNotice(const char* path, const char* failure) {
    noticePath = path;
    noticeFailure = failure;
}

void scrLogNotice(bool failed) {
    constexpr const char* kLead = "Writing data to ";
    constexpr const char* kCut = "...";
    const char* failure = noticeFailure;
    // The notice stays on its row: a longer path would wrap over the mark.
    size_t room = kLineWidth - strlen(kLead) - (failed ? strlen(failure) + 1 : 0);
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

bool scrFits() {
    return scrRows() >= kScreenRows && scrCols() >= kScreenCols;
}

void scrSetup(bool logFailed) {
    fflush(stdout);
    scrMeasure();
    ansiClrScr();
    if (scrFits()) {
        if (noticePath != nullptr) {
            ansiCursorPos(kRowLogNotice, 1);
            scrLogNotice(logFailed);
        }
        ansiCursorPos(kRowMark, 1);
        fputs("Mark:", stdout);
        ansiCursorPos(kRowBanner, 1);
        scrBannerLine();
        ansiCursorPos(kScreenRows, 1);
    }
    fflush(stdout);
}

void scrPrompt() {
    ansiCursorPos(kRowPrompt, 2);
    // Drawn on a smaller terminal, the rows would wrap and scroll over each
    // other.
    if (!scrFits())
        printf("terminal is %dx%d; quorvel needs %dx%d", scrCols(), scrRows(), kScreenCols,
               kScreenRows);
    fputs(": ", stdout);
    ansiEraseLine();
}

void scrLeave() {
    ansiCursorPos(kScreenRows, kLineWidth);
}

void scrInitAttempt(unsigned attempt, const char* got, const char* want, int controller,
                    bool last) {
    constexpr const char* kMid = "\", waiting for \"";
    fputs(attempt == 1 ? "\n" : "\r", stdout);
    char head[48];
    if (got == nullptr) {
        snprintf(head, sizeof head, "attempt %u: controller %d lost, waiting for \"", attempt,
                 controller);
        fputs(head, stdout);
    } else {
        snprintf(head, sizeof head, "attempt %u: got \"", attempt);
        fputs(head, stdout);
        // The expected answer is a field of at most 31 characters, so the
        // rest always leaves the answer some room; the answer gives way.
        scrPutText(got, kLineWidth - strlen(head) - strlen(kMid) - strlen(want) - 1);
        fputs(kMid, stdout);
    }
    scrPutText(want);
    putchar('"');
    ansiEraseLine();
    if (last) putchar('\n');
    fflush(stdout);
}
