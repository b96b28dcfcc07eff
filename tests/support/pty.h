// A pseudo-terminal whose far end a test drives byte by byte: the program
// under test opens path() as its controller port.
#pragma once

#include <string>

class PtyPair {
  public:
    // Raw, as a port is left by a program that used it; or as the system
    // makes it, with echo and line editing.
    explicit PtyPair(bool raw = true);
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    const std::string& path() const { return path_; }
    void write(const std::string& bytes);
    // Everything the program wrote, collected until ms pass without a byte.
    std::string drain(int ms = 50);
    // Closes our side, as an unplugged controller does.
    void hangUp();

  private:
    int master_ = -1;
    int slave_ = -1; // held so the port stays alive between opens
    std::string path_;
};
