#include "screen/screen.h"

#include <algorithm>
#include <bsd/string.h>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <mutex>
#include <poll.h>
#include <unistd.h>

#include "screen/ansi.h"
#include "screen/layout.h"
#include "screen/tty.h"

namespace {

// A row of kLineWidth columns, each character up to four bytes.
constexpr size_t kRowBytes = 4 * kLineWidth + 1;
constexpr int kMinRows = kRowPrompt + 1;
constexpr int kMinCols = 40;
constexpr const char* kSpinner = "|/-|\\-";
constexpr int kSpinnerSteps = 6;
constexpr int kTabStop = 8;

std::mutex scrMutex;
// What each row (1 to 24) is to show, and what the terminal shows.
char want[kScreenRows + 1][kRowBytes];
char shown[kScreenRows + 1][kRowBytes];
// Rows drawn in reverse video: a reading a limit marks.
bool wantReverse[kScreenRows + 1];
bool shownReverse[kScreenRows + 1];
const char* logPath;
int spinner;
// Set while the console has the whole screen for a listing: the passes keep
// their rows here, drawn when it gives the screen back.
bool taken;
// Set once the screen is drawn, cleared when the run leaves it.
bool drawn;
// False while the last line written to the terminal is open (an init
// message, the attempt line): the next line starts on a fresh one.
bool atLineStart = true;

// The readings of the pass being put together: display thread only.
struct Staged {
    size_t len;
    size_t cols;
    bool used;
    bool marked;
    char text[kRowBytes];
};
Staged staged[kScreenRows + 1];
int32_t stagedRow;

// The prompt's row is the console's and the typing's; the spinner alone
// stands in its first column.
bool consoleRow(int r) {
    return r == kRowPrompt;
}

// Bytes of text that fill at most cols columns; the later bytes of a
// character share its column.
size_t cutAt(const char* text, size_t cols) {
    size_t i = 0;
    for (; text[i] != '\0'; i++) {
        auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0xA0 && c <= 0xBF) continue;
        if (cols == 0) break;
        cols--;
    }
    return i;
}

void stage(Staged& s, const char* text) {
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != 0; p++) {
        bool later = *p >= 0xA0 && *p <= 0xBF;
        // Columns bound what is shown, bytes the buffer: an answer may be
        // nothing but the later bytes of characters.
        if ((!later && s.cols == kLineWidth) || s.len + kTabStop >= sizeof s.text) break;
        if (*p == '\t') {
            do s.text[s.len++] = ' ';
            while (++s.cols % kTabStop != 0 && s.cols < kLineWidth);
            continue;
        }
        // C0, DEL and C1 controls would move the cursor, clear the screen or
        // write the clipboard; the logs keep the bytes as they came.
        bool control = *p < 0x20 || (*p >= 0x7F && *p <= 0x9F);
        s.text[s.len++] = control ? '?' : static_cast<char>(*p);
        if (!later) s.cols++;
    }
    s.text[s.len] = '\0';
}

// The data-log notice: the path, cut at its head to leave the note room.
void noticeText(char* out, const char* note) {
    constexpr const char* kLead = "Writing data to ";
    constexpr const char* kCut = "...";
    size_t room = kLineWidth - strlen(kLead) - (note[0] != '\0' ? strlen(note) + 1 : 0);
    const char* path = logPath;
    size_t len = strlen(path);
    Staged s{};
    stage(s, kLead);
    if (len > room) {
        stage(s, kCut);
        path += len - (room - strlen(kCut));
        // Start the tail at a character, not inside one.
        while ((static_cast<unsigned char>(*path) & 0xC0) == 0x80) path++;
    }
    stage(s, path);
    if (note[0] != '\0') {
        stage(s, " ");
        stage(s, note);
    }
    strlcpy(out, s.text, kRowBytes);
}

bool fits() {
    return scrRows() >= kMinRows && scrCols() >= kMinCols;
}

// Rows drawn from the texts; on a short terminal its last row names the
// rest.
int textRows() {
    return scrRows() >= kScreenRows ? kScreenRows : scrRows() - 1;
}

void hiddenNote(char* out) {
    int first = textRows() + 1;
    // A row with nothing on it loses nothing to the note.
    if (first < kScreenRows && want[first][0] == '\0') first++;
    if (first == kScreenRows)
        snprintf(out, kRowBytes, "terminal %dx%d: row %d hidden", scrCols(), scrRows(), first);
    else
        snprintf(out, kRowBytes, "terminal %dx%d: rows %d-%d hidden", scrCols(), scrRows(), first,
                 kScreenRows);
}

void drawRow(int r, const char* text, bool reverse = false) {
    if (strcmp(shown[r], text) == 0 && shownReverse[r] == reverse) return;
    size_t width = static_cast<size_t>(std::min(scrCols() - 1, static_cast<int>(kLineWidth)));
    ansiCursorPos(static_cast<uint8_t>(r), 1);
    if (reverse) ansiReverse(true);
    fwrite(text, 1, cutAt(text, width), stdout);
    // The rest of the row is erased in the plain colours.
    if (reverse) ansiReverse(false);
    ansiEraseLine();
    strlcpy(shown[r], text, kRowBytes);
    shownReverse[r] = reverse;
}

void drawChanged() {
    int rows = textRows();
    for (int r = 1; r <= rows; r++)
        if (!consoleRow(r)) drawRow(r, want[r], wantReverse[r]);
    if (rows < kScreenRows) {
        char note[kRowBytes];
        hiddenNote(note);
        drawRow(rows + 1, note);
    }
}

// A terminal that takes no more output (a reader that has fallen behind)
// would block the draw, and the display thread with it.
bool terminalReady() {
    pollfd p{STDOUT_FILENO, POLLOUT, 0};
    return poll(&p, 1, 0) == 1 && (p.revents & POLLOUT) != 0;
}

void setupLocked() {
    drawn = true;
    fflush(stdout);
    scrMeasure();
    ansiClrScr();
    for (auto& row : shown) row[0] = '\0';
    std::fill(std::begin(shownReverse), std::end(shownReverse), false);
    // A screen drawn afresh starts without the last answer.
    want[kRowAnswer][0] = '\0';
    want[kRowStatus][0] = '\0';
    if (fits()) {
        drawChanged();
        ansiCursorPos(kScreenRows, 1);
    }
    fflush(stdout);
}

void promptLocked() {
    if (!fits()) {
        // Drawn on a smaller terminal, the rows would wrap and scroll over
        // each other.
        ansiCursorPos(1, 1);
        printf("terminal %dx%d, needs %dx%d", scrCols(), scrRows(), kMinCols, kMinRows);
    } else {
        ansiCursorPos(kRowPrompt, 2);
    }
    fputs(": ", stdout);
    ansiEraseLine();
}

} // namespace

void scrReadingsBegin() {
    for (Staged& s : staged) s.used = false;
    stagedRow = 0;
}

void scrReading(int32_t row, const char* label, const char* resp, const char* tag, bool marked) {
    if (row < 1 || row > kScreenRows || row == kRowPrompt) return;
    Staged& s = staged[row];
    if (row != stagedRow) {
        s.len = 0;
        s.cols = 0;
        s.text[0] = '\0';
        s.marked = false;
    }
    stagedRow = row;
    s.used = true;
    s.marked = s.marked || marked;
    stage(s, label);
    stage(s, resp);
    stage(s, tag);
    stage(s, "\t");
}

void scrPass(bool mark, const char* logNote, const char* status, const char* limitNote) {
    std::lock_guard<std::mutex> lock(scrMutex);
    if (logPath != nullptr) noticeText(want[kRowLogNotice], logNote);
    if (status != nullptr) {
        Staged s{};
        stage(s, status);
        strlcpy(want[kRowStatus], s.text, kRowBytes);
    }
    snprintf(want[kRowMark], kRowBytes, "Mark: %s", mark ? "ON " : "OFF");
    if (limitNote[0] != '\0' && want[kRowStatus][0] == '\0') {
        Staged s{};
        stage(s, limitNote);
        strlcpy(want[kRowStatus], s.text, kRowBytes);
    }
    for (int r = 1; r <= kScreenRows; r++) {
        if (!staged[r].used) continue;
        strlcpy(want[r], staged[r].text, kRowBytes);
        wantReverse[r] = staged[r].marked;
    }
    char spin = kSpinner[spinner];
    spinner = (spinner + 1) % kSpinnerSteps;
    if (taken || !drawn || !terminalReady() || !fits()) return;
    fflush(stdout);
    flockfile(stdout);
    ansiCursorSav();
    drawChanged();
    // Written at every pass: it shows that the passes go on.
    ansiCursorPos(kRowPrompt, 1);
    putchar(spin);
    ansiCursorRst();
    fflush(stdout);
    funlockfile(stdout);
}

void scrSetLogPath(const char* path) {
    std::lock_guard<std::mutex> lock(scrMutex);
    logPath = path;
    noticeText(want[kRowLogNotice], "");
}

void scrSetup() {
    std::lock_guard<std::mutex> lock(scrMutex);
    if (want[kRowBanner][0] == '\0') {
        snprintf(want[kRowBanner], kRowBytes, "Quorvel, v%d.%d build %d.  %s", kVerMajor, kVerMinor,
                 kVerBuild, kOwner);
        strlcpy(want[kRowMark], "Mark: OFF", kRowBytes);
    }
    setupLocked();
}

void scrPrompt() {
    std::lock_guard<std::mutex> lock(scrMutex);
    promptLocked();
    fflush(stdout);
}

void scrResized() {
    std::lock_guard<std::mutex> lock(scrMutex);
    // A listing on the screen is measured again when it is given back.
    if (taken || !drawn || !terminalReady()) return;
    ansiCursorSav();
    setupLocked();
    promptLocked();
    ansiCursorRst();
    fflush(stdout);
}

bool scrFits() {
    return fits();
}

void scrAnswer(const char* text, const char* status) {
    std::lock_guard<std::mutex> lock(scrMutex);
    Staged s{};
    stage(s, "=>");
    stage(s, text);
    strlcpy(want[kRowAnswer], s.text, kRowBytes);
    if (status != nullptr) {
        s = Staged{};
        stage(s, status);
        strlcpy(want[kRowStatus], s.text, kRowBytes);
    }
    if (!fits()) return;
    // Written at every command, even the same answer again: it shows that
    // the command was taken.
    shown[kRowAnswer][0] = '\0';
    for (int r : {kRowAnswer, kRowStatus})
        if (r <= textRows()) drawRow(r, want[r]);
    fflush(stdout);
}

void scrTake() {
    std::lock_guard<std::mutex> lock(scrMutex);
    taken = true;
    fflush(stdout);
    ansiClrScr();
}

void scrListLine(const char* text, const char* help) {
    std::lock_guard<std::mutex> lock(scrMutex);
    size_t width = static_cast<size_t>(std::min(scrCols() - 1, static_cast<int>(kLineWidth)));
    Staged s{};
    stage(s, text);
    if (help != nullptr) {
        stage(s, ": ");
        stage(s, help);
    }
    putchar('\n');
    fwrite(s.text, 1, cutAt(s.text, width), stdout);
}

void scrListWait(const char* text) {
    std::lock_guard<std::mutex> lock(scrMutex);
    fputs(text, stdout);
    fflush(stdout);
}

void scrListClear() {
    std::lock_guard<std::mutex> lock(scrMutex);
    ansiClrScr();
}

void scrGiveBack() {
    std::lock_guard<std::mutex> lock(scrMutex);
    taken = false;
    setupLocked();
    promptLocked();
    fflush(stdout);
}

void scrInitLine(std::initializer_list<const char*> parts) {
    std::lock_guard<std::mutex> lock(scrMutex);
    putchar('\n');
    size_t room = kLineWidth;
    for (const char* p : parts) room = scrPutText(p, room);
    atLineStart = false;
    fflush(stdout);
}

void scrInitAttempt(unsigned attempt, const char* got, const char* expect, int controller,
                    bool last) {
    constexpr const char* kMid = "\", waiting for \"";
    std::lock_guard<std::mutex> lock(scrMutex);
    fputs(attempt == 1 ? "\n" : "\r", stdout);
    char head[48];
    if (got == nullptr) {
        snprintf(head, sizeof head, "attempt %u: controller %d lost, waiting for \"", attempt,
                 controller);
        fputs(head, stdout);
    } else {
        snprintf(head, sizeof head, "attempt %u: got \"", attempt);
        fputs(head, stdout);
        // The expected answer is a field of at most 31 characters, so the
        // rest always leaves the answer some room; the answer gives way.
        scrPutText(got, kLineWidth - strlen(head) - strlen(kMid) - strlen(expect) - 1);
        fputs(kMid, stdout);
    }
    scrPutText(expect);
    putchar('"');
    ansiEraseLine();
    // The last attempt ends the line: what follows starts below it.
    if (last) putchar('\n');
    atLineStart = last;
    fflush(stdout);
}

void scrLeave() {
    std::lock_guard<std::mutex> lock(scrMutex);
    if (!drawn) return;
    drawn = false;
    // The last lines go on the terminal's last row, over the note of the
    // hidden rows if there is one, and scroll the screen up from there.
    ansiCursorPos(static_cast<uint8_t>(std::min(scrRows(), kScreenRows)), 1);
    ansiEraseLine();
    atLineStart = true;
    fflush(stdout);
}

void scrLast(const char* text, bool error) {
    std::lock_guard<std::mutex> lock(scrMutex);
    fflush(stdout);
    FILE* fp = error ? stderr : stdout;
    // On a terminal, an error line would otherwise go on where an init line
    // stopped.
    if (!atLineStart && (!error || isatty(STDERR_FILENO) != 0)) fputc('\n', fp);
    atLineStart = true;
    fputs(text, fp);
    fflush(fp);
}
