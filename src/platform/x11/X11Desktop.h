#pragma once
// The X11 side of the app's windows: marking a native window as the desktop
// (desktop type, on every workspace, below, out of taskbars and pagers), and
// reading the window manager's stacking list to tell what covers what, which X11
// without a compositor never reports as occlusion. Main thread only; inert when
// the application does not run on X11.

#include <QObject>
#include <QRect>
#include <QSet>
#include <QWindow>
#include <cstdint>
#include <memory>
#include <vector>

class QSocketNotifier;
struct xcb_connection_t;

// One client window of the stacking list, as read at one moment.
struct StackedWindow {
    std::uint32_t id = 0;
    QRect frame;             // root coordinates, without the window manager's decoration
    bool viewable = false;   // mapped: not minimised, not on another workspace
    bool ownProcess = false;
    bool hidden = false;     // _NET_WM_STATE_HIDDEN
    bool fullscreen = false;
    bool maximised = false;  // in both directions
    bool operator==(const StackedWindow&) const = default;
};

// Watches on a private X connection, so that Qt's own event selections stay
// untouched: the root window's stacking list, and each listed window's state and
// geometry. Reads the list again after every change.
class X11Stacking final : public QObject {
    Q_OBJECT
public:
    explicit X11Stacking(QObject* parent = nullptr);
    ~X11Stacking() override;

    // Bottom first; empty off X11, or under no window manager that publishes one.
    const std::vector<StackedWindow>& windows() const { return m_windows; }
    // Whether the windows above `window` hide all of it; false when it is not listed.
    bool completelyCovered(std::uint32_t window) const;

signals:
    void changed();

private:
    void readEvents();
    void read();

    struct Atoms;
    xcb_connection_t* m_connection = nullptr;
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::uint32_t m_root = 0;
    std::unique_ptr<Atoms> m_atoms;
    QSet<std::uint32_t> m_watched;
    std::vector<StackedWindow> m_windows;
};

// Whether a fullscreen or maximised window of another program covers one screen.
class X11Desktop final : public QObject {
    Q_OBJECT
public:
    // For a window that is not mapped yet (the window manager reads these on map).
    static void markAsDesktop(WId window);

    // `screenFrame` is in X root coordinates.
    explicit X11Desktop(const QRect& screenFrame, QObject* parent = nullptr);

    bool covered() const { return m_covered; }

signals:
    void coveredChanged();

private:
    void recheck();

    QRect m_screenFrame;
    X11Stacking m_stacking;
    bool m_covered = false;
};
