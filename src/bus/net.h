// Controllers on the network: device arguments of the form
// tcp://HOST[:PORT], their addresses looked up once, and connections made
// within a time bound with the socket options a line protocol wants.
#pragma once

#include <sys/socket.h>

// Addresses of one name that are tried; a name rarely has more.
constexpr int kNetAddrs = 8;

struct NetTarget {
    int count;
    socklen_t len[kNetAddrs];
    sockaddr_storage addr[kNetAddrs];
};

// True when path names a network controller rather than a device file.
bool netIsUrl(const char* path);

// Parses url and looks its host up into target. Returns 0, or an errno
// value: EINVAL for a malformed url, ENOENT for a name that does not
// resolve, EAGAIN when the resolver cannot be asked.
int netResolve(const char* url, NetTarget* target);

// Connects to the first address of target that accepts, within boundMs for
// all of them. Returns a non-blocking descriptor, or -1 with errno from the
// last attempt (ECONNREFUSED, ETIMEDOUT, EHOSTUNREACH ...).
int netConnect(const NetTarget& target, int boundMs);
