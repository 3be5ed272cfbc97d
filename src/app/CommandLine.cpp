#include "app/CommandLine.h"

CommandLine CommandLine::parse(const QStringList& arguments, const QProcessEnvironment& environment)
{
    CommandLine line;
    line.wallpaper = environment.contains(QStringLiteral("VESMER_WALLPAPER"));
    if (environment.contains(QStringLiteral("VESMER_TEST_GRAPH")))
        line.testGraphPath = environment.value(QStringLiteral("VESMER_TEST_GRAPH"));
    if (const QString lyrics = environment.value(QStringLiteral("VESMER_LYRICS_URL")); !lyrics.isEmpty())
        line.lyricsUrl = QUrl::fromUserInput(lyrics);  // "lyrics.example.org" works too

    for (const QString& argument : arguments) {
        if (argument == QLatin1String("--wallpaper"))
            line.wallpaper = true;
        else if (argument == QLatin1String("--preview"))
            line.preview = true;
        else if (argument == QLatin1String("--help") || argument == QLatin1String("-h"))
            line.help = true;
        else if (argument == QLatin1String("--version"))
            line.version = true;
        else if (argument.startsWith(QLatin1Char('-')))
            line.unknownFlags << argument;
        else
            line.urls << argument;
    }
    return line;
}

QString CommandLine::unknownFlagWarning(const QString& flag)
{
    // A flag may hold anything (even a line feed): keep the warning on one line.
    QString shown = flag.left(80);
    for (QChar& c : shown)
        if (c.category() == QChar::Other_Control)
            c = QLatin1Char('?');
    if (flag.size() > shown.size())
        shown += QStringLiteral("…");
    return QStringLiteral("vesmer: ignoring unknown option %1 (see vesmer --help)").arg(shown);
}

QString CommandLine::versionText()
{
    return QStringLiteral("vesmer " VESMER_VERSION "\n");
}

QString CommandLine::usage()
{
    return QStringLiteral(
        "Usage: vesmer [OPTION]... [vesmer://activate?key=KEY]\n"
        "Audio-reactive desktop wallpaper: turns what the computer plays into live visuals.\n"
        "\n"
        "Options:\n"
        "  --wallpaper   show the wallpaper on the first screen at start\n"
        "  --preview     show the wallpaper in a preview window instead (unless --wallpaper)\n"
        "  --help, -h    print this help and exit\n"
        "  --version     print the version and exit\n"
        "\n"
        "A vesmer:// URL argument (the sign-in callback) is handed to the running\n"
        "instance when there is one; that instance then comes to the front.\n"
        "\n"
        "Environment:\n"
        "  VESMER_WALLPAPER   when present (any value, even empty), same as --wallpaper\n"
        "  VESMER_TEST_GRAPH  path of a scene graph (JSON) applied to the wallpaper 3.5 s\n"
        "                     after start; the page's answer goes to standard error\n"
        "  VESMER_APP_KEY     sign-in key for the composition backend\n"
        "  VESMER_LYRICS_URL  base address of the LRCLIB lyrics service, for a mirror\n"
        "                     (default https://lrclib.net)\n"
        "\n"
        "Files:\n"
        "  $XDG_CONFIG_HOME/Vesmer/Vesmer.conf     settings (default ~/.config/...)\n"
        "  ~/.config/vesmer/config.json            composition backend configuration\n"
        "  $XDG_DATA_HOME/Vesmer/status.json       status (default ~/.local/share/...)\n"
        "  $XDG_STATE_HOME/Vesmer/vesmer.log       scene log (default ~/.local/state/...)\n"
        "Diagnostic lines beginning with \"[vesmer] \" go to standard error.\n");
}
