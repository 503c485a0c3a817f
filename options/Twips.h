#pragma once
// The dialogs are laid out in twips (1/1440 inch). At 96 dots per inch a pixel is 15 twips, so a
// twip position becomes logical pixels, which Qt scales with the screen's device pixel ratio.

#include <QRect>
#include <QSize>

namespace twips {

constexpr int kPerPixel = 15;

constexpr int toPixels(int value) {
    return value / kPerPixel;
}

inline QRect rect(int left, int top, int width, int height) {
    return QRect(toPixels(left), toPixels(top), toPixels(width), toPixels(height));
}

inline QSize size(int width, int height) {
    return QSize(toPixels(width), toPixels(height));
}

}  // namespace twips
