#include "nowplaying/TrackInfo.h"

#include <cmath>

std::int64_t wholeSeconds(double seconds)
{
    // Both limits are exactly representable; llround is undefined beyond them.
    if (!(seconds > -9223372036854775808.0 && seconds < 9223372036854775808.0))
        return 0;
    return std::llround(seconds);
}

QString TrackInfo::key() const
{
    const QChar bar(QLatin1Char('|'));
    return title + bar + artist + bar + album + bar + QString::number(wholeSeconds(durationS));
}
