// Renders the control panel in three states into PNG files (needs a display):
//   panel_screenshots OUTPUT_DIR
// Each state is the real panel over a fresh app state made of the test doubles.
// Key checks and lyric fetches go to a closed loopback port.
#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QTest>
#include <cstdio>

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

const QUrl kNowhere(QStringLiteral("http://127.0.0.1:9"));

// Stage `tp` first, then open() the panel and save() it.
struct Stage {
    bool open()
    {
        Platform platform = tp.take();
        platform.lyricsService = kNowhere;
        state = std::make_unique<AppState>(std::move(platform));
        window = std::make_unique<PanelWindow>(*state);
        window->showCentred();
        return QTest::qWaitFor([&] { return window->view().isLive(); }, 5000);
    }
    bool save(const QString& file)
    {
        // A change deep in the panel re-lays out one widget level per pass.
        for (int pass = 0; pass < 10; ++pass)
            QCoreApplication::processEvents();
        return window->grab().save(file);
    }

    TestPlatform tp;
    std::unique_ptr<AppState> state;
    std::unique_ptr<PanelWindow> window;
};

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fputs("usage: panel_screenshots OUTPUT_DIR\n", stderr);
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]) + QLatin1Char('/');
    QDir().mkpath(out);
    QDir().mkpath(QFileInfo(ComposeClient::configPath()).path());
    {
        QFile config(ComposeClient::configPath());
        if (config.open(QIODevice::WriteOnly))
            config.write(QStringLiteral(R"({"baseUrl":"%1"})").arg(kNowhere.toString()).toUtf8());
    }
    bool saved = true;
    {
        Stage fresh;
        saved &= fresh.open() && fresh.save(out + QStringLiteral("panel-fresh.png"));
    }
    {
        Stage s;
        s.tp.settings->setValue(QStringLiteral("pro.key"), QStringLiteral("demo-key"));
        s.tp.settings->setValue(QStringLiteral("presets"),
            Presets::encode({{QUuid::createUuid(), QStringLiteral("deep sea bloom"), QStringLiteral("{}")},
                             {QUuid::createUuid(), QStringLiteral("neon rain over a quiet city"), QStringLiteral("{}")}}));
        s.tp.players->running = {QStringLiteral("Spotify")};
        saved &= s.open();
        s.state->setWallpaper(s.tp.screens->list().first(), false);
        s.state->startCapture();
        // 18.8 s of a 128 BPM kick: long enough for a tempo, ending inside a kick.
        const std::vector<float> kicks = PulsePlayer::tone(60.0, 0.8f, 18.8, 60.0 / 128.0, 0.1);
        for (auto hop = kicks.begin(); hop != kicks.end(); hop += 1600) {
            s.tp.capture->write({hop, hop + 1600});
            s.tp.queue->advance(CapturePump::kPumpInterval);
        }
        QImage cover(300, 300, QImage::Format_RGB32);
        QPainter painter(&cover);
        QLinearGradient gradient(0, 0, 300, 300);
        gradient.setColorAt(0, QColor(0xff, 0x5f, 0xa2));
        gradient.setColorAt(1, QColor(0x00, 0x2c, 0x6c));
        painter.fillRect(cover.rect(), gradient);
        painter.setBrush(QColor(0xff, 0xd1, 0x66));
        painter.setPen(Qt::NoPen);
        painter.drawEllipse(QPointF(190, 110), 60, 60);
        painter.end();
        cover.save(s.tp.dir() + QStringLiteral("/cover.png"));
        s.tp.players->queries.clear();
        s.tp.queue->advance(NowPlayingWatcher::kPollInterval);
        s.tp.players->answerText(QStringLiteral("Midnight Tide\nThe Harbour Lights\n%1\ntrue\nLow Water\n214000\n61.5")
                                     .arg(QUrl::fromLocalFile(s.tp.dir() + QStringLiteral("/cover.png")).toString()));
        saved &= QTest::qWaitFor([&] { return s.window->view().nowPlaying().showsCover(); }, 5000);
        s.state->setThemeName(QStringLiteral("Aurora"));
        s.state->setAutoSource(QStringLiteral("the tide comes in under a silver moon"));
        s.state->setComposeStatus(QStringLiteral("\u2713 live"));
        s.state->setLyricLine(QStringLiteral("And the tide comes in under a silver moon, carrying every light of the "
                                             "harbour out to sea"));
        saved &= s.save(out + QStringLiteral("panel-playing.png"));
    }
    {
        Stage failed;
        saved &= failed.open();
        failed.tp.capture->failWith = QStringLiteral("pa_context_connect failed (-6)");
        failed.state->startCapture();
        failed.tp.queue->advance(CapturePump::kPumpInterval, 6);
        saved &= failed.save(out + QStringLiteral("panel-capture-error.png"));
    }
    QFile::remove(ComposeClient::configPath());
    return saved ? 0 : 1;
}
