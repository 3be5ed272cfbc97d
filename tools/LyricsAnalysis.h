#pragma once
// What the app would show for a lyric file: its lines as a JSON list of
// [seconds, text] pairs in display order. Time-tagged files are read as LRC; a
// file without any tag is spread as plain lines over `durationSeconds`.

#include <QString>

QString lyricsAsJson(const QString& text, double durationSeconds);
