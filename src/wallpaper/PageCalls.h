#pragma once
// Every script text the app sends to the visuals page, built in one place.
// The page functions are globals of the page; calls 1-11 first test that their
// function exists, so they do nothing while the page loads or lacks it.

#include <QString>
#include <QVariantMap>

#include "audio/AudioFeatures.h"

namespace PageCalls {

// Call-with-arguments bodies and their arguments.
QString feedBody();                                 // arguments from feedArguments
QVariantMap feedArguments(const AudioFeatures& f);  // b m t l beat cen flux en, as doubles
QString lyricBody();                                // argument "line"
QString paletteBody();                              // argument "u", the image data URL

// Evaluated expressions.
QString setBPM(double bpm);  // negatives and NaN become 0.0
QString setPaused(bool paused);
QString lyricMode(const QString& mode);  // anything but visuals/overlay/off becomes overlay
QString setFx(const QString& json);
QString setLook(double reactivity, double speed, double exposure, double grain);
QString setQuality(double scale, int fps);
QString currentTheme();
QString stepTheme(int step);
QString sceneDescription();
QString lastGraph();
QString applyGraph(const QString& graphJson);

}  // namespace PageCalls
