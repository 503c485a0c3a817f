#include "StepConversion.h"

#include <QLocale>

#include <cfenv>
#include <cmath>
#include <limits>

namespace {

QLocale userLocale() {
    QLocale locale;  // the user's locale, or the default a test has set
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale;
}

}  // namespace

std::optional<double> StepConversion::toNumber(const QString& text) {
    bool ok = false;
    const double value = QLocale().toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

QString StepConversion::toText(double value) {
    return userLocale().toString(value, 'g', 15);
}

bool StepConversion::isUsablePercent(const QString& text) {
    const std::optional<double> percent = toNumber(text);
    return percent && *percent > 0.0 && *percent <= 100.0;
}

// Rounded to the 15 significant digits that the step's text form keeps, so the steps and the
// percentage shown are those of the text.
double StepConversion::percentToFraction(const QString& percentText) {
    if (!isUsablePercent(percentText)) {
        return DefaultFraction;
    }
    return QString::number(*toNumber(percentText) / 100.0, 'g', 15).toDouble();
}

QString StepConversion::fractionToPercent(double fraction) {
    return toText(fraction * 100.0);
}

int32_t StepConversion::roundToLevel(double value) {
    if (std::isnan(value)) {
        return 0;
    }
    constexpr double lowest = std::numeric_limits<int32_t>::min();
    constexpr double highest = std::numeric_limits<int32_t>::max();
    if (value <= lowest) {
        return std::numeric_limits<int32_t>::min();
    }
    if (value >= highest) {
        return std::numeric_limits<int32_t>::max();
    }
    // The default rounding mode rounds halves to the even neighbour.
    const int savedMode = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double rounded = std::nearbyint(value);
    std::fesetround(savedMode);
    return static_cast<int32_t>(rounded);
}
