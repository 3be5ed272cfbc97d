// The lyrics fetcher against loopback lyrics services over real HTTP; time-outs
// run on the virtual clock.
#include <QNetworkAccessManager>
#include <gtest/gtest.h>

#include "LoopbackHttpServer.h"
#include "VirtualQueue.h"
#include "WebEngineHarness.h"
#include "nowplaying/LyricsFetcher.h"
#include "nowplaying/TrackInfo.h"

using WebEngineHarness::waitFor;

namespace {

const TrackInfo kSong{"Hey & Jude/½", "The Beatles+", "Past Masters", "", 431.5};

struct Fetching {
    explicit Fetching(const QUrl& service) : fetcher(network, queue, service) {}
    VirtualClock clock;
    VirtualQueue queue{clock};
    QNetworkAccessManager network;
    LyricsFetcher fetcher;
    QList<LyricLines> got;  // every answer

    void fetch(const TrackInfo& track) { fetcher.fetch(track, [this](const LyricLines& lines) { got << lines; }); }
};

QByteArray body(const char* synced, const char* plain)
{
    return QStringLiteral(R"({"syncedLyrics":%1,"plainLyrics":%2,"id":1})").arg(synced, plain).toUtf8();
}

}  // namespace

TEST(LyricsService, AsksOnceWithTheQueryInOrderAndKeepsTheAnswer)
{
    LoopbackHttpServer server;
    Fetching f(server.url());
    server.queued = {{200, body(R"("[00:01.50]One\n[00:03]Two")", R"("ignored")")}};
    f.fetch(kSong);
    f.fetch(kSong);  // already on its way: no second lookup, no second answer
    ASSERT_TRUE(waitFor([&] { return !f.got.isEmpty(); }, 5000));
    EXPECT_EQ(f.got, (QList<LyricLines>{LyricLines{{1.5, "One"}, {3, "Two"}}}));
    ASSERT_EQ(server.requests.size(), 1);
    EXPECT_EQ(server.requests[0].query, QStringLiteral("artist_name=The%20Beatles%2B&track_name=Hey%20%26%20Jude%2F%C2%BD"
                                                       "&duration=432&album_name=Past%20Masters"));
    EXPECT_EQ(server.requests[0].headers.value("user-agent"), QByteArray(LyricsFetcher::kUserAgent));

    f.fetch(kSong);
    EXPECT_EQ(f.got.size(), 2) << "a known song answers before fetch returns";
    WebEngineHarness::settle(100);
    EXPECT_EQ(f.got.size(), 2);
    EXPECT_EQ(server.requests.size(), 1);

    // Storing a 51st song empties the cache (unknown songs are stored as no lyrics).
    for (int i = 1; i <= LyricsFetcher::kCacheLimit; ++i)
        f.fetch(TrackInfo{"song", "band", "", "", double(i)});
    ASSERT_TRUE(waitFor([&] { return f.got.size() == 2 + LyricsFetcher::kCacheLimit; }, 20000));
    EXPECT_EQ(f.fetcher.cachedSongs(), 0);
}

TEST(LyricsService, AnswersBecomeLinesOrARetryWithoutAlbum)
{
    const std::tuple<const char*, QList<LoopbackHttpServer::Response>, LyricLines, int> rows[] = {
        {"plain lyrics spread", {{200, body("\"\"", R"("a\n\nb")")}}, {{5, "a"}, {215.75, "b"}}, 1},
        {"instrumental", {{200, body("null", "null")}}, {}, 1},
        {"synced without lines wins", {{200, body(R"("[ar:x]")", R"("a")")}}, {}, 1},
        {"not found, then without album", {{404, ""}, {200, body(R"("[00:02]x")", "null")}}, {{2, "x"}}, 2},
        {"not JSON, then an array", {{200, "<html>"}, {200, "[]"}}, {}, 2},
    };
    for (const auto& [name, responses, expected, requests] : rows) {
        SCOPED_TRACE(name);
        LoopbackHttpServer server;
        server.queued = responses;
        Fetching f(server.url());
        f.fetch(kSong);
        ASSERT_TRUE(waitFor([&] { return !f.got.isEmpty(); }, 5000));
        EXPECT_EQ(f.got.last(), expected);
        EXPECT_EQ(server.requests.size(), requests);
        EXPECT_FALSE(server.requests.last().query.contains("album_name") && requests == 2);
    }
}

TEST(LyricsService, ASilentServiceTimesOutTwiceThenTheSongHasNoLyricsForNow)
{
    SilentHttpServer silent;
    Fetching f(silent.url());
    f.fetch(kSong);
    for (int attempt = 1; attempt <= 2; ++attempt) {
        ASSERT_TRUE(waitFor([&] { return silent.connections >= attempt; }, 5000));
        f.queue.advance(LyricsFetcher::kTimeout - 0.01);
        WebEngineHarness::settle(50);
        EXPECT_TRUE(f.got.isEmpty());
        f.queue.advance(0.01);
    }
    EXPECT_TRUE(waitFor([&] { return !f.got.isEmpty(); }, 1000));
    EXPECT_EQ(f.got, QList<LyricLines>{LyricLines{}});
    // Never answered: not kept as the song's answer, so the song is asked for again.
    f.fetch(kSong);
    EXPECT_TRUE(waitFor([&] { return silent.connections >= 3; }, 5000));
}
