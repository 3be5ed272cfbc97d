#pragma once
// The "Presets" section: one row per saved scene, its name applying it and a
// trash button deleting it at once. Left out entirely while there are none.
// Main thread only.

#include <QWidget>

class AppState;
class PanelSection;

class PresetsSection final : public QWidget {
    Q_OBJECT
public:
    explicit PresetsSection(AppState& state, QWidget* parent = nullptr);

    void refresh();

private:
    AppState& m_state;
    PanelSection* m_section;
    QList<QWidget*> m_rows;
};
