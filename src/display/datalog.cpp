#include "display/datalog.h"

#include <atomic>
#include <bsd/stdio.h>
#include <bsd/string.h>
#include <mutex>

#include "config/records.h"
#include "util/csv.h"

FILE* LogFile;

namespace {

// Guards LogFile between the display thread's rows and the clean-up's close.
std::mutex logMutex;
char logName[256];
// Large enough for the longest row (500 quoted cells), so a row reaches the
// file whole at its end and an unfinished one can be dropped at the close.
char logBuf[1 << 17];
bool rowOpen;
std::atomic<bool> logOpen{false};
std::atomic<bool> rowFailed{false};

} // namespace

int logCreate(const char* path) {
    strlcpy(logName, path, sizeof logName);
    LogFile = fopen(path, "w");
    if (LogFile == nullptr) return 9;
    setvbuf(LogFile, logBuf, _IOFBF, sizeof logBuf);
    logOpen.store(true);
    if (fputs("Record,Date,Time,Mark,Comment", LogFile) == EOF) return 9;
    for (const GpibRec* r = Index[kDspHead]; r != nullptr; r = r->next) {
        fputc(',', LogFile);
        csvCell(LogFile, r->label);
    }
    // A disk that cannot take the header would not take the rows either.
    if (fflush(LogFile) != 0) return 9;
    return 0;
}

bool logIsOpen() {
    return logOpen.load();
}

const char* logPath() {
    return logName;
}

bool logFailed() {
    return rowFailed.load();
}

void logRowHead(unsigned num, const tm& when, int mark, const char* comment) {
    std::lock_guard<std::mutex> lock(logMutex);
    if (LogFile == nullptr) return;
    fprintf(LogFile, "\n%u,%2.2d/%2.2d/%d,%2.2d:%2.2d:%2.2d,%d,", num, when.tm_mon + 1,
            when.tm_mday, when.tm_year + 1900, when.tm_hour, when.tm_min, when.tm_sec, mark);
    csvQuoted(LogFile, comment);
    rowOpen = true;
}

void logValue(const char* resp) {
    std::lock_guard<std::mutex> lock(logMutex);
    if (LogFile == nullptr) return;
    fputc(',', LogFile);
    csvCell(LogFile, resp);
}

bool logRowEnd() {
    std::lock_guard<std::mutex> lock(logMutex);
    if (LogFile == nullptr) return true;
    rowOpen = false;
    bool ok = fflush(LogFile) == 0 && ferror(LogFile) == 0;
    clearerr(LogFile);
    rowFailed.store(!ok);
    return ok;
}

void logClose() {
    std::lock_guard<std::mutex> lock(logMutex);
    if (LogFile == nullptr) return;
    // A signal's clean-up may come in the middle of a pass: half a row would
    // shift the columns of whoever reads the file.
    if (rowOpen) fpurge(LogFile);
    rowOpen = false;
    fclose(LogFile);
    LogFile = nullptr;
    logOpen.store(false);
}
