#pragma once
// Look, effects, quality and themes of the current wallpaper. Every push reads
// the settings afresh, so the page always gets the stored values; with no
// wallpaper a push does nothing. Theme names the page answers arrive through
// themeNameAnswered, on a later turn of the main queue. Main thread only.

#include <QObject>
#include <QString>

class MainQueue;
class Settings;
class SystemLog;
class WallpaperPlacement;

class LookAndThemes : public QObject {
    Q_OBJECT
public:
    static constexpr double kThemeRefreshDelay = 1.2;  // lets a fresh page define its functions

    LookAndThemes(const Settings& settings, MainQueue& queue, SystemLog& log, const WallpaperPlacement& placement);

    void applyLook();
    void applyFx();
    void applyQuality();
    void stepTheme(int step);
    // Asks a freshly placed page for its theme name, a moment later.
    void refreshThemeName();

signals:
    void themeNameAnswered(const QString& name);

private:
    void answerLater(const QString& name);

    const Settings& m_settings;
    MainQueue& m_queue;
    SystemLog& m_log;
    const WallpaperPlacement& m_placement;
};
