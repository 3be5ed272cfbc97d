#pragma once
// The panel's left column: the wallpaper section (display, placement, theme,
// lyrics), the look and effect sliders and the quality pickers. Controls read and
// write the settings store directly and call the app state's operations.
// Main thread only.

#include <QList>
#include <QWidget>

class AppState;
class LookSlider;
class PanelSection;
class QComboBox;
class QLabel;
class QPushButton;
class ScreenList;
class Settings;
class SettingPicker;

class DisplaySections final : public QWidget {
    Q_OBJECT
public:
    // `state` and `screens` must outlive the sections.
    DisplaySections(AppState& state, ScreenList& screens, QWidget* parent = nullptr);
    ~DisplaySections() override;

    // Shows the published state, the screens and the settings again.
    void refresh();

private:
    PanelSection* wallpaperSection();
    PanelSection* lookSection();
    PanelSection* fxSection();
    PanelSection* qualitySection();

    AppState& m_state;
    Settings& m_settings;
    ScreenList& m_screens;
    PanelSection* m_wallpaper = nullptr;
    QComboBox* m_display = nullptr;
    QPushButton* m_place = nullptr;
    QPushButton* m_remove = nullptr;
    QWidget* m_themeRow = nullptr;
    QLabel* m_themeName = nullptr;
    QList<LookSlider*> m_sliders;
    QList<SettingPicker*> m_pickers;
};
