// The step's text conversions in the user's locale and the rounding of levels.

#include "StepConversion.h"

#include <gtest/gtest.h>

#include <QLocale>

#include <cmath>
#include <limits>

namespace {

class StepConversionTest : public ::testing::Test {
protected:
    void SetUp() override { QLocale::setDefault(QLocale::c()); }
    void TearDown() override { QLocale::setDefault(QLocale::c()); }
};

TEST_F(StepConversionTest, PercentBecomesFractionAndBack) {
    EXPECT_EQ(StepConversion::percentToFraction("10"), "0.1");
    EXPECT_EQ(StepConversion::percentToFraction("5"), "0.05");
    EXPECT_EQ(StepConversion::percentToFraction("12.5"), "0.125");
    EXPECT_EQ(StepConversion::percentToFraction("1"), "0.01");
    EXPECT_EQ(StepConversion::percentToFraction("100"), "1");
    // The product 7.000000000000001 has 16 significant digits; 15 are shown.
    EXPECT_EQ(StepConversion::fractionToPercent("0.07"), "7");
    EXPECT_EQ(StepConversion::fractionToPercent("0.1"), "10");
    EXPECT_EQ(StepConversion::toText(1234567.5), "1234567.5");  // never grouped
}

TEST_F(StepConversionTest, CommaLocaleReadsAndShowsCommas) {
    QLocale::setDefault(QLocale(QStringLiteral("de_DE")));
    EXPECT_EQ(StepConversion::percentToFraction("12,5"), "0,125");
    EXPECT_EQ(StepConversion::fractionToPercent("0,125"), "12,5");
    EXPECT_EQ(StepConversion::toText(1234567.5), "1234567,5");
    // Not a step here, so the default, in this locale's form.
    EXPECT_EQ(StepConversion::percentToFraction("12.5.1"), "0,1");
}

TEST_F(StepConversionTest, StoredTextThatCannotServeAsStepGivesDefault) {
    for (const char* bad : {"", "abc", "0", "-5", "1e400", "100.5", "inf", "nan", "10%"}) {
        EXPECT_FALSE(StepConversion::isUsablePercent(bad)) << bad;
        EXPECT_EQ(StepConversion::percentToFraction(bad), "0.1") << bad;
    }
    EXPECT_TRUE(StepConversion::isUsablePercent("100"));
    EXPECT_TRUE(StepConversion::isUsablePercent("0.001"));
    // A fraction that holds no number is the default step, for the clicks and the dialog.
    EXPECT_DOUBLE_EQ(StepConversion::fraction("abc"), 0.1);
    EXPECT_EQ(StepConversion::fractionToPercent(""), "10");
}

TEST_F(StepConversionTest, RoundsHalvesToEvenAndSaturates) {
    EXPECT_EQ(StepConversion::roundToLevel(0.5), 0);
    EXPECT_EQ(StepConversion::roundToLevel(1.5), 2);
    EXPECT_EQ(StepConversion::roundToLevel(2.5), 2);
    EXPECT_EQ(StepConversion::roundToLevel(-0.5), 0);
    EXPECT_EQ(StepConversion::roundToLevel(-1.5), -2);
    EXPECT_EQ(StepConversion::roundToLevel(279.5), 280);
    constexpr int32_t top = std::numeric_limits<int32_t>::max();
    constexpr int32_t bottom = std::numeric_limits<int32_t>::min();
    EXPECT_EQ(StepConversion::roundToLevel(2147483646.5), 2147483646);
    EXPECT_EQ(StepConversion::roundToLevel(2147483647.5), top);
    EXPECT_EQ(StepConversion::roundToLevel(1e300), top);
    EXPECT_EQ(StepConversion::roundToLevel(-1e300), bottom);
    EXPECT_EQ(StepConversion::roundToLevel(NAN), 0);
}

}  // namespace
