#include "platform/qt/DesktopSystemEvents.h"

#include <QDBusConnection>
#include <QGuiApplication>
#include <QWindow>

DesktopSystemEvents::DesktopSystemEvents(QObject* parent) : SystemEvents(parent)
{
    // No session bus (or no screensaver service) simply means no sleep events.
    QDBusConnection::sessionBus().connect(QString(), QStringLiteral("/org/freedesktop/ScreenSaver"),
        QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("ActiveChanged"), this,
        SLOT(screenSaverActiveChanged(bool)));
}

bool DesktopSystemEvents::panelVisible() const
{
    for (QWindow* window : QGuiApplication::topLevelWindows()) {
        if (window->title() != QLatin1String("Vesmer"))
            continue;
        if (window->isVisible() && window->isExposed() && !(window->windowStates() & Qt::WindowMinimized))
            return true;
    }
    return false;
}

void DesktopSystemEvents::screenSaverActiveChanged(bool active)
{
    if (active)
        emit screensDidSleep();
    else
        emit screensDidWake();
}
