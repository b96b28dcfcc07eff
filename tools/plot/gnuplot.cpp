#include "gnuplot.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace qplot {

Gnuplot gnuplotRun(const std::string& script, std::string& detail) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        detail = strerror(errno);
        return Gnuplot::Missing;
    }
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, fds[0], STDIN_FILENO);
    char prog[] = "gnuplot";
    char* argv[] = {prog, nullptr};
    pid_t pid;
    int rc = posix_spawnp(&pid, prog, &fa, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&fa);
    close(fds[0]);
    if (rc != 0) {
        close(fds[1]);
        detail = strerror(rc);
        return Gnuplot::Missing;
    }
    // gnuplot that stops early closes the pipe: its status tells why.
    signal(SIGPIPE, SIG_IGN);
    const char* p = script.data();
    size_t left = script.size();
    while (left > 0) {
        ssize_t n = write(fds[1], p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        p += n;
        left -= static_cast<size_t>(n);
    }
    close(fds[1]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0 && left == 0) return Gnuplot::Done;
    if (WIFSIGNALED(status))
        detail = std::string("killed by signal ") + std::to_string(WTERMSIG(status));
    else
        detail = "exit status " + std::to_string(WEXITSTATUS(status));
    return Gnuplot::Failed;
}

} // namespace qplot
