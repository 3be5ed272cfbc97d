// Lyric files from any LRCLIB answer: time tags, offsets and plain text.
#include <cmath>
#include <cstdint>

#include "nowplaying/LyricLine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const LyricLines timed = parseLRC(text);
    for (qsizetype i = 1; i < timed.size(); ++i)
        if (!(timed[i - 1].t <= timed[i].t) || !std::isfinite(timed[i].t))
            __builtin_trap();  // lines come in time order, at real times
    const LyricLines plain = plainLines(text, double(size % 600));
    for (const LyricLine& line : plain)
        if (!std::isfinite(line.t))
            __builtin_trap();
    return 0;
}
