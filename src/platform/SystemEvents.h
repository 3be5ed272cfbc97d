#pragma once
// Desktop-wide events the app reacts to: the screens going to sleep and waking,
// and whether the control panel is on screen. Signals arrive on the main thread.

#include <QObject>

class SystemEvents : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    // True when the window titled "Vesmer" (the control panel) is at least partly
    // on screen: shown, not minimised, exposed.
    virtual bool panelVisible() const = 0;

signals:
    void screensDidSleep();
    void screensDidWake();
};
