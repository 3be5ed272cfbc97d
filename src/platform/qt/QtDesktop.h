#pragma once
// The desktop's services for the app: the browser through the desktop's URL
// handler, the sound settings through whichever settings tool is installed, and
// raising the control panel (the window titled "Vesmer"). Main thread only.

#include "platform/Desktop.h"

class QtDesktop final : public Desktop {
public:
    void openUrl(const QUrl& url) override;
    // Does nothing when no known sound settings tool is installed.
    void openSoundSettings() override;
    // Shows the panel again if it was closed, un-minimises, raises and focuses it.
    void bringToFront() override;
};
