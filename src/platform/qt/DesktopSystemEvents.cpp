#include "platform/qt/DesktopSystemEvents.h"

#include <QDBusConnection>

#include "platform/x11/X11Desktop.h"

DesktopSystemEvents::DesktopSystemEvents(QObject* parent)
    : SystemEvents(parent), m_stacking(std::make_unique<X11Stacking>())
{
    // No session bus (or no screensaver service) simply means no sleep events.
    QDBusConnection::sessionBus().connect(QString(), QStringLiteral("/org/freedesktop/ScreenSaver"),
        QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("ActiveChanged"), this,
        SLOT(screenSaverActiveChanged(bool)));
    connect(m_stacking.get(), &X11Stacking::changed, this, &SystemEvents::windowsRestacked);
}

DesktopSystemEvents::~DesktopSystemEvents() = default;

bool DesktopSystemEvents::completelyCovered(WId window) const
{
    return m_stacking->completelyCovered(std::uint32_t(window));
}

void DesktopSystemEvents::screenSaverActiveChanged(bool active)
{
    if (active)
        emit screensDidSleep();
    else
        emit screensDidWake();
}
