#include <QDir>
#include <gtest/gtest.h>

#include "platform/XdgPaths.h"

TEST(XdgPaths, OnlyAnAbsoluteVariableOverridesTheDefault)
{
    const QByteArray saved = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", "/tmp/elsewhere");
    EXPECT_EQ(XdgPaths::dataHome(), QStringLiteral("/tmp/elsewhere"));
    for (const char* ignored : {"", "relative/data"}) {
        SCOPED_TRACE(ignored);
        qputenv("XDG_DATA_HOME", ignored);
        EXPECT_EQ(XdgPaths::dataHome(), QDir::homePath() + QStringLiteral("/.local/share"));
    }
    qputenv("XDG_DATA_HOME", saved);
}

// ctest starts this binary with HOME and the XDG user folders set to a user's
// real places (tests/unit/app/CMakeLists.txt); the test main must have moved them.
TEST(XdgPaths, TestsNeverSeeTheUsersFolders)
{
    for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME"}) {
        SCOPED_TRACE(name);
        const QString value = qEnvironmentVariable(name);
        EXPECT_FALSE(value.startsWith(QStringLiteral("/nonexistent-user")));
        EXPECT_TRUE(value.startsWith(QDir::tempPath() + QLatin1Char('/')));
        EXPECT_TRUE(QDir(value).exists());
    }
}
