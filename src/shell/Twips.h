// The window's design units. Positions and sizes of the design are in twips; the screen
// works in logical pixels at 15 twips per pixel. Every conversion goes through here.
#pragma once

#include <QRect>
#include <cmath>

namespace rostrel {

inline constexpr int kTwipsPerPixel = 15;

// Twips to pixels, rounded to the nearest pixel.
inline int px(double twips) {
    return static_cast<int>(std::lround(twips / kTwipsPerPixel));
}

// Pixels to twips.
inline float twips(int pixels) {
    return static_cast<float>(pixels) * kTwipsPerPixel;
}

// A rectangle given in twips (left, top, width, height), in pixels.
inline QRect pxRect(double left, double top, double width, double height) {
    return {px(left), px(top), px(width), px(height)};
}

} // namespace rostrel
