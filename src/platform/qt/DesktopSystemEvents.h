#pragma once

#include "platform/SystemEvents.h"

// Screen sleep from org.freedesktop.ScreenSaver ActiveChanged on the session bus;
// panel visibility from the application's top-level windows.
class DesktopSystemEvents final : public SystemEvents {
    Q_OBJECT
public:
    explicit DesktopSystemEvents(QObject* parent = nullptr);
    bool panelVisible() const override;

private slots:
    void screenSaverActiveChanged(bool active);
};
