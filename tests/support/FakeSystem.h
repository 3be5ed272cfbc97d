#pragma once
// Small doubles of the platform seams, with triggers for the tests.

#include <QList>
#include <QStringList>
#include <QUrl>
#include <algorithm>

#include "platform/Desktop.h"
#include "platform/Screens.h"
#include "platform/SystemEvents.h"
#include "platform/SystemLog.h"

class MemoryLog final : public SystemLog {
public:
    void write(const QString& line) override { lines << line; }
    int count(const QString& line) const { return int(lines.count(line)); }
    int countStartingWith(const QString& prefix) const
    {
        return int(std::count_if(lines.begin(), lines.end(), [&](const QString& l) { return l.startsWith(prefix); }));
    }
    QStringList lines;
};

class FakeSystemEvents final : public SystemEvents {
    Q_OBJECT
public:
    bool completelyCovered(WId) const override { return covered; }
    void sleep() { emit screensDidSleep(); }
    void wake() { emit screensDidWake(); }
    // Trigger: other windows now cover every window completely, or none.
    void setCovered(bool now)
    {
        covered = now;
        emit windowsRestacked();
    }
    bool covered = false;
};

class FakeScreens final : public Screens {
    Q_OBJECT
public:
    QList<ScreenInfo> list() const override { return screens; }
    void set(QList<ScreenInfo> now)
    {
        screens = std::move(now);
        emit changed();
    }
    QList<ScreenInfo> screens{{QStringLiteral("Built-in Display"), QRect(0, 0, 1920, 1080)}};
};

class RecordingDesktop final : public Desktop {
public:
    void openUrl(const QUrl& url) override { openedUrls << url; }
    void openSoundSettings() override {}
    void bringToFront() override { ++broughtToFront; }
    QList<QUrl> openedUrls;
    int broughtToFront = 0;
};
