// The network side of the simulator: a listening socket on a loopback (or
// given) address, the tcp:// URL quorvel connects to, and taking clients.
#pragma once

#include <string>
#include <sys/socket.h>

namespace qsim {

struct Listener {
    int fd = -1;
    sockaddr_storage addr{}; // the port is the one bound, kept for reopening
    socklen_t len = 0;
    std::string url;
};

// Parses "[HOST:]PORT" (HOST 127.0.0.1 when left out, an IPv6 address in
// brackets) into l; false with a message in err.
bool parseListen(const std::string& hostPort, Listener* l, std::string* err);

// Listens on l's address; port 0 picks a free port, which l keeps, so that
// the same URL serves again after a close. False with a message in err.
bool openListener(Listener* l, std::string* err);
void closeListener(Listener* l);

// A client waiting on the listening socket, non-blocking; -1 when none.
int acceptClient(int listenFd);

} // namespace qsim
