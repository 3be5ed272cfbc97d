#pragma once
// Lyric sync: which line of the current song's lyrics the wallpaper shows, and
// how. For now only the lyric mode's default; the line itself comes with the
// now-playing watcher. Main thread only.

#include <QString>

class Settings;

class LyricSync {
public:
    explicit LyricSync(Settings& settings) : m_settings(settings) {}

    // A user who never chose a lyric mode gets lyrics drawn into the visuals.
    void syncLyricsDefault();

private:
    Settings& m_settings;
};
