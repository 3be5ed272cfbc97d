#pragma once
// What the process was asked to do at start: launch flags, environment switches
// and the URL arguments a browser or launcher passes. A plain value, parsed once
// in main() before any window exists.

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <optional>

struct CommandLine {
    bool wallpaper = false;  // "--wallpaper", or VESMER_WALLPAPER present (any value, even empty)
    bool preview = false;    // "--preview"
    bool help = false;       // "--help" or "-h"
    bool version = false;    // "--version"
    std::optional<QString> testGraphPath;  // VESMER_TEST_GRAPH
    std::optional<QUrl> lyricsUrl;         // VESMER_LYRICS_URL when set and not empty
    QStringList urls;          // every argument that is not a flag, in order
    QStringList unknownFlags;  // arguments starting with "-" that we do not know

    // `arguments` excludes the program name.
    static CommandLine parse(const QStringList& arguments, const QProcessEnvironment& environment);

    // The one-line warning for an unknown flag.
    static QString unknownFlagWarning(const QString& flag);
    static QString usage();
    static QString versionText();
};
