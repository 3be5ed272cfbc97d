#pragma once
// The "System Audio" section: the level meter, the tempo, and one status line
// saying whether the system audio reaches the app, with a way to the desktop's
// sound settings when it does not. Main thread only.

#include <QColor>
#include <QWidget>
#include <optional>

#include "panel/PanelIcons.h"

class AppState;
class LevelMeter;
class PanelSection;
class QLabel;
class QPushButton;

class AudioSection final : public QWidget {
    Q_OBJECT
public:
    // Longer silence than this, with capture running and no signal ever seen, is a warning.
    static constexpr double kSilenceWarningSeconds = 10.0;

    explicit AudioSection(AppState& state, QWidget* parent = nullptr);

    void refresh();
    // The level alone, which changes ten times a second while shown.
    void refreshLevel();

    static QString tempoText(double bpm);

    // What the status line is chosen from, and what it shows.
    struct StatusInputs {
        QString captureError;  // null: none
        bool capturing = false;
        bool everSawSignal = false;
        double silentForSeconds = 0.0;
        bool trackPlaying = false;
    };
    struct StatusLine {
        QString text;
        Symbol symbol;
        QColor colour;  // invalid: the normal text colour
        bool offersSettings = false;
        bool operator==(const StatusLine&) const = default;
    };
    static StatusLine statusFor(const StatusInputs& inputs);

private:
    AppState& m_state;
    LevelMeter* m_meter;
    QLabel* m_tempo;
    QLabel* m_statusSymbol;
    QLabel* m_status;
    QPushButton* m_openSettings;
    std::optional<StatusLine> m_shownLine;  // what the status row shows now
};
