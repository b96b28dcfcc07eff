#include "console/cmdproc.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "bus/exchange.h"
#include "console/cmdline.h"
#include "console/cmdlog.h"
#include "display/datalog.h"
#include "display/handshake.h"
#include "display/metrics.h"
#include "screen/layout.h"
#include "screen/screen.h"
#include "screen/tty.h"
#include "util/result.h"
#include "util/strutil.h"

namespace {

enum class Input { Line, TooLong, End };

// Reads one line; a line that does not fit is read to its end and refused,
// since its tail would otherwise reach an instrument as a command of its own.
// So is a line holding a NUL, which would hide what follows it from every
// length test.
Input cmdReadLine(char* line) {
    memset(line, 0, kLineSize);
    size_t len = 0;
    bool refused = false;
    int c = 0;
    while ((c = getchar()) != EOF) {
        if (c == '\0') refused = true;
        if (len < kLineSize - 1) {
            line[len++] = static_cast<char>(c);
        } else {
            refused = true;
        }
        if (c == '\n') break;
    }
    if (c == EOF && len == 0) return Input::End;
    if (len == kLineSize - 1 && line[len - 1] != '\n') refused = true;
    return refused ? Input::TooLong : Input::Line;
}

// Sends the command with its value and collects its answer when it gives
// one; a command that did not go out shows ERR.
GpibDone cmdExchange(const DictCmd& c, const char* value, Answer& resp) {
    bool answers = c.crsp != 0;
    GpibDone done = gpibExchange(c.at, c.cmd,
                                 {.value = value,
                                  .pauseMs = answers ? 1 : 0,
                                  .readCmd = answers,
                                  .read = answers ? GpibRead::One : GpibRead::None},
                                 resp);
    if (done != GpibDone::NotSent && done != GpibDone::Stopped) metricsCommand();
    return done;
}

void cmdDictionary(const DictCmd& c, const char* value) {
    if (c.usrv != 0 && value[0] == '\0') {
        scrAnswer("Value required");
        return;
    }
    Answer resp;
    dspPause();
    cmdExchange(c, value, resp);
    // The record is written with the bus back with the display: a log that
    // blocks holds up only the console.
    dspRelease();
    const char* status = "";
    if (gpibLogcPath != nullptr && gpibLogc(gpibLogcPath, c.cmd, value, resp) == 0)
        status = retCode[kResultCmdLog];
    scrAnswer(resp, status);
}

// The help listing, one line at a time, as it scrolls up from the bottom of
// the screen: a listing longer than the screen stops after each screenful
// until a line is typed.
struct HelpPager {
    char* line;
    int left; // lines still to come
    int page = std::max(1, std::min(scrRows(), kScreenRows) - 1);
    int room = page; // lines the current page still takes
    bool more = true;

    // Makes room for the next line, after a screenful waiting for a typed
    // line first; false once the input has ended.
    bool next() {
        if (more && room == 0 && left > 1) {
            scrListWait("\n-- more: ENTER --");
            more = cmdReadLine(line) != Input::End;
            scrListClear();
            room = page;
        }
        room--;
        left--;
        return more;
    }
    void put(const char* text, const char* help = nullptr) {
        if (next()) scrListLine(text, help);
    }
};

// The listing has the screen, not the bus: the passes go on, polled and
// logged, and the screen comes back with their current values. Returns false
// when the input ended while the help screen waited.
bool cmdHelp(char* line) {
    scrTake();
    // Two headings, three blank lines and the closing line, then the commands.
    int lines = 6 + static_cast<int>(std::size(Icmds)) + cfg().dict.count;
    HelpPager pg{line, lines};
    pg.put("++++++++++Dictonary Commands++++++++++");
    for (const DictCmd& c : cfg().dict) pg.put(c.name, c.hlp);
    pg.put("");
    pg.put("++++++++++Internal Commands++++++++++");
    for (const Icmd& c : Icmds) pg.put(c.name, c.help);
    pg.put("");
    pg.put("");
    pg.put("Press ENTER to resume.");
    scrListWait("");
    bool more = pg.more && cmdReadLine(line) != Input::End;
    scrGiveBack();
    return more;
}

void cmdQuit() {
    scrLeave();
}

} // namespace

void cmdGuardCommand(const DictCmd* cmd, const char* value) {
    Answer resp;
    cmdExchange(*cmd, value, resp);
    if (gpibLogcPath != nullptr) gpibLogc(gpibLogcPath, cmd->cmd, value, resp);
}

int cmdProc() {
    char line[kLineSize];
    char word[kLineSize];
    char value[kLineSize];
    for (;;) {
        scrPrompt();
        Input in = cmdReadLine(line);
        if (in == Input::End) {
            cmdQuit();
            return 0;
        }
        // The last answer goes as soon as the line is in.
        scrAnswer("");
        if (in == Input::TooLong) {
            scrAnswer("Line too long");
            continue;
        }
        strnl(line, kLineSize);
        cmdSplit(line, word, value);
        if (const DictCmd* c = cfgDictFind(word)) {
            cmdDictionary(*c, value);
            continue;
        }
        switch (cmdInternal(word)) {
        case kCmdCls:
            scrSetup();
            break;
        case kCmdHelp:
            if (!cmdHelp(line)) {
                cmdQuit();
                return 0;
            }
            break;
        case kCmdMark:
            dspMarkToggle(value);
            break;
        case kCmdQuit:
            cmdQuit();
            return 0;
        default:
            scrAnswer("Invalid command");
            break;
        }
    }
}
