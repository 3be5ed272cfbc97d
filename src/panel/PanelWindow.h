#pragma once
// The control panel window, titled "Vesmer", holding the panel's view at its fixed
// size, centred on the primary screen. Showing it starts the now-playing watcher.
// Tells the app state, and its view, whether it is on screen: shown, not
// minimised, exposed and not completely covered by the windows stacked above it.
// Main thread only.

#include <QWidget>

class AppState;
class PanelView;

class PanelWindow final : public QWidget {
    Q_OBJECT
public:
    // `state` must outlive the window.
    explicit PanelWindow(AppState& state, QWidget* parent = nullptr);

    // Shows the window at the centre of the primary screen.
    void showCentred();

    PanelView& view() const { return *m_view; }

signals:
    // The user closed the window; the application decides whether to quit.
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void visibilityMayHaveChanged();

    AppState& m_state;
    PanelView* m_view;
    bool m_visibilityQueued = false;
};
