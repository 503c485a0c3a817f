// The step's conversions at the edges (stored percent text in, the dialog's percent text out)
// in the user's locale, and the rounding of levels.

#include "StepConversion.h"

#include <gtest/gtest.h>

#include <QLocale>

#include <cmath>
#include <limits>

namespace {

using S = StepConversion;

TEST(StepConversionTest, PercentInAndOutInTheUsersLocale) {
    QLocale::setDefault(QLocale::c());
    EXPECT_EQ(S::percentToFraction("12.5"), 0.125);
    EXPECT_EQ(S::percentToFraction("100"), 1.0);
    // The product 7.000000000000001 has 16 significant digits; 15 are shown.
    EXPECT_EQ(S::fractionToPercent(S::percentToFraction("7")), "7");
    // Held to 15 significant digits, as the step's text form keeps it.
    EXPECT_EQ(S::percentToFraction("33.33333333333333333"), 0.333333333333333);
    EXPECT_EQ(S::toText(1234567.5), "1234567.5");  // never grouped

    QLocale::setDefault(QLocale(QStringLiteral("de_DE")));
    EXPECT_EQ(S::percentToFraction("12,5"), 0.125);
    EXPECT_EQ(S::fractionToPercent(0.125), "12,5");
    EXPECT_EQ(S::percentToFraction("12.5.1"), 0.1);  // not a step: the default
    QLocale::setDefault(QLocale::c());
}

TEST(StepConversionTest, TextThatCannotServeAsStepGivesTheDefaultAndLevelsRoundHalfToEven) {
    for (const char* bad : {"", "abc", "0", "-5", "1e400", "100.5", "inf", "nan", "10%"}) {
        EXPECT_EQ(S::percentToFraction(bad), 0.1) << bad;
    }
    EXPECT_EQ(S::fractionToPercent(S::DefaultFraction), "10");
    const std::pair<double, int32_t> cases[] = {
        {0.5, 0}, {1.5, 2}, {-1.5, -2}, {1e300, std::numeric_limits<int32_t>::max()}, {NAN, 0}};
    for (const auto& [value, level] : cases) {
        EXPECT_EQ(S::roundToLevel(value), level) << value;
    }
}

}  // namespace
