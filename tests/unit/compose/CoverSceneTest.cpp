// Cover scenes through the app state on the virtual clock, with a scripted player,
// a loopback cover host and backend, and a fake page (the real page and composer
// get a cover in the end-to-end suite); and the encoder on images that shrink,
// stay, or cannot be read.
#include <QBuffer>
#include <QImage>
#include <QtEndian>
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

namespace {

QByteArray encoded(int width, int height, const char* format)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return buffer.data();
}

// A 1 × 1 BMP whose header claims `side` × `side` (a BMP has no checksum to mend).
QByteArray bmpClaiming(qint32 side)
{
    QByteArray bmp = encoded(1, 1, "bmp");
    qToLittleEndian(side, bmp.data() + 18);
    qToLittleEndian(side, bmp.data() + 22);
    return bmp;
}

}  // namespace

TEST(CoverScene, BecomesTheSceneOrIsSkippedSilentlyOrUnreadable)
{
    LoopbackHttpServer covers;
    covers.fallback = {200, "<html><body>no cover here</body></html>", "text/html"};
    TestPlatform tp;
    AppState state(tp.take());
    state.setWallpaper({QStringLiteral("LEFT"), QRect(0, 0, 640, 360)}, false);
    tp.players->running = {"Music"};
    state.startNowPlaying();
    tp.queue->advance(4 * NowPlayingWatcher::kPollInterval);  // queries to answer later
    const auto play = [&](const QString& title, bool playing = true) {
        ASSERT_TRUE(tp.players->answerText(QStringLiteral("%1\nBand\n%2/files/%1.jpg\n%3\nRecord\n200\n1")
                                               .arg(title, covers.origin(), playing ? "true" : "false")));
        tp.queue->runPending();
    };

    // Each change cancels the pending cover: back to the first song within the
    // delay, its cover is read once, 3 s after the last change, and is HTML.
    for (const char* title : {"First", "Second", "First"}) {
        play(title);
        tp.queue->advance(1.0);
    }
    tp.queue->advance(CoverScene::kDelay - 1.5);
    EXPECT_EQ(state.composeStatus(), QString());
    tp.queue->advance(0.5);
    EXPECT_EQ(state.composeStatus(), "reading the cover…");
    ASSERT_TRUE(WebEngineHarness::waitFor([&] { return state.composeStatus() == "cover unreadable"; }, 5000));
    ASSERT_EQ(covers.requests.size(), 1);
    EXPECT_EQ(covers.requests[0].path, "/files/First.jpg");
    EXPECT_EQ(state.autoSource(), "album art — First");
    EXPECT_FALSE(state.composeInFlight());

    // Paused when the time comes, or another composition in flight: nothing at all.
    play("Third");
    play("Third", false);
    tp.queue->advance(CoverScene::kDelay);
    state.setComposeInFlight(true);
    play("Fourth");
    tp.queue->advance(CoverScene::kDelay);
    WebEngineHarness::settle(200);
    EXPECT_EQ(covers.requests.size(), 1);
    EXPECT_EQ(state.composeStatus(), "cover unreadable");

    // A cover that reads, with the page and the backend answering, becomes the scene.
    LoopbackHttpServer backend;
    backend.fallback = {200, R"({"graph":{"a":1}})"};
    state.composeClient().setConfig({backend.origin(), QStringLiteral("k")});
    FakePage& page = tp.host->last()->fakePage;
    page.replies.insert(PageCalls::sceneDescription(), {QStringLiteral(R"({"spec":{},"schema":{}})"), {}});
    page.replies.insert(PageCalls::applyGraph(QStringLiteral(R"({"a":1})")), {QStringLiteral("ok"), {}});
    covers.fallback = {200, encoded(300, 300, "jpeg"), "image/jpeg"};
    state.setComposeInFlight(false);
    play("Fifth");
    tp.queue->advance(CoverScene::kDelay);
    EXPECT_TRUE(WebEngineHarness::waitFor([&] {
        tp.queue->runPending();
        return state.composeStatus() == "✓ from the cover";
    }, 10000)) << state.composeStatus().toStdString();
    EXPECT_EQ(state.autoSource(), "album art — Fifth");
}

TEST(CoverScene, WhatThePageAndTheBackendAreGivenAndTheImageShrunkOrRefused)
{
    // Title and artist as they are, quotes and all; a palette only from a list of strings.
    EXPECT_EQ(CoverScene::steeringText({QStringLiteral(R"(Say "Hi")"), QStringLiteral("Band")}),
              QStringLiteral(R"(the mood and world of this album cover — "Say "Hi"" by Band)"));
    for (const auto& [reply, palette] : {std::pair{R"(["#102030","#405060"])", QStringList{"#102030", "#405060"}},
                                         std::pair{R"({"not":"a list"})", QStringList{}},
                                         std::pair{R"(["#102030",1])", QStringList{}}})
        EXPECT_EQ(CoverScene::paletteFrom({QString::fromUtf8(reply), {}}), palette) << reply;

    // The image shrinks only, and what cannot be read is refused.
    const QByteArray jpeg = encoded(1000, 800, "jpeg");
    // A text chunk that claims 4 GB: the decoder would allocate it before reading.
    QByteArray bogusChunk = encoded(2, 2, "png");
    bogusChunk.insert(bogusChunk.size() - 12, QByteArray("\xf2\x00\x00\x43tEXtdate", 12));
    const std::tuple<const char*, QByteArray, QSize> rows[] = {  // 0 × 0: refused
        {"1000 × 800 shrinks", jpeg, {512, 409}},
        {"300 × 300 stays", encoded(300, 300, "png"), {300, 300}},
        {"0 × 0", bmpClaiming(0), {0, 0}},
        {"a JPEG cut inside its header", jpeg.left(100), {0, 0}},
        {"a PNG chunk longer than the file", bogusChunk, {0, 0}},
        {"20000 × 20000 passes the allocation limit", bmpClaiming(20000), {0, 0}}};
    for (const auto& [name, bytes, size] : rows) {
        const QString url = jpegDataURL(bytes, CoverScene::kMaxSide).value_or(QStringLiteral("refused"));
        const auto decoded = QByteArray::fromBase64Encoding(url.section(',', 1).toLatin1(),
                                                            QByteArray::AbortOnBase64DecodingErrors);
        EXPECT_EQ(url.section(',', 0, 0), size.isEmpty() ? "refused" : "data:image/jpeg;base64") << name;
        EXPECT_EQ(QImage::fromData(*decoded, "jpeg").size(), size) << name;
    }
}
