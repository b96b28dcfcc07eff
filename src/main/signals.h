// Termination signals (INT, TERM, HUP, QUIT) turned into the clean-up on a
// thread of our own: they are blocked everywhere and taken with sigwait.
#pragma once

// Blocks the signals in the calling thread (and the threads it creates
// later) and starts the signal thread; returns 0, or nonzero on failure.
int sigStart();
