#include "screen/tty.h"

#include <termios.h>
#include <unistd.h>

namespace {
termios saved;
bool changed;
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
