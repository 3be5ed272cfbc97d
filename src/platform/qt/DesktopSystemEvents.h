#pragma once

#include <memory>

#include "platform/SystemEvents.h"

class X11Stacking;

// Screen sleep from org.freedesktop.ScreenSaver ActiveChanged on the session bus;
// covering from the X11 window manager's stacking list (nothing off X11).
class DesktopSystemEvents final : public SystemEvents {
    Q_OBJECT
public:
    explicit DesktopSystemEvents(QObject* parent = nullptr);
    ~DesktopSystemEvents() override;
    bool completelyCovered(WId window) const override;

private slots:
    void screenSaverActiveChanged(bool active);

private:
    std::unique_ptr<X11Stacking> m_stacking;
};
