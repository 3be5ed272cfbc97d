// Renders the control panel in three states into PNG files (needs a display):
//   panel_screenshots OUTPUT_DIR
// Each state is the real panel over a fresh app state made of the test doubles.
// Key checks and lyric fetches go to a closed loopback port.
#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QTest>

#include "PrivateHome.h"
#include "PulsePlayer.h"
#include "TestPlatform.h"
#include "app/AppState.h"
#include "app/CapturePump.h"
#include "compose/ComposeClient.h"
#include "nowplaying/NowPlayingWatcher.h"
#include "panel/NowPlayingSection.h"
#include "panel/PanelView.h"
#include "panel/PanelWindow.h"

namespace {

// Stages the doubles, opens the panel over them, stages the app state and saves the picture.
bool shoot(const QString& file, const std::function<void(TestPlatform&)>& before,
           const std::function<bool(TestPlatform&, AppState&, PanelWindow&)>& during)
{
    TestPlatform tp;
    before(tp);
    AppState state(tp.take());
    PanelWindow window(state);
    window.showCentred();
    if (!QTest::qWaitFor([&] { return window.view().isLive(); }, 5000) || !during(tp, state, window))
        return false;
    // A change deep in the panel re-lays out one widget level per pass.
    for (int pass = 0; pass < 10; ++pass)
        QCoreApplication::processEvents();
    return window.grab().save(file);
}

bool playing(TestPlatform& tp, AppState& state, PanelWindow& window)
{
    state.setWallpaper(tp.screens->list().first(), false);
    state.startCapture();
    // 18.8 s of a 128 BPM kick: long enough for a tempo, ending inside a kick.
    const std::vector<float> kicks = PulsePlayer::tone(60.0, 0.8f, 18.8, 60.0 / 128.0, 0.1);
    for (auto hop = kicks.begin(); hop != kicks.end(); hop += 1600) {
        tp.capture->write({hop, hop + 1600});
        tp.queue->advance(CapturePump::kPumpInterval);
    }
    QImage cover(300, 300, QImage::Format_RGB32);
    QPainter painter(&cover);
    QLinearGradient gradient(0, 0, 300, 300);
    gradient.setStops({{0, QColor(0xff, 0x5f, 0xa2)}, {1, QColor(0x00, 0x2c, 0x6c)}});
    painter.fillRect(cover.rect(), gradient);
    painter.setBrush(QColor(0xff, 0xd1, 0x66));
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(QPointF(190, 110), 60, 60);
    painter.end();
    cover.save(tp.dir() + QStringLiteral("/cover.png"));
    tp.players->queries.clear();
    tp.queue->advance(NowPlayingWatcher::kPollInterval);
    tp.players->answerText(QStringLiteral("Midnight Tide\nThe Harbour Lights\n%1\ntrue\nLow Water\n214000\n61.5")
                               .arg(QUrl::fromLocalFile(tp.dir() + QStringLiteral("/cover.png")).toString()));
    const bool covered = QTest::qWaitFor([&] { return window.view().nowPlaying().showsCover(); }, 5000);
    state.setThemeName(QStringLiteral("Aurora"));
    state.setAutoSource(QStringLiteral("the tide comes in under a silver moon"));
    state.setComposeStatus(QStringLiteral("\u2713 live"));
    state.setLyricLine(QStringLiteral("And the tide comes in under a silver moon, carrying every light of the harbour out to sea"));
    return covered;
}

}  // namespace

int main(int argc, char** argv)
{
    // The composer configuration written below must never be a user's.
    const PrivateHome home;
    QApplication app(argc, argv);
    if (argc != 2) {
        qCritical("usage: panel_screenshots OUTPUT_DIR");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]) + QLatin1Char('/');
    QDir().mkpath(out);
    QDir().mkpath(QFileInfo(ComposeClient::configPath()).path());
    if (QFile config(ComposeClient::configPath()); config.open(QIODevice::WriteOnly))
        config.write(R"({"baseUrl":"http://127.0.0.1:9"})");
    const auto nothing = [](TestPlatform&) {};
    bool saved = shoot(out + QStringLiteral("panel-fresh.png"), nothing, [](auto&...) { return true; });
    saved &= shoot(out + QStringLiteral("panel-playing.png"), [](TestPlatform& tp) {
        tp.settings->setValue(QStringLiteral("pro.key"), QStringLiteral("demo-key"));
        tp.settings->setValue(QStringLiteral("presets"),
            Presets::encode({{QUuid::createUuid(), QStringLiteral("deep sea bloom"), QStringLiteral("{}")},
                             {QUuid::createUuid(), QStringLiteral("neon rain over a quiet city"), QStringLiteral("{}")}}));
        tp.players->running = {QStringLiteral("Spotify")};
    }, playing);
    saved &= shoot(out + QStringLiteral("panel-capture-error.png"), nothing, [](TestPlatform& tp, AppState& state, PanelWindow&) {
        tp.capture->failWith = QStringLiteral("pa_context_connect failed (-6)");
        state.startCapture();
        tp.queue->advance(CapturePump::kPumpInterval, 6);
        return true;
    });
    return saved ? 0 : 1;
}
