#pragma once
// The desktop's services for the app: the browser through the desktop's URL
// handler, the sound settings through whichever settings tool is installed, and
// raising the control panel (the window titled "Vesmer"). Main thread only.

#include "platform/Desktop.h"

class SystemLog;

class QtDesktop final : public Desktop {
public:
    explicit QtDesktop(SystemLog& log);
    void openUrl(const QUrl& url) override;
    // The first installed of GNOME's sound panel, KDE's and pavucontrol (the running
    // desktop's own first); one log line when none can be started.
    void openSoundSettings() override;
    // Shows the panel again if it was closed, un-minimises, raises and focuses it.
    void bringToFront() override;

private:
    SystemLog& m_log;
};
