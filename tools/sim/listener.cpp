#include "listener.h"

#include <arpa/inet.h>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <unistd.h>

namespace qsim {

namespace {

constexpr int kBacklog = 4;

std::string sysError(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

// The URL of the bound address, as quorvel takes it.
std::string urlOf(const sockaddr_storage& a) {
    char host[INET6_ADDRSTRLEN] = "";
    int port = 0;
    if (a.ss_family == AF_INET6) {
        const auto& in6 = reinterpret_cast<const sockaddr_in6&>(a);
        inet_ntop(AF_INET6, &in6.sin6_addr, host, sizeof host);
        port = ntohs(in6.sin6_port);
        return "tcp://[" + std::string(host) + "]:" + std::to_string(port);
    }
    const auto& in4 = reinterpret_cast<const sockaddr_in&>(a);
    inet_ntop(AF_INET, &in4.sin_addr, host, sizeof host);
    port = ntohs(in4.sin_port);
    return "tcp://" + std::string(host) + ":" + std::to_string(port);
}

} // namespace

bool parseListen(const std::string& hostPort, Listener* l, std::string* err) {
    std::string host = "127.0.0.1";
    std::string port = hostPort;
    size_t colon = hostPort.rfind(':');
    if (colon != std::string::npos) {
        host = hostPort.substr(0, colon);
        port = hostPort.substr(colon + 1);
        bool bracketed = host.size() >= 2 && host.front() == '[' && host.back() == ']';
        if (bracketed) host = host.substr(1, host.size() - 2);
        if (host.empty() || (!bracketed && host.find(':') != std::string::npos)) {
            *err = "--listen wants [HOST:]PORT (an IPv6 HOST in brackets), not " + hostPort;
            return false;
        }
    }
    int p = 0;
    auto r = std::from_chars(port.data(), port.data() + port.size(), p);
    if (r.ec != std::errc() || r.ptr != port.data() + port.size() || p < 0 || p > 65535) {
        *err = "--listen wants a port from 0 to 65535, not " + port;
        return false;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* list = nullptr;
    int rc = getaddrinfo(host.c_str(), port.c_str(), &hints, &list);
    if (rc != 0) {
        *err = host + ": " + gai_strerror(rc);
        return false;
    }
    std::memcpy(&l->addr, list->ai_addr, list->ai_addrlen);
    l->len = list->ai_addrlen;
    freeaddrinfo(list);
    return true;
}

bool openListener(Listener* l, std::string* err) {
    int fd = socket(l->addr.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        *err = sysError("socket");
        return false;
    }
    // The port is bound again after an unplug, while the last connection
    // may still linger on it.
    int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_storage bound{};
    socklen_t len = sizeof bound;
    if (bind(fd, reinterpret_cast<const sockaddr*>(&l->addr), l->len) != 0 ||
        listen(fd, kBacklog) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &len) != 0) {
        *err = sysError(urlOf(l->addr));
        close(fd);
        return false;
    }
    l->fd = fd;
    l->addr = bound;
    l->len = len;
    l->url = urlOf(bound);
    return true;
}

void closeListener(Listener* l) {
    if (l->fd >= 0) close(l->fd);
    l->fd = -1;
}

int acceptClient(int listenFd) {
    int fd = accept4(listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return -1;
    // Answers go out as soon as they are due, as a real box sends them.
    int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return fd;
}

} // namespace qsim
