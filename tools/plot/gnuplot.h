// Running gnuplot on a script through a pipe. Its own messages go to our
// standard error, and its drawing to standard output or the script's file.
#pragma once

#include <string>

namespace qplot {

enum class Gnuplot { Done, Missing, Failed };

// Runs gnuplot (as found on PATH) on script; Failed with detail set to its
// exit status or signal, Missing when it cannot be started.
Gnuplot gnuplotRun(const std::string& script, std::string& detail);

} // namespace qplot
