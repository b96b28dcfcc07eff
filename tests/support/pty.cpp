#include "support/pty.h"

#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

PtyPair::PtyPair(bool raw) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
    path_ = ptsname(master_);
    slave_ = open(path_.c_str(), O_RDWR | O_NOCTTY);
    termios t{};
    if (!raw || tcgetattr(slave_, &t) != 0) return;
    cfmakeraw(&t);
    tcsetattr(slave_, TCSANOW, &t);
}

PtyPair::~PtyPair() {
    hangUp();
}

void PtyPair::write(const std::string& bytes) {
    for (size_t done = 0; done < bytes.size();) {
        ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n <= 0) return;
        done += static_cast<size_t>(n);
    }
}

std::string PtyPair::drain(int ms) {
    std::string out;
    char buf[256];
    pollfd p{master_, POLLIN, 0};
    for (ssize_t n = 0; poll(&p, 1, ms) > 0 && (n = read(master_, buf, sizeof buf)) > 0;)
        out.append(buf, static_cast<size_t>(n));
    return out;
}

void PtyPair::hangUp() {
    if (slave_ >= 0) close(slave_);
    if (master_ >= 0) close(master_);
    slave_ = master_ = -1;
}
