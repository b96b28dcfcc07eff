#include "support/child.h"

#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

Child::Child(const std::vector<std::string>& argv) {
    int in[2];
    int out[2];
    int err[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
        return;
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        execv(args[0], args.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    in_ = in[1];
    outReader_ = std::thread(&Child::collect, this, out[0], &out_);
    errReader_ = std::thread(&Child::collect, this, err[0], &err_);
}

Child::~Child() {
    if (!status_ && pid_ > 0) {
        kill(pid_, SIGKILL);
        wait(std::chrono::seconds(30));
    }
    closeInput();
    if (outReader_.joinable()) outReader_.join();
    if (errReader_.joinable()) errReader_.join();
}

void Child::collect(int fd, std::string* into) {
    char buf[4096];
    ssize_t n = 0;
    while ((n = read(fd, buf, sizeof buf)) > 0) {
        std::lock_guard<std::mutex> lock(mutex_);
        into->append(buf, static_cast<size_t>(n));
    }
    close(fd);
}

void Child::type(const std::string& text) {
    if (in_ >= 0 && ::write(in_, text.data(), text.size()) < 0) closeInput();
}

void Child::closeInput() {
    if (in_ >= 0) close(in_);
    in_ = -1;
}

void Child::signal(int sig) {
    if (pid_ > 0 && !status_) kill(pid_, sig);
}

std::optional<int> Child::wait(std::chrono::milliseconds timeout) {
    auto until = std::chrono::steady_clock::now() + timeout;
    while (!status_ && pid_ > 0) {
        int st = 0;
        pid_t r = waitpid(pid_, &st, WNOHANG);
        if (r == pid_) {
            status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
            termSignal_ = WIFSIGNALED(st) ? WTERMSIG(st) : 0;
            // The pipes reach their end with the child: collect the rest.
            if (outReader_.joinable()) outReader_.join();
            if (errReader_.joinable()) errReader_.join();
            break;
        }
        if (std::chrono::steady_clock::now() > until) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return status_;
}

std::string Child::out() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return out_;
}

std::string Child::err() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return err_;
}

bool Child::waitForErr(const std::string& text, std::chrono::milliseconds timeout) const {
    auto until = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < until) {
        if (err().find(text) != std::string::npos) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}
