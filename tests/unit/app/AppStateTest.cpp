#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
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
    const QByteArray first = readAll(path);
    EXPECT_TRUE(first.endsWith(" first line\n")) << first.constData();
    EXPECT_EQ(first.size(), qsizetype(strlen("2026-01-01T00:00:00Z first line\n")));
    EXPECT_EQ(first[4], '-');
    EXPECT_EQ(first[10], 'T');
    EXPECT_EQ(first[19], 'Z');

    struct Row {
        const char* name;
        qint64 size;
        bool emptied;
    };
    for (const Row& row : {Row{"exactly the limit is kept", 1000000, false}, Row{"one byte more is emptied", 1000001, true}}) {
        SCOPED_TRACE(row.name);
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QByteArray(row.size, 'x'));
        file.close();
        AppState::dlog(QStringLiteral("née / “quoted”"));
        const QByteArray after = readAll(path);
        const QByteArray line = QStringLiteral(" née / “quoted”\n").toUtf8();
        EXPECT_TRUE(after.endsWith(line));
        EXPECT_EQ(after.size(), (row.emptied ? 0 : row.size) + 20 + line.size());
    }
}

TEST(AppStateInit, RegistersDefaultsWithoutStoringThemAndDefaultsLyricsToVisuals)
{
    TestPlatform tp;
    AppState state(tp.take());
    Settings& settings = *tp.settings;
    EXPECT_FALSE(settings.hasOwnValue(QStringLiteral("look.speed")));
    EXPECT_EQ(settings.stringValue(QStringLiteral("lyrics.mode")), QStringLiteral("visuals"));
    EXPECT_TRUE(settings.hasOwnValue(QStringLiteral("lyrics.mode")));

    // A user's own choice is kept.
    TestPlatform other;
    other.settings->setValue(QStringLiteral("lyrics.mode"), QStringLiteral("off"));
    AppState second(other.take());
    EXPECT_EQ(other.settings->stringValue(QStringLiteral("lyrics.mode")), QStringLiteral("off"));
}

TEST(AppStatePublished, NotifiesOnlyOnRealChanges)
{
    TestPlatform tp;
    AppState state(tp.take());
    QSignalSpy spy(&state, &AppState::themeNameChanged);
    state.setThemeName(QStringLiteral("Aurora"));
    state.setThemeName(QStringLiteral("Aurora"));
    EXPECT_EQ(spy.count(), 1);
    EXPECT_EQ(state.themeName(), QStringLiteral("Aurora"));
}
