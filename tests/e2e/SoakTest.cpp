// The application for half an hour as a listener runs it (make soak; minutes from
// VESMER_SOAK_MINUTES): music playing, a lyric line every three seconds, an
// automatic scene every 15 s from the real composer. Every 10 s it records the
// resident memory and CPU time of the app and of the composer; memory may grow
// by at most 10 % after the first five minutes. The figures go to soak.csv in
// the working folder.
#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QTimer>
#include <QUrl>
#include <unistd.h>

#include "E2eDesktop.h"
#include "TestMprisPlayer.h"
#include "WebEngineHarness.h"

using WebEngineHarness::waitFor;

namespace e2e {
namespace {

struct Sample {
    double rssMiB = 0;
    double cpuSeconds = 0;
};

Sample sample(qint64 pid)
{
    Sample s;
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (status.open(QIODevice::ReadOnly))
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("VmRSS:"))
                s.rssMiB = line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (stat.open(QIODevice::ReadOnly)) {
        const QByteArray text = stat.readAll();
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        s.cpuSeconds = (fields.value(11).toDouble() + fields.value(12).toDouble()) / double(sysconf(_SC_CLK_TCK));
    }
    return s;
}

TEST_F(EndToEnd, HalfAnHourOfMusicLyricsAndScenesKeepsMemoryFlat)
{
    const int minutes = qEnvironmentVariableIsSet("VESMER_SOAK_MINUTES") ? qEnvironmentVariableIntValue("VESMER_SOAK_MINUTES") : 30;
    QString lyrics;
    for (int i = 0; i < minutes * 20 + 20; ++i)
        lyrics += QStringLiteral("[%1:%2.00]line number %3 of the song\n").arg(i * 3 / 60).arg(i * 3 % 60, 2, 10, QLatin1Char('0')).arg(i);
    desktop().lyrics.fallback = {200, QJsonDocument(QJsonObject{{"syncedLyrics", lyrics}}).toJson()};
    configure(desktop().key, 2);
    auto app = start();
    ASSERT_TRUE(app->showsWallpaper(AppProcessTools::kStartTimeoutMs)) << app->standardError().toStdString();

    QProcess mpv;
    mpv.start(QStringLiteral("mpv"), {"--no-config", "--no-video", "--ao=pulse", "--really-quiet", "--loop-file=inf",
                                      desktop().clickTrack});
    TestMprisPlayer spotify(QStringLiteral("org.mpris.MediaPlayer2.spotify"));
    const qint64 startedMs = QDateTime::currentMSecsSinceEpoch();
    spotify.change([&](TestMprisPlayer::State& state) {
        state.metadata = TestMprisPlayer::track("Long Song", {"Band"}, "Record", qint64(minutes + 2) * 60'000'000,
                                                QUrl::fromLocalFile(desktop().cover).toString());
        state.status = QStringLiteral("Playing");
    });
    QTimer position;
    QObject::connect(&position, &QTimer::timeout, [&] {
        spotify.change([&](TestMprisPlayer::State& s) { s.positionUs = (QDateTime::currentMSecsSinceEpoch() - startedMs) * 1000; });
    });
    position.start(200);

    QFile csv(QStringLiteral("soak.csv"));
    ASSERT_TRUE(csv.open(QIODevice::WriteOnly | QIODevice::Truncate));
    csv.write("seconds,app_rss_mib,app_cpu_s,composer_rss_mib,composer_cpu_s\n");
    const qint64 composerPid = desktop().composer.processId();
    double baselineApp = 0, baselineComposer = 0, peakApp = 0, peakComposer = 0;
    Sample first{}, last{}, firstComposer{}, lastComposer{};
    for (int t = 0; t <= minutes * 60; t += 10) {
        if (t > 0)
            waitFor([] { return false; }, 10000);
        ASSERT_TRUE(app->running()) << app->standardError().toStdString();
        const Sample a = sample(app->pid()), c = sample(composerPid);
        csv.write(QStringLiteral("%1,%2,%3,%4,%5\n").arg(t).arg(a.rssMiB, 0, 'f', 1).arg(a.cpuSeconds, 0, 'f', 2)
                      .arg(c.rssMiB, 0, 'f', 1).arg(c.cpuSeconds, 0, 'f', 2).toUtf8());
        csv.flush();
        if (t == 0)
            first = a, firstComposer = c;
        last = a, lastComposer = c;
        if (t == 300 || (minutes < 5 && t == 0))
            baselineApp = a.rssMiB, baselineComposer = c.rssMiB;
        if (baselineApp > 0)
            peakApp = std::max(peakApp, a.rssMiB), peakComposer = std::max(peakComposer, c.rssMiB);
    }
    const double seconds = minutes * 60.0;
    std::printf("soak: app RSS %.1f MiB at 5 min, peak after %.1f MiB (%+.1f %%), CPU %.1f %% of a core\n", baselineApp,
                peakApp, 100.0 * (peakApp / baselineApp - 1.0), 100.0 * (last.cpuSeconds - first.cpuSeconds) / seconds);
    std::printf("soak: composer RSS %.1f MiB at 5 min, peak after %.1f MiB (%+.1f %%), CPU %.2f %% of a core\n",
                baselineComposer, peakComposer, 100.0 * (peakComposer / baselineComposer - 1.0),
                100.0 * (lastComposer.cpuSeconds - firstComposer.cpuSeconds) / seconds);
    std::printf("soak: %zu scenes composed\n", composerRequests("/api/compose").size());
    EXPECT_LE(peakApp, baselineApp * 1.10);
    EXPECT_LE(peakComposer, baselineComposer * 1.10);
    mpv.terminate();
    mpv.waitForFinished(5000);
}

}  // namespace
}  // namespace e2e
