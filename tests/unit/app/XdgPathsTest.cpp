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
