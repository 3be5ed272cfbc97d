#pragma once
// What a player is playing, as one poll saw it: a plain value, compared field by
// field (fetchedAt included, so two polls of one song are never equal).

#include <QString>
#include <cstdint>

struct TrackInfo {
    QString title;
    QString artist;
    QString album;
    QString artworkUrl;
    double durationS = 0.0;
    double positionS = 0.0;  // at fetchedAt
    bool playing = false;    // false: paused
    QString source;          // the player that answered: "Spotify" or "Music"
    double fetchedAt = 0.0;  // wall-clock seconds

    bool operator==(const TrackInfo&) const = default;

    // The song's identity: "title|artist|album|seconds", with the duration in whole
    // seconds. Position, state, player and time are left out, so pausing, seeking
    // or switching players keeps the key.
    QString key() const;

    // Where the song is at `now` (wall-clock seconds): it moves on only while playing.
    double positionAt(double now) const { return playing ? positionS + (now - fetchedAt) : positionS; }
};

// `seconds` rounded to a whole number, halves away from zero (215.5 gives 216,
// -0.5 gives -1). Durations that are not finite or beyond 64 bits give 0: players
// never report them, and the song key and the lyrics query must still be texts.
std::int64_t wholeSeconds(double seconds);
