#include "support/tools.h"

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <unistd.h>

std::string findProgram(const std::string& name) {
    const char* path = getenv("PATH");
    std::istringstream dirs(path != nullptr ? path : "/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        if (dir.empty()) continue;
        std::string p = dir + "/" + name;
        if (access(p.c_str(), X_OK) == 0 && !std::filesystem::is_directory(p)) return p;
    }
    return "";
}
