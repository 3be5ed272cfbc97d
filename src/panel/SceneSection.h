#pragma once
// The "AI Scene" section: sign-in, automatic scenes and their pace, the prompt
// with its Generate and save buttons, and the compose status. The prompt text is
// the panel's own and outlives changes of the other controls. Main thread only.

#include <QWidget>

class AppState;
class PanelSection;
class PromptField;
class QCheckBox;
class QLabel;
class QPushButton;
class QSlider;
class Settings;

class SceneSection final : public QWidget {
    Q_OBJECT
public:
    explicit SceneSection(AppState& state, QWidget* parent = nullptr);

    void refresh();

private:
    bool autoOn() const;
    // Typing and generating are open: auto off and signed in.
    bool promptOpen() const;
    void generate();

    AppState& m_state;
    Settings& m_settings;
    PanelSection* m_section;
    QPushButton* m_signIn;
    QWidget* m_accountRow;
    QLabel* m_keyStatus;
    QCheckBox* m_auto;
    QWidget* m_paceRow;
    QSlider* m_pace;
    QLabel* m_autoSource;
    PromptField* m_prompt;
    QPushButton* m_generate;
    QPushButton* m_save;
    QLabel* m_composeStatus;
};
