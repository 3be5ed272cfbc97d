#include "LyricsAnalysis.h"

#include "nowplaying/LyricLine.h"
#include "text/JsonText.h"

QString lyricsAsJson(const QString& text, double durationSeconds)
{
    LyricLines lines = parseLRC(text);
    if (lines.isEmpty())
        lines = plainLines(text, durationSeconds);
    QString json = QStringLiteral("[");
    for (const LyricLine& line : lines) {
        QString seconds;
        jsonNumber(line.t, seconds);  // parsed times are finite
        json += (json.size() > 1 ? QStringLiteral(",\n [") : QStringLiteral("[")) + seconds + QLatin1Char(',') +
                jsonQuote(line.text) + QLatin1Char(']');
    }
    return json + QStringLiteral("]\n");
}
