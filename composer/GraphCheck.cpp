#include "GraphCheck.h"

#include <QJsonArray>
#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

#include "ColorMath.h"

namespace composer {

namespace {

QJsonValue cleanField(const Field& f, const QJsonValue& v, int paletteMax)
{
    switch (f.kind) {
    case Field::Number:
        if (v.isDouble() && std::isfinite(v.toDouble()))
            return f.clamp(v.toDouble());
        return QJsonValue::Undefined;
    case Field::Enum:
        return v.isString() && f.values.contains(v.toString()) ? v : QJsonValue::Undefined;
    case Field::Boolean:
        return v.isBool() ? v : QJsonValue::Undefined;
    case Field::Color:
        if (v.isDouble() && std::isfinite(v.toDouble())) {
            const int top = f.maxIndex >= 0 ? f.maxIndex : paletteMax - 1;
            return std::clamp(int(std::lround(v.toDouble())), 0, std::max(0, top));
        }
        if (auto c = parseColor(v.toString()))
            return toHex(*c);
        return QJsonValue::Undefined;
    case Field::Other:
        break;
    }
    return QJsonValue::Undefined;
}

QJsonObject cleanSection(const QJsonValue& in, const Section& fields, int paletteMax, bool* changed)
{
    const QJsonObject src = in.toObject();
    QJsonObject out;
    for (const auto& [name, field] : fields) {
        if (!src.contains(name))
            continue;
        const QJsonValue v = cleanField(field, src.value(name), paletteMax);
        if (v.isUndefined())
            *changed = true;
        else {
            const QJsonValue was = src.value(name);
            if (v.isDouble() && was.isDouble() ? v.toDouble() != was.toDouble() : v != was)
                *changed = true;
            out.insert(name, v);
        }
    }
    // Members the page does not know are dropped ("type" is the caller's).
    for (auto it = src.constBegin(); it != src.constEnd(); ++it)
        if (!out.contains(it.key()) && it.key() != QLatin1String("type"))
            *changed = true;
    return out;
}

QString cut(const QString& text, int max)
{
    QString t = text.trimmed();
    if (t.size() <= max)
        return t;
    t.truncate(max);
    if (!t.isEmpty() && t.back().isHighSurrogate())
        t.chop(1);
    return t;
}

std::optional<double> number(const QJsonObject& o, const QString& key)
{
    const QJsonValue v = o.value(key);
    if (v.isDouble() && std::isfinite(v.toDouble()))
        return v.toDouble();
    return std::nullopt;
}

}  // namespace

QJsonObject sanitizeGraph(const QJsonObject& in, const PageModel& page, QStringList* notes)
{
    QJsonObject g;
    bool changed = false;
    auto note = [&](const QString& what) {
        if (notes && !notes->contains(what))
            *notes << what;
    };
    if (page.version && page.hasTop(QStringLiteral("version")))
        g.insert(QStringLiteral("version"), *page.version);
    for (const auto& [key, max] : {std::pair{QStringLiteral("name"), page.nameMaxLength},
                                   std::pair{QStringLiteral("mood"), page.moodMaxLength}}) {
        if (page.hasTop(key) && in.value(key).isString() && !in.value(key).toString().trimmed().isEmpty())
            g.insert(key, cut(in.value(key).toString(), max));
    }
    if (page.hasTop(QStringLiteral("background"))) {
        const QJsonObject bg = in.value(QStringLiteral("background")).toObject();
        QJsonObject out;
        for (const QString& key : {QStringLiteral("top"), QStringLiteral("bottom")})
            if (auto c = parseColor(bg.value(key).toString()))
                out.insert(key, toHex(*c));
        if (!out.isEmpty())
            g.insert(QStringLiteral("background"), out);
    }
    if (page.hasTop(QStringLiteral("palette")) && in.value(QStringLiteral("palette")).isArray()) {
        QJsonArray pal;
        for (const QJsonValue& v : in.value(QStringLiteral("palette")).toArray()) {
            if (pal.size() >= page.maxPalette)
                break;
            if (auto c = parseColor(v.toString()))
                pal.append(toHex(*c));
            else
                changed = true;
        }
        if (!pal.isEmpty())
            g.insert(QStringLiteral("palette"), pal);
    }
    if (page.hasTop(QStringLiteral("paletteAmount")))
        if (auto a = number(in, QStringLiteral("paletteAmount")))
            g.insert(QStringLiteral("paletteAmount"), std::clamp(*a, 0.0, 1.0));

    QJsonArray layers;
    int dropped = 0;
    for (const QJsonValue& v : in.value(QStringLiteral("layers")).toArray()) {
        const QJsonObject l = v.toObject();
        const QString type = l.value(QStringLiteral("type")).toString();
        if (!page.hasLayerType(type)) {
            ++dropped;
            continue;
        }
        if (layers.size() >= page.maxLayers) {
            ++dropped;
            continue;
        }
        QJsonObject out = cleanSection(l, page.layer, page.maxPalette, &changed);
        out.insert(QStringLiteral("type"), type);
        layers.append(out);
    }
    if (dropped)
        note(QStringLiteral("dropped %1 layer(s)").arg(dropped));
    g.insert(QStringLiteral("layers"), layers);
    if (page.hasTop(QStringLiteral("motion")))
        g.insert(QStringLiteral("motion"), cleanSection(in.value(QStringLiteral("motion")), page.motion, page.maxPalette, &changed));
    if (page.hasTop(QStringLiteral("post")))
        g.insert(QStringLiteral("post"), cleanSection(in.value(QStringLiteral("post")), page.post, page.maxPalette, &changed));
    if (changed)
        note(QStringLiteral("clamped by the schema"));
    return g;
}

namespace {

double layerDetail(const QJsonObject& l, const PageModel& page)
{
    const Field* f = page.layerField(QStringLiteral("detail"));
    const QJsonValue v = l.value(QStringLiteral("detail"));
    if (f && f->kind == Field::Number)
        return v.isDouble() ? f->clamp(v.toDouble()) : f->def;
    return v.isDouble() ? v.toDouble() : 0.5;
}

}  // namespace

double graphCost(const QJsonObject& graph, const PageModel& page)
{
    double sum = 0;
    for (const QJsonValue& v : graph.value(QStringLiteral("layers")).toArray()) {
        const QJsonObject l = v.toObject();
        const QString type = l.value(QStringLiteral("type")).toString();
        if (page.hasLayerType(type))
            sum += page.layerCost(type, layerDetail(l, page));
    }
    return sum;
}

double graphBrightness(const QJsonObject& graph, const PageModel& page, double minPaletteAmount)
{
    std::vector<Rgb> pal;
    for (const QJsonValue& v : graph.value(QStringLiteral("palette")).toArray())
        if (auto c = parseColor(v.toString()); c && int(pal.size()) < page.maxPalette)
            pal.push_back(*c);
    if (pal.empty())
        return 1.0;  // the page draws with its own default palette, which is bright
    double amount = std::clamp(number(graph, QStringLiteral("paletteAmount")).value_or(0.5), 0.0, 1.0);
    amount = std::max(amount, minPaletteAmount);

    const QJsonObject bg = graph.value(QStringLiteral("background")).toObject();
    // The page's default background is a dark blue gradient; unknown here, so
    // counted as black.
    Rgb top = parseColor(bg.value(QStringLiteral("top")).toString()).value_or(Rgb{});
    const Rgb bottom = parseColor(bg.value(QStringLiteral("bottom")).toString()).value_or(Rgb{});
    if (amount > 0) {
        const Hsl h = toHsl(pal.back());
        top = mix(top, fromHsl(h.h, std::min(h.s, 0.8), std::min(h.l, 0.12)), amount);
    }
    double best = std::max(luminance(top), luminance(bottom));
    const Field* intensityField = page.layerField(QStringLiteral("intensity"));
    int i = 0;
    for (const QJsonValue& v : graph.value(QStringLiteral("layers")).toArray()) {
        const QJsonObject l = v.toObject();
        if (!page.hasLayerType(l.value(QStringLiteral("type")).toString()))
            continue;
        auto ref = [&](const QString& key, int fallback) {
            const QJsonValue c = l.value(key);
            if (c.isDouble()) {
                const int idx = std::max(0, int(std::lround(c.toDouble())));
                return pal[size_t(idx) % pal.size()];
            }
            if (c.isString())
                if (auto rgb = parseColor(c.toString()))
                    return amount > 0 ? mix(*rgb, pal[size_t(fallback) % pal.size()], amount) : *rgb;
            return pal[size_t(fallback) % pal.size()];
        };
        double intensity = 1;
        if (intensityField && intensityField->kind == Field::Number)
            intensity = l.value(QStringLiteral("intensity")).isDouble()
                            ? intensityField->clamp(l.value(QStringLiteral("intensity")).toDouble())
                            : intensityField->def;
        else if (l.value(QStringLiteral("intensity")).isDouble())
            intensity = l.value(QStringLiteral("intensity")).toDouble();
        best = std::max(best, intensity * std::max(luminance(ref(QStringLiteral("color"), i)),
                                                   luminance(ref(QStringLiteral("color2"), i + 1))));
        ++i;
    }
    return best;
}

bool fitCost(QJsonObject& graph, const PageModel& page, const QStringList& keep)
{
    if (!page.hasCosts)
        return false;
    const double target = page.costLimit * kCostMargin;
    if (graphCost(graph, page) <= target)
        return false;
    QJsonArray layers = graph.value(QStringLiteral("layers")).toArray();
    const Field* detailField = page.layerField(QStringLiteral("detail"));
    const double minDetail = detailField && detailField->kind == Field::Number ? detailField->min : 0;
    auto cost = [&] {
        graph.insert(QStringLiteral("layers"), layers);
        return graphCost(graph, page);
    };
    // Lower detail in steps, always where it saves the most.
    if (detailField && detailField->kind == Field::Number && page.costPerDetail > 0) {
        for (int guard = 0; guard < 200 && cost() > target; ++guard) {
            int best = -1;
            double bestSaving = 0;
            for (int i = 0; i < layers.size(); ++i) {
                const QJsonObject l = layers[i].toObject();
                const double d = layerDetail(l, page);
                if (d <= minDetail + 1e-9)
                    continue;
                const double saving = page.typeCost(l.value(QStringLiteral("type")).toString()) * std::min(0.1, d - minDetail);
                if (saving > bestSaving) {
                    bestSaving = saving;
                    best = i;
                }
            }
            if (best < 0)
                break;
            QJsonObject l = layers[best].toObject();
            l.insert(QStringLiteral("detail"), std::max(minDetail, layerDetail(l, page) - 0.1));
            layers[best] = l;
        }
    }
    // Then drop layers from the top, those not asked for first.
    while (layers.size() > 1 && cost() > target) {
        int drop = -1;
        for (int i = int(layers.size()) - 1; i >= 0 && drop < 0; --i)
            if (!keep.contains(layers[i].toObject().value(QStringLiteral("type")).toString()))
                drop = i;
        layers.removeAt(drop >= 0 ? drop : layers.size() - 1);
    }
    cost();
    return true;
}

}  // namespace composer
