#include "screen/tty.h"

#include <atomic>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "screen/layout.h"

namespace {
termios saved;
bool changed;
// Measured on the main thread and the display thread, read by both.
std::atomic<int> rows{kScreenRows};
std::atomic<int> cols{kScreenCols};
} // namespace

void scrFlowOff() {
    if (changed || tcgetattr(STDIN_FILENO, &saved) != 0) return;
    termios t = saved;
    t.c_iflag &= ~static_cast<tcflag_t>(IXON);
    changed = tcsetattr(STDIN_FILENO, TCSANOW, &t) == 0;
}

void scrFlowRestore() {
    if (changed) tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    changed = false;
}

void scrMeasure() {
    winsize ws{};
    // A pipe, or a terminal that does not know its size, gets the screen.
    bool known = ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_row > 0 && ws.ws_col > 0;
    rows.store(known ? ws.ws_row : kScreenRows);
    cols.store(known ? ws.ws_col : kScreenCols);
}

int scrRows() {
    return rows.load();
}

int scrCols() {
    return cols.load();
}
