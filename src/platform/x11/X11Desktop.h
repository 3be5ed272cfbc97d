#pragma once
// The X11 side of the wallpaper window: marking a native window as the desktop
// (desktop type, on every workspace, below, out of taskbars and pagers), and
// telling whether a fullscreen or maximised window of another program covers a
// screen, which X11 without a compositor never reports as occlusion. Main thread
// only; inert when the application does not run on X11.

#include <QObject>
#include <QRect>
#include <QSet>
#include <QWindow>
#include <cstdint>
#include <memory>

class QSocketNotifier;
struct xcb_connection_t;

class X11Desktop final : public QObject {
    Q_OBJECT
public:
    // For a window that is not mapped yet (the window manager reads these on map).
    static void markAsDesktop(WId window);

    // Watches on a private X connection, so that Qt's own event selections stay
    // untouched: the root window's stacking list, and each listed window's state
    // and geometry. `screenFrame` is in X root coordinates.
    explicit X11Desktop(const QRect& screenFrame, QObject* parent = nullptr);
    ~X11Desktop() override;

    bool covered() const { return m_covered; }

signals:
    void coveredChanged();

private:
    void readEvents();
    void recheck();
    bool isCovering(std::uint32_t window);

    struct Atoms;
    QRect m_screenFrame;
    xcb_connection_t* m_connection = nullptr;
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::uint32_t m_root = 0;
    std::unique_ptr<Atoms> m_atoms;
    QSet<std::uint32_t> m_watched;
    bool m_covered = false;
};
