// Locating what the whole-tree tests work on: programs of the system (found
// in PATH, since runProgram does not search it) and the source tree.
#pragma once

#include <filesystem>
#include <string>

// The full path of an executable named name in PATH, empty when none.
std::string findProgram(const std::string& name);

#ifdef EXAMPLES_DIR
// The top of the source tree (the directory holding examples/, man/ ...);
// inline because only the test executables know where examples/ is.
inline std::string sourceDir() {
    return std::filesystem::path(EXAMPLES_DIR).parent_path().string();
}
#endif
