#pragma once
// The application's reactions to its own life: the launch sequence, URLs opened
// with the vesmer: scheme, the quit rule when the panel closes, and termination.
// Everything else is reached through AppState. Main thread only.

#include <QObject>
#include <QStringList>

#include "app/CommandLine.h"

class AppState;

class Application : public QObject {
    Q_OBJECT
public:
    static constexpr double kTestGraphDelay = 3.5;

    // `state` must outlive this object.
    Application(AppState& state, CommandLine commandLine, QObject* parent = nullptr);

    // Brings the app to the front, starts capture, shows the first-launch or
    // flagged wallpaper, schedules the test graph, then opens the URL arguments.
    void launch();
    // Handles each vesmer://activate URL in order; other URLs are ignored.
    void openUrls(const QStringList& urls);
    // A second launch without URLs: come to the front.
    void activate();
    // With a wallpaper on screen the app outlives its panel.
    bool quitsWhenPanelCloses() const;
    void panelClosed();
    // Runs AppState::shutdown once, however the process ends.
    void terminate();

signals:
    void quitRequested();

private:
    void showWallpaperOnFirstScreen(bool preview);

    AppState& m_state;
    const CommandLine m_commandLine;
    bool m_terminated = false;
};
