#include "util/result.h"

const char* const retCode[kResultCount] = {
    "success",
    "no arguments",
    "bad or missing arguments",
    "problem with config file",
    "can't open device",
    "error installing signal handler",
    "error initializing device",
    "problem starting display thread",
    "CTRL-C or TERM signal received",
    "data log file error",
    "Cfg (command) log file error",
};
