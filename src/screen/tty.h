// The user's terminal while a run draws on it: flow control (Ctrl-S, Ctrl-Q)
// is switched off, since a stopped terminal would hold up the display thread
// and with it the data log; every way out puts the settings back. Its size
// decides whether the screen can be drawn at all.
//
// Threads: scrFlowOff on the main thread at start-up, scrFlowRestore on the
// thread that runs the clean-up; the size is measured under the screen's
// lock (screen.h) and read by any thread.
#pragma once

// Switches off output flow control on standard input's terminal, if it is one.
void scrFlowOff();
// Puts back what scrFlowOff changed.
void scrFlowRestore();

// Reads the size of standard output's terminal; when it is no terminal, the
// size the screen needs is assumed.
void scrMeasure();
// The size last measured.
int scrRows();
int scrCols();
