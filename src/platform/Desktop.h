#pragma once
// The desktop's services: the browser, the system settings, window activation.

#include <QUrl>

class Desktop {
public:
    virtual ~Desktop() = default;
    virtual void openUrl(const QUrl& url) = 0;
    virtual void openSoundSettings() = 0;
    // Brings the application (its panel window) to the front.
    virtual void bringToFront() = 0;
};
