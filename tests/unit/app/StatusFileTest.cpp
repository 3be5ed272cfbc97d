#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>
#include <memory>

#include "TestPlatform.h"
#include "app/AppState.h"
#include "app/CapturePump.h"

namespace {

class StatusFileTest : public ::testing::Test {
protected:
    StatusFileTest() { QDir(folder()).removeRecursively(); }

    static QString folder() { return qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/Vesmer"); }
    static QString path() { return folder() + QStringLiteral("/status.json"); }
    static QByteArray raw()
    {
        QFile file(path());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    static QJsonObject json() { return QJsonDocument::fromJson(raw()).object(); }
    void tick(int count = 1) { tp.queue->advance(CapturePump::kPumpInterval, count); }

    TestPlatform tp;
    std::unique_ptr<AppState> state = std::make_unique<AppState>(tp.take());
};

TEST_F(StatusFileTest, WritesElevenKeysCompactlyWithSlashesEscapedIntoAFolderMadeWhenThePathIsFirstComputed)
{
    EXPECT_EQ(state->statusURL(), path());
    EXPECT_TRUE(QFileInfo(folder()).isDir());
    state->setLyricLine(QStringLiteral("AC/DC \"live\"\nnext"));
    state->setThemeName(QStringLiteral("Nebula"));
    state->setComposeStatus(QStringLiteral("\u2713 live"));
    state->startCapture();
    tick(3);  // the first processed tick (no wallpaper) writes at once

    EXPECT_FALSE(raw().contains('\n')) << "compact";
    EXPECT_TRUE(raw().contains(R"("lyric":"AC\/DC \"live\"\nnext")")) << raw().constData();
    QJsonObject status = json();
    EXPECT_NEAR(status.take("silentForSeconds").toDouble(-1), 3 * CapturePump::kPumpInterval, 1e-6);
    // Level 0: nothing captured yet.
    EXPECT_EQ(status, (QJsonObject{{"capturing", true}, {"level", 0.0}, {"wallpaper", ""}, {"wallpaperVisible", false},
                                   {"theme", "Nebula"}, {"track", ""}, {"lyric", "AC/DC \"live\"\nnext"}, {"bpm", 0.0},
                                   {"compose", "\u2713 live"}, {"updatedAt", AppState::iso(tp.clock->now())}}))
        << raw().constData();

    // The file is rewritten in place: a shorter text leaves nothing of the longer.
    state->setLyricLine(QStringLiteral("la"));
    tick(3 * 21);
    EXPECT_TRUE(raw().endsWith("}")) << raw().constData();
    EXPECT_EQ(json().value("lyric"), QJsonValue(QStringLiteral("la")));
}

TEST_F(StatusFileTest, PumpWritesOnlyMoreThanTwoSecondsAfterTheLastAtEitherRateAndSilenceKeepsGrowing)
{
    // How often ten seconds of pump ticks change the file: at about 0, 2.1, 4.2, 6.3 and 8.4 s.
    const auto writesIn10s = [](VirtualQueue& queue) {
        QFile::remove(path());
        QList<QByteArray> writes;
        for (int t = 0; t < 30 * 10; ++t) {
            queue.advance(CapturePump::kPumpInterval);
            if (const QByteArray now = raw(); !now.isEmpty() && (writes.isEmpty() || writes.last() != now))
                writes << now;
        }
        return writes.size();
    };
    {
        TestPlatform slow;
        AppState slowState(slow.take());
        slowState.startCapture();
        EXPECT_EQ(writesIn10s(*slow.queue), 5) << "10 ticks a second";
    }
    state->setWallpaper(tp.screens->screens.first(), false);
    EXPECT_EQ(writesIn10s(*tp.queue), 5) << "30 ticks a second";
    const QJsonObject first = json();
    EXPECT_EQ(first.value("wallpaperVisible"), QJsonValue(true));

    // The pump stopped, only these calls write; whole seconds keep the boundary exact.
    state->stopCapture();
    const double writtenAt = 1'800'000'100.0;
    tp.clock->set(writtenAt);
    state->writeStatus();
    for (const auto& [after, writes] : {std::pair{1.0, false}, {2.0, false}, {2.1, true}}) {
        SCOPED_TRACE(after);
        QFile::remove(path());
        tp.clock->set(writtenAt + after);
        state->writeStatus();
        EXPECT_EQ(QFileInfo::exists(path()), writes);
    }
    const QJsonObject later = json();
    EXPECT_GT(later.value("silentForSeconds").toDouble(), first.value("silentForSeconds").toDouble() + 2.0);
    EXPECT_EQ(later.value("capturing"), QJsonValue(false));
}

}  // namespace
