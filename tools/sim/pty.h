// The pseudo-terminal the simulator serves: creating it raw with a slave
// descriptor held open, closing it, and the symbolic link quorvel opens.
#pragma once

#include <string>

namespace qsim {

struct Pty {
    int master = -1;
    int slave = -1; // held so the master never sees EIO between quorvel's opens
    std::string path;
};

// Creates a raw pseudo-terminal with a non-blocking master; false with a
// message in err.
bool openPty(Pty* pty, std::string* err);
void closePty(Pty* pty);

// No echo, no line editing, no CR/LF translation, no signals.
void makeRaw(int fd);

// Points link at target, replacing an older symbolic link there in one step;
// refuses to replace anything that is not a symbolic link.
bool makeLink(const std::string& target, const std::string& link, std::string* err);
// Removes link when it still points at target (someone may have moved it).
void removeLink(const std::string& target, const std::string& link);

} // namespace qsim
