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
    LoopbackHttpServer server;
    VirtualClock clock;
    VirtualQueue queue{clock};
    QNetworkAccessManager network;
    LyricsFetcher fetcher{network, queue, server.url()};

    // The lines `done` got; none when it was not called in time.
    std::optional<LyricLines> fetch(const TrackInfo& track)
    {
        std::optional<LyricLines> got;
        fetcher.fetch(track, [&](const LyricLines& lines) { got = lines; });
        waitFor([&] { return got.has_value(); }, 5000);
        return got;
    }
};

QByteArray body(const char* synced, const char* plain)
{
    return QStringLiteral(R"({"syncedLyrics":%1,"plainLyrics":%2,"id":1})").arg(synced, plain).toUtf8();
}

}  // namespace

TEST(LyricsService, AsksOnceWithTheQueryInOrderAndKeepsTheAnswer)
{
    Fetching f;
    f.server.queue({200, body(R"("[00:01.50]One\n[00:03]Two")", R"("ignored")")});
    EXPECT_EQ(f.fetch(kSong), (LyricLines{{1.5, "One"}, {3, "Two"}}));
    ASSERT_EQ(f.server.requests.size(), 1);
    const auto& request = f.server.requests[0];
    EXPECT_EQ(request.path, QStringLiteral("/api/get"));
    EXPECT_EQ(request.query, QStringLiteral("artist_name=The%20Beatles%2B&track_name=Hey%20%26%20Jude%2F%C2%BD"
                                            "&duration=432&album_name=Past%20Masters"));
    EXPECT_EQ(request.header("User-Agent"), QByteArray(LyricsFetcher::kUserAgent));

    // Known songs answer at once; a song being fetched is not fetched twice.
    bool cached = false;
    f.fetcher.fetch(kSong, [&](const LyricLines& lines) { cached = lines.size() == 2; });
    EXPECT_TRUE(cached);
    TrackInfo other = kSong;
    other.title = "Other";
    int calls = 0;
    f.fetcher.fetch(other, [&](const LyricLines&) { ++calls; });
    f.fetcher.fetch(other, [&](const LyricLines&) { ++calls; });
    EXPECT_TRUE(waitFor([&] { return calls > 0; }));
    WebEngineHarness::settle(100);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(f.server.requests.size(), 3) << "one lookup with the album and its retry without";
    EXPECT_FALSE(f.server.requests[2].query.contains("album_name"));
}

TEST(LyricsService, AnswersBecomeLinesOrARetryWithoutAlbum)
{
    struct Row {
        const char* name;
        QList<LoopbackHttpServer::Response> responses;
        LyricLines expected;
        int requests;
    };
    const Row rows[] = {
        {"plain lyrics spread", {{200, body("\"\"", R"("a\n\nb")")}}, {{5, "a"}, {215.75, "b"}}, 1},
        {"instrumental", {{200, body("null", "null")}}, {}, 1},
        {"synced without lines wins", {{200, body(R"("[ar:x]")", R"("a")")}}, {}, 1},
        {"not found, then without album", {{404, ""}, {200, body(R"("[00:02]x")", "null")}}, {{2, "x"}}, 2},
        {"not JSON, then an array", {{200, "<html>"}, {200, "[]"}}, {}, 2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Fetching f;
        for (const auto& response : row.responses)
            f.server.queue(response);
        EXPECT_EQ(f.fetch(kSong), row.expected);
        EXPECT_EQ(f.server.requests.size(), row.requests);
    }
}

TEST(LyricsService, ASilentServiceTimesOutTwiceThenTheSongHasNoLyrics)
{
    SilentHttpServer silent;
    VirtualClock clock;
    VirtualQueue queue{clock};
    QNetworkAccessManager network;
    LyricsFetcher fetcher(network, queue, silent.url());
    std::optional<LyricLines> got;
    fetcher.fetch(kSong, [&](const LyricLines& lines) { got = lines; });
    for (int attempt = 1; attempt <= 2; ++attempt) {
        ASSERT_TRUE(waitFor([&] { return silent.connections() >= attempt; }, 5000));
        queue.advance(LyricsFetcher::kTimeout - 0.01);
        WebEngineHarness::settle(50);
        EXPECT_FALSE(got);
        queue.advance(0.01);
    }
    EXPECT_TRUE(waitFor([&] { return got.has_value(); }, 1000));
    EXPECT_TRUE(got->isEmpty());
    EXPECT_FALSE(fetcher.inFlightKey());

    // 50 songs are kept; the 51st empties the cache.
    for (int i = 1; i <= LyricsFetcher::kCacheLimit; ++i) {
        TrackInfo song = kSong;
        song.durationS = i;
        fetcher.fetch(song, [](const LyricLines&) {});
        for (int timeout = 0; timeout < 2; ++timeout)
            queue.advance(LyricsFetcher::kTimeout);
    }
    EXPECT_EQ(fetcher.cachedSongs(), 0);
}
