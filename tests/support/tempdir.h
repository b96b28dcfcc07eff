// A private directory for a test's files, removed with everything in it when
// the test ends.
#pragma once

#include <string>

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    // Path of name inside the directory.
    std::string file(const std::string& name) const;
    // Writes content byte for byte to name; returns its path.
    std::string write(const std::string& name, const std::string& content) const;

  private:
    std::string path_;
};

// The whole content of a file, empty when it cannot be read.
std::string readFile(const std::string& path);
