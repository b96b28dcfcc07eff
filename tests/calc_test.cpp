#include <bsd/string.h>
#include <cstring>
#include <gtest/gtest.h>
#include <string>

#include "display/calc.h"
#include "support/stores.h"

namespace {

class Calc : public ::testing::Test {
  protected:
    void SetUp() override { resetStores(); }
    void TearDown() override { resetStores(); }

    // A display reading that currently shows resp.
    static GpibRec* reading(const char* resp, int row = 1) {
        GpibRec* r = addRecord(kDspHead, 0, 1, "READ?");
        r->num = row;
        strlcpy(r->resp, resp, sizeof r->resp);
        return r;
    }

    static GpibRec* calc(char op, uint32_t f1, uint32_t f2, uint32_t precision, float c1 = 0.0F,
                         float c2 = 0.0F) {
        GpibRec* r = addRecord(kDspHead, 0, 0, "$calc$");
        r->op = static_cast<int32_t>(strchr(kAryMath, op) - kAryMath);
        r->f1 = f1;
        r->f2 = f2;
        r->f1const = c1;
        r->f2const = c2;
        r->precision = precision;
        return r;
    }

    // Result of constant + 0 at the given precision.
    static std::string show(float v, uint32_t precision) {
        resetStores();
        GpibRec* r = calc('+', 0, 0, precision, v, 0.0F);
        gpibCalc(r);
        return r->resp;
    }
};

TEST_F(Calc, FormatsAtLeastSixCharactersZeroPadded) {
    EXPECT_EQ(show(3.14159F, 2), "003.14");
    EXPECT_EQ(show(-2.5F, 1), "-002.5");
    EXPECT_EQ(show(3.75F, 3), "03.750");
    EXPECT_EQ(show(987.654F, 1), "0987.7");
    EXPECT_EQ(show(123.456F, 3), "123.456");
    EXPECT_EQ(show(7.25F, 0), "000007");
}

TEST_F(Calc, ExactTiesGoToEven) {
    EXPECT_EQ(show(6.5F, 0), "000006");
    EXPECT_EQ(show(7.5F, 0), "000008");
}

TEST_F(Calc, ComputesInSinglePrecision) {
    reading("1.1");
    GpibRec* r = calc('+', 1, 0, 8);
    gpibCalc(r);
    EXPECT_STREQ(r->resp, "1.10000002");

    resetStores();
    reading("16777217");
    r = calc('+', 1, 0, 2);
    gpibCalc(r);
    EXPECT_STREQ(r->resp, "16777216.00");
}

TEST_F(Calc, AllFourOperators) {
    reading("7");
    reading("2");
    GpibRec* add = calc('+', 1, 2, 1);
    GpibRec* sub = calc('-', 1, 2, 1);
    GpibRec* mul = calc('*', 1, 2, 1);
    GpibRec* div = calc('/', 1, 2, 1);
    for (GpibRec* r : {add, sub, mul, div}) gpibCalc(r);
    EXPECT_STREQ(add->resp, "0009.0");
    EXPECT_STREQ(sub->resp, "0005.0");
    EXPECT_STREQ(mul->resp, "0014.0");
    EXPECT_STREQ(div->resp, "0003.5");
}

TEST_F(Calc, DivisionByZeroIsSpacePadded) {
    GpibRec* r = calc('/', 0, 0, 2, 1.0F, 0.0F);
    gpibCalc(r);
    EXPECT_STREQ(r->resp, "   inf");
    r->f1const = -3.0F;
    gpibCalc(r);
    EXPECT_STREQ(r->resp, "  -inf");
    r->f1const = 0.0F;
    gpibCalc(r);
    std::string nan = r->resp;
    EXPECT_TRUE(nan == "   nan" || nan == "  -nan") << nan;
}

TEST_F(Calc, PrecisionLimits) {
    // Stored unsigned; above INT_MAX it reaches the formatter negative.
    EXPECT_EQ(show(2.5F, 4294967295U), "2.500000");
    std::string wide = show(1.0F, 200);
    EXPECT_EQ(wide.size(), 63U);
    EXPECT_EQ(wide, "1." + std::string(61, '0'));
    // The largest count shows the same text without formatting gigabytes;
    // a tiny value's digits run far past the point and are cut, not rounded.
    EXPECT_EQ(show(1.0F, 2147483647U), wide);
    EXPECT_EQ(show(1e-30F, 2147483647U), show(1e-30F, 4000));
}

TEST_F(Calc, PositionsCountEveryDisplayRecord) {
    reading("10", 0); // hidden, still position 1
    reading("3");
    GpibRec* r = calc('-', 1, 2, 0);
    gpibCalc(r);
    EXPECT_STREQ(r->resp, "000007");
}

TEST_F(Calc, SelfReferenceTakesThePreviousValue) {
    reading("1");
    GpibRec* r = calc('+', 2, 1, 0);
    gpibCalc(r); // first pass: own response still empty
    EXPECT_STREQ(r->resp, "000001");
    gpibCalc(r);
    EXPECT_STREQ(r->resp, "000002");
    gpibCalc(r);
    EXPECT_STREQ(r->resp, "000003");
}

TEST_F(Calc, SamePositionTwiceFeedsOnlyTheFirstOperand) {
    reading("4");
    GpibRec* mul = calc('*', 1, 1, 0);
    GpibRec* add = calc('+', 1, 1, 0);
    gpibCalc(mul);
    gpibCalc(add);
    EXPECT_STREQ(mul->resp, "000000");
    EXPECT_STREQ(add->resp, "000004");
}

TEST_F(Calc, FailedReadingsFailTheResultOthersCountAsZero) {
    reading("ERR");
    reading("");
    reading("  -1.5e1xyz");
    GpibRec* err = calc('+', 1, 0, 1, 0.0F, 1.0F);
    GpibRec* err2 = calc('+', 3, 1, 1);
    GpibRec* empty = calc('+', 0, 2, 1, 2.0F);
    GpibRec* beyond = calc('+', 9, 0, 1, 0.0F, 4.0F);
    GpibRec* partial = calc('*', 3, 0, 1, 0.0F, 2.0F);
    for (GpibRec* r : {err, err2, empty, beyond, partial}) gpibCalc(r);
    EXPECT_STREQ(err->resp, "ERR");
    EXPECT_STREQ(err2->resp, "ERR");
    EXPECT_STREQ(empty->resp, "0002.0");
    EXPECT_STREQ(beyond->resp, "0004.0");
    EXPECT_STREQ(partial->resp, "-030.0");
}

} // namespace
