#pragma once
// Number and text conversions of the volume step. The store and the options dialog hold the step
// as percent text in the user's locale (its decimal separator, no digit grouping, at most 15
// significant digits); inside, the program holds it once converted, as a fraction. A double
// becomes a mixer level by rounding halves to the even neighbour.

#include <QString>

#include <cstdint>
#include <optional>

class StepConversion {
public:
    // The default step as a fraction of the master range (10 per cent).
    static constexpr double DefaultFraction = 0.1;

    // The number the text holds in the user's locale, or nothing when it holds no finite number.
    static std::optional<double> toNumber(const QString& text);

    // The general decimal form in the user's locale: at most 15 significant digits, no trailing
    // zeros, no digit grouping (0.125 is "0,125" in a German locale).
    static QString toText(double value);

    // A stored percentage that can serve as a step: a finite number above 0 and at most 100.
    static bool isUsablePercent(const QString& text);

    // The stored percentage as the fraction the clicks step by, to 15 significant digits; a
    // percentage that cannot serve as a step gives the default step instead.
    static double percentToFraction(const QString& percentText);

    // The fraction as the percentage the options dialog shows (0.07 shows as 7).
    static QString fractionToPercent(double fraction);

    // Rounds to the nearest integer with halves to the even neighbour; values beyond the 32-bit
    // range saturate at its ends, and NaN gives 0.
    static int32_t roundToLevel(double value);
};
