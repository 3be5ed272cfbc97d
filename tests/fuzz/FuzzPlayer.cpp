// A player's answer, from Spotify or any other player.
#include <cmath>
#include <cstdint>

#include "nowplaying/NowPlayingWatcher.h"
#include "nowplaying/TrackInfo.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    for (const char* player : {"Spotify", "Music"}) {
        const auto track = NowPlayingWatcher::parseReply(text, QString::fromLatin1(player), 1'800'000'000.0);
        if (track && (!std::isfinite(track->durationS) || !std::isfinite(track->positionS)))
            __builtin_trap();
        if (track)
            (void)track->key();
    }
    return 0;
}
