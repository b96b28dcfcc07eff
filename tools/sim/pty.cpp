#include "pty.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace qsim {

namespace {

std::string sysError(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

} // namespace

void makeRaw(int fd) {
    termios t{};
    if (tcgetattr(fd, &t) != 0) return;
    cfmakeraw(&t);
    t.c_cflag |= CREAD | CLOCAL;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    tcsetattr(fd, TCSANOW, &t);
}

bool openPty(Pty* pty, std::string* err) {
    closePty(pty);
    int m = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m < 0) {
        *err = sysError("posix_openpt");
        return false;
    }
    char name[PATH_MAX];
    if (grantpt(m) != 0 || unlockpt(m) != 0 || ptsname_r(m, name, sizeof name) != 0) {
        *err = sysError("pseudo-terminal");
        close(m);
        return false;
    }
    int s = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (s < 0) {
        *err = sysError(name);
        close(m);
        return false;
    }
    makeRaw(s);
    fcntl(m, F_SETFL, fcntl(m, F_GETFL) | O_NONBLOCK);
    pty->master = m;
    pty->slave = s;
    pty->path = name;
    return true;
}

void closePty(Pty* pty) {
    if (pty->slave >= 0) close(pty->slave);
    if (pty->master >= 0) close(pty->master);
    pty->master = pty->slave = -1;
    pty->path.clear();
}

bool makeLink(const std::string& target, const std::string& link, std::string* err) {
    struct stat st {};
    if (lstat(link.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        *err = link + ": exists and is not a symbolic link";
        return false;
    }
    // Built beside the link and renamed over it, so quorvel never finds the
    // path missing or half made.
    static std::atomic<unsigned> serial{0};
    std::string tmp = link + ".quorvel-sim." + std::to_string(getpid()) + "." +
                      std::to_string(serial.fetch_add(1));
    unlink(tmp.c_str());
    if (symlink(target.c_str(), tmp.c_str()) != 0) {
        *err = sysError(tmp);
        return false;
    }
    if (rename(tmp.c_str(), link.c_str()) != 0) {
        *err = sysError(link);
        unlink(tmp.c_str());
        return false;
    }
    return true;
}

void removeLink(const std::string& target, const std::string& link) {
    char buf[PATH_MAX];
    ssize_t n = readlink(link.c_str(), buf, sizeof buf - 1);
    if (n < 0) return;
    if (std::string(buf, static_cast<size_t>(n)) == target) unlink(link.c_str());
}

} // namespace qsim
