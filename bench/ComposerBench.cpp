// The composer's built-in engine and its server.
//  - BM_BuiltinEngine: one prompt to one graph (the engine alone), cycling over
//    prompts of every kind; counters give the median and p90 per prompt.
//  - BM_ComposeRequest: the whole request body to the answer body, as the server
//    does it (JSON parse of the page's description, engine, JSON out).
//  - BM_LoadRun: a bounded load run against the live vesmer-composer program on
//    loopback: a fixed number of compose requests from a few keep-alive clients;
//    counters give requests per second and the latency percentiles.
// Needs no display.
#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <httplib.h>
#include <thread>
#include <vector>

#include "BuiltinEngine.h"
#include "Composer.h"
#include "Lexicon.h"
#include "PageModel.h"

using namespace composer;
using Clock = std::chrono::steady_clock;

namespace {

const QStringList& prompts()
{
    static const QStringList list = [] {
        QStringList p = {
            "deep blue ocean", "a red and gold galaxy", "teal and orange", "pastel pink clouds", "neon purple city",
            "dark green forest", "pale yellow moon", "violet and cyan tunnel", "magenta rain", "golden sunrise",
            "calm", "dreamy night", "melancholic rain", "angry red storm", "happy summer day", "epic cinematic journey",
            "mysterious fog", "euphoric rave", "peaceful aurora", "hypnotic spiral", "ocean waves", "stars in deep space",
            "a swirling nebula", "fire and embers", "retro city at night", "warp speed through hyperspace",
            "a mandala of flowers", "northern lights over the snow", "sonar ripples", "spectrum equalizer",
            "noir detective story", "black and white city", "8-bit arcade", "comic book hero", "glitch art",
            "hacker terminal", "glowing orbs", "psychedelic mandala", "retro vhs tape", "at 128 BPM",
            "slow ambient at 70 bpm", "techno 140 BPM", "BPM 174 drum and bass", "dance at 120bpm",
            "a scene interpreting this lyric: \u201Cfire in the ocean / burning blue\u201D \u2014 from \u201CSong\u201D by Band, 120 BPM",
            "a scene interpreting this lyric: \"we dance under purple stars\" \u2014 from \"Night Drive\" by The Cars",
            "a bold audio-reactive scene for the song \u201CBlue Monday\u201D by New Order, 130 BPM",
            "blorptastic zingwhop", "lorem ipsum dolor sit amet", "", "\U0001F525\U0001F30A\u2728",
            "\u05D1\u05D9\u05DD \u05D4\u05DB\u05D7\u05D5\u05DC", "waves, no stars",
            "a lonely lighthouse on a stormy coast at midnight", "cherry blossom festival in spring",
            "industrial techno warehouse rave with strobes", "lo-fi study beats on a rainy afternoon",
            "cosmic jazz in a smoky club", "vaporwave mall at dusk", "a bold audio-reactive scene for the song \"Xtal\" by Aphex Twin"};
        return p;
    }();
    return list;
}

struct Fixture {
    QJsonObject pageObject;
    PageModel page;
    std::shared_ptr<const Lexicon> lexicon;

    Fixture()
    {
        QFile f(QStringLiteral(VESMER_PAGE_DESCRIPTION));
        f.open(QIODevice::ReadOnly);
        pageObject = QJsonDocument::fromJson(f.readAll()).object();
        QString error;
        page = *PageModel::read(pageObject.value(QLatin1String("spec")).toObject(),
                                pageObject.value(QLatin1String("schema")).toObject(), &error);
        lexicon = Lexicon::load(QStringLiteral(VESMER_COMPOSER_LEXICON), &error);
    }

    QByteArray request(const QString& prompt) const
    {
        return QJsonDocument(QJsonObject{{QStringLiteral("prompt"), prompt},
                                         {QStringLiteral("spec"), pageObject.value(QLatin1String("spec"))},
                                         {QStringLiteral("schema"), pageObject.value(QLatin1String("schema"))},
                                         {QStringLiteral("provider"), QStringLiteral("cerebras")},
                                         {QStringLiteral("fresh"), false},
                                         {QStringLiteral("vary"), false},
                                         {QStringLiteral("lastPrompt"), QString()},
                                         {QStringLiteral("lastGraph"), QJsonValue::Null}})
            .toJson(QJsonDocument::Compact);
    }
};

const Fixture& fixture()
{
    static const Fixture f;
    return f;
}

double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t i = std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5));
    return v[i];
}

void BM_BuiltinEngine(benchmark::State& state)
{
    const Fixture& f = fixture();
    std::vector<double> ms;
    size_t i = 0;
    for (auto _ : state) {
        EngineInput in;
        in.prompt = prompts()[qsizetype(i++ % size_t(prompts().size()))];
        const auto t0 = Clock::now();
        QJsonObject g = composeBuiltin(in, f.page, *f.lexicon);
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        benchmark::DoNotOptimize(g);
    }
    state.counters["median_ms"] = percentile(ms, 0.5);
    state.counters["p90_ms"] = percentile(ms, 0.9);
    state.counters["max_ms"] = percentile(ms, 1.0);
}
BENCHMARK(BM_BuiltinEngine)->Unit(benchmark::kMicrosecond)->MinTime(2.0);

void BM_ComposeRequest(benchmark::State& state)
{
    const Fixture& f = fixture();
    Composer composer(f.lexicon, nullptr);
    std::vector<QByteArray> bodies;
    for (const QString& p : prompts())
        bodies.push_back(f.request(p));
    std::vector<double> ms;
    size_t i = 0;
    for (auto _ : state) {
        const QByteArray& body = bodies[i++ % bodies.size()];
        const auto t0 = Clock::now();
        const ComposeOutcome out = composer.compose(body);
        const QByteArray answer = QJsonDocument(out.body).toJson(QJsonDocument::Compact);
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        benchmark::DoNotOptimize(answer);
    }
    state.counters["median_ms"] = percentile(ms, 0.5);
    state.counters["p90_ms"] = percentile(ms, 0.9);
}
BENCHMARK(BM_ComposeRequest)->Unit(benchmark::kMicrosecond)->MinTime(2.0);

// The live program on a free loopback port, with its own database and a key.
struct LiveProgram {
    QTemporaryDir dir;
    QProcess process;
    int port = 0;
    std::string key;

    LiveProgram()
    {
        const QString db = dir.filePath(QStringLiteral("keys.sqlite"));
        QProcess issue;
        issue.start(QStringLiteral(VESMER_COMPOSER_PROGRAM), {QStringLiteral("keys"), QStringLiteral("issue"), QStringLiteral("--db"), db});
        issue.waitForFinished(10000);
        key = issue.readAllStandardOutput().trimmed().toStdString();
        // The load run measures the server, not the per-key limit. Its log lines
        // go to a file: nobody reads a pipe while the clients run.
        const QString log = dir.filePath(QStringLiteral("composer.log"));
        process.setStandardErrorFile(log);
        process.setStandardOutputFile(QProcess::nullDevice());
        process.start(QStringLiteral(VESMER_COMPOSER_PROGRAM),
                      {QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"), QStringLiteral("--db"), db,
                       QStringLiteral("--compose-limit"), QStringLiteral("1000000")});
        static const QRegularExpression re(QStringLiteral("listening on http://127\\.0\\.0\\.1:(\\d+)"));
        for (int i = 0; i < 100 && port == 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            QFile f(log);
            if (f.open(QIODevice::ReadOnly))
                if (auto m = re.match(QString::fromUtf8(f.readAll())); m.hasMatch())
                    port = m.captured(1).toInt();
        }
    }
    ~LiveProgram()
    {
        process.terminate();
        if (!process.waitForFinished(5000))
            process.kill();
    }
};

void BM_LoadRun(benchmark::State& state)
{
    const int clients = int(state.range(0));
    const int total = int(state.range(1));
    const Fixture& f = fixture();
    std::vector<std::string> bodies;
    for (const QString& p : prompts())
        bodies.push_back(f.request(p).toStdString());
    for (auto _ : state) {
        LiveProgram live;
        if (live.port == 0 || live.key.empty()) {
            state.SkipWithError("vesmer-composer did not start");
            return;
        }
        std::atomic<int> next{0}, errors{0};
        std::vector<std::vector<double>> latencies{size_t(clients)};
        const auto t0 = Clock::now();
        std::vector<std::thread> threads;
        for (int c = 0; c < clients; ++c) {
            threads.emplace_back([&, c] {
                httplib::Client client("127.0.0.1", live.port);
                client.set_keep_alive(true);
                client.set_tcp_nodelay(true);  // as Qt's HTTP client does
                client.set_read_timeout(10, 0);
                const httplib::Headers headers = {{"x-app-key", live.key}};
                for (int i; (i = next.fetch_add(1)) < total;) {
                    const auto s = Clock::now();
                    const auto res = client.Post("/api/compose", headers, bodies[size_t(i) % bodies.size()], "application/json");
                    latencies[size_t(c)].push_back(std::chrono::duration<double, std::milli>(Clock::now() - s).count());
                    if (!res || res->status != 200)
                        ++errors;
                }
            });
        }
        for (auto& t : threads)
            t.join();
        const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
        std::vector<double> all;
        for (const auto& l : latencies)
            all.insert(all.end(), l.begin(), l.end());
        state.SetIterationTime(seconds);
        state.counters["requests"] = double(all.size());
        state.counters["errors"] = errors.load();
        state.counters["req_per_s"] = double(all.size()) / seconds;
        state.counters["p50_ms"] = percentile(all, 0.5);
        state.counters["p99_ms"] = percentile(all, 0.99);
        state.counters["max_ms"] = percentile(all, 1.0);
    }
}
// 2,000 requests from 4 keep-alive clients, once; it stops by itself.
BENCHMARK(BM_LoadRun)->Args({4, 2000})->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
