// What the simulated controller has received from the program's code.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "sim.h"

// Lines reach the simulator asynchronously: a marker written last on fp
// tells when everything before it has arrived. Returns the lines before it.
std::vector<std::string> wireLines(qsim::Controller& sim, FILE* fp);
