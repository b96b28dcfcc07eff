#include "screen/layout.h"

#include <cstdio>

#include "display/datalog.h"
#include "main/cli.h"
#include "screen/ansi.h"

void scrBanner() {
    printf("\nQuorvel, v%d.%d build %d.  %s\n", kVerMajor, kVerMinor, kVerBuild,
           "(c) 2026 the quorvel developers");
}

void scrLogNotice(bool failed) {
    printf("Writing data to %s", logPath());
    if (failed) printf(" %s", retCode[9]);
}

void scrSetup() {
    fflush(stdout);
    ansiClrScr();
    ansiCursorPos(18, 1);
    fputs("\n\nMark:", stdout);
    ansiCursorPos(19, 0);
    if (logIsOpen()) scrLogNotice(logFailed());
    ansiCursorPos(24, 0);
    scrBanner();
    fflush(stdout);
}
