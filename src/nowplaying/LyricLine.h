#pragma once
// Lyrics as a time-ordered list of lines, and the two ways to get one from text:
// time-tagged LRC, or plain lines spread over the song. Pure functions, any
// thread; time and memory linear in the text, whatever the text holds.

#include <QList>
#include <QString>
#include <QStringView>

struct LyricLine {
    double t = 0.0;  // seconds from the start of the song
    QString text;    // trimmed, never empty
    bool operator==(const LyricLine&) const = default;
};

// Moved by memcpy when a list grows, as QString is.
Q_DECLARE_TYPEINFO(LyricLine, Q_RELOCATABLE_TYPE);

using LyricLines = QList<LyricLine>;

// Every "[m:s]" or "[m:s.ff]" tag gives one line with the text after the line's
// last tag; lines without a tag or without text give nothing. Other tags
// ([ar:…], [offset:…]) are ignored, no offset is applied. Sorted by time, lines
// of equal time in text order.
LyricLines parseLRC(QStringView text);

// The non-empty lines, starting 5 s into the song and spread evenly up to one step
// before its last 5 s. Empty for a song of 20 s or less, or of no finite length.
LyricLines plainLines(QStringView text, double durationSeconds);
