// A player's answer, from Spotify or any other player, and the cover it names.
#include <QImage>
#include <cmath>
#include <cstdint>

#include "compose/JpegDataUrl.h"
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
    // Whatever the cover's bytes, an image of at most 512 pixels a side or none.
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    if (const auto url = jpegDataURL(bytes, 512)) {
        if (!url->startsWith(QLatin1String("data:image/jpeg;base64,")))
            __builtin_trap();
        const QImage image = QImage::fromData(QByteArray::fromBase64(url->mid(23).toLatin1()), "JPEG");
        if (image.isNull() || image.width() > 512 || image.height() > 512)
            __builtin_trap();
    }
    return 0;
}
