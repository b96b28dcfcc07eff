// Printing the loaded configuration (the -d flag), then the loader's warnings
// on standard error.
#pragma once

void dumpCfg();
