#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <string>

#include "config/loader.h"
#include "config/records.h"
#include "support/stores.h"
#include "support/tempdir.h"

namespace {

TEST(GetCfgVar, OnlyTheFirstColonSeparates) {
    const char* line = "dsp:1;5:x;a:b:c;;";
    EXPECT_STREQ(getCfgVar(line, 1), "1");
    EXPECT_STREQ(getCfgVar(line, 2), "5:x");
    EXPECT_STREQ(getCfgVar(line, 3), "a:b:c");
    EXPECT_STREQ(getCfgVar(line, 4), "");
    // Semicolons before the colon do not count.
    EXPECT_STREQ(getCfgVar("a;b:c;d", 1), "c");
    EXPECT_STREQ(getCfgVar("no colon;here", 1), "");
}

TEST(GetCfgVar, BackslashSemicolonIsPartOfTheValue) {
    const char* line = "init:1;5;A\\;B;next";
    EXPECT_STREQ(getCfgVar(line, 3), "A;B");
    EXPECT_STREQ(getCfgVar(line, 4), "next");
    // A backslash before anything else stays.
    EXPECT_STREQ(getCfgVar("k:a\\b\\;;z", 1), "a\\b;");
    EXPECT_STREQ(getCfgVar("k:a\\b\\;;z", 2), "z");
}

TEST(GetCfgVar, ValuesAreCutAt63AndKeptVerbatim) {
    std::string longField(80, 'x');
    std::string line = "cfg:1;" + longField + ";tail";
    EXPECT_EQ(std::string(getCfgVar(line.c_str(), 2)), std::string(63, 'x'));
    EXPECT_STREQ(getCfgVar(line.c_str(), 3), "tail");
    EXPECT_STREQ(getCfgVar("cfg: 1 ;VOLT ", 1), " 1 ");
    EXPECT_STREQ(getCfgVar("cfg: 1 ;VOLT ", 2), "VOLT ");
}

TEST(GetCfgVar, MissingFieldIsEmpty) {
    std::string line = "dsp:1;" + std::string(70, 'y');
    getCfgVar(line.c_str(), 2);
    EXPECT_STREQ(getCfgVar(line.c_str(), 9), "");
    EXPECT_STREQ(getCfgVar("", 1), "");
}

class LoadCfg : public ::testing::Test {
  protected:
    void SetUp() override { resetStores(); }
    void TearDown() override { resetStores(); }

    // Loads text as a configuration file given with -c.
    int load(const std::string& text) { return loadCfg(dir.write("t.conf", text).c_str(), 1); }

    static GpibRec* at(int head, int pos) {
        GpibRec* r = Index[head];
        for (int i = 1; i < pos && r != nullptr; i++) r = r->next;
        return r;
    }

    TempDir dir;
};

TEST_F(LoadCfg, EveryKeywordAndField) {
    ASSERT_EQ(load("# comment\n"
                   "\n"
                   "init:1;5;*RST;\n"
                   "init:2;6;*IDN?;SIM,1;77\n"
                   "init:1;7;$delay$;ignored;250\n"
                   "read:2;-3;++read eoi;999\n"
                   "addr:1;4;++addr\n"
                   "cfg:1;5;vset;VOLT ;1;0;Set volts; more\n"
                   "dsp:2;22;V: ;MEAS?;5;1;+;1;2;3;info text\n"
                   "dsp:1;0;sum;$calc$;4;0;+;1;c2.5;3\n"
                   "off:2;9;OUTP OFF\n"
                   "other:1;1;x\n"
                   " dsp:1;1;indented;X;1;0\n"),
              0);
    EXPECT_EQ(cfgRecords(), 7);

    GpibRec* i1 = at(kInitHead, 1);
    EXPECT_EQ(i1->type, kTypeInit);
    EXPECT_STREQ(i1->cmd, "*RST");
    GpibRec* i2 = at(kInitHead, 2);
    EXPECT_EQ(i2->dev, 1U);
    EXPECT_EQ(i2->adr, 6);
    EXPECT_STREQ(i2->label, "SIM,1");
    EXPECT_EQ(i2->num, 0); // the delay field only counts for "$delay$"
    GpibRec* i3 = at(kInitHead, 3);
    EXPECT_STREQ(i3->cmd, "$delay$");
    EXPECT_STREQ(i3->label, "");
    EXPECT_EQ(i3->num, 250);
    EXPECT_EQ(Index[kInitTail], i3);
    EXPECT_EQ(i3->prev, i2);
    EXPECT_EQ(i1->next, i2);

    EXPECT_EQ(Read_gpib[1].type, kTypeRead);
    EXPECT_EQ(Read_gpib[1].adr, -3);
    EXPECT_STREQ(Read_gpib[1].cmd, "++read eoi");
    EXPECT_EQ(Read_gpib[1].num, 999);
    EXPECT_EQ(Addr_gpib[0].type, kTypeAddr);
    EXPECT_EQ(Addr_gpib[0].adr, 4);
    EXPECT_STREQ(Addr_gpib[0].cmd, "++addr");

    GpibRec* c = Index[kCfgHead];
    EXPECT_EQ(c->type, kTypeCfg);
    EXPECT_STREQ(c->label, "vset");
    EXPECT_STREQ(c->cmd, "VOLT "); // the space stays, the value follows it
    EXPECT_EQ(c->num, 1);
    EXPECT_EQ(c->flag, 0U);
    EXPECT_STREQ(c->text, "Set volts");

    GpibRec* d1 = at(kDspHead, 1);
    EXPECT_EQ(d1->type, kTypeDsp);
    EXPECT_EQ(d1->dev, 1U);
    EXPECT_EQ(d1->adr, 22);
    EXPECT_STREQ(d1->label, "V: ");
    EXPECT_STREQ(d1->cmd, "MEAS?");
    EXPECT_EQ(d1->num, 5);
    EXPECT_EQ(d1->flag, 1U);
    EXPECT_STREQ(d1->text, "info text");
    // Calculation fields are read only for "$calc$".
    EXPECT_EQ(d1->op, 0);
    EXPECT_EQ(d1->f1, 0U);
    EXPECT_EQ(d1->precision, 0U);

    GpibRec* d2 = at(kDspHead, 2);
    EXPECT_EQ(d2->num, 4);
    EXPECT_EQ(d2->op, 1);
    EXPECT_EQ(d2->f1, 1U);
    EXPECT_EQ(d2->f2, 0U);
    EXPECT_FLOAT_EQ(d2->f2const, 2.5F);
    EXPECT_EQ(d2->precision, 3U);
    EXPECT_STREQ(d2->text, "");
    EXPECT_EQ(d2->next, nullptr);

    GpibRec* o = Index[kOffHead];
    EXPECT_EQ(o->type, kTypeOff);
    EXPECT_EQ(o->dev, 1U);
    EXPECT_EQ(o->adr, 9);
    EXPECT_STREQ(o->cmd, "OUTP OFF");
}

TEST_F(LoadCfg, KeywordsAndMarkersIgnoreCase) {
    ASSERT_EQ(load("INIT:1;1;$DeLaY$;;20\n"
                   "Read:1;0;RD;15\n"
                   "ADDR:1;0;AD\n"
                   "CfG:1;1;n;c\n"
                   "DSP:1;1;a;$CALC$;1;0;*;C-1;2;0\n"
                   "dsp:1;1;b;x$calc$;1;0;*;c1;2;0\n"
                   "oFF:1;1;o\n"),
              0);
    EXPECT_EQ(Index[kInitHead]->num, 20);
    EXPECT_EQ(Read_gpib[0].num, 15);
    EXPECT_STREQ(Addr_gpib[0].cmd, "AD");
    EXPECT_STREQ(Index[kCfgHead]->label, "n");
    EXPECT_EQ(Index[kDspHead]->op, 3);
    EXPECT_FLOAT_EQ(Index[kDspHead]->f1const, -1.0F);
    EXPECT_EQ(Index[kDspHead]->f2, 2U);
    // The marker counts only as a prefix.
    EXPECT_EQ(Index[kDspTail]->op, 0);
    EXPECT_STREQ(Index[kOffHead]->cmd, "o");
}

TEST_F(LoadCfg, WaitsAbove999MeanNone) {
    ASSERT_EQ(load("init:1;1;$delay$;;999\n"
                   "init:1;1;$delay$;;1000\n"
                   "init:1;1;$delay$;;\n"
                   "init:1;1;$delay$;; 42ms\n"
                   "read:1;0;R;1000\n"
                   "read:2;0;R;999\n"),
              0);
    EXPECT_EQ(at(kInitHead, 1)->num, 999);
    EXPECT_EQ(at(kInitHead, 2)->num, 0);
    EXPECT_EQ(at(kInitHead, 3)->num, 0);
    EXPECT_EQ(at(kInitHead, 4)->num, 42);
    EXPECT_EQ(Read_gpib[0].num, 0);
    EXPECT_EQ(Read_gpib[1].num, 999);
}

TEST_F(LoadCfg, NegativeWaitsAreRefused) {
    EXPECT_EQ(load("init:1;1;A\ninit:1;1;$delay$;;-5\ninit:1;1;B\n"), 3);
    EXPECT_EQ(cfgRecords(), 1); // records before the bad line stay
    EXPECT_EQ(load("read:1;0;R;-1\n"), 3);
    // A plain init command never reads the delay field.
    EXPECT_EQ(load("init:1;1;CMD;resp;-5\n"), 0);
}

TEST_F(LoadCfg, ControllerMustBeOneOrTwo) {
    for (const char* bad : {"0", "3", "x", "", "-1"}) {
        for (const char* kw : {"init", "read", "addr", "cfg", "dsp", "off"}) {
            std::string line = std::string(kw) + ":" + bad + ";5;CMD;1\n";
            EXPECT_EQ(load("off:1;1;first\n" + line + "off:1;1;after\n"), 3) << line;
            EXPECT_EQ(cfgRecords(), 1) << line;
        }
    }
    // Only the low 32 bits of the number count: 2^32 + 1 is controller 1.
    ASSERT_EQ(load("off:4294967297;1;o\nread:4294967298;0;R;5\n"), 0);
    EXPECT_EQ(Index[kOffHead]->dev, 0U);
    EXPECT_STREQ(Read_gpib[1].cmd, "R");
}

TEST_F(LoadCfg, LaterReadAndAddrLinesReplaceEarlierOnes) {
    ASSERT_EQ(load("read:1;1;A;5\naddr:2;1;X\nread:1;2;B;6\naddr:2;3;Y\n"), 0);
    EXPECT_EQ(Read_gpib[0].adr, 2);
    EXPECT_STREQ(Read_gpib[0].cmd, "B");
    EXPECT_EQ(Read_gpib[0].num, 6);
    EXPECT_EQ(Addr_gpib[1].adr, 3);
    EXPECT_STREQ(Addr_gpib[1].cmd, "Y");
}

TEST_F(LoadCfg, TextFieldsAreTruncated) {
    std::string l40(40, 'L');
    std::string h70(70, 'H');
    ASSERT_EQ(load("cfg:1;1;" + l40 + ";" + l40 + ";0;0;" + h70 + "\n"), 0);
    EXPECT_EQ(std::string(Index[kCfgHead]->label), std::string(31, 'L'));
    EXPECT_EQ(std::string(Index[kCfgHead]->cmd), std::string(31, 'L'));
    EXPECT_EQ(std::string(Index[kCfgHead]->text), std::string(63, 'H'));
}

TEST_F(LoadCfg, StoreStopsAt500Records) {
    std::string text;
    for (int i = 1; i <= kMaxRecords; i++) text += "off:1;" + std::to_string(i) + ";o\n";
    // Never read: loading stops before the line after the 500th record.
    text += "read:1;0;LATE;5\noff:9;1;bad\n";
    ASSERT_EQ(load(text), 0);
    EXPECT_EQ(cfgRecords(), kMaxRecords);
    EXPECT_EQ(cfgCount(kOffHead), kMaxRecords);
    EXPECT_EQ(Index[kOffTail]->adr, kMaxRecords);
    EXPECT_STREQ(Read_gpib[0].cmd, "");
}

TEST_F(LoadCfg, LongLineContinuesAsNextLine) {
    // 255 bytes fill the line buffer; what follows is read as a line of its own.
    std::string head = "#" + std::string(254, '-');
    ASSERT_EQ(load(head + "off:2;7;TAIL\n" + "off:1;8;NEXT\n"), 0);
    ASSERT_EQ(cfgRecords(), 2);
    EXPECT_EQ(Index[kOffHead]->adr, 7);
    EXPECT_STREQ(Index[kOffHead]->cmd, "TAIL");
    // One byte less before it and the split falls inside the keyword.
    ASSERT_EQ(load(head.substr(1) + "off:2;7;TAIL\n"), 0);
    EXPECT_EQ(cfgRecords(), 0);
}

TEST_F(LoadCfg, CalcOperandsAndOperators) {
    ASSERT_EQ(load("dsp:1;0;a;$calc$;0;0;-;c2.5;2.5;-1\n"
                   "dsp:1;0;b;$calc$;0;0;/;C-1;x;2\n"
                   "dsp:1;0;c;$calc$;0;0;%;1;2;2\n"
                   "dsp:1;0;d;$calc$;0;0;;1;2;2\n"
                   "dsp:1;0;e;$calc$;0;0;*+;c;c1e3;2\n"),
              0);
    GpibRec* a = at(kDspHead, 1);
    EXPECT_EQ(a->op, 2);
    EXPECT_EQ(a->f1, 0U);
    EXPECT_FLOAT_EQ(a->f1const, 2.5F);
    EXPECT_EQ(a->f2, 2U); // no 'c': a position, read as an integer
    EXPECT_FLOAT_EQ(a->f2const, 0.0F);
    EXPECT_EQ(a->precision, 4294967295U);
    GpibRec* b = at(kDspHead, 2);
    EXPECT_EQ(b->op, 4);
    EXPECT_FLOAT_EQ(b->f1const, -1.0F);
    EXPECT_EQ(b->f2, 0U);
    EXPECT_EQ(at(kDspHead, 3)->op, 0);
    EXPECT_EQ(at(kDspHead, 4)->op, 0);
    GpibRec* e = at(kDspHead, 5);
    EXPECT_EQ(e->op, 3);
    EXPECT_FLOAT_EQ(e->f1const, 0.0F);
    EXPECT_FLOAT_EQ(e->f2const, 1000.0F);
}

TEST_F(LoadCfg, NumbersFollowStrtol) {
    ASSERT_EQ(load("cfg:1; -12abc;n;c; 7x;+3\n"), 0);
    EXPECT_EQ(Index[kCfgHead]->adr, -12);
    EXPECT_EQ(Index[kCfgHead]->num, 7);
    EXPECT_EQ(Index[kCfgHead]->flag, 3U);
}

TEST_F(LoadCfg, SuffixAndPathRules) {
    dir.write("bench.conf", "off:1;1;suffixed\n");
    dir.write("plain", "off:1;1;plain\n");
    ASSERT_EQ(loadCfg(dir.file("bench").c_str(), 0), 0);
    EXPECT_STREQ(Index[kOffHead]->cmd, "suffixed");
    EXPECT_EQ(loadCfg(dir.file("bench").c_str(), 1), 3);
    ASSERT_EQ(loadCfg(dir.file("plain").c_str(), 1), 0);
    EXPECT_STREQ(Index[kOffHead]->cmd, "plain");
    EXPECT_EQ(loadCfg(dir.file("plain").c_str(), 0), 3);
    EXPECT_EQ(loadCfg(dir.file("missing").c_str(), 1), 3);
    EXPECT_EQ(loadCfg(dir.path().c_str(), 1), 3); // a directory
    EXPECT_EQ(loadCfg("", 1), 3);
}

TEST_F(LoadCfg, PathWithSuffixMustFit255) {
    std::string base = dir.path() + "/";
    std::string fits = base + std::string(250 - base.size(), 'f');
    std::string over = base + std::string(251 - base.size(), 'o');
    dir.write(fits.substr(base.size()) + ".conf", "off:1;1;o\n");
    dir.write(over.substr(base.size()) + ".conf", "off:1;1;o\n");
    EXPECT_EQ(loadCfg(fits.c_str(), 0), 0);
    EXPECT_EQ(loadCfg(over.c_str(), 0), 3);
}

} // namespace

namespace {

TEST_F(LoadCfg, HostileFilesLoadOrAreRefusedCleanly) {
    EXPECT_EQ(load(""), 0);
    EXPECT_EQ(cfgRecords(), 0);

    std::string many;
    for (int i = 0; i < 10000; i++) many += "dsp:1;22;V;MEAS:VOLT?;5;0\n";
    EXPECT_EQ(load(many), 0);
    EXPECT_EQ(cfgRecords(), 500);

    // A 100 KB line is read 255 bytes at a time; only its first piece starts
    // with a keyword.
    EXPECT_EQ(load("off:1;1;" + std::string(100000, 'x') + "\n"), 0);
    EXPECT_EQ(cfgRecords(), 1);
    EXPECT_EQ(strlen(Index[kOffHead]->cmd), 31U);

    std::string garbage;
    unsigned v = 12345;
    for (int i = 0; i < 65536; i++) {
        v = v * 1103515245U + 12345U;
        garbage += static_cast<char>(v >> 16);
    }
    garbage += "\ninit:1;1;\x01\x02\x03\ndsp:2;0;\xff;$calc$;1;0;/;c;c;999999\n";
    int r = load(garbage);
    EXPECT_TRUE(r == 0 || r == 3);
    EXPECT_LE(cfgRecords(), 500);

    // Opens, but every read fails.
    EXPECT_EQ(loadCfg("/proc/self/mem", 1), 3);
}

} // namespace
