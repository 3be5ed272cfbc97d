#pragma once
// The visuals page's nine post-processing effects, in their fixed order. Each
// effect's amount is stored in the settings under "fx." + its name.

#include <QString>
#include <array>

inline constexpr std::array<const char*, 9> kEffectNames{
    "bloom", "grayscale", "pixelate", "dots", "scanlines", "ascii", "hue", "chroma", "radialBlur"};

inline QString effectSettingsKey(const char* name)
{
    return QStringLiteral("fx.") + QLatin1String(name);
}
