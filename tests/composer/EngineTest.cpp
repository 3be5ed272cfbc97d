// The built-in engine: prompts of every kind become graphs that honour what the
// prompts name and that the shipped page code (visuals/lib/graph.js, under Node) draws.
#include <QBuffer>
#include <QColor>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>
#include <functional>
#include <gtest/gtest.h>

#include "BuiltinEngine.h"
#include "ColorMath.h"
#include "ComposerTestTools.h"
#include "GraphCheck.h"
#include "PromptReading.h"
#include "compose/ComposeClient.h"
#include "compose/JpegDataUrl.h"

using namespace composer;
using namespace composer::test;

namespace {

// One prompt and what its graph must honour, space-separated: colour names or
// "#rrggbb" with a palette hue within 20 degrees, layer types present, post
// effects above 0.3; a named tempo turns tempo lock on.
struct Row {
    const char *kind, *prompt, *colors = "", *layers = "", *effects = "";
    bool tempo = false;
};

const Row kTable[] = {
    {"colour", "deep blue ocean", "blue", "waves", ""},
    {"colour", "golden sunrise", "#ffc83d", "orb", ""},
    {"colour", "crimson, amber and indigo", "crimson #ffbf00 indigo", "", ""},
    {"mood", "dreamy night", "", "particles", "bloom"},
    {"mood", "angry red storm", "red", "nebula", ""},
    {"imagery", "retro city at night", "", "grid", "scanlines"},
    {"imagery", "warp speed through hyperspace", "", "tunnel", "radialBlur"},
    {"imagery", "northern lights over the snow", "", "aurora", ""},
    {"style", "noir detective story", "", "", "grayscale"},
    {"style", "8-bit arcade", "", "grid", "pixelate"},
    {"style", "psychedelic mandala", "", "kaleido", "hue"},
    {"tempo", "BPM 174 drum and bass", "", "bars", "", true},
    // the automatic-scene prompts, with curly and straight quotes
    {"lyric", "a scene interpreting this lyric: \u201Cfire in the ocean / burning blue\u201D \u2014 from \u201CSong\u201D by Band, 120 BPM",
     "blue", "orb waves", "", true},
    {"lyric", "a scene interpreting this lyric: \"we dance under purple stars\" \u2014 from \"Night Drive\" by The Cars",
     "purple", "particles", ""},
    {"lyric", "a bold audio-reactive scene for the song \u201CBlue Monday\u201D by New Order, 130 BPM", "blue", "", "", true},
    {"lyric", "a bold audio-reactive scene for the song \"Xtal\" by Aphex Twin", "", "", ""},
    {"long", "ocean waves under a violet sky zorblat with glitter ", "violet", "waves", ""},  // repeated to 10,000 characters
    {"emoji", "🔥🌊✨", "", "orb", ""},
    {"emoji", "🌌 galaxy with 💜", "#9b30ff", "particles", ""},
    {"negation", "waves, no stars", "", "waves", ""},
    // moods, nonsense, blanks and other scripts: only a drawable, distinct graph
    {"plain", "calm"}, {"plain", "blorptastic zingwhop"}, {"plain", "lorem ipsum dolor sit amet"}, {"plain", "!!!???"}, {"plain", ""}, {"plain", "   "}, {"plain", "בים הכחול"}, {"plain", "موسيقى هادئة في الليل"}, {"plain", "星空と海"},
};

QStringList words(const char* list) { return QString::fromUtf8(list).split(QLatin1Char(' '), Qt::SkipEmptyParts); }

QJsonObject compose(const QString& prompt, bool fresh = false, uint64_t salt = 0)
{
    static const PageModel page = pageModel();
    EngineInput in;
    in.prompt = prompt;
    in.fresh = fresh;
    in.freshSalt = salt;
    return composeBuiltin(in, page, *shippedLexicon());
}

// A request as the server hands it to the composer.
QJsonObject served(const QJsonObject& request)
{
    static const Composer composer(shippedLexicon(), nullptr);
    const ComposeOutcome out = composer.compose(json(request));
    EXPECT_EQ(out.status, 200);
    return out.body.value("graph").toObject();
}

// Changes the object at a path of member names inside `root`.
void edit(QJsonObject& root, const QStringList& path, const std::function<void(QJsonObject&)>& change)
{
    if (path.isEmpty())
        return change(root);
    QJsonObject child = root.value(path.first()).toObject();
    edit(child, path.mid(1), change);
    root.insert(path.first(), child);
}

QStringList layerTypes(const QJsonObject& g)
{
    QStringList out;
    for (const QJsonValue& l : g.value("layers").toArray())
        out << l.toObject().value("type").toString();
    return out;
}

}  // namespace

TEST(ComposerEngine, APromptTableGivesDrawableDistinctGraphsThatHonourThePrompts)
{
    QList<QJsonObject> graphs;
    QSet<QByteArray> distinct;
    for (const Row& row : kTable) {
        QString prompt = QString::fromUtf8(row.prompt);
        if (row.kind == std::string_view("long"))
            prompt = prompt.repeated(10000 / prompt.size() + 1).left(10000);
        const QJsonObject g = compose(prompt);
        graphs << g;
        distinct << json(g);
        const std::string where = std::string(row.kind) + ": \"" + prompt.left(60).toStdString() + "\" gave " + json(g).toStdString();
        const QJsonArray palette = g.value("palette").toArray();
        for (const QString& name : words(row.colors)) {
            const double hue = toHsl(*parseColor(QColor::fromString(name).name())).h;
            EXPECT_TRUE(std::any_of(palette.begin(), palette.end(), [&](const QJsonValue& v) {
                const Rgb c = *parseColor(v.toString());
                return chroma(c) >= 0.05 && hueDistance(toHsl(c).h, hue) <= 20;
            })) << where << ": no palette hue within 20 degrees of " << name.toStdString();
        }
        for (const QString& t : words(row.layers))
            EXPECT_TRUE(layerTypes(g).contains(t)) << where << ": no " << t.toStdString() << " layer";
        for (const QString& e : words(row.effects))
            EXPECT_GT(g["post"][e].toDouble(), 0.3) << where << ": effect " << e.toStdString();
        EXPECT_TRUE(!row.tempo || g["motion"]["tempoLock"].toBool()) << where << ": no tempo lock";
        EXPECT_LE(g.value("name").toString().size(), 60) << where;
    }
    // Different prompts give different graphs, all but a few.
    EXPECT_GE(distinct.size(), qsizetype(std::size(kTable)) - 5);
    expectDrawable(graphs);
}

TEST(ComposerEngine, TheSamePromptGivesTheSameGraphAndFreshADifferentOne)
{
    const QString prompt = "a calm red ocean at dusk";
    const QJsonObject a = compose(prompt), fresh1 = compose(prompt, true, 1), fresh2 = compose(prompt, true, 2);
    EXPECT_EQ(json(a), json(compose(prompt)));
    EXPECT_NE(json(fresh1), json(a));
    EXPECT_NE(json(fresh1), json(fresh2));
    EXPECT_TRUE(layerTypes(fresh1).contains("waves"));  // still the prompt's scene
    // The server draws the salt at random: two fresh requests differ.
    EXPECT_NE(served(promptRequest(prompt, true)), served(promptRequest(prompt, true)));
    expectDrawable({a, fresh1, fresh2});
}

TEST(ComposerEngine, VaryKeepsPaletteAndLayerTypesAndChangesTheRest)
{
    QList<QJsonObject> graphs;
    for (const QString& prompt : QStringList{"retro synthwave city at 128 BPM", "dreamy aurora",
                                             "a bold audio-reactive scene for the song \"Song\" by Band"}) {
        const QJsonObject last = compose(prompt);
        for (int round = 0; round < 3; ++round) {
            const QJsonObject g = served(promptRequest(prompt, true, true, last));
            EXPECT_EQ(g.value("palette"), last.value("palette")) << prompt.toStdString();
            EXPECT_EQ(layerTypes(g), layerTypes(last)) << prompt.toStdString();
            EXPECT_NE(g.value("motion"), last.value("motion"));
            EXPECT_NE(g.value("layers"), last.value("layers"));
            graphs << g;
        }
    }
    // A heavy last graph is varied within the cost limit.
    QJsonArray heavy;
    for (int i = 0; i < 6; ++i)
        heavy.append(QJsonObject{{"type", "nebula"}, {"detail", 1}});
    const QJsonObject last{{"palette", QJsonArray{"#ff0000", "#00ff00"}}, {"layers", heavy}};
    graphs << served(promptRequest("storm", true, true, last));
    expectDrawable(graphs);
}

TEST(ComposerEngine, TheAutomaticScenePromptsAreReadByTheirLyricWords)
{
    // The wrapper's own words ("scene", "lyric", "from", "by") leave no trace.
    const Lexicon& lex = *shippedLexicon();
    const Reading a = readPrompt(QStringLiteral("a scene interpreting this lyric: \"ocean\" \u2014 from \"X\" by Y"), lex, 1);
    const Reading b = readPrompt("ocean", lex, 1);
    EXPECT_EQ(a.layers.size(), b.layers.size());
    EXPECT_DOUBLE_EQ(a.layerWeight("waves"), b.layerWeight("waves"));
    EXPECT_EQ(a.moodWords, b.moodWords);
}

TEST(ComposerEngine, UnknownWordsPickFromTheLexiconByThePromptsSeed)
{
    // Different nonsense leans the scene differently.
    QSet<QString> looks;
    for (const char* word : {"florp", "gribble", "zanth", "quorve", "blint", "mordax"})
        looks << layerTypes(compose(QString::fromLatin1(word))).join(QLatin1Char(','));
    EXPECT_GE(looks.size(), 3);
}

TEST(ComposerEngine, TheCoverFormUsesThePaletteAndTheImage)
{
    const QString steer = QStringLiteral("the mood and world of this album cover \u2014 \"Ocean Drive\" by Band");
    auto cover = [&](const QString& url, const QStringList& colours) { return served(coverRequest(steer, url, colours)); };
    // The image as the app sends it, and the graph as the app's client hands it on.
    auto dataUrl = [](const QImage& image) {
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        return jpegDataURL(png, 512).value_or(QString());
    };
    auto handedOn = [](const QJsonObject& g, const QStringList& palette) {
        const ComposeResult r = ComposeClient::imageReply({std::nullopt, 200, json({{"graph", g}})}, palette);
        return QJsonDocument::fromJson(r.graph.value_or(QString()).toUtf8()).object();
    };
    // Bright, colourful, contrasty stripes against a dark, grey, flat image.
    QImage lively(300, 300, QImage::Format_RGB32), dull(300, 300, QImage::Format_RGB32);
    for (int x = 0; x < 300; ++x)
        for (int y = 0; y < 300; ++y)
            lively.setPixel(x, y, x / 30 % 2 ? qRgb(255, 40, 200) : qRgb(250, 240, 20));
    dull.fill(QColor(30, 32, 34));
    const QStringList palette = {"#1b3a8a", "#36d6e7", "#f5f1c8"}, black = {"#000000", "#050505", "#0a0a0a"};
    QStringList huge;
    for (int i = 0; i < 1000; ++i)
        huge << QColor::fromHsv(i % 360, 200, 220).name();

    const QJsonObject g1 = cover(dataUrl(lively), palette), g2 = cover(dataUrl(dull), palette);
    for (const QJsonObject& g : {g1, g2})
        EXPECT_EQ(g.value("palette").toArray(), QJsonArray::fromStringList(palette));
    auto meanIntensity = [](const QJsonObject& g) {
        double sum = 0;
        const QJsonArray layers = g.value("layers").toArray();
        for (const QJsonValue& l : layers)
            sum += l.toObject().value("intensity").toDouble();
        return sum / std::max<qsizetype>(1, layers.size());
    };
    auto bgLight = [](const QJsonObject& g) { return toHsl(*parseColor(g["background"]["top"].toString())).l; };
    EXPECT_GT(bgLight(g1), bgLight(g2));
    for (const char* m : {"speed", "flash"})
        EXPECT_GT(g1["motion"][m].toDouble(), g2["motion"][m].toDouble()) << m;
    EXPECT_GT(meanIntensity(g1), meanIntensity(g2));

    // An undecodable image, a missing palette, or both: still a graph, from the text.
    const QJsonObject g3 = cover("data:image/jpeg;base64,bm90IGFuIGltYWdl", palette), g4 = cover(dataUrl(lively), {});
    const QJsonObject g5 = cover("not a data url", {});
    EXPECT_TRUE(layerTypes(g5).contains("waves") || layerTypes(g5).contains("grid"));
    // 1,000 colours: the page's limit, from the first ones; a palette too dark to see still draws.
    const QJsonObject g6 = cover(dataUrl(lively), huge), g7 = cover(dataUrl(dull), black);
    EXPECT_EQ(g6.value("palette").toArray().size(), pageModel().maxPalette);
    // Members of the wrong type are passed over.
    QJsonObject weird = coverRequest(steer, QString(), {});
    weird.insert("palette", QJsonArray{1, QJsonValue::Null, QJsonObject{}, "#zzz"});
    weird.insert("image", 17);
    expectDrawable({g1, g2, g3, g4, g5, g6, g7, served(weird), handedOn(g1, palette), handedOn(g2, palette),
                    handedOn(g3, palette), handedOn(g6, huge.mid(0, 6)), handedOn(g7, black)});
}

TEST(ComposerEngine, ThePagesDescriptionDecidesNotTheEngine)
{
    // A new layer type with a lexicon entry, narrower ranges, no "blend" and a
    // tighter cost limit: no code change needed.
    QJsonObject guide = pageDescription().value("spec").toObject(), schema = pageDescription().value("schema").toObject();
    edit(schema, {"properties", "layers"}, [](QJsonObject& layers) { layers.insert("maxItems", 3); });
    edit(schema, {"properties", "layers", "items", "properties"}, [](QJsonObject& lp) {
        lp.remove("blend");
        edit(lp, {"intensity"}, [](QJsonObject& o) { o.insert("maximum", 0.9); });
        edit(lp, {"type"}, [](QJsonObject& o) { o.insert("enum", o.value("enum").toArray() + QJsonValue("lattice")); });
    });
    edit(guide, {"costs"}, [](QJsonObject& costs) { costs.insert("lattice", 0.5); });
    guide.insert("costLimit", 3.0);
    QString error;
    const auto page = PageModel::read(guide, schema, &error);
    ASSERT_TRUE(page) << error.toStdString();
    QFile lexFile(QStringLiteral(VESMER_COMPOSER_LEXICON));
    ASSERT_TRUE(lexFile.open(QIODevice::ReadOnly));
    QJsonObject lexJson = QJsonDocument::fromJson(lexFile.readAll()).object();
    edit(lexJson, {"entries"}, [](QJsonObject& e) { e.insert("lattice", QJsonObject{{"layers", QJsonArray{"lattice"}}}); });
    const auto lex = Lexicon::fromJson(QJsonDocument(lexJson).toJson(), &error);
    ASSERT_TRUE(lex) << error.toStdString();

    bool sawLattice = false;
    for (const char* prompt : {"a lattice", "nebula kaleido aurora waves particles", "epic complex galaxy storm", "calm"}) {
        EngineInput in;
        in.prompt = QString::fromLatin1(prompt);
        const QJsonObject g = composeBuiltin(in, *page, *lex);
        const QJsonArray ls = g.value("layers").toArray();
        EXPECT_LE(ls.size(), 3);
        EXPECT_LE(graphCost(g, *page), 3.0);
        for (const QJsonValue& l : ls) {
            EXPECT_LE(l["intensity"].toDouble(), 0.9);
            EXPECT_FALSE(l.toObject().contains("blend"));
            sawLattice = sawLattice || l["type"].toString() == "lattice";
        }
        EXPECT_GE(graphBrightness(g, *page), kMinBrightness);
    }
    EXPECT_TRUE(sawLattice);

    // Without costs in "spec" the engine stays light; without layer types it refuses.
    const auto noCosts = PageModel::read({}, schema, &error);
    ASSERT_TRUE(noCosts);
    EngineInput in;
    in.prompt = "nebula kaleido aurora waves";
    EXPECT_LE(layerTypes(composeBuiltin(in, *noCosts, *shippedLexicon())).size(), 2);
    EXPECT_FALSE(PageModel::read(guide, {}, &error));
    EXPECT_FALSE(error.isEmpty());
}

// What words draw is checked end to end by the prompt table; here, the data itself.
TEST(ComposerEngine, TheLexiconKnowsEveryColourNameAndOnlyThePagesLayerTypes)
{
    const Lexicon& lex = *shippedLexicon();
    for (const QString& name : QColor::colorNames()) {
        const LexEntry* e = lex.find(name);
        ASSERT_TRUE(e && e->color) << name.toStdString();
        EXPECT_EQ(toHex(*e->color), QColor::fromString(name).name()) << name.toStdString();
    }
    const PageModel page = pageModel();
    for (const LexEntry* e : lex.sorted())
        for (const QString& t : e->layers)
            EXPECT_TRUE(page.hasLayerType(t)) << e->key.toStdString() << ": " << t.toStdString();
    for (const QString& t : page.layerTypes)
        EXPECT_TRUE(lex.hint(t)) << t.toStdString();
}
