#pragma once
// The panel's content: two columns of grouped sections at a fixed 390 + 400 by
// 540 px, the left for the wallpaper and its look, the right for audio, scenes,
// presets and the playing track. Every value shown is the app state's published
// state or a setting, redrawn when it changes; while the panel is not on screen
// the changes are only noted, and drawn when it comes back, so a hidden panel
// costs no repaints. Main thread only.

#include <QWidget>
#include <memory>

class AppState;
class AudioSection;
class DisplaySections;
class NowPlayingSection;
class PresetsSection;
class SceneSection;
class ScreenList;

class PanelView final : public QWidget {
    Q_OBJECT
public:
    static constexpr int kLeftWidth = 390;
    static constexpr int kRightWidth = 400;
    static constexpr int kHeight = 540;

    // `state` must outlive the view.
    explicit PanelView(AppState& state, QWidget* parent = nullptr);
    ~PanelView() override;

    // Whether the panel is on screen; changes noted while it was not are drawn now.
    void setLive(bool live);
    bool isLive() const { return m_live; }

    NowPlayingSection& nowPlaying() const { return *m_nowPlaying; }

private:
    enum Part : unsigned {
        Display = 1u << 0,
        Audio = 1u << 1,
        Level = 1u << 2,
        NowPlaying = 1u << 3,
        Scene = 1u << 4,
        Presets = 1u << 5,
    };
    void connectChanges();
    void settingChanged(const QString& key);
    void invalidate(unsigned parts);
    void refreshStale();

    AppState& m_state;
    std::unique_ptr<ScreenList> m_screens;
    DisplaySections* m_display;
    AudioSection* m_audio;
    SceneSection* m_scene;
    PresetsSection* m_presets;
    NowPlayingSection* m_nowPlaying;
    unsigned m_stale = 0;
    bool m_live = false;
};
