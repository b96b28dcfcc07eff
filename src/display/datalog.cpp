#include "display/datalog.h"

#include <atomic>
#include <bsd/stdio.h>
#include <bsd/string.h>
#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

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
// Where the last whole row ends: a row the disk took only in part is cut
// back to here, since a cut number would read as a valid one.
off_t wholeEnd;
std::atomic<bool> logOpen{false};
std::atomic<bool> rowFailed{false};

// Pushes what is buffered to the file; on failure drops it and cuts the
// file back to its last whole row, so the next row starts clean.
bool logPush() {
    if (fflush(LogFile) == 0 && ferror(LogFile) == 0) {
        off_t at = ftello(LogFile);
        if (at >= 0) wholeEnd = at;
        return true;
    }
    // errno keeps the write's reason, not the cutting back's.
    int err = errno;
    fpurge(LogFile);
    clearerr(LogFile);
    if (ftruncate(fileno(LogFile), wholeEnd) == 0) fseeko(LogFile, wholeEnd, SEEK_SET);
    clearerr(LogFile);
    errno = err;
    return false;
}

} // namespace

int logOpenFile(const char* path) {
    if (strlcpy(logName, path, sizeof logName) >= sizeof logName) {
        errno = ENAMETOOLONG;
        return 9;
    }
    // Not emptied yet: a start that fails later leaves the file as it was.
    int fd = open(path, O_WRONLY | O_CREAT | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) return 9;
    LogFile = fdopen(fd, "w");
    if (LogFile == nullptr) {
        close(fd);
        return 9;
    }
    setvbuf(LogFile, logBuf, _IOFBF, sizeof logBuf);
    logOpen.store(true);
    return 0;
}

int logStart() {
    std::lock_guard<std::mutex> lock(logMutex);
    if (LogFile == nullptr) return 9;
    if (ftruncate(fileno(LogFile), 0) != 0 && lseek(fileno(LogFile), 0, SEEK_END) > 0) return 9;
    wholeEnd = 0;
    fputs("Record,Date,Time,Mark,Comment", LogFile);
    for (const GpibRec* r = Index[kDspHead]; r != nullptr; r = r->next) {
        fputc(',', LogFile);
        csvCell(LogFile, r->label);
    }
    // A disk that cannot take the header would not take the rows either.
    return logPush() ? 0 : 9;
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
    bool ok = logPush();
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
