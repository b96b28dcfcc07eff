#include "console/cmdlog.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "util/csv.h"

const char* gpibLogcPath;

namespace {

const char* const header_fp = "Record,Date,Time,Command,Value,Response";
unsigned recNum;
std::mutex logcMutex;
// Held open for the whole run, for its lock: two runs numbering records in
// one file would read as one run with repeated numbers.
int lockFd = -1;

// Never waits: not for a FIFO's reader (which gives ENXIO), nor for one that
// has stopped reading (EAGAIN), since the command log must not hold up the
// run.
int openLog(const char* path) {
    return open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
}

// A record is put together here and written with one call: a stdio stream
// opened for every record would allocate its buffer and its own state each
// time, and nothing is allocated while the program runs. The longest record
// (every cell quoted, every character doubled) fits several times over.
char recBuf[1024];

bool writeAll(int fd, const char* data, size_t len) {
    // A record the disk takes only in part is cut away again: a cut number
    // would read as a valid one.
    off_t start = lseek(fd, 0, SEEK_END);
    while (len > 0) {
        ssize_t n = write(fd, data, len);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (start >= 0) ftruncate(fd, start);
            return false;
        }
        data += n;
        len -= static_cast<size_t>(n);
    }
    return true;
}

// Fills recBuf; a record that would not fit is refused whole.
struct Record {
    size_t len = 0;
    bool fits = true;

    void put(char c) {
        if (len + 1 >= sizeof recBuf)
            fits = false;
        else
            recBuf[len++] = c;
    }
    void cell(const char* text) {
        bool quoted = csvNeedsQuotes(text);
        if (quoted) put('"');
        for (const char* p = text; *p != '\0'; p++) {
            if (quoted && *p == '"') put('"');
            put(*p);
        }
        if (quoted) put('"');
    }
};

int logcHeader(int fd) {
    struct stat st {};
    if (fstat(fd, &st) != 0) return 0;
    if (!S_ISREG(st.st_mode)) return writeAll(fd, header_fp, strlen(header_fp)) ? 1 : 0;
    if (lockFd >= 0) close(lockFd);
    lockFd = -1;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) return 0;
    lockFd = fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (st.st_size >= static_cast<off_t>(strlen(header_fp))) return 1;
    return writeAll(fd, header_fp, strlen(header_fp)) ? 1 : 0;
}

int logcRecord(int fd, const char* cmd, const char* value, const char* resp) {
    time_t now = time(nullptr);
    tm t{};
    localtime_r(&now, &t);
    recNum++;
    int n = snprintf(recBuf, sizeof recBuf, "\n%u,%2.2d/%2.2d/%d,%2.2d:%2.2d:%2.2d,", recNum,
                     t.tm_mon + 1, t.tm_mday, t.tm_year + 1900, t.tm_hour, t.tm_min, t.tm_sec);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof recBuf) return 0;
    Record r;
    r.len = static_cast<size_t>(n);
    r.cell(cmd);
    r.put(',');
    r.cell(value);
    r.put(',');
    r.cell(resp);
    // The record must be on disk before the console says the command ran.
    return r.fits && writeAll(fd, recBuf, r.len) ? 1 : 0;
}

} // namespace

int gpibLogc(const char* path, const char* cmd, const char* value, const char* resp) {
    // The console and a limit's command on the display thread both write
    // records, into one buffer and under one count.
    std::lock_guard<std::mutex> lock(logcMutex);
    int fd = openLog(path);
    // A FIFO nobody reads yet is no reason to refuse the start: its records
    // fail, and say so, until a reader comes.
    if (fd < 0 && cmd == nullptr && errno == ENXIO) return 1;
    if (fd < 0) return 0;
    int result = cmd == nullptr ? logcHeader(fd) : logcRecord(fd, cmd, value, resp);
    close(fd);
    return result;
}

int gpibLogcStart(const char* path) {
    if (gpibLogc(path, nullptr, nullptr, nullptr) == 0) return errno != 0 ? errno : EIO;
    gpibLogcPath = path;
    return 0;
}
