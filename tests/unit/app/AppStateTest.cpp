#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "TestPlatform.h"
#include "app/AppState.h"

namespace {

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

TEST(AppStateLog, CreatesItsFolderAndEmptiesItOnlyPastTheLimit)
{
    const QString path = AppState::logURL();
    QDir(QFileInfo(path).absolutePath()).removeRecursively();
    AppState::dlog(QStringLiteral("first line"));
    EXPECT_THAT(readAll(path).toStdString(),
                testing::MatchesRegex("[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}Z first line\n"));

    const QByteArray line = QStringLiteral(" née / “quoted”\n").toUtf8();
    for (const auto& [size, emptied] : {std::pair{1000000, false}, {1000001, true}}) {  // the limit is kept, a byte more is not
        SCOPED_TRACE(size);
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(QByteArray(size, 'x')) == size);
        file.close();
        AppState::dlog(QStringLiteral("née / “quoted”"));
        const QByteArray after = readAll(path);
        EXPECT_TRUE(after.endsWith(line));
        EXPECT_EQ(after.size(), (emptied ? 0 : size) + 20 + line.size());
    }
}

TEST(AppState, RegistersDefaultsWithoutStoringThemAndNotifiesOnlyOnRealChanges)
{
    TestPlatform tp;
    AppState state(tp.take());
    EXPECT_FALSE(tp.settings->hasOwnValue(QStringLiteral("look.speed")));
    EXPECT_EQ(tp.settings->stringValue(QStringLiteral("lyrics.mode")), QStringLiteral("visuals"));
    EXPECT_TRUE(tp.settings->hasOwnValue(QStringLiteral("lyrics.mode")));
    QSignalSpy spy(&state, &AppState::themeNameChanged);
    state.setThemeName(QStringLiteral("Aurora"));
    state.setThemeName(QStringLiteral("Aurora"));
    EXPECT_EQ(spy.count(), 1);

    // A user's own choice is kept.
    TestPlatform other;
    other.settings->setValue(QStringLiteral("lyrics.mode"), QStringLiteral("off"));
    AppState second(other.take());
    EXPECT_EQ(other.settings->stringValue(QStringLiteral("lyrics.mode")), QStringLiteral("off"));
}
