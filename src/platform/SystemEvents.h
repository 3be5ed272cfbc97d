#pragma once
// Desktop-wide events the app reacts to: the screens going to sleep and waking,
// and the window manager restacking windows. Signals arrive on the main thread.

#include <QObject>
#include <qwindowdefs.h>

class SystemEvents : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    // Whether the windows above `window` in the window manager's stacking order
    // hide all of it (X11 without a compositor reports no occlusion of its own).
    // False when that cannot be known.
    virtual bool completelyCovered(WId window) const = 0;

signals:
    void screensDidSleep();
    void screensDidWake();
    // The stacking order, or the place or state of a window in it, changed.
    void windowsRestacked();
};
