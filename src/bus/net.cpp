#include "bus/net.h"

#include <bsd/string.h>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <strings.h>
#include <unistd.h>

#include "util/clock.h"

namespace {

constexpr const char* kScheme = "tcp://";
constexpr size_t kSchemeLen = 6;
// The port the "++" network controllers listen on.
constexpr const char* kDefaultPort = "1234";
constexpr size_t kPortDigits = 5;
constexpr long kPortMax = 65535;

// A dead peer is noticed within seconds: an idle link is probed after 5 s,
// every 2 s, given up after 3 unanswered probes; a line the peer never
// acknowledges fails after the same 11 s.
constexpr int kKeepIdleS = 5;
constexpr int kKeepIntvlS = 2;
constexpr int kKeepCnt = 3;
constexpr unsigned kUserTimeoutMs = (kKeepIdleS + kKeepIntvlS * kKeepCnt) * 1000;

bool hostChars(const char* s, size_t n, const char* extra) {
    for (size_t i = 0; i < n; i++) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (isalnum(c) == 0 && strchr(extra, c) == nullptr) return false;
    }
    return n > 0;
}

// Splits "HOST[:PORT]" or "[IPV6][:PORT]" into host and port; false when
// malformed. An IPv6 address without brackets would be ambiguous.
bool splitHostPort(const char* s, char* host, size_t hostSize, char* port, size_t portSize,
                   bool* numeric) {
    const char* from = s;
    const char* to = nullptr;
    const char* rest = nullptr;
    *numeric = *s == '[';
    if (*numeric) {
        from = s + 1;
        to = strchr(from, ']');
        if (to == nullptr) return false;
        rest = to + 1;
    } else {
        to = s + strcspn(s, ":");
        rest = to;
    }
    size_t len = static_cast<size_t>(to - from);
    if (len >= hostSize || !hostChars(from, len, *numeric ? ":.%-_" : ".-_")) return false;
    memcpy(host, from, len);
    host[len] = '\0';
    if (*rest == '\0') {
        strlcpy(port, kDefaultPort, portSize);
        return true;
    }
    if (*rest++ != ':') return false;
    size_t digits = strlen(rest);
    if (digits == 0 || digits > kPortDigits || strspn(rest, "0123456789") != digits) return false;
    long v = strtol(rest, nullptr, 10);
    if (v < 1 || v > kPortMax) return false;
    strlcpy(port, rest, portSize);
    return true;
}

int lookupErrno(int rc) {
    switch (rc) {
    case EAI_SYSTEM:
        return errno != 0 ? errno : EIO;
    case EAI_AGAIN:
        return EAGAIN;
    case EAI_NONAME:
    case EAI_NODATA:
    case EAI_ADDRFAMILY:
    case EAI_FAIL:
        return ENOENT;
    default:
        return EINVAL;
    }
}

// Short lines go out at once instead of waiting on Nagle's delay, and a
// peer that is gone without a word is found out.
void tune(int fd) {
    int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &kKeepIdleS, sizeof kKeepIdleS);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &kKeepIntvlS, sizeof kKeepIntvlS);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &kKeepCnt, sizeof kKeepCnt);
    setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &kUserTimeoutMs, sizeof kUserTimeoutMs);
}

// Waits until the connection under way is made or refused, or until end.
bool awaitConnect(int fd, const timespec& end) {
    for (;;) {
        long long left = clkDiffNs(clkNow(), end);
        if (left <= 0) return false;
        timespec ts{static_cast<time_t>(left / 1000000000LL),
                    static_cast<long>(left % 1000000000LL)};
        pollfd p{fd, POLLOUT, 0};
        int n = ppoll(&p, 1, &ts, nullptr);
        if (n > 0) return true;
        if (n < 0 && errno != EINTR) return false;
    }
}

// One address: a descriptor, or -1 with the reason in *err.
int attempt(const sockaddr_storage& addr, socklen_t len, const timespec& end, int* err) {
    int fd = socket(addr.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0) {
        *err = errno;
        return -1;
    }
    int soErr = 0;
    if (connect(fd, reinterpret_cast<const sockaddr*>(&addr), len) != 0) {
        if (errno != EINPROGRESS) {
            soErr = errno;
        } else if (!awaitConnect(fd, end)) {
            soErr = ETIMEDOUT;
        } else {
            socklen_t sl = sizeof soErr;
            if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &soErr, &sl) != 0) soErr = errno;
        }
    }
    if (soErr != 0) {
        close(fd);
        *err = soErr;
        return -1;
    }
    tune(fd);
    return fd;
}

} // namespace

bool netIsUrl(const char* path) {
    return strncasecmp(path, kScheme, kSchemeLen) == 0;
}

int netResolve(const char* url, NetTarget* target) {
    target->count = 0;
    char host[256];
    char port[kPortDigits + 1];
    bool numeric = false;
    if (!netIsUrl(url) ||
        !splitHostPort(url + kSchemeLen, host, sizeof host, port, sizeof port, &numeric))
        return EINVAL;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = AI_NUMERICSERV | (numeric ? AI_NUMERICHOST : 0);
    addrinfo* list = nullptr;
    errno = 0;
    int rc = getaddrinfo(host, port, &hints, &list);
    if (rc != 0) return lookupErrno(rc);
    for (const addrinfo* a = list; a != nullptr && target->count < kNetAddrs; a = a->ai_next) {
        if (a->ai_addrlen > sizeof target->addr[0]) continue;
        memcpy(&target->addr[target->count], a->ai_addr, a->ai_addrlen);
        target->len[target->count++] = a->ai_addrlen;
    }
    freeaddrinfo(list);
    return target->count > 0 ? 0 : ENOENT;
}

int netConnect(const NetTarget& target, int boundMs) {
    const timespec end = clkAddNs(clkNow(), boundMs * 1000000LL);
    int err = ENOENT;
    for (int i = 0; i < target.count; i++) {
        long long left = clkDiffNs(clkNow(), end);
        if (left <= 0) {
            err = ETIMEDOUT;
            break;
        }
        // Each address gets its share of what is left, so one that never
        // answers cannot keep the others from being tried.
        timespec until = clkAddNs(clkNow(), left / (target.count - i));
        int fd = attempt(target.addr[i], target.len[i], until, &err);
        if (fd >= 0) return fd;
    }
    errno = err;
    return -1;
}
