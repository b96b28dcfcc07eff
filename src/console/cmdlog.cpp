#include "console/cmdlog.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <sys/stat.h>

#include "util/csv.h"

const char* Logc_fp;

namespace {

const char* const header_fp = "Record,Date,Time,Command,Value,Response";
unsigned rec_num;

int logcHeader(FILE* fp) {
    struct stat st {};
    if (fstat(fileno(fp), &st) != 0) return 0;
    if (st.st_size >= static_cast<off_t>(strlen(header_fp))) return 1;
    return fputs(header_fp, fp) != EOF && fflush(fp) == 0 ? 1 : 0;
}

int logcRecord(FILE* fp, const char* cmd, const char* value, const char* resp) {
    time_t now = time(nullptr);
    tm t{};
    localtime_r(&now, &t);
    rec_num++;
    int n = fprintf(fp, "\n%u,%2.2d/%2.2d/%d,%2.2d:%2.2d:%2.2d,", rec_num, t.tm_mon + 1, t.tm_mday,
                    t.tm_year + 1900, t.tm_hour, t.tm_min, t.tm_sec);
    bool ok = n > 0 && csvCell(fp, cmd) && fputc(',', fp) != EOF && csvCell(fp, value) &&
              fputc(',', fp) != EOF && csvCell(fp, resp);
    // The record must be on disk before the console says the command ran.
    return ok && fflush(fp) == 0 ? 1 : 0;
}

} // namespace

int gpibLogc(const char* path, const char* cmd, const char* value, const char* resp) {
    FILE* fp = fopen(path, "a");
    if (fp == nullptr) return 0;
    int result = cmd == nullptr ? logcHeader(fp) : logcRecord(fp, cmd, value, resp);
    fclose(fp);
    return result;
}
