#include "platform/qt/QtScreens.h"

#include <QGuiApplication>
#include <QScreen>

QtScreens::QtScreens(QObject* parent) : Screens(parent)
{
    for (QScreen* screen : QGuiApplication::screens())
        watch(screen);
    connect(qApp, &QGuiApplication::screenAdded, this, [this](QScreen* screen) {
        watch(screen);
        emit changed();
    });
    connect(qApp, &QGuiApplication::screenRemoved, this, &Screens::changed);
    connect(qApp, &QGuiApplication::primaryScreenChanged, this, &Screens::changed);
}

void QtScreens::watch(QScreen* screen)
{
    connect(screen, &QScreen::geometryChanged, this, &Screens::changed);
}

QList<ScreenInfo> QtScreens::list() const
{
    QList<ScreenInfo> out;
    QScreen* primary = QGuiApplication::primaryScreen();
    auto info = [](const QScreen* screen) {
        const QString model = screen->model().trimmed();
        return ScreenInfo{model.isEmpty() ? screen->name() : model, screen->geometry()};
    };
    if (primary)
        out << info(primary);
    for (QScreen* screen : QGuiApplication::screens())
        if (screen != primary)
            out << info(screen);
    return out;
}
