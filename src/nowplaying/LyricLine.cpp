#include "nowplaying/LyricLine.h"

#include <QByteArray>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>

namespace {

// Line feed, vertical tab, form feed, carriage return, next line, and the Unicode
// line and paragraph separators.
bool isNewline(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 0x0A && u <= 0x0D) || u == 0x85 || u == 0x2028 || u == 0x2029;
}

// Calls `each` with every line of `text`; "\r\n" gives an empty line between.
template <typename Each>
void forEachLine(QStringView text, Each each)
{
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (isNewline(text[i])) {
            each(text.sliced(start, i - start));
            start = i + 1;
        }
    }
    each(text.sliced(start));
}

qsizetype skipDigits(QStringView line, qsizetype i)
{
    while (i < line.size() && line[i].isDigit())
        ++i;
    return i;
}

// A run of digits (possibly with one point) as a number; 0 when it cannot be read,
// which covers digits of other scripts and values too large for a double.
double numberOf(QStringView digits)
{
    QByteArray ascii;
    ascii.reserve(digits.size());
    for (const QChar c : digits) {
        if (c.unicode() > 0x7F)
            return 0.0;
        ascii.append(char(c.unicode()));
    }
    double value = 0.0;
    const auto [end, error] = std::from_chars(ascii.constData(), ascii.constData() + ascii.size(), value);
    if (error != std::errc() || end != ascii.constData() + ascii.size() || !std::isfinite(value))
        return 0.0;
    return value;
}

struct Tag {
    qsizetype end = 0;  // one past the closing bracket
    double seconds = 0.0;
};

// Reads "[digits:digits(.digits)?]" at `start` (a '['). Scanning stops at the first
// character that does not fit, and none of the characters it passes is a '[', so
// trying every '[' of a line stays linear in its length.
std::optional<Tag> tagAt(QStringView line, qsizetype start)
{
    const qsizetype minutesEnd = skipDigits(line, start + 1);
    if (minutesEnd == start + 1 || minutesEnd >= line.size() || line[minutesEnd] != QLatin1Char(':'))
        return std::nullopt;
    const qsizetype secondsStart = minutesEnd + 1;
    qsizetype secondsEnd = skipDigits(line, secondsStart);
    if (secondsEnd == secondsStart)
        return std::nullopt;
    if (secondsEnd < line.size() && line[secondsEnd] == QLatin1Char('.')) {
        const qsizetype fractionEnd = skipDigits(line, secondsEnd + 1);
        // A point without digits after it is no part of the tag, which then fails
        // on the point.
        if (fractionEnd > secondsEnd + 1)
            secondsEnd = fractionEnd;
    }
    if (secondsEnd >= line.size() || line[secondsEnd] != QLatin1Char(']'))
        return std::nullopt;
    const double minutes = numberOf(line.sliced(start + 1, minutesEnd - start - 1));
    const double seconds = numberOf(line.sliced(secondsStart, secondsEnd - secondsStart));
    return Tag{secondsEnd + 1, minutes * 60.0 + seconds};
}

// Most files are in order already: checking first keeps them linear.
void sortByTime(LyricLines& lines)
{
    const auto earlier = [](const LyricLine& a, const LyricLine& b) { return a.t < b.t; };
    if (!std::is_sorted(lines.cbegin(), lines.cend(), earlier))
        std::stable_sort(lines.begin(), lines.end(), earlier);
}

}  // namespace

LyricLines parseLRC(QStringView text)
{
    LyricLines lines;
    QList<double> times;
    forEachLine(text, [&](QStringView line) {
        times.clear();
        qsizetype textStart = 0;
        for (qsizetype i = line.indexOf(QLatin1Char('[')); i >= 0; i = line.indexOf(QLatin1Char('['), i)) {
            if (const auto tag = tagAt(line, i)) {
                times.append(tag->seconds);
                textStart = i = tag->end;
            } else {
                ++i;
            }
        }
        if (times.isEmpty())
            return;
        const QString lyric = line.sliced(textStart).trimmed().toString();
        if (lyric.isEmpty())
            return;
        for (const double t : times)
            lines.append(LyricLine{t, lyric});
    });
    sortByTime(lines);
    return lines;
}

LyricLines plainLines(QStringView text, double durationSeconds)
{
    QList<QString> pieces;
    forEachLine(text, [&](QStringView line) {
        if (const QStringView trimmed = line.trimmed(); !trimmed.isEmpty())
            pieces.append(trimmed.toString());
    });
    // An endless duration would put the first line at 0 × ∞, not a time at all.
    if (pieces.isEmpty() || !(durationSeconds > 20.0) || !std::isfinite(durationSeconds))
        return {};
    const double step = (durationSeconds - 10.0) / double(pieces.size());
    LyricLines lines;
    lines.reserve(pieces.size());
    for (qsizetype i = 0; i < pieces.size(); ++i)
        lines.append(LyricLine{5.0 + double(i) * step, pieces[i]});
    return lines;
}
