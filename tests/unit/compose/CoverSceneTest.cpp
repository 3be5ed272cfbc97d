// Cover scenes through the app state on the virtual clock, with a scripted player,
// a loopback server as cover host and backend, and a FakePage; and the encoder
// on images that shrink, stay, or cannot be read.
#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

#include "LoopbackHttpServer.h"
#include "TestPlatform.h"
#include "WebEngineHarness.h"
#include "app/AppState.h"
#include "compose/ComposeClient.h"
#include "compose/CoverScene.h"
#include "compose/JpegDataUrl.h"
#include "nowplaying/NowPlayingWatcher.h"
#include "wallpaper/PageCalls.h"

using WebEngineHarness::waitFor;

namespace {

QByteArray encoded(int width, int height, const char* format)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

// A small PNG whose header claims width × height, its checksum made to match.
QByteArray pngClaiming(quint32 width, quint32 height)
{
    QByteArray png = encoded(1, 1, "png");
    for (int i = 0; i < 4; ++i) {
        png[16 + i] = char(width >> (24 - 8 * i));
        png[20 + i] = char(height >> (24 - 8 * i));
    }
    quint32 crc = 0xFFFFFFFF;
    for (int i = 12; i < 29; ++i) {
        crc ^= quint8(png[i]);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320 & (0u - (crc & 1)));
    }
    crc = ~crc;
    for (int i = 0; i < 4; ++i)
        png[29 + i] = char(crc >> (24 - 8 * i));
    return png;
}

// Two frames of 2 × 1 pixels, looping.
const QByteArray kAnimatedGif = QByteArray::fromHex(
    "47494638396102000100800000" "ff00000000ff"
    "21ff0b4e45545343415045322e300301000000"
    "21f90400 0a000000 2c0000000002000100 00 02 02440a 00"
    "21f90400 0a000000 2c0000000002000100 00 02 020c0a 00 3b");

struct Rig {
    Rig()
    {
        tp.host->replies = {{PageCalls::spec(), {QStringLiteral("{}"), {}}},
                            {PageCalls::paletteBody(), {QStringLiteral(R"({"not":"a list"})"), {}}},
                            {PageCalls::applyGraph(QStringLiteral(R"({"a":1})")), {QStringLiteral("ok"), {}}}};
        Platform platform = tp.take();
        platform.lyricsService = lyrics.url();
        state = std::make_unique<AppState>(std::move(platform));
        state->composeClient().setConfig({backend.origin(), QStringLiteral("key")});
        state->setWallpaper({QStringLiteral("LEFT"), QRect(0, 0, 640, 360)}, false);
        tp.players->running = {"Music"};
        state->startNowPlaying();
        tp.queue->advance(3 * NowPlayingWatcher::kPollInterval);  // queries to answer later
    }
    void play(const QString& title, const QString& cover, bool playing = true)
    {
        ASSERT_TRUE(tp.players->answerText(
            QStringLiteral("%1\nBand\n%2/files/%3\n%4\nRecord\n200\n1")
                .arg(title, backend.origin(), cover, playing ? QStringLiteral("true") : QStringLiteral("false"))));
        tp.queue->runPending();
    }

    LoopbackHttpServer lyrics;
    LoopbackHttpServer backend;
    TestPlatform tp;
    std::unique_ptr<AppState> state;
};

}  // namespace

TEST(CoverScene, TheCoverBecomesTheScene)
{
    Rig rig;
    rig.backend.queued = {{200, encoded(1000, 800, "jpeg"), "image/jpeg"}, {200, R"({"graph":{"a":1}})"}};
    rig.play(QStringLiteral(R"(Say "Hi")"), QStringLiteral("cover.jpg"));
    rig.tp.queue->advance(CoverScene::kDelay);
    EXPECT_EQ(rig.state->composeStatus(), QStringLiteral("reading the cover…"));
    ASSERT_TRUE(waitFor([&] { return rig.state->composeStatus() == QStringLiteral("✓ from the cover"); }, 5000))
        << rig.state->composeStatus().toStdString();
    EXPECT_FALSE(rig.state->composeInFlight());
    EXPECT_EQ(rig.state->themeName(), QStringLiteral("AI scene"));
    EXPECT_EQ(rig.state->autoSource(), QStringLiteral(R"(album art — Say "Hi")"));
    EXPECT_EQ(rig.tp.log->count(QStringLiteral("[vesmer] cover-scene: ok")), 1);

    // A palette that is no JSON list is sent empty; the same image went to the page.
    ASSERT_EQ(rig.backend.requests.size(), 2);
    const QJsonObject body = QJsonDocument::fromJson(rig.backend.requests[1].body).object();
    EXPECT_EQ(body["prompt"].toString(), QStringLiteral(R"(the mood and world of this album cover — "Say "Hi"" by Band)"));
    EXPECT_EQ(body["palette"].toArray(), QJsonArray());
    const FakePage& page = rig.tp.host->last()->fakePage;
    ASSERT_EQ(page.countOf(PageCalls::paletteBody()), 1);
    const auto palette = std::find_if(page.calls.begin(), page.calls.end(),
                                      [](const FakePage::Call& call) { return call.withArguments && call.script == PageCalls::paletteBody(); });
    EXPECT_EQ(palette->arguments.value("u").toString(), body["image"].toString());
}

TEST(CoverScene, SkippedSilentlyOrUnreadable)
{
    Rig rig;
    rig.backend.fallback = {200, "<html><body>no cover here</body></html>", "text/html"};
    // Two changes within the delay: only the second runs, and meets an HTML page.
    rig.play(QStringLiteral("First"), QStringLiteral("first.jpg"));
    rig.tp.queue->advance(CoverScene::kDelay - 1.0);
    rig.play(QStringLiteral("Second"), QStringLiteral("second.jpg"));
    rig.tp.queue->advance(CoverScene::kDelay);
    ASSERT_TRUE(waitFor([&] { return rig.state->composeStatus() == QStringLiteral("cover unreadable"); }, 5000));
    ASSERT_EQ(rig.backend.requests.size(), 1);
    EXPECT_EQ(rig.backend.requests[0].path, QStringLiteral("/files/second.jpg"));
    EXPECT_FALSE(rig.state->composeInFlight());

    // Paused when the time comes, or another composition in flight: nothing at all.
    rig.play(QStringLiteral("Third"), QStringLiteral("third.jpg"));
    rig.play(QStringLiteral("Third"), QStringLiteral("third.jpg"), false);
    rig.tp.queue->advance(CoverScene::kDelay);
    rig.state->setComposeInFlight(true);
    rig.play(QStringLiteral("Fourth"), QStringLiteral("fourth.jpg"));
    rig.tp.queue->advance(CoverScene::kDelay);
    WebEngineHarness::settle(200);
    EXPECT_EQ(rig.backend.requests.size(), 1);
    EXPECT_EQ(rig.state->composeStatus(), QStringLiteral("cover unreadable"));
}

TEST(JpegDataUrl, ShrinksOnlyAndRefusesWhatItCannotRead)
{
    const QByteArray jpeg = encoded(1000, 800, "jpeg");
    struct Row {
        const char* name;
        QByteArray bytes;
        QSize size;  // empty: none
    };
    for (const Row& row : {Row{"1000 × 800 shrinks", jpeg, {512, 409}},
                           Row{"300 × 300 stays", encoded(300, 300, "png"), {300, 300}},
                           Row{"4000 × 1000 shrinks", encoded(4000, 1000, "jpeg"), {512, 128}},
                           Row{"an animated GIF gives its first frame", kAnimatedGif, {2, 1}},
                           Row{"0 × 0", pngClaiming(0, 0), {}},
                           Row{"a JPEG cut inside its header", jpeg.left(100), {}},
                           Row{"20000 × 20000 passes the allocation limit", pngClaiming(20000, 20000), {}},
                           Row{"an HTML page", "<html></html>", {}}}) {
        SCOPED_TRACE(row.name);
        const std::optional<QString> url = jpegDataURL(row.bytes, CoverScene::kMaxSide);
        ASSERT_EQ(url.has_value(), !row.size.isEmpty());
        if (!url)
            continue;
        const QString prefix = QStringLiteral("data:image/jpeg;base64,");
        ASSERT_TRUE(url->startsWith(prefix));
        const auto decoded = QByteArray::fromBase64Encoding(url->mid(prefix.size()).toLatin1(),
                                                            QByteArray::AbortOnBase64DecodingErrors);
        ASSERT_TRUE(decoded);
        QBuffer buffer(const_cast<QByteArray*>(&*decoded));
        QImageReader reader(&buffer);
        EXPECT_EQ(reader.format(), QByteArray("jpeg"));
        EXPECT_EQ(reader.size(), row.size);
    }
}
