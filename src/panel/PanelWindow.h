#pragma once
// The control panel window, titled "Vesmer": for now a small stand-in showing the
// capture state and the wallpaper screen, with the wallpaper buttons. Sized to its
// content and centred on the primary screen. Tells the app state whether it is on
// screen: shown, not minimised, exposed and not completely covered by the windows
// stacked above it. Main thread only.

#include <QWidget>

class AppState;
class QLabel;

class PanelWindow final : public QWidget {
    Q_OBJECT
public:
    // `state` must outlive the window.
    explicit PanelWindow(AppState& state, QWidget* parent = nullptr);

    // Shows the window at the centre of the primary screen.
    void showCentred();

signals:
    // The user closed the window; the application decides whether to quit.
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void visibilityMayHaveChanged();
    void refresh();
    void setWallpaperOnFirstScreen();

    AppState& m_state;
    QLabel* m_capture = nullptr;
    QLabel* m_wallpaper = nullptr;
    bool m_visibilityQueued = false;
};
