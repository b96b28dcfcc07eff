// Printing the loaded configuration (the -d flag).
#pragma once

void dumpCfg();
