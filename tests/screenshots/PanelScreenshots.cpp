// Renders the control panel in three states into PNG files (needs a display):
//   panel_screenshots OUTPUT_DIR
// Each state is staged on a fresh app state made of the test doubles: virtual
// time, a scripted capture and player, a fake wallpaper host. The panel itself is
// the real one. Key checks and lyric fetches go to a closed loopback port.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <cmath>
#include <cstdio>
#include <vector>

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

void waitFor(const std::function<bool()>& done)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

// A kick drum at `bpm` for `seconds`, as mono samples at 48 kHz.
std::vector<float> kicks(double bpm, double seconds)
{
    const int rate = 48000;
    const int period = int(rate * 60.0 / bpm);
    std::vector<float> out(size_t(seconds * rate));
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = int(i) % period < rate / 10 ? 0.8f * float(std::sin(2.0 * M_PI * 60.0 * double(i) / rate)) : 0.0f;
    return out;
}

QString coverFile(const QString& dir)
{
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
    const QString path = dir + QStringLiteral("/cover.png");
    cover.save(path);
    return path;
}

class Stage {
public:
    explicit Stage(const std::function<void(TestPlatform&)>& before = {})
    {
        if (before)
            before(tp);
        Platform platform = tp.take();
        platform.lyricsService = kNowhere;
        state = std::make_unique<AppState>(std::move(platform));
        window = std::make_unique<PanelWindow>(*state);
        window->showCentred();
        waitFor([&] { return window->view().isLive(); });
    }
    void run(double seconds, const std::vector<float>& samples = {})
    {
        const int ticks = int(seconds / CapturePump::kPumpInterval);
        const size_t hop = samples.size() / size_t(std::max(ticks, 1));
        for (int i = 0; i < ticks; ++i) {
            if (hop > 0)
                tp.capture->write(std::vector<float>(samples.begin() + long(i * hop), samples.begin() + long((i + 1) * hop)));
            tp.queue->advance(CapturePump::kPumpInterval);
        }
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
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);
    QDir().mkpath(QFileInfo(ComposeClient::configPath()).absolutePath());
    QFile config(ComposeClient::configPath());
    if (config.open(QIODevice::WriteOnly))
        config.write(QStringLiteral(R"({"baseUrl":"%1"})").arg(kNowhere.toString()).toUtf8());
    config.close();
    bool saved = true;

    {
        Stage fresh;
        saved &= fresh.save(out + QStringLiteral("/panel-fresh.png"));
    }
    {
        Stage playing([](TestPlatform& tp) {
            tp.settings->setValue(QStringLiteral("pro.key"), QStringLiteral("demo-key"));
            tp.settings->setValue(QStringLiteral("presets"),
                Presets::encode({{QUuid::createUuid(), QStringLiteral("deep sea bloom"), QStringLiteral("{}")},
                                 {QUuid::createUuid(), QStringLiteral("neon rain over a quiet city"), QStringLiteral("{}")}}));
            tp.players->running = {QStringLiteral("Spotify")};
        });
        Stage& s = playing;
        s.state->setWallpaper(s.tp.screens->list().first(), false);
        s.state->startCapture();
        // Long enough for a tempo (seen twice after 12 s), ending inside a kick.
        s.run(18.8, kicks(128.0, 18.8));
        const QString artwork = QUrl::fromLocalFile(coverFile(s.tp.dir())).toString();
        s.tp.players->queries.clear();
        s.tp.queue->advance(NowPlayingWatcher::kPollInterval);
        s.tp.players->answerText(QStringLiteral("Midnight Tide\nThe Harbour Lights\n%1\ntrue\nLow Water\n214000\n61.5").arg(artwork));
        waitFor([&] { return s.window->view().nowPlaying().showsCover(); });
        s.state->setThemeName(QStringLiteral("Aurora"));
        s.state->setAutoSource(QStringLiteral("the tide comes in under a silver moon"));
        s.state->setComposeStatus(QStringLiteral("\u2713 live"));
        s.state->setLyricLine(QStringLiteral("And the tide comes in under a silver moon, carrying every light of the "
                                             "harbour out to sea"));
        saved &= s.save(out + QStringLiteral("/panel-playing.png"));
    }
    {
        Stage failed;
        failed.tp.capture->failWith = QStringLiteral("pa_context_connect failed (-6)");
        failed.state->startCapture();
        failed.run(0.2);
        saved &= failed.save(out + QStringLiteral("/panel-capture-error.png"));
    }
    QFile::remove(ComposeClient::configPath());
    return saved ? 0 : 1;
}
