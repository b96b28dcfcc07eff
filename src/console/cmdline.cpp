#include "console/cmdline.h"

#include <bsd/string.h>
#include <strings.h>

#include "util/strutil.h"

const Icmd Icmds[4] = {
    {"cls", "Redraw screen"},
    {"help", "Display command help"},
    {"mark", "Toggle mark log file on/off"},
    {"quit", "Quit program"},
};

void cmdSplit(const char* line, char* word, char* value) {
    strlcpy(word, line, kLineSize);
    strlrtrim(word, kLineSize);
    strlcpy(value, line, kLineSize);
    strlnshift(value, kLineSize);
}

int cmdInternal(const char* word) {
    for (int i = 0; i < 4; i++)
        if (strcasecmp(Icmds[i].name, word) == 0) return i;
    return kCmdNone;
}
