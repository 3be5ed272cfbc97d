#include "wallpaper/PageCalls.h"

#include "text/JsonText.h"

namespace PageCalls {

QString feedBody()
{
    return QStringLiteral("window.vesmerFeed && vesmerFeed(b, m, t, l, beat, cen, flux, en)");
}

QVariantMap feedArguments(const AudioFeatures& f)
{
    return {
        {QStringLiteral("b"), double(f.bass)},
        {QStringLiteral("m"), double(f.mid)},
        {QStringLiteral("t"), double(f.treble)},
        {QStringLiteral("l"), double(f.level)},
        {QStringLiteral("beat"), double(f.beat)},
        {QStringLiteral("cen"), double(f.centroid)},
        {QStringLiteral("flux"), double(f.flux)},
        {QStringLiteral("en"), double(f.energy)},
    };
}

QString lyricBody()
{
    return QStringLiteral("window.vesmerLyric && vesmerLyric(line)");
}

QString paletteBody()
{
    return QStringLiteral("return await vesmerPaletteFromImage(u)");
}

QString setBPM(double bpm)
{
    // NaN fails the test too; so does -0.0, which would otherwise print as "-0.0".
    const double value = bpm > 0.0 ? bpm : 0.0;
    return QStringLiteral("window.vesmerSetBPM && vesmerSetBPM(") + doubleText(value) + QLatin1Char(')');
}

QString setPaused(bool paused)
{
    return QStringLiteral("window.vesmerSetPaused && vesmerSetPaused(") +
           (paused ? QLatin1String("true") : QLatin1String("false")) + QLatin1Char(')');
}

QString lyricMode(const QString& mode)
{
    const bool known = mode == QLatin1String("visuals") || mode == QLatin1String("overlay") ||
                       mode == QLatin1String("off");
    // The three allowed values need no escaping; anything else never reaches the script.
    return QStringLiteral("window.vesmerLyricMode && vesmerLyricMode('") +
           (known ? mode : QStringLiteral("overlay")) + QStringLiteral("')");
}

QString setFx(const QString& json)
{
    return QStringLiteral("window.vesmerSetFx && vesmerSetFx('") + json + QStringLiteral("')");
}

QString setLook(double reactivity, double speed, double exposure, double grain)
{
    return QStringLiteral("window.vesmerSetLook && vesmerSetLook(") + doubleText(reactivity) +
           QLatin1String(", ") + doubleText(speed) + QLatin1String(", ") + doubleText(exposure) +
           QLatin1String(", ") + doubleText(grain) + QLatin1Char(')');
}

QString setQuality(double scale, int fps)
{
    return QStringLiteral("window.vesmerSetQuality ? vesmerSetQuality(") + doubleText(scale) +
           QLatin1String(", ") + QString::number(fps) + QStringLiteral(") : ''");
}

QString currentTheme()
{
    return QStringLiteral("window.vesmerCurrentTheme ? vesmerCurrentTheme() : '\u2014'");
}

QString stepTheme(int step)
{
    return QStringLiteral("vesmerStep(") + QString::number(step) + QStringLiteral("); vesmerCurrentTheme()");
}

QString sceneDescription()
{
    return QStringLiteral("vesmerSpec()");
}

QString lastGraph()
{
    return QStringLiteral("vesmerLastGraph()");
}

QString applyGraph(const QString& graphJson)
{
    return QStringLiteral("vesmerApplyGraph(") + jsonQuote(graphJson) + QLatin1Char(')');
}

}  // namespace PageCalls
