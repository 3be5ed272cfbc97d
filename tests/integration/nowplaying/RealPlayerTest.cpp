// A real MPRIS player: mpv with its MPRIS script plays a tagged FLAC file into the
// sound server; the watcher reads what it plays. (That its sound reaches the
// capture is the end-to-end suite's.)
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "WebEngineHarness.h"
#include "nowplaying/NowPlayingWatcher.h"
#include "platform/mpris/MprisPlayerBridge.h"
#include "platform/qt/QtMainQueue.h"

TEST(RealPlayer, MpvIsRead)
{
    const QString script = QStringLiteral("/usr/lib/mpv-mpris/mpris.so");
    if (!QFile::exists(script))
        GTEST_SKIP() << "mpv-mpris is not installed";
    QTemporaryDir dir;
    const QString song = dir.filePath("song.flac");
    for (const QStringList& command : {QStringList{"sox", "-n", "-r", "48000", "-c", "2", song, "synth", "20", "sine", "440"},
             QStringList{"metaflac", "--set-tag=TITLE=Sine ☃", "--set-tag=ARTIST=Test Band", "--set-tag=ALBUM=Tones", song}})
        ASSERT_EQ(QProcess::execute(command[0], command.mid(1)), 0) << command.join(' ').toStdString();
    SystemClock clock;
    QtMainQueue queue;
    MprisPlayerBridge bridge(clock);
    NowPlayingWatcher watcher(bridge, queue, clock);

    QProcess mpv;
    mpv.start("mpv", {"--no-config", "--script=" + script, "--no-video", "--ao=pulse", "--really-quiet", song});
    ASSERT_TRUE(mpv.waitForStarted());
    // mpv shows up on the bus a moment after it starts, and its title after that.
    EXPECT_TRUE(WebEngineHarness::waitFor([&] {
        watcher.poll();
        WebEngineHarness::settle(200);
        return watcher.track() && watcher.track()->title == QStringLiteral("Sine ☃") && watcher.track()->positionS > 0.5;
    }, 10000));
    const TrackInfo track = watcher.track().value_or(TrackInfo{});
    EXPECT_EQ((QStringList{track.artist, track.album}), (QStringList{"Test Band", "Tones"}));
    EXPECT_TRUE(track.playing);
    EXPECT_NEAR(track.durationS, 20.0, 0.1);
    mpv.terminate();
    mpv.waitForFinished(5000);
}
