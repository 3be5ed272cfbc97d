// The built-in engine: prompts of every kind become graphs the page draws, and
// the graphs honour what the prompts name. Every graph is judged by the shipped
// page code (visuals/lib/graph.js) under Node.
#include <QColor>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPainter>
#include <QSet>
#include <gtest/gtest.h>

#include "BuiltinEngine.h"
#include "ColorMath.h"
#include "ComposerTestTools.h"
#include "GraphCheck.h"
#include "PromptReading.h"

using namespace composer;
using namespace composer::test;

namespace {

struct Row {
    const char* kind;
    QString prompt;
    QStringList colors;  // colour names or "#rrggbb" whose hue must be in the palette
    QStringList layers;  // layer types that must be present
    QStringList effects; // post effects that must be above 0.3
    bool tempo = false;  // a tempo was named: tempo lock on
};

QString longPrompt()
{
    QString p;
    const QStringList words = {QStringLiteral("ocean"), QStringLiteral("waves"), QStringLiteral("under"),
                               QStringLiteral("a"), QStringLiteral("violet"), QStringLiteral("sky"),
                               QStringLiteral("zorblat"), QStringLiteral("with"), QStringLiteral("glitter")};
    for (int i = 0; p.size() < 10000; ++i)
        p += words[i % words.size()] + QLatin1Char(' ');
    return p.left(10000);
}

const QString Q = QStringLiteral("\u201C"), E = QStringLiteral("\u201D");

std::vector<Row> table()
{
    auto s = [](const char* t) { return QString::fromUtf8(t); };
    auto L = [](std::initializer_list<const char*> l) {
        QStringList out;
        for (const char* x : l)
            out << QString::fromUtf8(x);
        return out;
    };
    return {
        // colours
        {"colour", s("deep blue ocean"), L({"blue"}), L({"waves"}), {}},
        {"colour", s("a red and gold galaxy"), L({"red", "gold"}), L({"particles"}), {}},
        {"colour", s("teal and orange"), L({"teal", "orange"}), {}, {}},
        {"colour", s("pastel pink clouds"), L({"pink"}), L({"nebula"}), {}},
        {"colour", s("neon purple city"), L({"purple"}), L({"grid"}), {}},
        {"colour", s("dark green forest"), L({"darkgreen"}), {}, {}},
        {"colour", s("pale yellow moon"), L({"yellow"}), L({"orb"}), {}},
        {"colour", s("violet and cyan tunnel"), L({"violet", "cyan"}), L({"tunnel"}), {}},
        {"colour", s("magenta rain"), L({"magenta"}), L({"particles"}), {}},
        {"colour", s("golden sunrise"), L({"#ffc83d"}), L({"orb"}), {}},
        {"colour", s("silver and navy"), L({"silver", "navy"}), {}, {}},
        {"colour", s("turquoise waves with white foam"), L({"turquoise"}), L({"waves"}), {}},
        {"colour", s("emerald kaleidoscope"), L({"#10b868"}), L({"kaleido"}), {}},
        {"colour", s("crimson, amber and indigo"), L({"crimson", "#ffbf00", "indigo"}), {}, {}},
        // moods
        {"mood", s("calm"), {}, {}, {}},
        {"mood", s("dreamy night"), {}, L({"particles"}), L({"bloom"})},
        {"mood", s("melancholic rain"), {}, L({"particles"}), {}},
        {"mood", s("angry red storm"), L({"red"}), L({"nebula"}), {}},
        {"mood", s("happy summer day"), {}, L({"orb"}), {}},
        {"mood", s("epic cinematic journey"), {}, L({"tunnel"}), {}},
        {"mood", s("mysterious fog"), {}, L({"nebula"}), {}},
        {"mood", s("euphoric rave"), {}, L({"bars"}), {}},
        {"mood", s("peaceful aurora"), {}, L({"aurora"}), {}},
        {"mood", s("hypnotic spiral"), {}, L({"tunnel"}), {}},
        // imagery
        {"imagery", s("ocean waves"), {}, L({"waves"}), {}},
        {"imagery", s("stars in deep space"), {}, L({"particles"}), {}},
        {"imagery", s("a swirling nebula"), {}, L({"nebula"}), {}},
        {"imagery", s("fire and embers"), {}, L({"orb"}), {}},
        {"imagery", s("the sun"), {}, L({"orb"}), {}},
        {"imagery", s("retro city at night"), {}, L({"grid"}), L({"scanlines"})},
        {"imagery", s("warp speed through hyperspace"), {}, L({"tunnel"}), L({"radialBlur"})},
        {"imagery", s("a mandala of flowers"), {}, L({"kaleido"}), {}},
        {"imagery", s("northern lights over the snow"), {}, L({"aurora"}), {}},
        {"imagery", s("sonar ripples"), {}, L({"rings"}), {}},
        {"imagery", s("spectrum equalizer"), {}, L({"bars"}), {}},
        {"imagery", s("sea water"), {}, L({"waves"}), {}},
        {"imagery", s("synth"), {}, L({"grid"}), {}},
        // styles
        {"style", s("noir detective story"), {}, {}, L({"grayscale"})},
        {"style", s("black and white city"), {}, L({"grid"}), L({"grayscale"})},
        {"style", s("8-bit arcade"), {}, L({"grid"}), L({"pixelate"})},
        {"style", s("comic book hero"), {}, {}, L({"dots"})},
        {"style", s("glitch art"), {}, {}, L({"chroma"})},
        {"style", s("hacker terminal"), {}, {}, L({"ascii"})},
        {"style", s("glowing orbs"), {}, L({"orb"}), L({"bloom"})},
        {"style", s("psychedelic mandala"), {}, L({"kaleido"}), L({"hue"})},
        {"style", s("retro vhs tape"), {}, L({"grid"}), L({"scanlines"})},
        // tempi
        {"tempo", s("at 128 BPM"), {}, {}, {}, true},
        {"tempo", s("slow ambient at 70 bpm"), {}, {}, {}, true},
        {"tempo", s("techno 140 BPM"), {}, L({"bars"}), {}, true},
        {"tempo", s("BPM 174 drum and bass"), {}, L({"bars"}), {}, true},
        {"tempo", s("dance at 120bpm"), {}, L({"bars"}), {}, true},
        {"tempo", s("90 BPM hip hop"), {}, L({"bars"}), {}, true},
        // the automatic-scene prompts, with curly and straight quotes
        {"lyric", QStringLiteral("a scene interpreting this lyric: %1fire in the ocean / burning blue%2 \u2014 from %1Song%2 by Band, 120 BPM").arg(Q, E),
         L({"blue"}), L({"orb", "waves"}), {}, true},
        {"lyric", s("a scene interpreting this lyric: \"we dance under purple stars\" \u2014 from \"Night Drive\" by The Cars"),
         L({"purple"}), L({"particles"}), {}},
        {"lyric", QStringLiteral("a scene interpreting this lyric: %1hello / world%2 \u2014 from %1Song%2 by Band, 120 BPM").arg(Q, E),
         {}, {}, {}, true},
        {"lyric", s("a scene interpreting this lyric: \"I walk alone through the empty streets\" \u2014 from \"Boulevard\" by Green Day, 84 BPM"),
         {}, L({"grid"}), {}, true},
        {"lyric", QStringLiteral("a bold audio-reactive scene for the song %1Blue Monday%2 by New Order, 130 BPM").arg(Q, E),
         L({"blue"}), {}, {}, true},
        {"lyric", s("a bold audio-reactive scene for the song \"Xtal\" by Aphex Twin"), {}, {}, {}},
        // nonsense and edge cases
        {"nonsense", s("blorptastic zingwhop"), {}, {}, {}},
        {"nonsense", s("asdf qwer zxcv"), {}, {}, {}},
        {"nonsense", s("lorem ipsum dolor sit amet"), {}, {}, {}},
        {"nonsense", s("!!!???"), {}, {}, {}},
        {"edge", s(""), {}, {}, {}},
        {"edge", s("   "), {}, {}, {}},
        {"edge", longPrompt(), L({"violet"}), L({"waves"}), {}},
        {"emoji", s("🔥🌊✨"), {}, L({"orb"}), {}},
        {"emoji", s("🌌 galaxy with 💜"), L({"#9b30ff"}), L({"particles"}), {}},
        {"rtl", s("בים הכחול"), {}, {}, {}},
        {"rtl", s("موسيقى هادئة في الليل"), {}, {}, {}},
        {"cjk", s("星空と海"), {}, {}, {}},
        {"negation", s("waves, no stars"), {}, L({"waves"}), {}},
    };
}

Rgb colorOf(const QString& name)
{
    if (auto c = parseColor(name))
        return *c;
    const QColor q = QColor::fromString(name);
    EXPECT_TRUE(q.isValid()) << name.toStdString();
    return {q.redF(), q.greenF(), q.blueF()};
}

QJsonObject compose(const QString& prompt, bool fresh = false, uint64_t salt = 0)
{
    static const PageModel page = pageModel();
    EngineInput in;
    in.prompt = prompt;
    in.fresh = fresh;
    in.freshSalt = salt;
    return composeBuiltin(in, page, *shippedLexicon());
}

QString compact(const QJsonObject& o)
{
    return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
}

QStringList layerTypes(const QJsonObject& g)
{
    QStringList out;
    for (const QJsonValue& l : g.value(QLatin1String("layers")).toArray())
        out << l.toObject().value(QLatin1String("type")).toString();
    return out;
}

}  // namespace

TEST(ComposerEngine, APromptTableGivesDrawableDistinctGraphsThatHonourThePrompts)
{
    const auto rows = table();
    ASSERT_GE(rows.size(), 60u);
    QList<QJsonObject> graphs;
    QSet<QString> prompts, distinct;
    for (const Row& row : rows) {
        const QJsonObject g = compose(row.prompt);
        graphs << g;
        prompts << row.prompt;
        distinct << compact(g);
        const std::string where = std::string(row.kind) + ": \"" + row.prompt.left(60).toStdString() + "\"";

        std::vector<Rgb> palette;
        for (const QJsonValue& v : g.value(QLatin1String("palette")).toArray())
            palette.push_back(*parseColor(v.toString()));
        for (const QString& name : row.colors) {
            const Rgb want = colorOf(name);
            if (chroma(want) < 0.1)
                continue;  // greys have no hue to find
            const bool found = std::any_of(palette.begin(), palette.end(), [&](const Rgb& c) {
                return chroma(c) >= 0.05 && hueDistance(toHsl(c).h, toHsl(want).h) <= 20;
            });
            EXPECT_TRUE(found) << where << ": no palette hue within 20 degrees of " << name.toStdString() << " in "
                               << compact(g).toStdString();
        }
        const QStringList types = layerTypes(g);
        for (const QString& t : row.layers)
            EXPECT_TRUE(types.contains(t)) << where << ": no " << t.toStdString() << " layer in "
                                           << types.join(QLatin1Char(',')).toStdString();
        const QJsonObject post = g.value(QLatin1String("post")).toObject();
        for (const QString& e : row.effects)
            EXPECT_GT(post.value(e).toDouble(), 0.3) << where << ": effect " << e.toStdString();
        if (row.tempo) {
            EXPECT_TRUE(g.value(QLatin1String("motion")).toObject().value(QLatin1String("tempoLock")).toBool()) << where;
        }
        EXPECT_LE(g.value(QLatin1String("name")).toString().size(), 60) << where;
    }
    // 60 different prompts give at least 50 different graphs.
    EXPECT_EQ(prompts.size(), int(rows.size()));
    EXPECT_GE(distinct.size(), 50);

    const QList<Verdict> verdicts = pageVerdicts(graphs);
    for (int i = 0; i < verdicts.size(); ++i)
        EXPECT_EQ(verdicts[i].status, QStringLiteral("ok"))
            << rows[size_t(i)].prompt.left(60).toStdString() << ": " << verdicts[i].message.toStdString();
}

TEST(ComposerEngine, TheSamePromptGivesTheSameGraphAndFreshADifferentOne)
{
    const QString prompt = QStringLiteral("a calm red ocean at dusk");
    const QJsonObject a = compose(prompt), b = compose(prompt);
    EXPECT_EQ(compact(a), compact(b));
    // Also through a composer of its own, as a second server would be.
    Composer other(shippedLexicon(), nullptr);
    const auto viaRequest = other.compose(QJsonDocument(promptRequest(prompt)).toJson());
    EXPECT_EQ(compact(viaRequest.body.value(QLatin1String("graph")).toObject()), compact(a));

    const QJsonObject fresh1 = compose(prompt, true, 1), fresh2 = compose(prompt, true, 2);
    EXPECT_NE(compact(fresh1), compact(a));
    EXPECT_NE(compact(fresh1), compact(fresh2));
    // A fresh graph still honours the prompt.
    EXPECT_TRUE(layerTypes(fresh1).contains(QStringLiteral("waves")));
    // The server draws the salt at random: two fresh requests differ.
    const auto r1 = other.compose(QJsonDocument(promptRequest(prompt, true)).toJson());
    const auto r2 = other.compose(QJsonDocument(promptRequest(prompt, true)).toJson());
    EXPECT_NE(compact(r1.body.value(QLatin1String("graph")).toObject()),
              compact(r2.body.value(QLatin1String("graph")).toObject()));
    const auto verdicts = pageVerdicts({a, fresh1, fresh2});
    for (const Verdict& v : verdicts)
        EXPECT_EQ(v.status, QStringLiteral("ok")) << v.message.toStdString();
}

TEST(ComposerEngine, VaryKeepsPaletteAndLayerTypesAndChangesTheRest)
{
    Composer composer(shippedLexicon(), nullptr);
    QList<QJsonObject> graphs;
    for (const QString& prompt : {QStringLiteral("retro synthwave city at 128 BPM"), QStringLiteral("dreamy aurora"),
                                  QStringLiteral("a bold audio-reactive scene for the song \"Song\" by Band")}) {
        const QJsonObject last = compose(prompt);
        // The page hands back its normalized form of the graph; the engine keeps
        // what it holds either way.
        for (int round = 0; round < 3; ++round) {
            const auto out = composer.compose(QJsonDocument(promptRequest(prompt, true, true, last)).toJson());
            ASSERT_EQ(out.status, 200);
            const QJsonObject g = out.body.value(QLatin1String("graph")).toObject();
            EXPECT_EQ(g.value(QLatin1String("palette")), last.value(QLatin1String("palette"))) << prompt.toStdString();
            EXPECT_EQ(layerTypes(g), layerTypes(last)) << prompt.toStdString();
            EXPECT_NE(compact(g), compact(last));
            EXPECT_NE(g.value(QLatin1String("motion")), last.value(QLatin1String("motion")));
            EXPECT_NE(g.value(QLatin1String("layers")), last.value(QLatin1String("layers")));
            graphs << g;
        }
    }
    // A heavy last graph is varied within the cost limit.
    QJsonArray heavy;
    for (int i = 0; i < 6; ++i)
        heavy.append(QJsonObject{{QStringLiteral("type"), QStringLiteral("nebula")}, {QStringLiteral("detail"), 1}});
    const QJsonObject last{{QStringLiteral("palette"), QJsonArray{QStringLiteral("#ff0000"), QStringLiteral("#00ff00")}},
                           {QStringLiteral("layers"), heavy}};
    const auto out = composer.compose(QJsonDocument(promptRequest(QStringLiteral("storm"), true, true, last)).toJson());
    graphs << out.body.value(QLatin1String("graph")).toObject();
    EXPECT_EQ(graphs.last().value(QLatin1String("palette")), last.value(QLatin1String("palette")));
    for (const Verdict& v : pageVerdicts(graphs))
        EXPECT_EQ(v.status, QStringLiteral("ok")) << v.message.toStdString();
}

TEST(ComposerEngine, TheAutomaticScenePromptsAreReadByTheirLyricWords)
{
    const PromptParts p = splitPrompt(QStringLiteral("a scene interpreting this lyric: %1fire / ice%2 \u2014 from %1Purple Rain%2 by Prince, 120 BPM").arg(Q, E));
    EXPECT_EQ(p.form, PromptParts::Lyric);
    EXPECT_EQ(p.lyric, QStringLiteral("fire / ice"));
    EXPECT_EQ(p.title, QStringLiteral("Purple Rain"));
    EXPECT_EQ(p.artist, QStringLiteral("Prince"));
    ASSERT_TRUE(p.bpm.has_value());
    EXPECT_DOUBLE_EQ(*p.bpm, 120);
    const PromptParts song = splitPrompt(QStringLiteral("a bold audio-reactive scene for the song \"Song\" by Band, 99 BPM"));
    EXPECT_EQ(song.form, PromptParts::Song);
    EXPECT_EQ(song.title, QStringLiteral("Song"));
    EXPECT_EQ(song.artist, QStringLiteral("Band"));
    const PromptParts cover = splitPrompt(QStringLiteral("the mood and world of this album cover \u2014 \"Ocean \"Deep\"\" by "));
    EXPECT_EQ(cover.form, PromptParts::Cover);

    // The wrapper's own words ("scene", "interpreting", "lyric", "from", "by")
    // leave no trace: two lyric prompts with the same lyric words read alike.
    const Lexicon& lex = *shippedLexicon();
    const Reading a = readPrompt(QStringLiteral("a scene interpreting this lyric: \"ocean\" \u2014 from \"X\" by Y"), lex, 1);
    const Reading b = readPrompt(QStringLiteral("ocean"), lex, 1);
    EXPECT_EQ(a.layers.size(), b.layers.size());
    EXPECT_DOUBLE_EQ(a.layerWeight(QStringLiteral("waves")), b.layerWeight(QStringLiteral("waves")));
    EXPECT_EQ(a.moodWords, b.moodWords);
}

TEST(ComposerEngine, UnknownWordsPickFromTheLexiconByThePromptsSeed)
{
    const Lexicon& lex = *shippedLexicon();
    const Reading r = readPrompt(QStringLiteral("blorptastic zingwhop"), lex, 42);
    EXPECT_EQ(r.unknownWords, 2);
    EXPECT_TRUE(!r.hints.empty() || !r.layers.empty() || !r.post.empty() || !r.moodWords.isEmpty());
    const Reading again = readPrompt(QStringLiteral("blorptastic zingwhop"), lex, 42);
    EXPECT_EQ(again.moodWords, r.moodWords);
    // Different nonsense leans the scene differently.
    QSet<QString> looks;
    for (const char* word : {"florp", "gribble", "zanth", "quorve", "blint", "mordax"})
        looks << layerTypes(compose(QString::fromLatin1(word))).join(QLatin1Char(','));
    EXPECT_GE(looks.size(), 3);
}

TEST(ComposerEngine, TheCoverFormUsesThePaletteAndTheImage)
{
    Composer composer(shippedLexicon(), nullptr);
    auto graphOf = [&](const QJsonObject& request) {
        const auto out = composer.compose(QJsonDocument(request).toJson());
        EXPECT_EQ(out.status, 200);
        return out.body.value(QLatin1String("graph")).toObject();
    };
    const QString steer = QStringLiteral("the mood and world of this album cover \u2014 \"Ocean Drive\" by Band");
    const QStringList palette = {QStringLiteral("#1b3a8a"), QStringLiteral("#36d6e7"), QStringLiteral("#f5f1c8")};

    // Bright, colourful, contrasty against dark, grey, flat.
    QImage lively(300, 300, QImage::Format_RGB32);
    QPainter p(&lively);
    for (int i = 0; i < 10; ++i)
        p.fillRect(i * 30, 0, 30, 300, i % 2 ? QColor(255, 40, 200) : QColor(250, 240, 20));
    p.end();
    QImage dull(300, 300, QImage::Format_RGB32);
    dull.fill(QColor(30, 32, 34));
    const QJsonObject g1 = graphOf(coverRequest(steer, jpegDataUrl(lively), palette));
    const QJsonObject g2 = graphOf(coverRequest(steer, jpegDataUrl(dull), palette));
    EXPECT_EQ(g1.value(QLatin1String("palette")).toArray(), QJsonArray::fromStringList(palette));
    EXPECT_EQ(g2.value(QLatin1String("palette")).toArray(), QJsonArray::fromStringList(palette));
    auto bgLight = [](const QJsonObject& g) {
        return toHsl(*parseColor(g.value(QLatin1String("background")).toObject().value(QLatin1String("top")).toString())).l;
    };
    auto motion = [](const QJsonObject& g, const char* key) {
        return g.value(QLatin1String("motion")).toObject().value(QLatin1String(key)).toDouble();
    };
    auto meanIntensity = [](const QJsonObject& g) {
        double sum = 0;
        const QJsonArray layers = g.value(QLatin1String("layers")).toArray();
        for (const QJsonValue& l : layers)
            sum += l.toObject().value(QLatin1String("intensity")).toDouble();
        return sum / std::max<qsizetype>(1, layers.size());
    };
    EXPECT_GT(bgLight(g1), bgLight(g2));
    EXPECT_GT(motion(g1, "speed"), motion(g2, "speed"));
    EXPECT_GT(motion(g1, "flash"), motion(g2, "flash"));
    EXPECT_GT(meanIntensity(g1), meanIntensity(g2));

    // An undecodable image, a missing palette, or both: still a graph, from the text.
    const QJsonObject g3 = graphOf(coverRequest(steer, QStringLiteral("data:image/jpeg;base64,bm90IGFuIGltYWdl"), palette));
    const QJsonObject g4 = graphOf(coverRequest(steer, jpegDataUrl(lively), {}));
    const QJsonObject g5 = graphOf(coverRequest(steer, QStringLiteral("not a data url"), {}));
    EXPECT_TRUE(layerTypes(g5).contains(QStringLiteral("waves")) || layerTypes(g5).contains(QStringLiteral("grid")));
    // A palette of 1,000 entries: the page's limit, from the first ones.
    QStringList huge;
    for (int i = 0; i < 1000; ++i)
        huge << QColor::fromHsv(i % 360, 200, 220).name();
    const QJsonObject g6 = graphOf(coverRequest(steer, jpegDataUrl(lively), huge));
    EXPECT_EQ(g6.value(QLatin1String("palette")).toArray().size(), pageModel().maxPalette);
    // A palette too dark to see still draws something.
    const QStringList black = {QStringLiteral("#000000"), QStringLiteral("#050505"), QStringLiteral("#0a0a0a")};
    const QJsonObject g7 = graphOf(coverRequest(steer, jpegDataUrl(dull), black));

    QList<QJsonObject> all;
    all << g1 << g2 << g3 << g4 << g5 << g6 << g7;
    // As the client hands them on (the cover adjustment), too.
    all << clientCoverAdjust(g1, palette) << clientCoverAdjust(g2, palette) << clientCoverAdjust(g3, palette)
        << clientCoverAdjust(g6, huge.mid(0, 6)) << clientCoverAdjust(g7, black);
    for (const Verdict& v : pageVerdicts(all))
        EXPECT_EQ(v.status, QStringLiteral("ok")) << v.message.toStdString();
}

TEST(ComposerEngine, ThePagesDescriptionDecidesNotTheEngine)
{
    // A page with a new layer type, narrower ranges, no "blend", a tighter cost
    // limit and a lexicon entry for the new type: no code change needed.
    QJsonObject s = pageSpec();
    QJsonObject spec = s.value(QLatin1String("spec")).toObject();
    QJsonObject schema = s.value(QLatin1String("schema")).toObject();
    QJsonObject props = schema.value(QLatin1String("properties")).toObject();
    QJsonObject layers = props.value(QLatin1String("layers")).toObject();
    QJsonObject items = layers.value(QLatin1String("items")).toObject();
    QJsonObject lp = items.value(QLatin1String("properties")).toObject();
    QJsonObject type = lp.value(QLatin1String("type")).toObject();
    QJsonArray types = type.value(QLatin1String("enum")).toArray();
    types.append(QStringLiteral("lattice"));
    type.insert(QStringLiteral("enum"), types);
    lp.insert(QStringLiteral("type"), type);
    QJsonObject intensity = lp.value(QLatin1String("intensity")).toObject();
    intensity.insert(QStringLiteral("maximum"), 0.9);
    lp.insert(QStringLiteral("intensity"), intensity);
    lp.remove(QStringLiteral("blend"));
    items.insert(QStringLiteral("properties"), lp);
    layers.insert(QStringLiteral("items"), items);
    layers.insert(QStringLiteral("maxItems"), 3);
    props.insert(QStringLiteral("layers"), layers);
    schema.insert(QStringLiteral("properties"), props);
    QJsonObject costs = spec.value(QLatin1String("costs")).toObject();
    costs.insert(QStringLiteral("lattice"), 0.5);
    spec.insert(QStringLiteral("costs"), costs);
    spec.insert(QStringLiteral("costLimit"), 3.0);

    QString error;
    const auto page = PageModel::read(spec, schema, &error);
    ASSERT_TRUE(page) << error.toStdString();
    EXPECT_TRUE(page->hasLayerType(QStringLiteral("lattice")));

    QJsonObject lexJson = QJsonDocument::fromJson([] {
        QFile f(QStringLiteral(VESMER_COMPOSER_LEXICON));
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }()).object();
    QJsonObject entries = lexJson.value(QLatin1String("entries")).toObject();
    entries.insert(QStringLiteral("lattice"), QJsonObject{{QStringLiteral("layers"), QJsonArray{QStringLiteral("lattice")}}});
    lexJson.insert(QStringLiteral("entries"), entries);
    const auto lex = Lexicon::fromJson(QJsonDocument(lexJson).toJson(), &error);
    ASSERT_TRUE(lex) << error.toStdString();

    bool sawLattice = false;
    for (const char* prompt : {"a lattice", "nebula kaleido aurora waves particles", "epic complex galaxy storm", "calm"}) {
        EngineInput in;
        in.prompt = QString::fromLatin1(prompt);
        const QJsonObject g = composeBuiltin(in, *page, *lex);
        const QJsonArray ls = g.value(QLatin1String("layers")).toArray();
        EXPECT_LE(ls.size(), 3);
        EXPECT_LE(graphCost(g, *page), 3.0);
        for (const QJsonValue& l : ls) {
            EXPECT_LE(l.toObject().value(QLatin1String("intensity")).toDouble(), 0.9);
            EXPECT_FALSE(l.toObject().contains(QLatin1String("blend")));
            sawLattice = sawLattice || l.toObject().value(QLatin1String("type")).toString() == QLatin1String("lattice");
        }
        EXPECT_GE(graphBrightness(g, *page), kMinBrightness);
    }
    EXPECT_TRUE(sawLattice);

    // Without costs in "spec" the engine stays light; without layer types it refuses.
    const auto noCosts = PageModel::read({}, schema, &error);
    ASSERT_TRUE(noCosts);
    EngineInput in;
    in.prompt = QStringLiteral("nebula kaleido aurora waves");
    EXPECT_LE(composeBuiltin(in, *noCosts, *shippedLexicon()).value(QLatin1String("layers")).toArray().size(), 2);
    EXPECT_FALSE(PageModel::read(spec, {}, &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST(ComposerEngine, TheLexiconIsDataAndCoversWhatTheIssueNames)
{
    const Lexicon& lex = *shippedLexicon();
    EXPECT_GE(lex.size(), 400);
    for (const QString& name : QColor::colorNames()) {
        const LexEntry* e = lex.find(name);
        ASSERT_TRUE(e && e->color) << name.toStdString();
        const QColor q = QColor::fromString(name);
        EXPECT_EQ(toHex(*e->color), q.name()) << name.toStdString();
    }
    for (const char* w : {"gold", "teal", "neon", "pastel", "dark", "pale"})
        EXPECT_TRUE(lex.find(QString::fromLatin1(w))) << w;
    for (const char* w : {"calm", "dreamy", "melancholic", "angry", "happy", "epic"}) {
        const LexEntry* e = lex.find(QString::fromLatin1(w));
        ASSERT_TRUE(e) << w;
        EXPECT_TRUE(e->hasMood) << w;
    }
    const std::vector<std::pair<const char*, const char*>> imagery = {
        {"ocean", "waves"}, {"sea", "waves"}, {"water", "waves"}, {"space", "particles"}, {"stars", "particles"},
        {"galaxy", "particles"}, {"fire", "orb"}, {"ember", "orb"}, {"sun", "orb"}, {"city", "grid"},
        {"retro", "grid"}, {"synth", "grid"}, {"warp", "tunnel"}, {"tunnel", "tunnel"}, {"hyperspace", "tunnel"},
        {"mandala", "kaleido"}, {"flower", "kaleido"}, {"kaleidoscope", "kaleido"}, {"northern lights", "aurora"},
        {"nebula", "nebula"}, {"ripples", "rings"}, {"equalizer", "bars"}};
    for (const auto& [word, type] : imagery) {
        const LexEntry* e = lex.findWord(QString::fromLatin1(word));
        ASSERT_TRUE(e) << word;
        EXPECT_TRUE(e->layers.contains(QString::fromLatin1(type))) << word << " -> " << type;
    }
    const std::vector<std::pair<const char*, const char*>> styles = {
        {"retro", "scanlines"}, {"noir", "grayscale"}, {"black and white", "grayscale"}, {"8-bit", "pixelate"},
        {"comic", "dots"}, {"glitch", "chroma"}, {"terminal", "ascii"}, {"glow", "bloom"}, {"dreamy", "bloom"},
        {"psychedelic", "hue"}};
    for (const auto& [word, effect] : styles) {
        const LexEntry* e = lex.find(QString::fromLatin1(word));
        ASSERT_TRUE(e) << word;
        const bool has = std::any_of(e->post.begin(), e->post.end(),
                                     [&](const auto& p) { return p.first == QLatin1String(effect) && p.second > 0.3; });
        EXPECT_TRUE(has) << word << " -> " << effect;
    }
    // Every type the lexicon names exists on the page, and every type has a hint.
    const PageModel page = pageModel();
    for (const LexEntry* e : lex.sorted())
        for (const QString& t : e->layers)
            EXPECT_TRUE(page.hasLayerType(t)) << e->key.toStdString() << ": " << t.toStdString();
    for (const QString& t : page.layerTypes)
        EXPECT_TRUE(lex.hint(t)) << t.toStdString();
}

TEST(ComposerEngine, TokensKeepCompoundWordsAndEmoji)
{
    EXPECT_EQ(tokenize(QStringLiteral("8-bit B&W don't, stop!"), 10),
              (QStringList{QStringLiteral("8-bit"), QStringLiteral("b&w"), QStringLiteral("don't"), QStringLiteral("stop")}));
    EXPECT_EQ(tokenize(QStringLiteral("🔥fire❤️"), 10),
              (QStringList{QStringLiteral("🔥"), QStringLiteral("fire"), QStringLiteral("❤")}));
    EXPECT_EQ(tokenize(QStringLiteral("a b c d"), 2).size(), 2);
}
