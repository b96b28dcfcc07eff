#include "display/datalog.h"

#include <atomic>
#include <bsd/stdio.h>
#include <bsd/string.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <stdio_ext.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "config/records.h"
#include "util/clock.h"
#include "util/csv.h"

namespace {

// The open data log, or null (without -l, and after the clean-up).
FILE* logFile;

// Guards logFile between the display thread's rows and the clean-up's close.
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
// Where yesterday's rows went at the start, empty when nowhere.
char backupName[300];
// The path is checked at most once a second: a stat per row would cost a
// fast display more than the row itself.
constexpr long long kCheckNs = 1000000000LL;
timespec checkDue;
bool vanished;    // the path no longer names the open file
unsigned reborn;  // the first row of the file created again, 0 before
unsigned lastRow; // the number of the row being written

// Two quorvels on one log would empty each other's file and interleave
// their rows: the log is locked, as a controller is, before anything is
// done to it.
int lockedOpen(const char* path, int extra) {
    // Read too, to tell whether it holds rows.
    int fd = open(path, O_RDWR | O_CREAT | O_NOCTTY | O_CLOEXEC | extra, 0666);
    if (fd < 0) return -1;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int err = errno;
        close(fd);
        errno = err;
        return -1;
    }
    return fd;
}

// A log holds rows when it holds a line feed: every row starts with one,
// and the header alone has none.
bool holdsRows(int fd) {
    char buf[4096];
    ssize_t n = 0;
    for (off_t at = 0; (n = pread(fd, buf, sizeof buf, at)) > 0; at += n)
        if (memchr(buf, '\n', static_cast<size_t>(n)) != nullptr) return true;
    return false;
}

// The next free backup name, path.~N~ with N one above the highest there,
// as cp --backup=numbered chooses it.
unsigned nextBackup(const char* path) {
    const char* slash = strrchr(path, '/');
    const char* base = slash != nullptr ? slash + 1 : path;
    char dir[sizeof logName];
    strlcpy(dir, path, sizeof dir);
    if (slash != nullptr)
        dir[slash - path == 0 ? 1 : slash - path] = '\0';
    else
        strlcpy(dir, ".", sizeof dir);
    unsigned highest = 0;
    size_t blen = strlen(base);
    if (DIR* d = opendir(dir)) {
        while (const dirent* e = readdir(d)) {
            const char* n = e->d_name;
            if (strncmp(n, base, blen) != 0 || strncmp(n + blen, ".~", 2) != 0) continue;
            char* end = nullptr;
            unsigned long v = strtoul(n + blen + 2, &end, 10);
            if (end != n + blen + 2 && strcmp(end, "~") == 0 && v > highest && v < 1000000000UL)
                highest = static_cast<unsigned>(v);
        }
        closedir(d);
    }
    return highest + 1;
}

// Renames from to to unless to exists (errno EEXIST then).
bool renameNew(const char* from, const char* to) {
    if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // File systems without it (NFS, FAT): a link, or a rename after a look.
    if (link(from, to) == 0) return unlink(from) == 0;
    if (errno == EEXIST) return false;
    struct stat st {};
    if (lstat(to, &st) == 0) {
        errno = EEXIST;
        return false;
    }
    return rename(from, to) == 0;
}

// Moves a log that holds rows aside to its backup name and puts a new,
// locked file in its place behind the same stream; false when either fails
// (the old rows are then where they were, or in the backup).
bool keepOldRows() {
    int fd = fileno(logFile);
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || !holdsRows(fd)) return true;
    for (unsigned n = nextBackup(logName);; n++) {
        snprintf(backupName, sizeof backupName, "%s.~%u~", logName, n);
        if (renameNew(logName, backupName)) break;
        if (errno != EEXIST) {
            backupName[0] = '\0';
            return false;
        }
    }
    int fresh = lockedOpen(logName, O_EXCL);
    if (fresh < 0) return false;
    dup2(fresh, fd);
    close(fresh);
    return fseeko(logFile, 0, SEEK_SET) == 0;
}

void writeHeader() {
    fputs("Record,Date,Time,Mark,Comment", logFile);
    for (const Reading& r : cfg().dsp) {
        fputc(',', logFile);
        csvCell(logFile, r.label);
    }
}

// Pushes what is buffered to the file; on failure drops it and cuts the
// file back to its last whole row, so the next row starts clean.
bool logPush() {
    // The buffer holds the whole row: what it holds is what the row adds, and
    // no seek per row is needed to know where the file ends.
    size_t pending = __fpending(logFile);
    if (fflush(logFile) == 0 && ferror(logFile) == 0) {
        wholeEnd += static_cast<off_t>(pending);
        return true;
    }
    // errno keeps the write's reason, not the cutting back's.
    int err = errno;
    fpurge(logFile);
    clearerr(logFile);
    if (ftruncate(fileno(logFile), wholeEnd) == 0) fseeko(logFile, wholeEnd, SEEK_SET);
    clearerr(logFile);
    errno = err;
    return false;
}

// True while the log's path names the open file: the same device and inode,
// not removed meanwhile.
bool stillThere() {
    struct stat at {};
    struct stat open {};
    return stat(logName, &at) == 0 && fstat(fileno(logFile), &open) == 0 &&
           at.st_dev == open.st_dev && at.st_ino == open.st_ino && open.st_nlink > 0;
}

// Creates the log again at its path, with its header, behind the same
// stream. The numbering goes on, so the gap in the rows shows what was lost.
// A file someone else put at the path is left alone.
void recreate() {
    int fresh = lockedOpen(logName, O_EXCL);
    if (fresh < 0) return;
    dup2(fresh, fileno(logFile));
    close(fresh);
    // The stream's idea of its offset belongs to the old file.
    fseeko(logFile, 0, SEEK_SET);
    wholeEnd = 0;
    writeHeader();
    rowFailed.store(!logPush());
    vanished = false;
    reborn = lastRow + 1;
}

void checkPath() {
    timespec now = clkNow();
    if (clkDiffNs(now, checkDue) > 0) return;
    checkDue = clkAddNs(now, kCheckNs);
    if (stillThere()) return;
    vanished = true;
    recreate();
}

} // namespace

int logOpenFile(const char* path) {
    if (strlcpy(logName, path, sizeof logName) >= sizeof logName) {
        errno = ENAMETOOLONG;
        return 9;
    }
    // Not emptied yet: a start that fails later leaves the file as it was.
    int fd = lockedOpen(path, 0);
    if (fd < 0) return 9;
    logFile = fdopen(fd, "w");
    if (logFile == nullptr) {
        close(fd);
        return 9;
    }
    setvbuf(logFile, logBuf, _IOFBF, sizeof logBuf);
    logOpen.store(true);
    return 0;
}

int logStart() {
    std::lock_guard<std::mutex> lock(logMutex);
    if (logFile == nullptr || !keepOldRows()) return 9;
    if (ftruncate(fileno(logFile), 0) != 0 && lseek(fileno(logFile), 0, SEEK_END) > 0) return 9;
    wholeEnd = 0;
    writeHeader();
    checkDue = clkAddNs(clkNow(), kCheckNs);
    // A disk that cannot take the header would not take the rows either.
    return logPush() ? 0 : 9;
}

bool logIsOpen() {
    return logOpen.load();
}

const char* logPath() {
    return logName;
}

void logNote(char* buf, size_t size) {
    std::lock_guard<std::mutex> lock(logMutex);
    const char* slash = strrchr(backupName, '/');
    if (rowFailed.load())
        strlcpy(buf, "data log file error", size);
    else if (vanished)
        strlcpy(buf, "is gone, rows lost till made again", size);
    else if (reborn != 0)
        snprintf(buf, size, "made again from row %u on", reborn);
    else if (backupName[0] != '\0')
        snprintf(buf, size, "(old rows in %s)", slash != nullptr ? slash + 1 : backupName);
    else
        buf[0] = '\0';
}

void logRowHead(unsigned num, const tm& when, int mark, const char* comment) {
    std::lock_guard<std::mutex> lock(logMutex);
    if (logFile == nullptr) return;
    fprintf(logFile, "\n%u,%2.2d/%2.2d/%d,%2.2d:%2.2d:%2.2d,%d,", num, when.tm_mon + 1,
            when.tm_mday, when.tm_year + 1900, when.tm_hour, when.tm_min, when.tm_sec, mark);
    csvQuoted(logFile, comment);
    rowOpen = true;
    lastRow = num;
}

void logValue(const char* resp) {
    std::lock_guard<std::mutex> lock(logMutex);
    if (logFile == nullptr) return;
    fputc(',', logFile);
    csvCell(logFile, resp);
}

bool logRowEnd() {
    std::lock_guard<std::mutex> lock(logMutex);
    if (logFile == nullptr) return true;
    rowOpen = false;
    bool ok = logPush();
    rowFailed.store(!ok);
    checkPath();
    return ok;
}

void logClose() {
    std::lock_guard<std::mutex> lock(logMutex);
    if (logFile == nullptr) return;
    // A signal's clean-up may come in the middle of a pass: half a row would
    // shift the columns of whoever reads the file.
    if (rowOpen) fpurge(logFile);
    rowOpen = false;
    fclose(logFile);
    logFile = nullptr;
    logOpen.store(false);
}
