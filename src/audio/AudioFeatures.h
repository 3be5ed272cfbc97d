#pragma once
// One analysis window's features, as fed to the visuals page 30 times a second.
// All zeros means there was no audio window.

struct AudioFeatures {
    float bass = 0.0f;
    float mid = 0.0f;
    float treble = 0.0f;
    float level = 0.0f;
    float beat = 0.0f;
    float centroid = 0.0f;
    float flux = 0.0f;
    float energy = 0.0f;
    bool operator==(const AudioFeatures&) const = default;
};
