// A program under test started in the background with a pipe for its
// standard input, its output and error output collected as they come.
#pragma once

#include <chrono>
#include <mutex>
#include <optional>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

class Child {
  public:
    explicit Child(const std::vector<std::string>& argv);
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    void type(const std::string& text);
    void closeInput();
    void signal(int sig);
    // The exit code (128 + signal when killed), or nothing after the timeout.
    // Once it returns a code, out() and err() hold everything written.
    std::optional<int> wait(std::chrono::milliseconds timeout);
    // The signal that ended the child, 0 when it exited or still runs.
    int termSignal() const { return termSignal_; }
    std::string out() const;
    std::string err() const;
    // Waits until the error output contains text.
    bool waitForErr(const std::string& text, std::chrono::milliseconds timeout) const;

  private:
    void collect(int fd, std::string* into);

    pid_t pid_ = -1;
    int in_ = -1;
    std::optional<int> status_;
    int termSignal_ = 0;
    mutable std::mutex mutex_;
    std::string out_;
    std::string err_;
    std::thread outReader_;
    std::thread errReader_;
};
