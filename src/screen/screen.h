// The screen: every byte quorvel writes to the user's terminal during a run
// goes through here. It keeps the text of every row and writes a row to the
// terminal only where it changed, cut to the terminal's width and hidden
// where the terminal has no row for it.
//
// Who may draw, when. Every function here takes the screen's one lock for
// the whole of its writing, so no caller's bytes fall between another's
// cursor moves; none is called with the lock held, and none waits for the
// bus or a log.
// - Main thread, before the screen: the init messages and the attempt line
//   (scrInitLine, scrInitAttempt).
// - Main thread, during the run: the static screen (scrSetup, at the start
//   and for cls), the prompt, the answer and status rows (scrAnswer), and the
//   help listing, for which the console takes the whole screen (scrTake ...
//   scrGiveBack) while the passes go on.
// - Display thread, at the end of every pass: the readings, the mark, the
//   data-log notice, the metrics file's status and the spinner
//   (scrReading..., scrPass), between a cursor save and restore so that the
//   typing at the prompt goes on where it was; and the redraw after a change of size (scrResized).
//   While the console has the screen, the passes only keep their rows.
// - Whichever thread ends the run: the cursor below the screen (scrLeave)
//   and the last lines (scrLast).
//
// The size rule: a terminal of 24 rows or more shows rows 1 to 24; a smaller
// one shows the rows it has but its last, where it names the rows hidden
// (`terminal 80x20: rows 21-24 hidden`). Every row is cut at the terminal's
// width (at most 79 columns), so nothing wraps. The prompt needs row 15 and
// 40 columns: below that only a notice of the size is shown.
#pragma once

#include <cstdint>
#include <initializer_list>

// Starts the readings of a pass.
void scrReadingsBegin();
// Adds a reading to its row: label, answer (control bytes shown as '?'), the
// guard's tag when it has one, and a tab; a marked reading shows its whole row
// in reverse video. Records that follow each other on a row share it; a row
// named again after another starts afresh. Rows outside 1 to 24 are not
// shown.
void scrReading(int32_t row, const char* label, const char* resp, const char* tag = "",
                bool marked = false);
// Ends the pass: the readings, the mark state and the note after the
// data-log notice (empty for none) become the rows' texts, the spinner
// steps, and what changed is drawn. A terminal that takes no more output
// holds up nothing: the rows are drawn once it takes them again. A status,
// unless null, becomes the status row's text, shared with the console's
// answers. The limit note (the last limit that acted) takes the status row
// whenever it is empty.
void scrPass(bool mark, const char* logNote, const char* status = nullptr,
             const char* limitNote = "");

// The data log's path for its notice row; without it no notice is shown.
void scrSetLogPath(const char* path);

// Measures the terminal, clears it and draws every row from the kept texts;
// the readings are those of the last pass.
void scrSetup();

// The static screen again on the terminal's new size, and the prompt; the
// cursor stays where the console left it.
void scrResized();

// Writes the prompt on its row, erasing the rest; on a terminal too small
// for it, writes only the notice of the size, then the prompt.
void scrPrompt();

// True when the terminal last measured has room for the prompt.
bool scrFits();

// The answer row ("=>" and the text, control bytes shown as '?') and, unless
// null, the status row under it.
void scrAnswer(const char* text, const char* status = nullptr);

// The console takes the whole screen for a listing: the screen is cleared,
// the passes go on and keep their rows, which are drawn again, with their
// current values, when scrGiveBack hands the screen back.
void scrTake();
// A line of the listing, on a line of its own, cut at the terminal's width:
// text, or text, ": " and help.
void scrListLine(const char* text, const char* help = nullptr);
// The listing's closing words, where ENTER is awaited; flushed.
void scrListWait(const char* text);
// Clears the screen for the listing's next page.
void scrListClear();
// Draws the whole screen again and the prompt.
void scrGiveBack();

// Before the screen: an init message on a line of its own, its parts
// (configuration texts among them) shown with their control bytes as '?'.
void scrInitLine(std::initializer_list<const char*> parts);
// The line under a wait-for-answer init record's message: opened by the first
// attempt, rewritten in place by later ones, within kLineWidth columns. A null
// got says that the controller is lost. The last attempt ends the line.
void scrInitAttempt(unsigned attempt, const char* got, const char* expect, int controller,
                    bool last);

// The run leaves the screen: the cursor goes to the terminal's last row, at
// column 1, where the last lines go.
void scrLeave();
// One of the last lines of a run, on standard error or output; a line that
// an init message left open is ended first.
void scrLast(const char* text, bool error);
