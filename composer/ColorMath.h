#pragma once
// Colour arithmetic the engine shares with the visuals page: the same notation,
// HSL conversion, luminance and mixing as visuals/lib/color.js, so that what the
// engine predicts about a graph is what the page decides.

#include <QString>
#include <optional>

namespace composer {

struct Rgb {
    double r = 0, g = 0, b = 0;  // 0..1
    bool operator==(const Rgb&) const = default;
};

struct Hsl {
    double h = 0, s = 0, l = 0;  // h in degrees 0..360, s and l 0..1
};

double clamp01(double v);
Hsl toHsl(const Rgb& c);
Rgb fromHsl(double h, double s, double l);
// Relative luminance as the page computes it (linear weights on the sRGB values).
double luminance(const Rgb& c);
Rgb mix(const Rgb& a, const Rgb& b, double t);
// max - min of the channels: 0 for greys; a colour "has a hue" when this is not small.
double chroma(const Rgb& c);
// Shortest distance between two hues, in degrees (0..180).
double hueDistance(double a, double b);

// "#rgb", "#rrggbb", "rgb(r, g, b)" and "hsl(h, s%, l%)", as the page reads them.
std::optional<Rgb> parseColor(const QString& text);
// "#rrggbb", lower case, each channel rounded as the page rounds it.
QString toHex(const Rgb& c);

}  // namespace composer
