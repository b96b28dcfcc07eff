#include "util/result.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

const char* const retCode[kResultCount] = {
    "success",
    "no arguments",
    "bad or missing arguments",
    "problem with config file",
    "can't open device",
    "error installing signal handler",
    "error initializing device",
    "problem starting display thread",
    "CTRL-C or TERM signal received",
    "data log file error",
    "Cfg (command) log file error",
};

namespace {

// Room for a path of 255 bytes shown whole and the reason after it.
char whyBuf[1024];
int sysErr;

} // namespace

TextNum::TextNum(long n) {
    snprintf(s, sizeof s, "%ld", n);
}

void textJoin(char* buf, size_t size, std::initializer_list<const char*> parts) {
    size_t len = 0;
    for (const char* p : parts) {
        // Each part leaves half of what is left to the parts after it.
        size_t end = len + (size - len) / 2;
        for (; p != nullptr && *p != '\0'; p++) {
            auto c = static_cast<unsigned char>(*p);
            bool ctl = c < 0x20 || c == 0x7f;
            if (len + (ctl ? 4 : 1) + 3 > end) {
                // A cut part says so.
                if (len + 3 <= end) len += static_cast<size_t>(snprintf(buf + len, 4, "..."));
                break;
            }
            if (ctl)
                len += static_cast<size_t>(snprintf(buf + len, 5, "\\x%02x", c));
            else
                buf[len++] = static_cast<char>(c);
        }
    }
    buf[len] = '\0';
}

void resultWhy(std::initializer_list<const char*> parts) {
    int saved = errno;
    textJoin(whyBuf, sizeof whyBuf, parts);
    errno = saved;
}

const char* resultWhyText() {
    return whyBuf;
}

const char* resultErrText(int err) {
    const char* text = strerrordesc_np(err);
    return text != nullptr ? text : "unknown error";
}

const char* resultSysErr(int err) {
    sysErr = err;
    return resultErrText(err);
}

int resultErrno() {
    return sysErr;
}
