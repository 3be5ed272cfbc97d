#pragma once
// A cover image from its data URL: how bright, how colourful and how contrasty it
// is, and (for a request without a palette) its main colours.

#include <QString>
#include <optional>
#include <vector>

#include "ColorMath.h"

namespace composer {

struct CoverStats {
    double brightness = 0;  // mean luma, 0..1
    double saturation = 0;  // mean HSV saturation, 0..1
    double contrast = 0;    // standard deviation of luma, 0..0.5
    std::vector<Rgb> colors;  // up to four main colours, most common first
};

// Decodes "data:image/…;base64,…". Nothing for text that is not such a URL, for
// bytes no image reader accepts, and for images larger than 40 megapixels.
std::optional<CoverStats> readCover(const QString& dataUrl);

}  // namespace composer
