#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include "FakeSystem.h"
#include "platform/qt/QtDesktop.h"

// The sound settings button: the first tool found on PATH starts; none, one line.
TEST(QtDesktop, OpensTheFirstInstalledSoundSettingsOrSaysWhyNot)
{
    QTemporaryDir bin;
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", bin.path().toUtf8());
    qunsetenv("XDG_CURRENT_DESKTOP");
    MemoryLog log;
    QtDesktop desktop(log);

    desktop.openSoundSettings();
    EXPECT_EQ(log.lines.size(), 1);
    EXPECT_EQ(log.countStartingWith(QStringLiteral("[vesmer] no sound settings to open")), 1);

    // Both present: GNOME's panel comes first; it is started with "sound".
    const QString marker = bin.path() + QStringLiteral("/started");
    for (const char* name : {"pavucontrol", "gnome-control-center"}) {
        QFile tool(bin.path() + QLatin1Char('/') + QLatin1String(name));
        ASSERT_TRUE(tool.open(QIODevice::WriteOnly));
        tool.write(QStringLiteral("#!/bin/sh\necho %1 \"$@\" > %2\n").arg(QLatin1String(name), marker).toUtf8());
        tool.close();
        tool.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    desktop.openSoundSettings();
    qputenv("PATH", path);
    EXPECT_EQ(log.lines.size(), 1);
    QFile started(marker);
    ASSERT_TRUE(QTest::qWaitFor([&] { return started.exists() && started.size() > 0; }, 5000));
    ASSERT_TRUE(started.open(QIODevice::ReadOnly));
    EXPECT_EQ(started.readAll().trimmed(), QByteArray("gnome-control-center sound"));
}
