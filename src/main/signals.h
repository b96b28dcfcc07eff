// Termination signals (INT, TERM, HUP, QUIT) turned into the clean-up, a
// change of the terminal's size (WINCH) into a redraw, and a limit's end of
// the run (USR2, sent by us) into the clean-up with result 11, on a thread of
// our own: they are blocked everywhere and taken with sigwait.
#pragma once

// Makes a file-size limit or a closed pipe a failed write instead of the
// end of the process.
void sigIgnoreWriteFaults();

// Blocks the signals in the calling thread (and the threads it creates
// later) and starts the signal thread; returns 0, or an error number.
int sigStart();

// A limit ends the run: the signal thread runs the clean-up and the report
// of result 11, as quit would, off the display thread that calls this.
void sigLimitEnds();
