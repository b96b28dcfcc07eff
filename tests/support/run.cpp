#include "support/run.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

int msLeft(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// Reads what is available on fd into text; returns false at end of file.
bool drainOnce(int fd, std::string& text) {
    char buf[4096];
    ssize_t n = read(fd, buf, sizeof buf);
    if (n > 0) {
        text.append(buf, static_cast<size_t>(n));
        return true;
    }
    return n < 0 && (errno == EINTR || errno == EAGAIN);
}

} // namespace

RunResult runProgram(const std::vector<std::string>& argv, int timeoutMs) {
    RunResult res;
    int outPipe[2];
    int errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0) return res;
    if (pipe2(errPipe, O_CLOEXEC) != 0) {
        close(outPipe[0]);
        close(outPipe[1]);
        return res;
    }

    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&fa, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&fa, errPipe[1], 2);

    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    pid_t pid = -1;
    int rc = posix_spawn(&pid, args[0], &fa, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    close(outPipe[1]);
    close(errPipe[1]);
    if (rc != 0) {
        close(outPipe[0]);
        close(errPipe[0]);
        res.err = "spawn failed";
        return res;
    }

    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    std::string* sinks[2] = {&res.out, &res.err};
    int open = 2;
    while (open > 0) {
        int left = msLeft(deadline);
        if (left == 0) {
            res.timedOut = true;
            break;
        }
        if (poll(fds, 2, left) < 0 && errno != EINTR) break;
        for (int i = 0; i < 2; i++) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            if (!drainOnce(fds[i].fd, *sinks[i])) {
                close(fds[i].fd);
                fds[i].fd = -1;
                open--;
            }
        }
    }
    for (pollfd& p : fds)
        if (p.fd >= 0) close(p.fd);

    // Both streams closed: the child is exiting; give it the rest of the time.
    if (res.timedOut) kill(pid, SIGKILL);
    int status = 0;
    for (;;) {
        pid_t w = waitpid(pid, &status, res.timedOut ? 0 : WNOHANG);
        if (w == pid) break;
        if (w < 0) {
            if (errno == EINTR) continue;
            return res;
        }
        if (msLeft(deadline) == 0) {
            res.timedOut = true;
            kill(pid, SIGKILL);
        } else {
            usleep(1000);
        }
    }
    if (WIFEXITED(status)) res.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) res.signal = WTERMSIG(status);
    return res;
}
