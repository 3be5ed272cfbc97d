#pragma once
// The panel's symbols: the desktop's icon theme where it has a fitting name, else
// a small drawing of our own from the panel's resources, so the panel looks
// complete on a system without any icon theme. A symbol asked for in a colour
// (a warning in red, say) is always our own drawing in that colour, since a
// theme's icon brings colours of its own. Main thread only.

#include <QColor>
#include <QIcon>
#include <QPixmap>

enum class Symbol {
    Wallpaper,
    Sliders,
    Effects,
    Speedometer,
    Previous,
    Next,
    Waveform,
    WaveformOff,
    Warning,
    SpeakerMuted,
    SpeakerMutedFilled,
    MusicNote,
    Play,
    Pause,
    Sparkles,
    Account,
    Wand,
    Star,
    Trash,
    Hand,
};

// `tint` invalid: the theme's icon if it has one, else ours in the text colour.
QIcon panelIcon(Symbol symbol, const QColor& tint = {});
QPixmap panelPixmap(Symbol symbol, int size, const QColor& tint = {});
