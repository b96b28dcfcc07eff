#include "display/metrics.h"

#include <algorithm>
#include <atomic>
#include <bsd/string.h>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

#include "bus/port.h"
#include "config/records.h"
#include "display/answers.h"
#include "util/clock.h"
#include "util/reading.h"

namespace {

// The longest sample line: a label whose every byte is replaced (3 bytes),
// a position, a controller, an address as long as an int32 and a number.
constexpr size_t kMaxSample = 64 + 3 * kLabelSize + 3 + 1 + 11 + 32;
constexpr size_t kMaxHead = 4096;
// Two samples per reading: the text never fails to fit.
char text[kMaxHead + 2 * static_cast<size_t>(kMaxRecords) * kMaxSample];

constexpr long long kMinGapNs = 1000000000LL;
constexpr const char* kTmpSuffix = ".XXXXXX";

std::mutex writeMutex;
char filePath[256];
char tmpPath[sizeof filePath + 8];
mode_t fileMode = 0644;
int controllerCount = 1;
// Read by the display thread while the clean-up may close it.
std::atomic<bool> fileOpen{false};
bool writtenOnce;
timespec lastWrite;
timespec lastPass;
// The errno of the last write that failed; 0 once one succeeded.
std::atomic<int> failErr{0};
std::atomic<uint64_t> passCount{0}, errCount{0}, commandCount{0};

// Appends to a fixed buffer; once full it stays full and takes no more.
struct Out {
    char* buf;
    size_t size;
    size_t len = 0;
    bool full = false;

    void put(const char* s, size_t n) {
        if (full || n >= size - len) {
            full = true;
            return;
        }
        memcpy(buf + len, s, n);
        len += n;
    }
    void put(const char* s) { put(s, strlen(s)); }
    void num(uint64_t v) {
        char b[24];
        put(b, static_cast<size_t>(std::to_chars(b, b + sizeof b, v).ptr - b));
    }
    void num(long long v) {
        char b[24];
        put(b, static_cast<size_t>(std::to_chars(b, b + sizeof b, v).ptr - b));
    }
    // The shortest text that reads back as the same double.
    void num(double v) {
        char b[32];
        put(b, static_cast<size_t>(std::to_chars(b, b + sizeof b, v).ptr - b));
    }
    // A label value: backslash, double quote and line feed escaped as the
    // format asks; a byte that is no part of valid UTF-8 becomes U+FFFD,
    // since the collector drops a whole file over one such byte.
    void label(const char* s, size_t n) {
        for (size_t i = 0; i < n;) {
            unsigned char c = static_cast<unsigned char>(s[i]);
            size_t len = utf8Len(s + i, n - i);
            if (len == 0) {
                put("\xEF\xBF\xBD", 3);
                i++;
            } else if (c == '\\' || c == '"') {
                put("\\", 1);
                put(s + i, 1);
                i++;
            } else if (c == '\n') {
                put("\\n", 2);
                i++;
            } else {
                put(s + i, len);
                i += len;
            }
        }
    }
    // Length of the UTF-8 sequence at s, 0 when it is not a valid one.
    static size_t utf8Len(const char* s, size_t left) {
        auto b = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
        unsigned char c = b(0);
        size_t n = c < 0x80             ? 1
                   : (c & 0xE0) == 0xC0 ? 2
                   : (c & 0xF0) == 0xE0 ? 3
                   : (c & 0xF8) == 0xF0 ? 4
                                        : 0;
        if (n == 0 || n > left) return 0;
        for (size_t i = 1; i < n; i++)
            if ((b(i) & 0xC0) != 0x80) return 0;
        // Overlong forms, surrogates and code points past U+10FFFF.
        if (n == 2 && c < 0xC2) return 0;
        if (n == 3 && ((c == 0xE0 && b(1) < 0xA0) || (c == 0xED && b(1) >= 0xA0))) return 0;
        if (n == 4 && ((c == 0xF0 && b(1) < 0x90) || c > 0xF4 || (c == 0xF4 && b(1) >= 0x90)))
            return 0;
        return n;
    }
};

void head(Out& o, const char* name, const char* type, const char* help) {
    o.put("# HELP ");
    o.put(name);
    o.put(" ");
    o.put(help);
    o.put("\n# TYPE ");
    o.put(name);
    o.put(" ");
    o.put(type);
    o.put("\n");
}

void readingLabels(Out& o, const Reading& r, int position) {
    o.put("{label=\"");
    o.label(r.label, readingNameLen(r.label));
    o.put("\",position=\"");
    o.num(static_cast<long long>(position));
    o.put("\",controller=\"");
    o.num(static_cast<long long>(r.at.dev) + 1);
    o.put("\",address=\"");
    o.num(static_cast<long long>(r.at.adr));
    o.put("\"} ");
}

void counter(Out& o, const char* name, const char* help, uint64_t v) {
    head(o, name, "counter", help);
    o.put(name);
    o.put(" ");
    o.num(v);
    o.put("\n");
}

// Writes text whole under a new name beside the file, then renames it over
// the file. No fsync: a version lost to a power cut is replaced within a
// second of the next start.
bool publish(const char* data, size_t len) {
    strlcpy(tmpPath, filePath, sizeof tmpPath);
    strlcat(tmpPath, kTmpSuffix, sizeof tmpPath);
    int fd = mkostemp(tmpPath, O_CLOEXEC);
    if (fd < 0) return false;
    // mkostemp makes the file private; the collector runs as another user.
    bool ok = fchmod(fd, fileMode) == 0;
    for (size_t done = 0; ok && done < len;) {
        ssize_t n = write(fd, data + done, len - done);
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) done += static_cast<size_t>(n);
    }
    ok = close(fd) == 0 && ok;
    ok = ok && rename(tmpPath, filePath) == 0;
    if (!ok) {
        int err = errno;
        unlink(tmpPath);
        errno = err;
    }
    return ok;
}

bool writeNow(int up) {
    size_t len = metricsFormat(text, sizeof text, up);
    bool ok = len > 0 && publish(text, len);
    failErr.store(ok ? 0 : len == 0 ? ENOBUFS : errno != 0 ? errno : EIO);
    lastWrite = clkNow();
    writtenOnce = true;
    return ok;
}

} // namespace

int metricsOpen(const char* path, int controllers) {
    if (strlcpy(filePath, path, sizeof filePath) >= sizeof filePath) {
        errno = ENAMETOOLONG;
        return 9;
    }
    // The rename would put a file in place of a device or a folder.
    struct stat st {};
    if (stat(filePath, &st) == 0 && !S_ISREG(st.st_mode)) {
        errno = EEXIST;
        return 9;
    }
    controllerCount = std::clamp(controllers, 1, kControllers);
    mode_t mask = umask(0);
    umask(mask);
    fileMode = 0666 & ~mask;
    // The directory must take a new file; the metrics come after a pass.
    strlcpy(tmpPath, filePath, sizeof tmpPath);
    strlcat(tmpPath, kTmpSuffix, sizeof tmpPath);
    int fd = mkostemp(tmpPath, O_CLOEXEC);
    if (fd < 0) return 9;
    close(fd);
    unlink(tmpPath);
    fileOpen.store(true);
    return 0;
}

int metricsError() {
    return failErr.load();
}

bool metricsPass(const timespec& when) {
    if (!fileOpen.load()) return true;
    uint64_t errs = 0;
    for (int i = 0; i < cfg().dsp.count; i++) errs += strcmp(dspAnswers[i], kDspErr) == 0;
    errCount += errs;
    passCount++;
    std::lock_guard<std::mutex> lock(writeMutex);
    lastPass = when;
    if (writtenOnce && clkDiffNs(lastWrite, clkNow()) < kMinGapNs) return failErr.load() == 0;
    return writeNow(1);
}

void metricsCommand() {
    commandCount++;
}

bool metricsClose() {
    std::lock_guard<std::mutex> lock(writeMutex);
    if (!fileOpen.load()) return true;
    fileOpen.store(false);
    return writeNow(0);
}

size_t metricsFormat(char* buf, size_t size, int up) {
    Out o{buf, size};
    head(o, "quorvel_up", "gauge", "1 while the quorvel run goes on, 0 once it has ended.");
    o.put("quorvel_up ");
    o.num(static_cast<long long>(up));
    o.put("\n");
    head(o, "quorvel_reading", "gauge",
         "Value of a reading as last polled or calculated; absent while it is no number.");
    const int readings = cfg().dsp.count;
    for (int i = 0; i < readings; i++) {
        double v;
        if (!readingNumber(dspAnswers[i], &v)) continue;
        o.put("quorvel_reading");
        readingLabels(o, cfg().dsp.at[i], i + 1);
        o.num(v);
        o.put("\n");
    }
    head(o, "quorvel_reading_ok", "gauge",
         "1 when the reading's last answer was a number, 0 for ERR or any other answer.");
    for (int i = 0; i < readings; i++) {
        double v;
        o.put("quorvel_reading_ok");
        readingLabels(o, cfg().dsp.at[i], i + 1);
        o.put(readingNumber(dspAnswers[i], &v) ? "1\n" : "0\n");
    }
    counter(o, "quorvel_passes_total", "Display passes run.", passCount.load());
    counter(o, "quorvel_err_readings_total", "Readings that showed ERR, over all passes.",
            errCount.load());
    counter(o, "quorvel_commands_total", "Dictionary commands sent.", commandCount.load());
    head(o, "quorvel_controller_lost_total", "counter",
         "Times a controller was lost: unplugged, or its connection closed.");
    for (int d = 0; d < controllerCount; d++) {
        o.put("quorvel_controller_lost_total{controller=\"");
        o.num(static_cast<long long>(d) + 1);
        o.put("\"} ");
        o.num(static_cast<uint64_t>(gpibLosses[d].load()));
        o.put("\n");
    }
    head(o, "quorvel_last_pass_timestamp_seconds", "gauge",
         "Wall-clock time the last display pass began, in seconds since 1970.");
    o.put("quorvel_last_pass_timestamp_seconds ");
    o.num(static_cast<double>(lastPass.tv_sec) + lastPass.tv_nsec / 1e9);
    o.put("\n");
    return o.full ? 0 : o.len;
}
