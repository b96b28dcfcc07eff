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

GpibRec* cmdLookup(const char* word) {
    for (GpibRec* r = Index[kCfgHead]; r != nullptr; r = r->next)
        if (strcasecmp(r->label, word) == 0) return r;
    return nullptr;
}

int cmdInternal(const char* word) {
    for (int i = 0; i < 4; i++)
        if (strcasecmp(Icmds[i].name, word) == 0) return i;
    return kCmdNone;
}
