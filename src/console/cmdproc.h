// The command console: reads a line at the prompt, runs a dictionary command
// on its instrument or one of the internal commands, shows the answer.
#pragma once

// Runs until quit or the end of input; returns 0.
int cmdProc();
