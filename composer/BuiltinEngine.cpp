#include "BuiltinEngine.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <algorithm>
#include <cmath>

#include "GraphCheck.h"
#include "PromptReading.h"
#include "Random.h"

namespace composer {

namespace {

const QString kColor = QStringLiteral("color");
const QString kColor2 = QStringLiteral("color2");

double clampd(double v, double lo, double hi)
{
    return std::clamp(v, lo, hi);
}

// Puts `value` in `o` when the page has the member and it is a number.
void setNumber(QJsonObject& o, const Field* f, const QString& key, double value)
{
    if (!f || f->kind != Field::Number)
        return;
    const double exact = f->clamp(value);
    const double rounded = std::round(exact * 1000.0) / 1000.0;
    o.insert(key, rounded >= f->min && rounded <= f->max ? rounded : exact);
}

bool similar(const Rgb& a, const Rgb& b)
{
    const Hsl x = toHsl(a), y = toHsl(b);
    if (chroma(a) < 0.08 || chroma(b) < 0.08)
        return std::fabs(x.l - y.l) < 0.08 && std::fabs(chroma(a) - chroma(b)) < 0.08;
    return hueDistance(x.h, y.h) < 14 && std::fabs(x.l - y.l) < 0.12;
}

struct Builder {
    const EngineInput& in;
    const PageModel& page;
    const Lexicon& lex;
    Reading reading;
    Rng rng;
    double lively = 0;          // cover: how lively the image looks, -1..1
    double intensityBoost = 0;  // cover: contrast and saturation lift the layers
    std::vector<Rgb> palette;
    bool paletteFromRequest = false;

    double mood(MoodDim d) const { return reading.mood[d]; }

    Rgb tone(const Rgb& c, bool named) const
    {
        const Hsl h = toHsl(c);
        const double l = clampd(h.l + 0.3 * reading.toneLight, 0.12, 0.88);
        if (chroma(c) < 0.06)
            return fromHsl(h.h, h.s, l);
        const double s = clampd(h.s + 0.4 * reading.toneSat, named && h.s > 0.2 ? 0.3 : 0.05, 1.0);
        return fromHsl(h.h, s, l);
    }

    void addColor(const Rgb& c)
    {
        if (int(palette.size()) >= page.maxPalette)
            return;
        for (const Rgb& p : palette)
            if (similar(p, c))
                return;
        palette.push_back(c);
    }

    void buildPalette()
    {
        if (in.vary && in.lastGraph) {
            for (const QJsonValue& v : in.lastGraph->value(QStringLiteral("palette")).toArray())
                if (auto c = parseColor(v.toString()); c && int(palette.size()) < page.maxPalette)
                    palette.push_back(*c);
            if (!palette.empty()) {
                paletteFromRequest = true;
                return;
            }
        }
        if (in.cover && !in.palette.empty()) {
            for (const Rgb& c : in.palette)
                if (int(palette.size()) < page.maxPalette)
                    palette.push_back(c);
            paletteFromRequest = true;
            return;
        }
        for (const Rgb& c : reading.named)
            addColor(tone(c, true));
        const int named = int(palette.size());
        const int target = std::max(named, std::min(page.maxPalette, 3 + rng.below(3)));
        // A cover without a palette lends the image's own colours.
        if (in.cover && in.image)
            for (const Rgb& c : in.image->colors)
                if (int(palette.size()) < target)
                    addColor(tone(c, false));
        for (const auto& [c, w] : reading.hints)
            if (int(palette.size()) < target)
                addColor(tone(c, false));
        if (int(palette.size()) < target) {
            // A harmony around the first colour, or around a hue of the seed.
            const double base = palette.empty() ? rng.range(0, 360) : toHsl(palette.front()).h;
            static const double schemes[4][4] = {
                {30, -30, 60, -60}, {180, 150, 210, 30}, {120, 240, 60, 180}, {150, 210, 30, -30}};
            const auto& offsets = schemes[rng.below(4)];
            for (int i = 0; i < 8 && int(palette.size()) < target; ++i) {
                const double h = base + offsets[i % 4] + (i >= 4 ? 15 : 0);
                addColor(tone(fromHsl(h, rng.range(0.55, 0.9), rng.range(0.45, 0.65)), false));
            }
        }
        if (palette.empty())
            palette.push_back(fromHsl(rng.range(0, 360), 0.7, 0.55));
        // Something on screen must be bright enough to see.
        double brightest = 0;
        for (const Rgb& c : palette)
            brightest = std::max(brightest, luminance(c));
        if (brightest < 0.15) {
            const Hsl h = toHsl(palette.front());
            const Rgb light = fromHsl(h.h, std::max(0.5, h.s), 0.72);
            if (int(palette.size()) < page.maxPalette)
                palette.push_back(light);
            else
                palette.back() = light;
        }
    }

    QJsonObject background()
    {
        const Hsl first = toHsl(palette.front()), last = toHsl(palette.back());
        double l = clampd(0.06 + 0.04 * mood(Bright) + rng.range(-0.015, 0.015), 0.02, 0.13);
        if (in.image)
            l = clampd(0.015 + 0.13 * in.image->brightness + rng.range(-0.01, 0.01), 0.01, 0.16);
        if (reading.namedBlack || reading.postAmount(QStringLiteral("grayscale")) > 0.3)
            l = std::min(l, 0.025);
        const Rgb top = fromHsl(first.h, std::min(0.6, first.s), l);
        const Rgb bottom = fromHsl(last.h, std::min(0.5, last.s), l * 0.3);
        return {{QStringLiteral("top"), toHex(top)}, {QStringLiteral("bottom"), toHex(bottom)}};
    }

    struct Plan {
        QString type;
        bool asked = false;
    };

    double depthOf(const QString& type) const
    {
        const LayerHint* h = lex.hint(type);
        return h ? h->depth : 0.5;
    }

    std::vector<Plan> chooseLayers()
    {
        std::vector<Plan> plan;
        const int cap = page.hasCosts ? page.maxLayers : std::min(2, page.maxLayers);
        if (in.vary && in.lastGraph) {
            for (const QJsonValue& v : in.lastGraph->value(QStringLiteral("layers")).toArray()) {
                const QString type = v.toObject().value(QStringLiteral("type")).toString();
                if (page.hasLayerType(type) && int(plan.size()) < cap)
                    plan.push_back({type, true});
            }
            if (!plan.empty())
                return plan;  // kept in their order
        }
        std::vector<Weighted> asked;
        for (const Weighted& w : reading.layers)
            if (page.hasLayerType(w.name) && w.weight >= kAskedWeight)
                asked.push_back(w);
        std::stable_sort(asked.begin(), asked.end(), [](const Weighted& a, const Weighted& b) { return a.weight > b.weight; });
        const double energy = mood(Energy);
        int n = 2 + (energy > 0.2 ? 1 : 0) + (mood(Detail) > 0.3 ? 1 : 0) + (rng.chance(0.4) ? 1 : 0)
                - (mood(Detail) < -0.4 ? 1 : 0);
        n = std::clamp(n, 1, std::min(4, cap));
        n = std::clamp(std::max(n, int(asked.size())), 1, cap);
        for (const Weighted& w : asked)
            if (int(plan.size()) < n)
                plan.push_back({w.name, true});
        // Fill with types that suit the mood, lighter ones more often.
        double heaviest = 0;
        for (const QString& t : page.layerTypes)
            heaviest = std::max(heaviest, page.typeCost(t));
        while (int(plan.size()) < n) {
            std::vector<std::pair<QString, double>> candidates;
            double total = 0;
            for (const QString& t : page.layerTypes) {
                if (std::any_of(plan.begin(), plan.end(), [&](const Plan& p) { return p.type == t; }))
                    continue;
                const LayerHint* h = lex.hint(t);
                const double fit = 1.0 - std::fabs((h ? h->energy : 0.0) - energy) / 2.0;
                double w = 0.3 + 1.5 * reading.layerWeight(t) + 0.6 * fit;
                if (heaviest > 0)
                    w *= 1.4 - 0.6 * page.typeCost(t) / heaviest;
                candidates.emplace_back(t, w);
                total += w;
            }
            if (candidates.empty())
                break;
            double pick = rng.uniform() * total;
            QString chosen = candidates.back().first;
            for (const auto& [t, w] : candidates) {
                if (pick < w) {
                    chosen = t;
                    break;
                }
                pick -= w;
            }
            plan.push_back({chosen, false});
        }
        std::stable_sort(plan.begin(), plan.end(),
                         [&](const Plan& a, const Plan& b) { return depthOf(a.type) < depthOf(b.type); });
        return plan;
    }

    QString pickEnum(const Field* f, const QStringList& preferred) const
    {
        if (!f || f->kind != Field::Enum)
            return {};
        for (const QString& p : preferred)
            if (f->values.contains(p))
                return p;
        return f->defText;
    }

    QJsonArray layers(const std::vector<Plan>& plan)
    {
        QJsonArray out;
        const Field* fIntensity = page.layerField(QStringLiteral("intensity"));
        const Field* fScale = page.layerField(QStringLiteral("scale"));
        const Field* fSpeed = page.layerField(QStringLiteral("speed"));
        const Field* fDetail = page.layerField(QStringLiteral("detail"));
        const Field* fX = page.layerField(QStringLiteral("x"));
        const Field* fY = page.layerField(QStringLiteral("y"));
        const Field* fReact = page.layerField(QStringLiteral("react"));
        const Field* fAmount = page.layerField(QStringLiteral("amount"));
        const Field* fBlend = page.layerField(QStringLiteral("blend"));
        const Field* fColor = page.layerField(kColor);
        const Field* fColor2 = page.layerField(kColor2);
        const double energy = mood(Energy);

        QString voted;
        double best = 0;
        for (const Weighted& w : reading.react)
            if (w.weight > best) {
                best = w.weight;
                voted = w.name;
            }
        QString blendVote;
        best = 0;
        for (const Weighted& w : reading.blend)
            if (w.weight > best) {
                best = w.weight;
                blendVote = w.name;
            }

        const int count = int(plan.size());
        for (int i = 0; i < count; ++i) {
            const QString& type = plan[size_t(i)].type;
            const LayerHint* hint = lex.hint(type);
            const double depth = hint ? hint->depth : 0.5;
            const QString place = hint ? hint->place : QStringLiteral("free");
            QJsonObject l{{QStringLiteral("type"), type}};
            const int n = int(palette.size());
            if (fColor && fColor->kind == Field::Color && n > 0)
                l.insert(kColor, std::min(i % n, fColor->maxIndex >= 0 ? fColor->maxIndex : i % n));
            if (fColor2 && fColor2->kind == Field::Color && n > 1)
                l.insert(kColor2, std::min((i + 1) % n, fColor2->maxIndex >= 0 ? fColor2->maxIndex : (i + 1) % n));

            if (fIntensity && fIntensity->kind == Field::Number)
                setNumber(l, fIntensity, QStringLiteral("intensity"),
                          fIntensity->def * clampd(0.7 + 0.35 * depth + 0.15 * mood(Bright) + intensityBoost
                                                       + rng.range(-0.08, 0.08),
                                                   0.45, 1.45));
            if (fScale && fScale->kind == Field::Number)
                setNumber(l, fScale, QStringLiteral("scale"),
                          fScale->def * std::exp(rng.range(-0.35, 0.4) + 0.25 * mood(Scale)));
            if (fSpeed && fSpeed->kind == Field::Number)
                setNumber(l, fSpeed, QStringLiteral("speed"),
                          fSpeed->def * (0.7 + 0.3 * depth)
                              * std::exp(0.75 * mood(Speed) + 0.25 * energy + 0.3 * lively + rng.range(-0.2, 0.2)));
            if (fDetail && fDetail->kind == Field::Number) {
                double fraction = 0.35 + 0.25 * mood(Detail) + rng.range(-0.15, 0.15);
                if (!page.hasCosts)
                    fraction = std::min(fraction, 0.3);
                setNumber(l, fDetail, QStringLiteral("detail"), fDetail->at(fraction));
            }
            if (fX && fX->kind == Field::Number && fY && fY->kind == Field::Number) {
                double x = 0, y = 0;
                if (place == QLatin1String("centre")) {
                    x = rng.range(-0.12, 0.12);
                    y = rng.range(-0.12, 0.12);
                } else if (place == QLatin1String("horizon")) {
                    y = rng.range(-0.35, -0.1);
                } else {
                    x = rng.range(-0.3, 0.3);
                    y = rng.range(-0.3, 0.3);
                }
                setNumber(l, fX, QStringLiteral("x"), fX->around(x));
                setNumber(l, fY, QStringLiteral("y"), fY->around(y));
            }
            if (fReact && fReact->kind == Field::Enum) {
                QStringList prefs = hint ? hint->react : QStringList();
                if (prefs.size() > 1 && rng.chance(0.35))
                    prefs.swapItemsAt(0, 1);
                const bool front = i == count - 1;
                if (front && !voted.isEmpty())
                    prefs.prepend(voted);
                else if (front && reading.bpm)
                    prefs.prepend(QStringLiteral("beat"));
                l.insert(QStringLiteral("react"), pickEnum(fReact, prefs));
            }
            if (fAmount && fAmount->kind == Field::Number)
                setNumber(l, fAmount, QStringLiteral("amount"),
                          fAmount->def * clampd(0.75 + 0.45 * energy + 0.2 * lively + rng.range(-0.1, 0.1), 0.3, 1.8));
            if (fBlend && fBlend->kind == Field::Enum)
                l.insert(QStringLiteral("blend"),
                         pickEnum(fBlend, depth > 0.3 && !blendVote.isEmpty() ? QStringList{blendVote} : QStringList{}));
            out.append(l);
        }
        return out;
    }

    QJsonObject motion()
    {
        QJsonObject m;
        const double energy = mood(Energy);
        const Field* fSpeed = page.motionField(QStringLiteral("speed"));
        if (fSpeed && fSpeed->kind == Field::Number) {
            double speed = fSpeed->def * std::exp(0.6 * mood(Speed) + 0.2 * energy + 0.3 * lively + rng.range(-0.1, 0.1));
            if (reading.bpm)
                speed *= std::pow(clampd(*reading.bpm / 120.0, 0.5, 2.0), 0.8);
            setNumber(m, fSpeed, QStringLiteral("speed"), speed);
        }
        const Field* fRotate = page.motionField(QStringLiteral("rotate"));
        if (fRotate && fRotate->kind == Field::Number) {
            const double amount = mood(Rotate) > -0.5 ? rng.range(0.03, 0.18) * (1 + mood(Rotate)) : 0;
            setNumber(m, fRotate, QStringLiteral("rotate"), fRotate->around(rng.chance(0.5) ? amount : -amount));
        }
        auto around = [&](const char* key, double t) {
            const Field* f = page.motionField(QLatin1String(key));
            if (f && f->kind == Field::Number)
                setNumber(m, f, QLatin1String(key), f->around(clampd(t, -1, 1)));
        };
        around("zoom", 0.8 * mood(Zoom) + 0.3 * energy + 0.3 * lively + rng.range(-0.1, 0.1));
        around("drift", 0.7 * mood(Drift) - 0.2 * energy + rng.range(-0.15, 0.15));
        around("flash", 0.8 * mood(Flash) + 0.3 * energy + 0.3 * lively + rng.range(-0.1, 0.1));
        const Field* fLock = page.motionField(QStringLiteral("tempoLock"));
        if (fLock && fLock->kind == Field::Boolean)
            m.insert(QStringLiteral("tempoLock"), reading.bpm ? true : fLock->defBool);
        return m;
    }

    QJsonObject post()
    {
        QJsonObject p;
        for (const auto& [name, field] : page.post) {
            if (field.kind != Field::Number)
                continue;
            const double asked = reading.postAmount(name);
            if (asked > 0) {
                setNumber(p, &field, name, field.at(asked + rng.range(0, 0.08)));
            } else if (name == QLatin1String("vignette")) {
                setNumber(p, &field, name, field.around(rng.range(-0.2, 0.3)));
            } else if (name == QLatin1String("bloom")) {
                setNumber(p, &field, name, field.at(0.1 + 0.2 * std::max(0.0, mood(Bright)) + rng.range(0, 0.1)));
            } else if (name == QLatin1String("grain") && rng.chance(0.25)) {
                setNumber(p, &field, name, field.at(rng.range(0.05, 0.15)));
            }
        }
        return p;
    }

    QString name() const
    {
        QString title = reading.title.simplified();
        if (title.isEmpty())
            title = reading.moodWords.join(QLatin1Char(' '));
        if (title.isEmpty())
            title = QStringLiteral("Untitled scene");
        const int max = std::max(1, page.nameMaxLength);
        if (title.size() > max) {
            title.truncate(max - 1);
            const qsizetype space = title.lastIndexOf(QLatin1Char(' '));
            if (space > max / 2)
                title.truncate(space);
            if (!title.isEmpty() && title.back().isHighSurrogate())
                title.chop(1);
            title = title.trimmed() + QChar(0x2026);
        }
        if (!title.isEmpty() && title.front().isLower())
            title[0] = title[0].toUpper();
        return title;
    }

    // Makes sure the page would not find the scene blank, by the page's own rule.
    void ensureVisible(QJsonObject& g)
    {
        const double clientAmount = in.cover ? 0.9 : 0;
        if (graphBrightness(g, page, clientAmount) >= kMinBrightness)
            return;
        QJsonArray layers = g.value(QStringLiteral("layers")).toArray();
        if (layers.isEmpty())
            return;
        const Field* fIntensity = page.layerField(QStringLiteral("intensity"));
        QJsonObject top = layers.last().toObject();
        int brightest = 0;
        for (int i = 1; i < int(palette.size()); ++i)
            if (luminance(palette[size_t(i)]) > luminance(palette[size_t(brightest)]))
                brightest = i;
        const Field* fColor2 = page.layerField(kColor2);
        if (fColor2 && fColor2->kind == Field::Color)
            top.insert(kColor2, brightest);
        if (fIntensity && fIntensity->kind == Field::Number)
            setNumber(top, fIntensity, QStringLiteral("intensity"), fIntensity->around(0.4));
        layers.last() = top;
        g.insert(QStringLiteral("layers"), layers);
        if (graphBrightness(g, page, clientAmount) >= kMinBrightness)
            return;
        // A palette too dark to see: the top layer draws a light tint of it, which
        // the palette may pull back toward itself but not all the way.
        const Hsl h = toHsl(palette.front());
        const Field* fColor = page.layerField(kColor);
        if (fColor && fColor->kind == Field::Color)
            top.insert(kColor, toHex(fromHsl(h.h, std::max(0.4, h.s), 0.8)));
        if (fColor2 && fColor2->kind == Field::Color)
            top.insert(kColor2, QStringLiteral("#ffffff"));
        layers.last() = top;
        g.insert(QStringLiteral("layers"), layers);
        if (graphBrightness(g, page, clientAmount) >= kMinBrightness)
            return;
        // Nothing else left: a lighter sky.
        QJsonObject bg = g.value(QStringLiteral("background")).toObject();
        bg.insert(QStringLiteral("top"), toHex(fromHsl(h.h, 0.5, 0.3)));
        g.insert(QStringLiteral("background"), bg);
    }

    QJsonObject build()
    {
        if (in.image) {
            const CoverStats& s = *in.image;
            lively = clampd((s.saturation - 0.35) * 1.5 + (s.contrast - 0.2) * 2.5, -1, 1);
            intensityBoost = clampd(0.6 * (s.contrast - 0.2) + 0.4 * (s.saturation - 0.35), -0.25, 0.3);
            for (MoodDim d : {Energy, Speed, Flash, Zoom})
                reading.mood[d] = clampd(reading.mood[d] + (d == Energy ? 0.5 : 0.35) * lively, -1, 1);
        }
        buildPalette();
        QJsonObject g;
        if (page.version && page.hasTop(QStringLiteral("version")))
            g.insert(QStringLiteral("version"), *page.version);
        if (page.hasTop(QStringLiteral("name")))
            g.insert(QStringLiteral("name"), name());
        if (page.hasTop(QStringLiteral("mood")) && !reading.moodWords.isEmpty()) {
            QString m = reading.moodWords.join(QLatin1Char(' '));
            if (m.size() > page.moodMaxLength)
                m = m.left(page.moodMaxLength).trimmed();
            g.insert(QStringLiteral("mood"), m);
        }
        if (page.hasTop(QStringLiteral("palette"))) {
            QJsonArray pal;
            for (const Rgb& c : palette)
                pal.append(toHex(c));
            g.insert(QStringLiteral("palette"), pal);
        }
        if (page.hasTop(QStringLiteral("paletteAmount")))
            g.insert(QStringLiteral("paletteAmount"),
                     in.cover && paletteFromRequest ? 0.9 : std::round(rng.range(0.55, 0.85) * 1000) / 1000);
        if (page.hasTop(QStringLiteral("background")))
            g.insert(QStringLiteral("background"), background());
        const std::vector<Plan> plan = chooseLayers();
        g.insert(QStringLiteral("layers"), layers(plan));
        if (page.hasTop(QStringLiteral("motion")))
            g.insert(QStringLiteral("motion"), motion());
        if (page.hasTop(QStringLiteral("post")))
            g.insert(QStringLiteral("post"), post());
        QStringList keep;
        for (const Plan& p : plan)
            if (p.asked)
                keep << p.type;
        fitCost(g, page, keep);
        ensureVisible(g);
        return g;
    }
};

}  // namespace

uint64_t engineSeed(const EngineInput& in)
{
    uint64_t seed = hash64(in.prompt);
    if (in.cover) {
        for (const Rgb& c : in.palette)
            seed = hash64(toHex(c), seed);
        if (in.image) {
            const QString stats = QStringLiteral("%1 %2 %3")
                                      .arg(std::lround(in.image->brightness * 100))
                                      .arg(std::lround(in.image->saturation * 100))
                                      .arg(std::lround(in.image->contrast * 100));
            seed = hash64(stats, seed);
        }
    }
    if (in.fresh || in.vary)
        seed ^= in.freshSalt * 0x9e3779b97f4a7c15ULL + 0x632be59bd9b4e019ULL;
    if (in.vary && in.lastGraph)
        seed = hash64(QJsonDocument(*in.lastGraph).toJson(QJsonDocument::Compact), seed);
    return seed;
}

QJsonObject composeBuiltin(const EngineInput& in, const PageModel& page, const Lexicon& lexicon)
{
    const uint64_t seed = engineSeed(in);
    Builder b{in, page, lexicon, readPrompt(in.prompt, lexicon, hash64(in.prompt)), Rng(seed), 0, 0, {}, false};
    return b.build();
}

}  // namespace composer
